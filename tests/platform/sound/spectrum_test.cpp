// The 512-band spectrum: its scale (a sine centred on a band reads its
// amplitude in bands 0 to 2 and 3 dB an octave more above them), its
// leakage, silence, clamping, the master volume applied before the
// analysis, and the hold of each band's peaks in the mixer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/music.h"
#include "data/resource_ids.h"
#include "tests/support/sound_test_util.h"

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

TEST(SoundSpectrum, SineReadsItsAmplitudeTimesTheTiltInItsBandAndNothingFiveAway) {
    // Band 20 (904 Hz) weighs sqrt(21 / 3) = 2.6458.
    const float tilt20 = std::sqrt(21.0f / 3.0f);
    for (double phase : {0.0, 0.7, 2.0}) {
        const std::vector<float> b = Bands(Sine(20, 0.25f, phase));
        EXPECT_NEAR(b[20], 0.25f * tilt20, 1e-3f) << "phase " << phase;
        // The periodic Hann window spreads a centred sine over three bins
        // (0.5 either side, each with its own band's weight) and nowhere else.
        EXPECT_NEAR(b[19], 0.125f * std::sqrt(20.0f / 3.0f), 1e-3f);
        EXPECT_NEAR(b[21], 0.125f * std::sqrt(22.0f / 3.0f), 1e-3f);
        for (int i = 0; i < plat::kSpectrumBands; ++i) {
            if (std::abs(i - 20) < 5) continue;
            ASSERT_LT(b[i], 0.01f) << "band " << i;
        }
    }
    // The bass keeps the plain scale: the bands that drive the sync
    // channels and the tower's bass wedges read a sine's amplitude, as
    // before the tilt. Band 0 is 43 Hz, band 2 129 Hz.
    EXPECT_NEAR(Bands(Sine(0, 0.5f, 0.3))[0], 0.5f, 1e-3f);
    EXPECT_NEAR(Bands(Sine(2, 0.5f, 0.3))[2], 0.5f, 1e-3f);
    // Above, +3 dB an octave: twice the reading two octaves up (bins 12 and
    // 48, 517 Hz and 2067 Hz), and eight times six octaves up (bin 192).
    EXPECT_NEAR(Bands(Sine(11, 0.1f, 0.3))[11], 0.2f, 1e-3f);
    EXPECT_NEAR(Bands(Sine(47, 0.1f, 0.3))[47], 0.4f, 1e-3f);
    EXPECT_NEAR(Bands(Sine(191, 0.1f, 0.3))[191], 0.8f, 1e-3f);
    EXPECT_DOUBLE_EQ(plat::SpectrumTilt(2), 1.0);
    EXPECT_DOUBLE_EQ(plat::SpectrumTilt(511), std::sqrt(512.0 / 3.0));
    // A full-scale sine up there is held at 1; half volume reads half.
    EXPECT_EQ(Bands(Sine(20, 1.0f, 0.0))[20], 1.0f);
    EXPECT_NEAR(Bands(Sine(20, 0.25f * 128.0f / 255.0f, 0.0))[20], 0.25f * tilt20 * 128.0f / 255.0f, 1e-3f);
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
        CMusic* music = OpenMusic(kMusicId);
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

// The hold, frame by frame on the real track: each band is the analysis
// of the 1024 samples heard (taken here from the reference decode, not the
// mixer's own record) or its last value halved every tenth of a second of
// music, whichever is more; and the mixer's spectrum is the analysis alone
// whenever that is the larger.
TEST(SoundSpectrum, MixerHoldsEachBandsPeakAndLetsItFallByHalfEveryTenthOfASecond) {
    const std::vector<float>& track = soundtest::DecodedTrack();
    ASSERT_GT(track.size(), size_t{2} * 44100 * 80);
    soundtest::OfflineSound sound;
    CMusic* music = OpenMusic(kMusicId);
    PlayMusic(music, true);
    int64_t heard = 76 * 44100;  // the drop
    soundtest::Mix(heard);
    plat::AdvanceSoundFrame();
    std::vector<float> last(GetSpectrum(), GetSpectrum() + plat::kSpectrumBands);
    int held = 0, fresh = 0;
    // 60 and 15 frames a second (a slow machine, or the space bar's steps
    // as the music hears them): the same pace in music time.
    for (int step : {735, 2940}) {
        // Half every tenth of a second of music, written out here so a
        // changed pace shows.
        const float fall = static_cast<float>(std::exp2(-step / 44100.0 / 0.1));
        for (int frame = 0; frame < 60; ++frame) {
            soundtest::Mix(step);
            heard += step;
            plat::AdvanceSoundFrame();
            const float* bands = GetSpectrum();
            std::vector<float> mono(N);
            for (int i = 0; i < N; ++i) {
                const size_t at = static_cast<size_t>(heard - N + i) * 2;
                mono[static_cast<size_t>(i)] = 0.5f * (track[at] + track[at + 1]);
            }
            const std::vector<float> plain = Bands(mono);
            for (int i = 0; i < plat::kSpectrumBands; ++i) {
                const float decayed = last[static_cast<size_t>(i)] * fall;
                const float want = std::max(plain[static_cast<size_t>(i)], decayed >= 1e-6f ? decayed : 0.0f);
                ASSERT_NEAR(bands[i], want, 1e-4f + want * 1e-3f) << "band " << i << ", frame " << frame;
                (plain[static_cast<size_t>(i)] >= decayed ? fresh : held) += 1;
            }
            last.assign(bands, bands + plat::kSpectrumBands);
        }
    }
    // Both halves of the rule are at work in the drop.
    EXPECT_GT(held, 5000);
    EXPECT_GT(fresh, 5000);
    CloseMusic(music);
}

TEST(SoundSpectrum, SilenceAfterMusicReadsZeroAtOnceWhateverWasHeld) {
    soundtest::OfflineSound sound;
    CMusic* music = OpenMusic(kMusicId);
    PlayMusic(music, true);
    soundtest::Mix(76 * 44100 + 5000);
    plat::AdvanceSoundFrame();
    float loudest = 0.0f;
    for (int i = 0; i < plat::kSpectrumBands; ++i) loudest = std::max(loudest, GetSpectrum()[i]);
    ASSERT_GT(loudest, 0.3f);

    // The exit screen's fade ends at volume 0: the next frame whose window
    // is all silence reads 0 in every band, not a tail of the held peaks.
    // (The first block after the call ramps the gain down across itself.)
    SetMasterVolume(0);
    soundtest::Mix(N);
    soundtest::Mix(N);
    plat::AdvanceSoundFrame();
    for (int i = 0; i < plat::kSpectrumBands; ++i) ASSERT_EQ(GetSpectrum()[i], 0.0f) << "band " << i;

    // Music back, then stopped: the same.
    SetMasterVolume(255);
    soundtest::Mix(N);
    plat::AdvanceSoundFrame();
    EXPECT_GT(GetSpectrum()[0], 0.0f);
    StopMusic(music);
    soundtest::Mix(N);
    plat::AdvanceSoundFrame();
    for (int i = 0; i < plat::kSpectrumBands; ++i) ASSERT_EQ(GetSpectrum()[i], 0.0f) << "band " << i;
    CloseMusic(music);
}

}  // namespace
