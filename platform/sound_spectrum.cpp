// The 512-band spectrum: periodic Hann window, KissFFT real transform,
// magnitudes scaled so a full-scale sine centred on a band reads 1.
//
// Why these choices: the periodic window (cos over N, not N - 1) makes a sine
// centred on a bin fall into exactly three bins, so five bands away reads 0;
// dividing 2|X| by the window's sum (N/2 = 512) undoes both the window's loss
// and the halving of a real sine's energy into two mirrored bins.
//
// Cost: the show takes one of these a frame, and KissFFT's transform is
// nearly all of it (about 3.7 us of 3.9 here). The magnitudes are taken four at a
// time with SSE2: std::sqrt has to be ready to set errno, which keeps the
// compiler from vectorising the loop, and one square root at a time cost
// some 0.3 us a spectrum more. Both paths do the same float operations in
// the same order, so they give the same bits.
#include <kiss_fftr.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>

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

// bands[i] = min(1, |bins[i]| * scale) for kSpectrumBands bins.
void Magnitudes(const kiss_fft_cpx* bins, float scale, float* bands) {
    static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float), "bins are read as interleaved floats");
    const float* c = &bins[0].r;
#if defined(__SSE2__)
    static_assert(kSpectrumBands % 4 == 0, "whole groups of four");
    const __m128 k = _mm_set1_ps(scale), one = _mm_set1_ps(1.0f);
    for (int i = 0; i < kSpectrumBands; i += 4) {
        const __m128 a = _mm_loadu_ps(c + 2 * i);      // r0 i0 r1 i1
        const __m128 b = _mm_loadu_ps(c + 2 * i + 4);  // r2 i2 r3 i3
        const __m128 re = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 im = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        const __m128 power = _mm_add_ps(_mm_mul_ps(re, re), _mm_mul_ps(im, im));
        // min with 1 second, as std::min(1, x) reads: a NaN becomes 1 in both.
        _mm_storeu_ps(bands + i, _mm_min_ps(_mm_mul_ps(_mm_sqrt_ps(power), k), one));
    }
#else
    for (int i = 0; i < kSpectrumBands; ++i) {
        const float re = c[2 * i], im = c[2 * i + 1];
        bands[i] = std::min(1.0f, std::sqrt(re * re + im * im) * scale);
    }
#endif
}

}  // namespace

void ComputeSpectrum(const float* samples, float* bands) {
    // KissFFT keeps scratch space in its plan, so each thread has its own.
    thread_local SpectrumPlan plan;
    float in[kSpectrumWindow];
    kiss_fft_cpx out[kSpectrumWindow / 2 + 1];
    for (int n = 0; n < kSpectrumWindow; ++n) in[n] = samples[n] * plan.window[n];
    kiss_fftr(plan.cfg, in, out);
    // Bin 0 (DC) is dropped: band i is bin i + 1, so band 511 is 22050 Hz.
    Magnitudes(out + 1, plan.scale, bands);
}

}  // namespace plat
