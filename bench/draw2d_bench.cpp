// What one 2D quad costs the CPU: DrawTexture of one letter-sized quad (the
// scroller draws up to 180 a frame), of the full-size overlay picture,
// DrawTextureRegion, and DrawRect for comparison. Each iteration is one
// call: effect technique and parameters, Begin, BeginPass, DrawPrimitiveUP,
// EndPass, End. The quads land on a 16 x 16 render target and the scene is
// presented every 256 calls with the clock paused, so little rasterising
// is done. Read the CPU column: the main thread's time, i.e. our layer, the
// GL calls and llvmpipe's binning. The wall-clock column also holds waits
// for llvmpipe's raster threads, which on a busy machine dominate. The
// "Culled" variant draws off the target, where llvmpipe bins nothing: it is
// the cost of our layer and the GL calls alone.
//
// Counters per call: GL state changes, texture binds and program binds the
// device made (what its state cache did not save).
//
// Run: SDL_VIDEODRIVER=offscreen build/kelo_bench --benchmark_filter=2D
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "app/device.h"
#include "bench/bench_device.h"
#include "data/texture.h"
#include "fx2d/draw2d.h"

using namespace plat::gfx;

namespace {

struct Show2D {
    Device* device = nullptr;
    CTexture letters;  // 512 x 32, like the scroller's font
    CTexture overlay;  // 1024 x 1024, like the overlay picture
    Texture* target = nullptr;
    Surface* target_surface = nullptr;

    Show2D() {
        device = bench::SharedDevice();
        if (!device || !g_p2DEffect) {
            device = nullptr;
            std::fprintf(stderr, "bench: no device or 2D effect\n");
            return;
        }
        Fill(letters, 512, 32);
        Fill(overlay, 1024, 1024);
        target = device->CreateTexture(16, 16, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
        if (target) target->GetSurfaceLevel(0, &target_surface);
    }

    void Fill(CTexture& t, uint32_t w, uint32_t h) {
        t.m_nWidth = w;
        t.m_nHeight = h;
        t.m_pTexture = device->CreateTexture(w, h, 0, USAGE_NONE, Format::A8R8G8B8);
        std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
        for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 7);
        t.m_pTexture->Upload(0, rgba.data());
        t.m_pTexture->GenerateMips();
    }
};

Show2D& S() {
    static Show2D s;
    return s;
}

template <typename Draw>
void Run(benchmark::State& state, Draw draw) {
    Show2D& s = S();
    if (!s.device || !s.target_surface) {
        state.SkipWithError("no device, 2D effect or target");
        return;
    }
    s.device->Present();  // start the counters from zero
    s.device->SetRenderTarget(0, s.target_surface);
    s.device->BeginScene();
    FrameStats total;
    int calls = 0;
    auto add = [&total](const FrameStats& f) {
        total.state_changes += f.state_changes;
        total.texture_binds += f.texture_binds;
        total.program_binds += f.program_binds;
    };
    for (auto _ : state) {
        draw();
        if (++calls % 256 == 0) {
            state.PauseTiming();
            s.device->EndScene();
            add(s.device->CurrentStats());
            s.device->Present();
            s.device->BeginScene();
            state.ResumeTiming();
        }
    }
    s.device->EndScene();
    add(s.device->CurrentStats());
    s.device->SetRenderTarget(0, s.device->BackBuffer());
    s.device->Present();
    const double n = calls > 0 ? calls : 1;
    state.counters["state_changes"] = total.state_changes / n;
    state.counters["texture_binds"] = total.texture_binds / n;
    state.counters["program_binds"] = total.program_binds / n;
}

// A new place each call, as the scroller's pen moves: x in 0..7 on the
// target, or far to its right.
void Letter(benchmark::State& state, float base_x) {
    int step = 0;
    Run(state, [&step, base_x] {
        step = (step + 1) & 7;
        DrawTexture(&S().letters, CVector2(base_x + static_cast<float>(step), 0.f), CVector2(9.f, 32.f), 0xFFFFFFFF);
    });
}
void BM_2D_DrawTexture_Letter(benchmark::State& state) { Letter(state, 0.f); }
BENCHMARK(BM_2D_DrawTexture_Letter);
void BM_2D_DrawTexture_Letter_Culled(benchmark::State& state) { Letter(state, 500.f); }
BENCHMARK(BM_2D_DrawTexture_Letter_Culled);

void BM_2D_DrawTextureRegion_Letter(benchmark::State& state) {
    int step = 0;
    Run(state, [&step] {
        step = (step + 1) & 7;
        DrawTextureRegion(&S().letters, CVector2(static_cast<float>(step), 0.f), CVector2(9.f, 32.f),
                          CVector2(18.f / 512.f, 0.f), CVector2(9.f / 512.f, 1.f), 0xFFFFFFFF);
    });
}
BENCHMARK(BM_2D_DrawTextureRegion_Letter);

void BM_2D_DrawTexture_FullPicture(benchmark::State& state) {
    Run(state, [] { DrawTexture(&S().overlay, CVector2(0.f, 0.f), S().overlay.GetSize(), 0xFFFFFFFF); });
}
BENCHMARK(BM_2D_DrawTexture_FullPicture);

void BM_2D_DrawRect(benchmark::State& state) {
    Run(state, [] { DrawRect(CVector2(0.f, 0.f), CVector2(500.f, 160.f), 0xFF808080); });
}
BENCHMARK(BM_2D_DrawRect);

}  // namespace
