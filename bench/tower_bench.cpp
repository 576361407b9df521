// What the cube tower costs: its geometry on the CPU, and a whole frame of
// the tower scene on llvmpipe at 1024 x 768, against the bare-GL floor of
// the same frame.
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
// Floor: BM_TowerFloor is the same frame issued by bench/gl_floor.cpp, a
// minimal program on bare GL in the same context: the same vertices (the
// tower's 13,824 uploaded each frame, the rising mesh's, one draw per
// subset) under the same matrices, the same targets (RGBA8 back buffer,
// RGBA16F scene and post targets, one depth buffer), the same clears, quads
// and texture taps per pass, the same depth and blend use, its own small
// shaders. Per frame, post_process 0: clear; rectangle, picture (1 tap) and
// tower into the back buffer; scene 0 cleared, the mesh into it; the bloom
// chain, each pass into a cleared RGBA16F target: down-filter to the quarter
// (16 taps), bright pass (1), vertical and horizontal blur (13 each, at
// 256 x 192), combine to full size (2); present (1) and the sharp copy (1)
// blended over the back buffer: 10 draws + one per mesh subset, 9 clears.
// post_process 1 puts the rectangle, picture and tower (three passes:
// colour, normal, position) into the three scene targets and adds the
// occlusion pass (2 + 100 taps), its combine (2) and present (1) before the
// mesh part: 15 draws + one per subset, 14 clears. Our frame issues the same draws (its counters say
// so); it clears more (all three scene targets and depth with each, for the
// mesh too). Counters: the floor's draws, clears and uploaded bytes.
// BM_TowerOverFloor runs our frame and the floor's in each iteration (their
// order alternating, so load on the machine hits both alike) and reports
// the medians, our_ms and floor_ms, and ratio = our_ms / floor_ms (goal:
// at most 1.25). Before timing it checks that the floor leaves the device's
// GL state alone: our frame drawn again after a floor frame must come out
// the same, pixel for pixel, or the benchmark stops with an error.
//
// Run: SDL_VIDEODRIVER=offscreen build/kelo_bench --benchmark_filter=Tower
//      (add --benchmark_repetitions=3 for spread; the floor alone:
//      --benchmark_filter='TowerFloor|TowerOverFloor')
//
// Index of this file:
// [SECTION] Geometry on the CPU
// [SECTION] A whole tower frame on the device
// [SECTION] The bare-GL floor

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
#include "data/music.h"
#include "bench/gl_floor.h"
#include "data/resource_ids.h"
#include "render/camera.h"
#include "render/scene_renderer.h"
#include "tower/cube_tower.h"

using namespace plat::gfx;

namespace {

// ---------------------------------------------------------------------------
// [SECTION] Geometry on the CPU
// ---------------------------------------------------------------------------

// A spectrum shaped like music: strong lows falling off, with some ripple.
std::vector<float> MusicLikeSpectrum() {
    std::vector<float> s(kSpectrumBands);
    for (int i = 0; i < kSpectrumBands; ++i) {
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
    const double b = bench::Median(build), w = bench::Median(write);
    state.counters["build_us"] = b;
    state.counters["write_us"] = w;
    state.counters["ratio"] = w > 0.0 ? b / w : 0.0;
}
BENCHMARK(BM_TowerBuildPerWrite)->Unit(benchmark::kMicrosecond)->Iterations(5000);

// ---------------------------------------------------------------------------
// [SECTION] A whole tower frame on the device
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
        LoadAllAssets();
        camera.SetClipPlanes(0.1f, 2000.0f);
        SetCurrentCamera(&camera);
        tower = std::make_unique<CCubeTower>();
        // Some seconds in, with the mesh half way up, as the show looks.
        for (int i = 0; i < 300; ++i) tower->Update(1.0f / 60.0f);
    }
    bool Ready() const { return device && GetEffect(kSceneEffectId) && GetEffect(kSsaoEffectId) && GetEffect(kColorDownFilter4EffectId); }

    // One demo frame of the tower alone, presented and read back; without
    // the update it draws the last frame again.
    void Frame(bool update = true) {
        device->BeginScene();
        ClearDepth(1.0f);
        ClearColor(0x00FFFFFF);
        if (update) tower->Update(1.0f / 60.0f);
        tower->Render();
        device->EndScene();
        device->Present();
        device->ReadBackBuffer(rgb);  // waits for the GPU
    }
};

