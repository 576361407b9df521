// The 512-band spectrum: its scale (a full-scale sine centred on a band reads
// 1), its leakage, silence, clamping, and the master volume applied before
// the analysis.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/music.h"
#include "tests/sound_test_util.h"

namespace {

constexpr int N = plat::kSpectrumWindow;

// A sine centred on band `band` (FFT bin band + 1).
std::vector<float> Sine(int band, float amplitude, double phase) {
    std::vector<float> s(N);
    for (int n = 0; n < N; ++n) s[n] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * (band + 1) * n / N + phase));
    return s;
}

std::vector<float> Bands(const std::vector<float>& samples) {
    std::vector<float> b(plat::kSpectrumBands);
    plat::ComputeSpectrum(samples.data(), b.data());
    return b;
}

TEST(SoundSpectrum, FullScaleSineReadsOneInItsBandAndNothingFiveAway) {
    for (double phase : {0.0, 0.7, 2.0}) {
        const std::vector<float> b = Bands(Sine(20, 1.0f, phase));
        EXPECT_NEAR(b[20], 1.0f, 1e-3f) << "phase " << phase;
        // The periodic Hann window spreads a centred sine over three bins
        // (0.5 either side) and nowhere else.
        EXPECT_NEAR(b[19], 0.5f, 1e-3f);
        EXPECT_NEAR(b[21], 0.5f, 1e-3f);
        for (int i = 0; i < plat::kSpectrumBands; ++i) {
            if (std::abs(i - 20) < 5) continue;
            ASSERT_LT(b[i], 0.01f) << "band " << i;
        }
    }
    // The lowest band, the one that drives the tower's first ring, at 43 Hz.
    EXPECT_NEAR(Bands(Sine(0, 0.5f, 0.3))[0], 0.5f, 1e-3f);
    // Half volume reads half.
    EXPECT_NEAR(Bands(Sine(20, 128.0f / 255.0f, 0.0))[20], 0.502f, 1e-3f);
}

TEST(SoundSpectrum, SilenceIsZeroAndLoudnessIsClampedAtOne) {
    for (float v : Bands(std::vector<float>(N, 0.0f))) ASSERT_EQ(v, 0.0f);
    // DC itself is dropped, but the window spreads a constant offset into
    // the first band (as it spreads a sine into its neighbours), and no
    // further.
    const std::vector<float> dc = Bands(std::vector<float>(N, 0.25f));
    EXPECT_NEAR(dc[0], 0.25f, 1e-4f);
    for (int i = 1; i < plat::kSpectrumBands; ++i) ASSERT_LT(dc[i], 1e-5f) << "band " << i;
    const std::vector<float> loud = Bands(Sine(100, 3.0f, 0.0));
    EXPECT_EQ(loud[100], 1.0f);
    EXPECT_EQ(loud[99], 1.0f);  // 1.5 before the clamp
}

TEST(SoundSpectrum, MixerSpectrumIsSilentUntilPlayedAndScalesWithTheVolume) {
    std::vector<float> full, half;
    for (int volume : {255, 128}) {
        soundtest::OfflineSound sound;
        plat::AdvanceSoundFrame();
        const float* before = GetSpectrum();
        for (int i = 0; i < plat::kSpectrumBands; ++i) ASSERT_EQ(before[i], 0.0f) << "before play, band " << i;
        SetMasterVolume(volume);
        CMusic* music = OpenMusic(160);
        PlayMusic(music, true);
        soundtest::Mix(75 * 44100 + 123);  // in the drop, where every band has something
        plat::AdvanceSoundFrame();
        const float* bands = GetSpectrum();
        (volume == 255 ? full : half).assign(bands, bands + plat::kSpectrumBands);
        // Between frames the spectrum holds still, whatever is mixed.
        soundtest::Mix(5000);
        EXPECT_EQ(GetSpectrum()[0], bands[0]);
        CloseMusic(music);
    }
    int compared = 0;
    for (int i = 0; i < plat::kSpectrumBands; ++i) {
        if (full[i] >= 1.0f || full[i] < 1e-5f) continue;
        ASSERT_NEAR(half[i], full[i] * 128.0f / 255.0f, 1e-4f + full[i] * 1e-3f) << "band " << i;
        ++compared;
    }
    EXPECT_GT(compared, 300);
}

}  // namespace
