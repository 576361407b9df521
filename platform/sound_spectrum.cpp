// The 512-band spectrum: periodic Hann window, KissFFT real transform,
// magnitudes scaled so a full-scale sine centred on a band reads 1.
//
// Why these choices: the periodic window (cos over N, not N - 1) makes a sine
// centred on a bin fall into exactly three bins, so five bands away reads 0;
// dividing 2|X| by the window's sum (N/2 = 512) undoes both the window's loss
// and the halving of a real sine's energy into two mirrored bins.
#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/sound.h"

namespace plat {
namespace {

struct SpectrumPlan {
    kiss_fftr_cfg cfg = nullptr;
    float window[kSpectrumWindow];
    float scale = 0.0f;  // 2 / sum of the window

    SpectrumPlan() {
        cfg = kiss_fftr_alloc(kSpectrumWindow, 0, nullptr, nullptr);
        double sum = 0.0;
        for (int n = 0; n < kSpectrumWindow; ++n) {
            window[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * n / kSpectrumWindow));
            sum += window[n];
        }
        scale = static_cast<float>(2.0 / sum);
    }
    ~SpectrumPlan() { kiss_fftr_free(cfg); }
    SpectrumPlan(const SpectrumPlan&) = delete;
    SpectrumPlan& operator=(const SpectrumPlan&) = delete;
};

}  // namespace

void ComputeSpectrum(const float* samples, float* bands) {
    // KissFFT keeps scratch space in its plan, so each thread has its own.
    thread_local SpectrumPlan plan;
    float in[kSpectrumWindow];
    kiss_fft_cpx out[kSpectrumWindow / 2 + 1];
    for (int n = 0; n < kSpectrumWindow; ++n) in[n] = samples[n] * plan.window[n];
    kiss_fftr(plan.cfg, in, out);
    // Bin 0 (DC) is dropped: band i is bin i + 1, so band 511 is 22050 Hz.
    for (int i = 0; i < kSpectrumBands; ++i) {
        const kiss_fft_cpx c = out[i + 1];
        bands[i] = std::min(1.0f, std::sqrt(c.r * c.r + c.i * c.i) * plan.scale);
    }
}

}  // namespace plat
