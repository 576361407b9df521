// What the cube tower costs: its geometry on the CPU, and a whole frame of
// the tower scene on llvmpipe at 1024 x 768.
//
// Geometry: BuildTower rewrites 13,824 vertices (331,776 bytes) every frame.
// BM_TowerBuild is that; BM_TowerWrite is writing the same bytes and nothing
// else (memset), the floor for any code that fills the array; and
// BM_TowerBuildPerWrite times the two in turn, a frame at a time, and
// reports the ratio of their medians (goal: at most 2), which holds steady
// while other work shares the machine.
//
// Frame: what the demo frame does for the tower (clear, Update, Render:
// background, tower, rising mesh with the bloom chain) plus Present, with
// post_process 0 (one colour pass) and 1 (three passes and the
// ambient-occlusion chain); "parts" 1 is the background and tower alone, 2
// the mesh and its bloom alone. Each iteration ends by reading the back buffer,
// which waits for llvmpipe; BM_TowerFrame_Empty is the clear, present and
// read alone. Counters per frame, from the device's LastFrameStats: draws,
// texture binds, target binds, program binds and GL state changes.
//
// Run: SDL_VIDEODRIVER=offscreen build/kelo_bench --benchmark_filter=Tower
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/device.h"
#include "bench/bench_device.h"
#include "data/asset_cache.h"
#include "render/camera.h"
#include "render/scene_renderer.h"
#include "tower/cube_tower.h"

using namespace plat::gfx;

namespace {

// A spectrum shaped like music: strong lows falling off, with some ripple.
std::vector<float> MusicLikeSpectrum() {
    std::vector<float> s(512);
    for (int i = 0; i < 512; ++i) {
        s[i] = std::min(1.0f, 0.9f / (1.0f + 0.05f * static_cast<float>(i)) * (0.75f + 0.25f * std::sin(0.7f * i)));
    }
    return s;
}

struct Geometry {
    std::vector<TowerVertex> vertices = std::vector<TowerVertex>(kTowerVertices);
    std::vector<float> spectrum = MusicLikeSpectrum();
    float time = 0.0f;

    void Build() {
        // A frame at 60 Hz with the phase running at about twice the clock.
        time += 1.0f / 60.0f;
        BuildTowerVertices(vertices.data(), CCubeTower::s_ShapePresets[1], time, 2.0f * time, spectrum.data());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::ClobberMemory();
    }
    void Write(int value) {
        std::memset(vertices.data(), value, vertices.size() * sizeof(TowerVertex));
        benchmark::DoNotOptimize(vertices.data());
        benchmark::ClobberMemory();
    }
};

void BM_TowerBuild(benchmark::State& state) {
    Geometry g;
    for (auto _ : state) g.Build();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 331776);
}
BENCHMARK(BM_TowerBuild)->Unit(benchmark::kMicrosecond);

void BM_TowerWrite(benchmark::State& state) {
    Geometry g;
    int value = 0;
    for (auto _ : state) g.Write(value++ & 1);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 331776);
}
BENCHMARK(BM_TowerWrite)->Unit(benchmark::kMicrosecond);

void BM_TowerBuildPerWrite(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Geometry g;
    std::vector<double> build, write;
    int value = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        g.Build();
        const auto t1 = Clock::now();
        g.Write(value++ & 1);
        const auto t2 = Clock::now();
        build.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        write.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    auto median = [](std::vector<double>& v) {
        if (v.empty()) return 0.0;
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double b = median(build), w = median(write);
    state.counters["build_us"] = b;
    state.counters["write_us"] = w;
    state.counters["ratio"] = w > 0.0 ? b / w : 0.0;
}
BENCHMARK(BM_TowerBuildPerWrite)->Unit(benchmark::kMicrosecond)->Iterations(5000);

// ---------------------------------------------------------------------------

struct Scene {
    Device* device = nullptr;
    CCamera camera;
    std::unique_ptr<CCubeTower> tower;
    std::vector<uint8_t> rgb;

    Scene() {
        device = bench::SharedDevice();
        if (!device) return;
        InitSceneRenderer();
        float progress = 0.0f;
        for (int i = 0; i < 30 && !LoadNextAsset(progress); ++i) {
        }
        camera.SetClipPlanes(0.1f, 2000.0f);
        SetCurrentCamera(&camera);
        tower = std::make_unique<CCubeTower>();
        // Some seconds in, with the mesh half way up, as the show looks.
        for (int i = 0; i < 300; ++i) tower->Update(1.0f / 60.0f);
    }
    bool Ready() const { return device && GetEffect(106) && GetEffect(215) && GetEffect(223); }
};

Scene& S() {
    static Scene s;
    return s;
}

void Count(benchmark::State& state, const FrameStats& total) {
    const double n = static_cast<double>(state.iterations() > 0 ? state.iterations() : 1);
    state.counters["draws"] = total.draws / n;
    state.counters["texture_binds"] = total.texture_binds / n;
    state.counters["target_binds"] = total.target_binds / n;
    state.counters["program_binds"] = total.program_binds / n;
    state.counters["state_changes"] = total.state_changes / n;
}

void Add(FrameStats& total, const FrameStats& frame) {
    total.draws += frame.draws;
    total.texture_binds += frame.texture_binds;
    total.target_binds += frame.target_binds;
    total.program_binds += frame.program_binds;
    total.state_changes += frame.state_changes;
}

void BM_TowerFrame(benchmark::State& state) {
    Scene& s = S();
    if (!s.Ready()) {
        state.SkipWithError("no device or the effect files did not load");
        return;
    }
    const CubeTowerParams saved = CCubeTower::s_Params;
    CCubeTower::s_Params.fPostProcess = static_cast<float>(state.range(0));
    // 0: the whole scene; 1: background and tower only; 2: the mesh only.
    CCubeTower::s_Params.fRenderTower = state.range(1) == 2 ? 0.0f : 1.0f;
    CCubeTower::s_Params.fRenderModels = state.range(1) == 1 ? 0.0f : 1.0f;
    FrameStats total;
    for (auto _ : state) {
        s.device->BeginScene();
        ClearDepth(1.0f);
        ClearColor(0x00FFFFFF);
        s.tower->Update(1.0f / 60.0f);
        s.tower->Render();
        s.device->EndScene();
        s.device->Present();
        Add(total, s.device->LastFrameStats());
        s.device->ReadBackBuffer(s.rgb);  // waits for the GPU
    }
    CCubeTower::s_Params = saved;
    Count(state, total);
}
BENCHMARK(BM_TowerFrame)
    ->ArgNames({"post_process", "parts"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond);

void BM_TowerFrame_Empty(benchmark::State& state) {
    Scene& s = S();
    if (!s.device) {
        state.SkipWithError("no device");
        return;
    }
    FrameStats total;
    for (auto _ : state) {
        s.device->BeginScene();
        ClearDepth(1.0f);
        ClearColor(0x00FFFFFF);
        s.device->EndScene();
        s.device->Present();
        Add(total, s.device->LastFrameStats());
        s.device->ReadBackBuffer(s.rgb);
    }
    Count(state, total);
}
BENCHMARK(BM_TowerFrame_Empty)->Unit(benchmark::kMillisecond);

}  // namespace
