// How long each effect file of the show takes to compile, and where the time
// goes: our front end and the device are the rest once glslang (HLSL to
// SPIR-V) and SPIRV-Cross (SPIR-V to GLSL) are taken out.
//
// Run: build/kelo_bench --benchmark_filter=Effect   (headless: SDL_VIDEODRIVER=offscreen)
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/bench_device.h"
#include "platform/fx/effect.h"
#include "platform/fx/shader_compiler.h"

namespace {

void BM_CompileEffect(benchmark::State& state, std::string path) {
    plat::gfx::Device* device = bench::SharedDevice();
    if (!device) {
        state.SkipWithError("no device");
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string source = ss.str();
    plat::fx::CompilerStats() = {};
    for (auto _ : state) {
        plat::fx::Effect* e = plat::fx::Effect::Create(device, source, path);
        if (!e) {
            state.SkipWithError("does not compile");
            return;
        }
        e->Release();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["glslang_ms"] = plat::fx::CompilerStats().glslang * 1e3 / n;
    state.counters["spirv_cross_ms"] = plat::fx::CompilerStats().spirv_cross * 1e3 / n;
}

int RegisterAll() {
    for (const auto& e : std::filesystem::directory_iterator(KELO_SOURCE_DIR "/render/shaders")) {
        if (e.path().extension() != ".fx") continue;
        benchmark::RegisterBenchmark(("BM_CompileEffect/" + e.path().filename().string()).c_str(), BM_CompileEffect,
                                     e.path().string())
            ->Unit(benchmark::kMillisecond);
    }
    return 0;
}
const int registered = RegisterAll();

}  // namespace
