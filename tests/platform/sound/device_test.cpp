// Real-time output: SDL's dummy audio driver stands in for a sound card (it
// consumes samples at the real rate), an unknown driver for a machine with
// no sound at all.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "data/music.h"
#include "data/resource_ids.h"
#include "platform/sound/sound.h"
#include "tests/support/sound_test_util.h"

namespace {

// Sets SDL_AUDIODRIVER for one test and puts it back afterwards.
class SoundDevice : public ::testing::Test {
protected:
    // skip: the sound is held (BeginSoundSkip) before the device opens.
    void UseDriver(const char* name, bool skip = false) {
        const char* old = std::getenv("SDL_AUDIODRIVER");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("SDL_AUDIODRIVER", name, 1);
        plat::ShutdownSound();
        if (skip) plat::BeginSoundSkip();
        InitSound();
    }
    void TearDown() override {
        plat::ShutdownSound();
        if (had_) setenv("SDL_AUDIODRIVER", old_.c_str(), 1);
        else unsetenv("SDL_AUDIODRIVER");
    }
    static float LowBands() {
        plat::AdvanceSoundFrame();
        const float* b = GetSpectrum();
        return b[0] + b[1] + b[2];
    }
    bool had_ = false;
    std::string old_;
};

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

TEST_F(SoundDevice, DeviceCallbackFeedsTheClockAndTheSpectrum) {
    UseDriver("dummy");
    ASSERT_EQ(plat::GetSoundOutput(), plat::SoundOutput::kDevice);
    CMusic* music = OpenMusic(kMusicId);
    ASSERT_NE(music->m_pStream, nullptr);
    PlayMusic(music, true);
    Sleep(500);
    const plat::SoundStats before = plat::GetSoundStats();
    const int64_t heard = plat::SoundSamplesHeard();
    const plat::SoundStats after = plat::GetSoundStats();
    EXPECT_GT(before.callbacks, 3u);
    EXPECT_GT(before.device_buffer_frames, 0);
    // Handed to the device: about half a second, in real time (loosely: a
    // loaded test machine schedules the audio thread late).
    EXPECT_GT(before.frames, 44100u / 5);
    EXPECT_LT(before.frames, 44100u * 3);
    // Being heard: behind what was handed by at most the device's buffer.
    EXPECT_GE(heard, static_cast<int64_t>(before.frames) - before.device_buffer_frames);
    EXPECT_LE(heard, static_cast<int64_t>(after.frames));
    EXPECT_GT(LowBands(), 0.0f);
    StopMusic(music);
    CloseMusic(music);
}

TEST_F(SoundDevice, WithoutADeviceTheMusicClockStillKeepsRealTime) {
    UseDriver("no-such-driver");
    ASSERT_EQ(plat::GetSoundOutput(), plat::SoundOutput::kSilent);
    EXPECT_EQ(LowBands(), 0.0f);
    CMusic* music = OpenMusic(kMusicId);
    ASSERT_NE(music->m_pStream, nullptr);
    const int64_t start = plat::SoundSamplesHeard();
    const auto t0 = std::chrono::steady_clock::now();
    PlayMusic(music, true);
    Sleep(300);
    const int64_t moved = plat::SoundSamplesHeard() - start;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_NEAR(static_cast<double>(moved) / 44100.0, wall, 0.05);
    EXPECT_GT(LowBands(), 0.0f) << "the spectrum moves although nothing is heard";
    EXPECT_EQ(plat::GetSoundStats().callbacks, 0u);
    CloseMusic(music);
}

// The music as a person's run with --start skips it: 60 frames a second,
// the spectrum read every frame as the tower reads it.
constexpr int kSkipFrames = 90;
constexpr int kSamplesPerFrame = 735;

std::vector<float> SkipAndRead(void (*advance)(int64_t)) {
    CMusic* music = OpenMusic(kMusicId);
    PlayMusic(music, true);
    for (int k = 0; k < kSkipFrames; ++k) {
        advance(kSamplesPerFrame);
        plat::AdvanceSoundFrame();
        GetSpectrum();
    }
    EXPECT_EQ(plat::SoundSamplesHeard(), int64_t{kSkipFrames} * kSamplesPerFrame);
    const float* s = GetSpectrum();
    std::vector<float> bands(s, s + plat::kSpectrumBands);
    CloseMusic(music);
    return bands;
}

// A skip holds the device and the silent clock, moves the music only by
// what is skipped, leaves the very spectrum (held peaks included) that a
// capture mixing the same samples has, and hands the music back to the
// output where it left it.
TEST_F(SoundDevice, SkippedMusicIsWhereACapturesIsAndGoesOnFromThere) {
    std::vector<float> offline;
    {
        soundtest::OfflineSound sound;
        offline = SkipAndRead([](int64_t n) { soundtest::Mix(n); });
    }
    ASSERT_GT(offline[0] + offline[1] + offline[2], 0.0f) << "the music has low end by then";

    for (const char* driver : {"dummy", "no-such-driver"}) {
        UseDriver(driver, true);
        Sleep(200);  // the wall clock runs; the music must not
        EXPECT_EQ(plat::SoundSamplesHeard(), 0) << driver;
        CMusic* music = OpenMusic(kMusicId);
        PlayMusic(music, true);
        for (int k = 0; k < kSkipFrames; ++k) {
            plat::SkipSound(kSamplesPerFrame);
            plat::AdvanceSoundFrame();
            GetSpectrum();
        }
        Sleep(200);
        const int64_t skipped = int64_t{kSkipFrames} * kSamplesPerFrame;
        EXPECT_EQ(plat::SoundSamplesHeard(), skipped) << driver;
        const float* s = GetSpectrum();
        for (int b = 0; b < plat::kSpectrumBands; ++b) ASSERT_EQ(s[b], offline[b]) << driver << " band " << b;
        EXPECT_EQ(plat::GetSoundStats().callbacks, 0u) << driver << ": nothing went out during the skip";

        plat::EndSoundSkip();
        const int64_t at_end = plat::SoundSamplesHeard();
        // Going on from the skip's end: not jumping by the 0.4 s the
        // wall clock ran meanwhile.
        EXPECT_GE(at_end, skipped - 4096) << driver;
        EXPECT_LT(at_end, skipped + 44100 / 10) << driver;
        Sleep(300);
        EXPECT_GT(plat::SoundSamplesHeard(), skipped + 44100 / 20) << driver << ": the music plays on";
        CloseMusic(music);
        TearDown();
    }
}

}  // namespace
