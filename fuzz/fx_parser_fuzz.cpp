// fuzz/fx_parser_fuzz.cpp - libFuzzer target for the effect-file front end
// (platform/fx_parser.h). Pure text in, no device: the whole file is the
// source of one effect.
//
// Besides "no crash, no sanitizer report, no hang", it holds the parser to
// the one promise the compiler relies on: the plain HLSL has exactly the
// source's newlines, so the compiler's line numbers point into the file;
// and an entry point wrapper (platform/fx_entry.h) adds one line after it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fx_entry.h"
#include "platform/fx_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    plat::fx::ParsedEffect out;
    std::vector<std::string> messages;
    if (plat::fx::ParseEffect(source, "fuzz.fx", &out, &messages)) {
        const auto lines = [](std::string_view s) { return std::count(s.begin(), s.end(), '\n'); };
        if (lines(out.hlsl) != lines(source)) std::abort();
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
