// The 512-band spectrum: periodic Hann window, KissFFT real transform,
// magnitudes scaled so a sine of amplitude a centred on band i reads
// min(1, a SpectrumTilt(i)): a in bands 0 to 2 (43 to 129 Hz), and 3 dB an
// octave more above them, a sqrt((i + 1) / 3).
//
// Why these choices: the periodic window (cos over N, not N - 1) makes a sine
// centred on a bin fall into exactly three bins, so five bands away reads 0;
// dividing 2|X| by the window's sum (N/2 = 512) undoes both the window's loss
// and the halving of a real sine's energy into two mirrored bins.
//
// Why the tilt: every segment of the tower adds d0 x (a quarter of five
// bands) to its radius, d0 = 8, and its rows read the whole range from
// band 7 (300 Hz) to band 255 (11 kHz). Music carries far less per band up
// there than in the bass: in the soundtrack's drop, with the plain
// per-band amplitude, bands 0 to 2 reach 0.3 to 1 on a kick while the
// bands above 300 Hz sit around 0.002, which moves a wedge by 0.02 units
// (a pixel at the show's camera) and leaves every row but the bass wedges'
// still. A mix's energy per band falls roughly as 1/f, so its amplitude
// per band falls as 1/sqrt(f); weighting by sqrt(f) from the top of the
// bass up (about 5.6 times at 4 kHz, 9 at 11 kHz) lifts the mids and highs
// towards the bass's scale, while bands 0 to 2, which drive the sync
// channels and the bass wedges, keep the scale they had. The mixer then
// holds each band's peaks (platform/sound/mixer.cpp), so the rows breathe
// with the beat instead of flickering with the noise of single FFT bins.
// Together, in the drop, the rows' spectrum term d0 x s lies between 0.14
// and 0.48 units on four frames out of five (0.43 to 0.73 on the bass
// row), and the outline of 12 of the 13 rows seen in the overlay's window
// moves by 4 pixels or more on a typical frame (tools/swell/kelo-swell
// measures it). A full-scale sine above 129 Hz would read more than 1 and
// is held at 1; music never comes near that.
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

#include "platform/sound/sound.h"

namespace plat {
namespace {

struct SpectrumPlan {
    kiss_fftr_cfg cfg = nullptr;
    float window[kSpectrumWindow];
    // Per band: 2 / sum of the window, times the tilt. One factor, so the
    // vector and the plain path multiply once and agree to the bit.
    float scale[kSpectrumBands];

    SpectrumPlan() {
        cfg = kiss_fftr_alloc(kSpectrumWindow, 0, nullptr, nullptr);
        double sum = 0.0;
        for (int n = 0; n < kSpectrumWindow; ++n) {
            window[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * n / kSpectrumWindow));
            sum += window[n];
        }
        for (int i = 0; i < kSpectrumBands; ++i) scale[i] = static_cast<float>(2.0 / sum * SpectrumTilt(i));
    }
    ~SpectrumPlan() { kiss_fftr_free(cfg); }
    SpectrumPlan(const SpectrumPlan&) = delete;
    SpectrumPlan& operator=(const SpectrumPlan&) = delete;
};

// bands[i] = min(1, |bins[i]| * scale[i]) for kSpectrumBands bins.
void Magnitudes(const kiss_fft_cpx* bins, const float* scale, float* bands) {
    static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float), "bins are read as interleaved floats");
    const float* c = &bins[0].r;
#if defined(__SSE2__)
    static_assert(kSpectrumBands % 4 == 0, "whole groups of four");
    const __m128 one = _mm_set1_ps(1.0f);
    for (int i = 0; i < kSpectrumBands; i += 4) {
        const __m128 k = _mm_loadu_ps(scale + i);
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
        bands[i] = std::min(1.0f, std::sqrt(re * re + im * im) * scale[i]);
    }
#endif
}

}  // namespace

double SpectrumTilt(int band) {
    // Flat through the bass, then sqrt(f): +3 dB an octave from 129 Hz.
    constexpr double kTiltFrom = 3.0;  // band 2 is FFT bin 3
    const double bin = band + 1.0;
    return bin <= kTiltFrom ? 1.0 : std::sqrt(bin / kTiltFrom);
}

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
