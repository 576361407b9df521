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

namespace {

// Sets SDL_AUDIODRIVER for one test and puts it back afterwards.
class SoundDevice : public ::testing::Test {
protected:
    void UseDriver(const char* name) {
        const char* old = std::getenv("SDL_AUDIODRIVER");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("SDL_AUDIODRIVER", name, 1);
        plat::ShutdownSound();
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

}  // namespace