Scene& S() {
    static Scene s;
    return s;
}

// Sets post_process and the two parts for the life of one benchmark.
class TowerParams {
public:
    TowerParams(int post_process, int parts) {
        CCubeTower::s_Params.fPostProcess = static_cast<float>(post_process);
        // 0: the whole scene; 1: background and tower only; 2: the mesh only.
        CCubeTower::s_Params.fRenderTower = parts == 2 ? 0.0f : 1.0f;
        CCubeTower::s_Params.fRenderModels = parts == 1 ? 0.0f : 1.0f;
    }
    ~TowerParams() { CCubeTower::s_Params = saved_; }

private:
    CubeTowerParams saved_ = CCubeTower::s_Params;
};

void BM_TowerFrame(benchmark::State& state) {
    Scene& s = S();
    if (!s.Ready()) {
        state.SkipWithError("no device or the effect files did not load");
        return;
    }
    const TowerParams params(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    bench::FrameCounters counters;
    for (auto _ : state) {
        s.Frame();
        counters.Add(s.device->LastFrameStats());
    }
    counters.Report(state);
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
    bench::FrameCounters counters;
    for (auto _ : state) {
        s.device->BeginScene();
        ClearDepth(1.0f);
        ClearColor(0x00FFFFFF);
        s.device->EndScene();
        s.device->Present();
        counters.Add(s.device->LastFrameStats());
        s.device->ReadBackBuffer(s.rgb);
    }
    counters.Report(state);
}
BENCHMARK(BM_TowerFrame_Empty)->Unit(benchmark::kMillisecond);

// --- the floor ----------------------------------------------------------------

// ---------------------------------------------------------------------------
// [SECTION] The bare-GL floor
// ---------------------------------------------------------------------------

// What the floor draws for the tower as it stands after our last frame: its
// vertices, the rising mesh's, and the matrices RenderTower and RenderModel
// hand the scene effect, so both programs rasterise the same pixels.
struct FloorFrame {
    bench::floor::FrameInput input;
    std::vector<bench::floor::Range> mesh_draws;

    void From(const CCubeTower& tower, CCamera& camera) {
        const CubeTowerParams& p = CCubeTower::s_Params;
        camera.SetPosition(p.vCamPos);
        camera.SetFocus(p.vCamFocus, g_vUnitY);
        const CMatrix& view = camera.GetViewMatrix();

        CMatrix tower_model, mesh_model, turn, model_view;
        tower_model.RotationY(tower.m_fTime * CCubeTower::s_Shape[5]);
        // RenderModel's placement: scaled, swaying, facing the camera, then
        // moved up the climb and swung about the tower's axis.
        const float t = tower.m_fTime, tilt = 0.31415927f * std::sin(0.4f * t);
        mesh_model.Scaling(0.005f, 0.005f, 0.005f);
        MatrixMultiply(mesh_model, mesh_model, turn.RotationX(tilt));
        MatrixMultiply(mesh_model, mesh_model, turn.RotationY(kPi + 0.62831855f * std::sin(0.6f * t)));
        MatrixMultiply(mesh_model, mesh_model, turn.RotationZ(tilt));
        mesh_model.SetTranslation(tower.m_vModelPos);
        MatrixMultiply(mesh_model, mesh_model, turn.RotationY(t * p.fLogoRotY));

        auto copy = [](float* to, const CMatrix& m) { std::memcpy(to, &m.m[0][0], 16 * sizeof(float)); };
        copy(input.proj, camera.GetProjMatrix());
        copy(input.tower_model, tower_model);
        copy(input.tower_model_view, MatrixMultiply(model_view, tower_model, view));
        copy(input.mesh_model, mesh_model);
        copy(input.mesh_model_view, MatrixMultiply(model_view, mesh_model, view));
        input.focal_plane_length = camera.GetFocalPlaneLength();
        input.tower = tower.m_Vertices;
        input.tower_vertices = kTowerVertices;

        mesh_draws.clear();
        input.mesh = nullptr;
        input.mesh_vertices = 0;
        const CMesh* mesh = GetMesh(CCubeTower::s_ModelIds[tower.m_nModel]);
        if (mesh && mesh->m_pMesh) {
            const plat::MeshData& data = mesh->m_pMesh->Data();
            input.mesh = data.vertices.data();
            input.mesh_vertices = static_cast<uint32_t>(data.vertices.size());
            for (uint32_t k = 0; k < mesh->m_nMaterials && k < data.subsets.size(); ++k) {
                const plat::MeshSubset& subset = data.subsets[k];
                if (subset.triangle_count > 0) mesh_draws.push_back({subset.first_vertex, subset.triangle_count * 3});
            }
        }
        input.mesh_draws = mesh_draws;
    }
};

// Makes the floor for one benchmark and releases it after.
class FloorSetup {
public:
    explicit FloorSetup(int post_process) : ok_(bench::floor::Setup(post_process)) {}
    ~FloorSetup() { bench::floor::Release(); }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// The floor shares the device's context and must leave every GL state the
// device caches as it found it: our frame drawn again after a floor frame
// must come out as it did before, pixel for pixel.
bool FloorLeavesDeviceStateAlone(Scene& s, FloorFrame& frame) {
    s.Frame();
    s.Frame(false);
    const std::vector<uint8_t> before = s.rgb;
    frame.From(*s.tower, s.camera);
    bench::floor::RenderFrame(frame.input);
    bench::floor::Finish();
    s.Frame(false);
    return s.rgb == before;
}

void ReportFloor(benchmark::State& state, const bench::floor::Stats& stats) {
    state.counters["floor_draws"] = stats.draws;
    state.counters["floor_clears"] = stats.clears;
    state.counters["floor_upload_kb"] = stats.bytes_uploaded / 1024.0;
}

void BM_TowerFloor(benchmark::State& state) {
    Scene& s = S();
    if (!s.Ready()) {
        state.SkipWithError("no device or the effect files did not load");
        return;
    }
    const FloorSetup floor(static_cast<int>(state.range(0)));
    if (!floor.ok()) {
        state.SkipWithError("the floor's shaders did not compile");
        return;
    }
    FloorFrame frame;
    frame.From(*s.tower, s.camera);
    for (auto _ : state) {
        bench::floor::RenderFrame(frame.input);
        bench::floor::Finish();
    }
    ReportFloor(state, bench::floor::LastFrameStats());
}
BENCHMARK(BM_TowerFloor)
    ->ArgName("post_process")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_TowerOverFloor(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Scene& s = S();
    if (!s.Ready()) {
        state.SkipWithError("no device or the effect files did not load");
        return;
    }
    const int post_process = static_cast<int>(state.range(0));
    const TowerParams params(post_process, 0);
    const FloorSetup floor(post_process);
    if (!floor.ok()) {
        state.SkipWithError("the floor's shaders did not compile");
        return;
    }
    FloorFrame frame;
    if (!FloorLeavesDeviceStateAlone(s, frame)) {
        state.SkipWithError("our frame changed after a floor frame: the floor left GL state behind");
        return;
    }
    std::vector<double> ours, bare;
    bench::FrameCounters counters;
    auto ms = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    auto run_ours = [&] {
        const auto t0 = Clock::now();
        s.Frame();
        ours.push_back(ms(t0, Clock::now()));
        counters.Add(s.device->LastFrameStats());
    };
    auto run_floor = [&] {
        // The geometry our last frame drew; gathering it is not timed.
        frame.From(*s.tower, s.camera);
        const auto t0 = Clock::now();
        bench::floor::RenderFrame(frame.input);
        bench::floor::Finish();
        bare.push_back(ms(t0, Clock::now()));
    };
    int n = 0;
    for (auto _ : state) {
        if (n++ % 2 == 0) {
            run_ours();
            run_floor();
        } else {
            run_floor();
            run_ours();
        }
    }
    counters.Report(state);
    ReportFloor(state, bench::floor::LastFrameStats());
    const double our_ms = bench::Median(ours), floor_ms = bench::Median(bare);
    state.counters["our_ms"] = our_ms;
    state.counters["floor_ms"] = floor_ms;
    state.counters["ratio"] = floor_ms > 0.0 ? our_ms / floor_ms : 0.0;
}
BENCHMARK(BM_TowerOverFloor)
    ->ArgName("post_process")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(12);

}  // namespace
