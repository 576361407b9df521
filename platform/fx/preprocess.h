// platform/fx/preprocess.h - the C preprocessor in front of the effect-file
// front end (platform/fx/parser.h).
//
// Offers: Preprocess runs an effect file through glslang's own HLSL
// preprocessor: #include "..." and <...>, #define with and without
// arguments (# and ## included), #undef, #if / #ifdef / #ifndef / #elif /
// #else / #endif with defined(), #line, #error, and #pragma (passed on to the
// compiler, which ignores what it does not know). Macros given by the caller
// (kelo-fxc -D NAME[=VALUE]) come first.
// ReadEffectSource preprocesses and then parses: it is the one door by
// which effect source enters the framework (Effect::Create, the fuzz target).
//
// Includes: a quoted name is looked for beside the file that includes it,
// then in each of options.include_dirs in order; an <angled> name only in
// include_dirs. Every candidate is a path joined and normalised lexically
// ("a/b/../c.fxh" is "a/c.fxh") and handed to options.read, which says
// whether that file exists and gives its text. So one resolver serves files
// on disk (kelo-fxc) and resources embedded in the executable (the show:
// the reader looks a path up among the resource list's file names, so an
// embedded file includes what sits beside it in the source tree, exactly as
// on disk). The main file is at options.path, or at its name when that is
// empty. Without a reader every #include fails.
//
// Line numbers: the output keeps the file's lines; where an include starts
// or ends it holds `#line N "file"`, which the parser and the HLSL compiler
// both honour, so every later message names the file and line the text came
// from.
//
// Errors: false with messages "FILE(LINE): what" for an include not found
// (naming the places looked in), includes nested deeper than
// kMaxIncludeDepth (a file that includes itself), an #if without #endif,
// #error, a bad -D, and macros that would expand past kMaxExpansion tokens
// (a few nested macros can ask for billions; see the .cpp).
//
// Does not: read any file itself, cache, or know the effect syntax: the
// technique blocks, sampler_state and annotations are plain tokens to it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/fx/parser.h"

namespace plat::fx {

// Gives the text of the file at `path` (already joined and normalised);
// false when there is none.
using IncludeReader = std::function<bool(const std::string& path, std::string* text)>;

struct PreprocessOptions {
    std::string path;                       // where the main file lives; "" -> its name
    std::vector<std::string> include_dirs;  // searched after the including file's directory
    std::vector<std::pair<std::string, std::string>> defines;  // NAME, VALUE (may be empty)
    IncludeReader read;                     // null: no include resolves
};

// Includes nested this deep are refused: real files nest two or three.
inline constexpr size_t kMaxIncludeDepth = 32;
// Tokens one file's macros may expand to, at most (see the .cpp for how
// this is bounded before glslang runs). Effect files reach a few thousand;
// the parser and the compiler take about a second for a million.
inline constexpr double kMaxExpansion = 64.0 * 1024;

bool Preprocess(std::string_view source, std::string_view name, const PreprocessOptions& options, std::string* out,
                std::vector<std::string>* messages);

// The include search on its own: the candidates for `requested`, included by
// the file at `includer` (angled: only the directories), in search order.
std::vector<std::string> IncludeCandidates(std::string_view requested, std::string_view includer, bool angled,
                                           const std::vector<std::string>& include_dirs);

// Preprocess, then ParseEffect.
bool ReadEffectSource(std::string_view source, std::string_view name, const PreprocessOptions& options,
                      ParsedEffect* out, std::vector<std::string>* messages);

}  // namespace plat::fx
