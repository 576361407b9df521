// fuzz/fx_parser_fuzz.cpp - libFuzzer target for the effect-file front end:
// the preprocessor (platform/fx/preprocess.h, glslang's) and then the parser
// (platform/fx/parser.h). Pure text in, no device: the whole file is the
// source of one effect; its includes resolve in a small in-memory set
// (one header beside it, one that includes itself), anything else nowhere.
//
// Besides "no crash, no sanitizer report, no hang", it holds the parser to
// the one promise the compiler relies on: the plain HLSL has exactly the
// preprocessed text's newlines, so the compiler's line numbers (and the
// #line directives among them) point into the right files; and an entry
// point wrapper (platform/fx/entry.h) adds one line after it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fx/entry.h"
#include "platform/fx/parser.h"
#include "platform/fx/preprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    plat::fx::PreprocessOptions options;
    options.include_dirs = {"inc"};
    options.defines = {{"FUZZ", "1"}};
    options.read = [](const std::string& path, std::string* text) {
        if (path == "common.fxh") {
            *text = "#define HALF 0.5\nfloat g_common = HALF;\n#define TEX(n) texture n; sampler n##S = sampler_state { Texture = <n>; };\n";
            return true;
        }
        if (path == "inc/self.fxh") {
            *text = "#include \"self.fxh\"\n";
            return true;
        }
        return false;
    };
    std::string text;
    std::vector<std::string> messages;
    if (!plat::fx::Preprocess(source, "fuzz.fx", options, &text, &messages)) return 0;
    plat::fx::ParsedEffect out;
    if (plat::fx::ParseEffect(text, "fuzz.fx", &out, &messages)) {
        const auto lines = [](std::string_view s) { return std::count(s.begin(), s.end(), '\n'); };
        if (lines(out.hlsl) != lines(text)) std::abort();
        // A wrapper entry point is one line after the file's last.
        int index = 0;
        for (const plat::fx::Technique& t : out.desc.techniques) {
            for (const plat::fx::Pass& p : t.passes) {
                for (const plat::fx::ShaderRef* ref : {&p.vertex_shader, &p.pixel_shader}) {
                    if (!ref->present) continue;
                    plat::fx::EntryPoint entry;
                    std::string error;
                    if (plat::fx::MakeEntryPoint(out.functions, *ref, ref == &p.pixel_shader, index++, &entry, &error) &&
                        !entry.extra.empty() && lines(entry.extra) != 2) {
                        std::abort();
                    }
                }
            }
        }
    }
    return 0;
}
