// kelo-fxprep - a build step: prepares one of the embedded effect files for
// the device (preprocessed, parsed, every entry point translated to GLSL)
// and writes its byte form, so that kelo starts without compiling it.
//
//   kelo-fxprep ID NAME OUT
//
// ID is the effect's RCDATA resource id, NAME the name kelo makes it under
// ("Data\2d.fx"; its messages carry it, and kelo uses the bytes only under
// that name), OUT the file written. Exit status 0 when the file compiled
// whole and OUT was written, 1 otherwise (with the compiler's messages),
// 2 on bad usage. Needs no display and no GL.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fx/prepared.h"
#include "platform/os/resources.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: kelo-fxprep ID NAME OUT\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long id = std::strtoul(argv[1], &end, 10);
    if (!end || *end != '\0' || id > 0xFFFFFFFFul) {
        std::fprintf(stderr, "kelo-fxprep: '%s' is not a resource id\n", argv[1]);
        return 2;
    }
    const std::string name = argv[2];
    size_t size = 0;
    const unsigned char* source = plat::FindResourceBytes(plat::kResRcData, static_cast<uint32_t>(id), &size);
    if (!source) {
        std::fprintf(stderr, "kelo-fxprep: no RCDATA resource %lu\n", id);
        return 1;
    }
    const auto prepared = plat::fx::PrepareEffect(std::string_view(reinterpret_cast<const char*>(source), size), name,
                                                  plat::fx::ResourceEffectOptions(static_cast<uint32_t>(id)));
    const std::string bytes = plat::fx::SavePreparedEffect(*prepared, name);
    if (bytes.empty()) {
        std::fprintf(stderr, "kelo-fxprep: %s does not compile whole\n", name.c_str());
        for (const std::string& m : prepared->parse_messages) std::fprintf(stderr, "  %s\n", m.c_str());
        for (const auto& [key, stage] : prepared->stages) {
            if (!stage.log.empty()) std::fprintf(stderr, "  %s", stage.log.c_str());
        }
        return 1;
    }
    FILE* out = std::fopen(argv[3], "wb");
    const bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out && std::fclose(out) != 0) {
        std::fprintf(stderr, "kelo-fxprep: cannot write %s\n", argv[3]);
        return 1;
    }
    if (!written) {
        std::fprintf(stderr, "kelo-fxprep: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
