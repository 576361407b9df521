// What the two post-processing chains cost at 1024 x 768, GPU included:
// the ambient-occlusion chain (PP_SSAO.fx, 100 taps a pixel, then
// PP_SSAOCombine.fx) and the bloom chain (down-filter, bright pass, two
// blurs at quarter size, 4x combine), each with its present step, over
// scene targets filled like a tower frame (geometry over the middle half,
// background around it).
//
// Each iteration ends by reading the back buffer, which waits for llvmpipe
// to finish; BM_PostProcess_SyncOnly is that read alone, to subtract.
// Counters per chain: draws, texture binds, program binds and GL state
// changes the device made.
//
// Run: SDL_VIDEODRIVER=offscreen build/kelo_bench --benchmark_filter=PostProcess
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "app/device.h"
#include "bench/bench_device.h"
#include "data/creators.h"
#include "data/resource_ids.h"
#include "data/texture.h"
#include "platform/fx/effect.h"
#include "render/post_process.h"
#include "render/scene_renderer.h"

using namespace plat::gfx;

namespace {

struct Chains {
    Device* device = nullptr;
    plat::fx::Effect* ssao[2] = {};
    plat::fx::Effect* bloom[5] = {};
    std::vector<uint8_t> rgb;

    Chains() {
        device = bench::SharedDevice();
        if (!device) return;
        InitSceneRenderer();
        const uint32_t ao_ids[] = {kSsaoEffectId, kSsaoCombineEffectId};
        const uint32_t bloom_ids[] = {kColorDownFilter4EffectId, kColorBrightPassEffectId, kColorBlurVEffectId,
                                     kColorBlurHEffectId, kColorCombine4EffectId};
        for (int i = 0; i < 2; ++i) ssao[i] = CreateEffectFromResource(ao_ids[i], "bench");
        for (int i = 0; i < 5; ++i) bloom[i] = CreateEffectFromResource(bloom_ids[i], "bench");
        // Lit colour and view position where the "tower" is, the clear
        // (white, alpha 0, z = 1) elsewhere.
        const int w = 1024, h = 768;
        std::vector<float> color(size_t{w} * h * 4), position(size_t{w} * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t i = (static_cast<size_t>(y) * w + static_cast<size_t>(x)) * 4;
                const bool geometry = x >= 256 && x < 768 && y >= 192 && y < 576;
                const float shade = 0.3f + 0.5f * static_cast<float>((x * 7 + y * 3) % 64) / 64.f;
                for (int c = 0; c < 3; ++c) color[i + c] = geometry ? shade : 1.f;
                color[i + 3] = geometry ? 1.f : 0.f;
                position[i] = position[i + 1] = 1.f;
                position[i + 2] = geometry ? -0.4f : 1.f;
                position[i + 3] = geometry ? 1.f : 0.f;
            }
        if (CTexture* t = GetSceneTarget(0); t && t->m_pTexture) t->m_pTexture->Upload(0, color.data());
        if (CTexture* t = GetSceneTarget(2); t && t->m_pTexture) t->m_pTexture->Upload(0, position.data());
    }
};

Chains& C() {
    static Chains c;
    return c;
}

template <size_t N>
void RunChain(benchmark::State& state, plat::fx::Effect* const (&links)[N]) {
    Chains& c = C();
    if (!c.device) {
        state.SkipWithError("no device");
        return;
    }
    for (plat::fx::Effect* e : links) {
        if (!e) {
            state.SkipWithError("an effect file did not compile");
            return;
        }
    }
    FrameStats total;
    for (auto _ : state) {
        c.device->BeginScene();
        const FrameStats before = c.device->CurrentStats();
        BeginPostProcess();
        for (plat::fx::Effect* e : links) RunPostProcess(e);
        PresentPostProcess();
        const FrameStats after = c.device->CurrentStats();
        total.draws += after.draws - before.draws;
        total.texture_binds += after.texture_binds - before.texture_binds;
        total.program_binds += after.program_binds - before.program_binds;
        total.state_changes += after.state_changes - before.state_changes;
        c.device->EndScene();
        c.device->ReadBackBuffer(c.rgb);  // waits for the GPU
    }
    const double n = static_cast<double>(state.iterations() > 0 ? state.iterations() : 1);
    state.counters["draws"] = total.draws / n;
    state.counters["texture_binds"] = total.texture_binds / n;
    state.counters["program_binds"] = total.program_binds / n;
    state.counters["state_changes"] = total.state_changes / n;
}

void BM_PostProcess_AmbientOcclusion(benchmark::State& state) { RunChain(state, C().ssao); }
BENCHMARK(BM_PostProcess_AmbientOcclusion)->Unit(benchmark::kMillisecond);

void BM_PostProcess_Bloom(benchmark::State& state) { RunChain(state, C().bloom); }
BENCHMARK(BM_PostProcess_Bloom)->Unit(benchmark::kMillisecond);

void BM_PostProcess_SyncOnly(benchmark::State& state) {
    Chains& c = C();
    if (!c.device) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) {
        c.device->BeginScene();
        c.device->EndScene();
        c.device->ReadBackBuffer(c.rgb);
    }
}
BENCHMARK(BM_PostProcess_SyncOnly)->Unit(benchmark::kMillisecond);

}  // namespace
