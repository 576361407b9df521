// What the 2D frames of the show cost at 1024 x 768 on llvmpipe, each a
// demo frame of the effect alone: clear, Render, Present, then a read of the
// back buffer, which waits for llvmpipe. Goal: 60 frames a second, 16.7 ms.
//
//   BM_ShowLoadingFrame   the loading screen as the show runs it: each frame
//                         loads one asset (Update) and draws the picture and
//                         the bar; after the 23rd the cache is emptied and
//                         loading starts again. Time: the whole frame;
//                         load_ms (mean) and load_max_ms are the loads,
//                         draw_ms (median) the draw, present and read.
//   BM_ShowLoadingDraw    the loading screen's draw alone, bar half way.
//   BM_ShowIntro/screen   0 the group's logo half faded in (a cross-fade,
//                         no ripple), 1 the intro picture half faded in,
//                         rippling through PP_WaterFade.fx, 2 both at once,
//                         as the show has them from 10 s to 14 s.
//   BM_ShowOverlay/page   page 0 (the tint and the picture alone) and page 1
//                         fully in (six bars and their letters).
// Counters per frame, from the device's LastFrameStats: draws, texture
// binds, target binds, program binds and GL state changes.
//
// The loading benchmark empties the asset cache; every asset is loaded
// again before it returns, so the benchmarks after it find the cache full.
// The loads time glslang, SPIRV-Cross and the GL compile; llvmpipe turns a
// program into machine code at its first draw, which falls in the first
// tower frame, not here.
//
// Run: SDL_VIDEODRIVER=offscreen build/kelo_bench --benchmark_filter=Show
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "app/device.h"
#include "bench/bench_device.h"
#include "data/asset_cache.h"
#include "data/resource_ids.h"
#include "fx2d/intro_screens.h"
#include "fx2d/kelo_overlay.h"
#include "fx2d/loading.h"

using namespace plat::gfx;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// The 2D effects, made once: each construction registers the effect's
// parameters again, as the show's constructors do.
struct Screens {
    Device* device = nullptr;
    std::vector<uint8_t> rgb;
    std::unique_ptr<CIntroScreens> logo, intro;
    std::unique_ptr<CKeloOverlay> overlay;

    Screens() {
        device = bench::SharedDevice();
        if (!device) return;
        LoadAllAssets();
        logo = std::make_unique<CIntroScreens>();
        intro = std::make_unique<CIntroScreens>();
        logo->m_nPicture = 0;
        intro->m_nPicture = 1;
        overlay = std::make_unique<CKeloOverlay>();
    }

    // A demo frame around `draw`, presented and read back.
    template <typename Draw>
    void Frame(Draw&& draw) {
        device->BeginScene();
        ClearDepth(1.0f);
        ClearColor(0x00FFFFFF);
        draw();
        device->EndScene();
        device->Present();
        device->ReadBackBuffer(rgb);
    }
};

// The asset cache may have been emptied by an earlier benchmark; loading
// again is a no-op once everything is in.
Screens& Sc() {
    static Screens s;
    LoadAllAssets();
    return s;
}

void BM_ShowLoadingFrame(benchmark::State& state) {
    Screens& s = Sc();
    if (!s.device) {
        state.SkipWithError("no device");
        return;
    }
    ResetAssetCacheForTests();
    CLoading loading;
    // Longer than any run: an effect without a lifetime expires at once and
    // would stop loading.
    loading.SetDuration(1.0e9f);
    std::vector<double> loads, draws;
    bench::FrameCounters counters;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        loading.Update(1.0f / 60.0f);
        const auto t1 = Clock::now();
        s.Frame([&] { loading.Render(); });
        const auto t2 = Clock::now();
        counters.Add(s.device->LastFrameStats());
        loads.push_back(Ms(t0, t1));
        draws.push_back(Ms(t1, t2));
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
        if (GetAssetCache().m_nLoadCursor == 23) {
            ResetAssetCacheForTests();
            loading.m_fProgress = 0.0f;
        }
    }
    LoadAllAssets();
    counters.Report(state);
    double sum = 0.0;
    for (double l : loads) sum += l;
    state.counters["load_ms"] = loads.empty() ? 0.0 : sum / static_cast<double>(loads.size());
    state.counters["load_max_ms"] = loads.empty() ? 0.0 : *std::max_element(loads.begin(), loads.end());
    state.counters["draw_ms"] = bench::Median(draws);
}
// Two rounds of the 23 assets.
BENCHMARK(BM_ShowLoadingFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(46);

void BM_ShowLoadingDraw(benchmark::State& state) {
    Screens& s = Sc();
    if (!s.device) {
        state.SkipWithError("no device");
        return;
    }
    CLoading loading;
    loading.m_fProgress = 0.5f;
    bench::FrameCounters counters;
    for (auto _ : state) {
        s.Frame([&] { loading.Render(); });
        counters.Add(s.device->LastFrameStats());
    }
    counters.Report(state);
}
BENCHMARK(BM_ShowLoadingDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ShowIntro(benchmark::State& state) {
    Screens& s = Sc();
    if (!s.device || !s.logo || !GetEffect(kWaterFadeEffectId)) {
        state.SkipWithError("no device, or PP_WaterFade.fx did not load");
        return;
    }
    const int screen = static_cast<int>(state.range(0));
    // Half faded in: the ripple at half its reach, alpha a half.
    s.logo->m_fFade = 0.5f;
    s.intro->m_fFade = 0.5f;
    bench::FrameCounters counters;
    for (auto _ : state) {
        // The clock moves the ripples; the fade stays put.
        s.logo->m_fTime += 1.0f / 60.0f;
        s.intro->m_fTime += 1.0f / 60.0f;
        s.Frame([&] {
            if (screen != 1) s.logo->Render();
            if (screen != 0) s.intro->Render();
        });
        counters.Add(s.device->LastFrameStats());
    }
    counters.Report(state);
}
BENCHMARK(BM_ShowIntro)->ArgName("screen")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ShowOverlay(benchmark::State& state) {
    Screens& s = Sc();
    if (!s.device || !s.overlay) {
        state.SkipWithError("no device");
        return;
    }
    s.overlay->m_nPage = static_cast<int32_t>(state.range(0));
    s.overlay->m_fPhase = kOverlayPhaseMax;
    bench::FrameCounters counters;
    for (auto _ : state) {
        s.Frame([&] { s.overlay->Render(); });
        counters.Add(s.device->LastFrameStats());
    }
    counters.Report(state);
}
BENCHMARK(BM_ShowOverlay)->ArgName("page")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
