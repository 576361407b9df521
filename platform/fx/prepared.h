// platform/fx/prepared.h - an effect file made ready for the device: what
// Effect::Create does before it needs one, as data that can wait, cross to
// another thread, or be written to bytes at build time and read back at
// start-up. Private to platform/ (and the tool that writes the bytes).
//
// Offers: PrepareEffect (preprocess, parse, and every entry point the
// techniques name translated to GLSL, with the messages each produced, in
// the order the effect's build asks for them); SavePreparedEffect and
// LoadPreparedEffect, the byte form of a complete one; the table of byte
// forms a program links in (UsePreparedEffects, FindPreparedEffect).
//
// The bytes hold the parse's description, line map and messages and each
// stage's GLSL, block layout, sampler list and messages; not the HLSL text
// (a complete effect needs no stage compiled again). They begin with a
// magic and a format number, and LoadPreparedEffect checks every length
// against the bytes present: anything else gives null, never a crash.
// Does not: touch GL, or log (messages are kept for Effect to log).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fx/parser.h"
#include "platform/fx/preprocess.h"
#include "platform/fx/shader_compiler.h"

namespace plat::fx {

// The same function with other compile arguments is another program.
using StageKey = std::pair<std::string, int>;
StageKey KeyOf(const ShaderRef& ref, gfx::ShaderStage stage);
int SamplerIndexIn(const EffectDesc& desc, std::string_view sampler);

struct PreparedEffect {
    struct Stage {
        CompiledStage compiled;
        std::string log;
    };
    bool parsed_ok = false;
    ParsedEffect parsed;
    std::vector<std::string> parse_messages;
    std::map<StageKey, Stage> stages;
    // Parsed, and every stage the techniques name is in `stages`.
    bool complete = false;
};

std::unique_ptr<PreparedEffect> PrepareEffect(std::string_view source, std::string_view name,
                                              const PreprocessOptions& options);
// Where an embedded effect (RCDATA resource `id`) finds its #include files:
// among the embedded resources, by the paths they have beside it.
PreprocessOptions ResourceEffectOptions(uint32_t id);

// The byte form of a complete prepared effect, made under `name` (the name
// its messages carry); empty when it is not complete.
std::string SavePreparedEffect(const PreparedEffect& prepared, std::string_view name);
// Null for bytes that are not a whole, well-formed byte form; *name gets
// the name it was made under.
std::unique_ptr<PreparedEffect> LoadPreparedEffect(const void* bytes, size_t size, std::string* name);

// Byte forms linked into a program, by RCDATA resource id.
struct PreparedBytes {
    uint32_t id;
    const unsigned char* begin;
    const unsigned char* end;
};
// The program's table; the last call wins. The table must outlive its use.
void UsePreparedEffects(const PreparedBytes* table, size_t count);
// The byte form of resource `id` in that table, or null.
const PreparedBytes* FindPreparedEffect(uint32_t id);

}  // namespace plat::fx
