// The music handle as the show uses it: the embedded soundtrack opens and
// plays; missing, corrupt or truncated data gives a handle with a null
// stream that plays nothing, leaves the spectrum at zero and frees cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "data/music.h"
#include "data/resource_ids.h"
#include "tests/support/sound_test_util.h"

namespace {

using soundtest::Mix;
using soundtest::MusicBytes;

bool AllZero(const std::vector<int16_t>& v) {
    return std::all_of(v.begin(), v.end(), [](int16_t s) { return s == 0; });
}

float SpectrumSum() {
    plat::AdvanceSoundFrame();
    const float* bands = GetSpectrum();
    float sum = 0.0f;
    for (int i = 0; i < plat::kSpectrumBands; ++i) sum += bands[i];
    return sum;
}

TEST(MusicHandle, SoundtrackOpensAsLongTrackAndPlays) {
    soundtest::OfflineSound sound;
    CMusic* music = OpenMusic(kMusicId);
    ASSERT_NE(music, nullptr);
    ASSERT_NE(music->m_pStream, nullptr) << "resource 160 must decode";
    // The loop is 80 bars at 125 beats a minute: 153.6 s, exactly.
    EXPECT_EQ(plat::SoundStreamLength(music->m_pStream), 6773760);
    EXPECT_NE(g_pMusicData, nullptr);
    EXPECT_GT(g_nMusicSize, 4000000);
    EXPECT_TRUE(AllZero(Mix(4410))) << "silent until played";
    EXPECT_EQ(SpectrumSum(), 0.0f);
    PlayMusic(music, true);
    EXPECT_FALSE(AllZero(Mix(44100)));
    EXPECT_GT(SpectrumSum(), 0.0f);
    StopMusic(music);
    EXPECT_TRUE(AllZero(Mix(4410)));
    CloseMusic(music);
}

TEST(MusicHandle, NullHandlesAndMissingResourceDoNothing) {
    soundtest::OfflineSound sound;
    PlayMusic(nullptr, true);
    StopMusic(nullptr);
    CloseMusic(nullptr);
    CMusic* missing = OpenMusic(161);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->m_pStream, nullptr);
    PlayMusic(missing, true);
    EXPECT_TRUE(AllZero(Mix(4410)));
    StopMusic(missing);
    // Frees the handle although its stream is null (the sanitizer build
    // would report the leak otherwise).
    CloseMusic(missing);
}

TEST(MusicHandle, BadDataGivesANullStreamAndASilentShow) {
    int32_t size = 0;
    const unsigned char* good = MusicBytes(&size);
    ASSERT_NE(good, nullptr);
    std::mt19937 rng(7);
    std::vector<unsigned char> noise(200000);
    for (auto& b : noise) b = static_cast<unsigned char>(rng());
    // The tag alone: LAME's ID3v2 header says how long it is.
    const int32_t tag = 10 + (good[6] << 21 | good[7] << 14 | good[8] << 7 | good[9]);
    struct Case {
        const char* what;
        const unsigned char* data;
        int32_t size;
    } cases[] = {
        {"random bytes", noise.data(), static_cast<int32_t>(noise.size())},
        {"no bytes", good, 0},
        {"the ID3 tag alone", good, tag},
        {"cut in the first frame", good, tag + 300},
        {"cut in the middle", good, size / 2},
        {"cut one byte short", good, size - 1},
    };
    for (const Case& c : cases) {
        soundtest::OfflineSound sound;
        CMusic* music = OpenMusicFromMemory(c.data, c.size);
        ASSERT_NE(music, nullptr) << c.what;
        EXPECT_EQ(music->m_pStream, nullptr) << c.what;
        PlayMusic(music, true);
        EXPECT_TRUE(AllZero(Mix(22050))) << c.what;
        EXPECT_EQ(SpectrumSum(), 0.0f) << c.what;
        StopMusic(music);
        CloseMusic(music);
    }
}

TEST(MusicHandle, DamageInsideTheDataNeverHangsOrCrashes) {
    int32_t size = 0;
    const unsigned char* good = MusicBytes(&size);
    ASSERT_NE(good, nullptr);
    std::mt19937 rng(11);
    // Headers wiped out over 4 KB: frames are missing, which makes it as
    // corrupt as a cut file.
    std::vector<unsigned char> wiped(good, good + size);
    for (int32_t i = 0; i < 4096; ++i) wiped[size / 3 + i] = static_cast<unsigned char>(rng());
    // Audio data scrambled in every frame of a stretch, frame headers (0xFF
    // and the three bytes after it) left alone: every frame is there, but
    // the decoder meets nonsense inside them.
    std::vector<unsigned char> scrambled(good, good + size);
    for (int32_t i = size / 4, guard = 0; i < size / 2; ++i) {
        if (scrambled[i] == 0xFF) guard = 4;
        if (guard > 0) {
            --guard;
            continue;
        }
        scrambled[i] = static_cast<unsigned char>(rng() % 255);  // never a new 0xFF
    }
    for (const std::vector<unsigned char>* damaged : {&wiped, &scrambled}) {
        const bool opens = damaged == &scrambled;
        soundtest::OfflineSound sound;
        CMusic* music = OpenMusicFromMemory(damaged->data(), size);
        ASSERT_NE(music, nullptr);
        ASSERT_EQ(music->m_pStream != nullptr, opens);
        PlayMusic(music, true);
        // A whole pass and a bit mixes and comes back, playing on.
        for (int second = 0; second < 160; ++second) Mix(44100);
        SpectrumSum();
        EXPECT_EQ(plat::IsSoundStreamPlaying(music->m_pStream), opens);
        CloseMusic(music);
    }
}

TEST(MusicHandle, MasterVolumeTakesTheLowEightBits) {
    const std::vector<float>& track = soundtest::DecodedTrack();
    ASSERT_FALSE(track.empty());
    soundtest::OfflineSound sound;
    CMusic* music = OpenMusic(kMusicId);
    PlayMusic(music, true);
    SetMasterVolume(0x100 | 128);  // 128
    Mix(2048);                     // the change ramps over the first block
    const std::vector<int16_t> half = Mix(44100);
    const float gain = 128.0f / 255.0f;
    int worst = 0;
    for (size_t i = 0; i < half.size(); ++i)
        worst = std::max(worst, std::abs(half[i] - soundtest::Pcm16(track[4096 + i] * gain)));
    EXPECT_LE(worst, 1);
    SetMasterVolume(0x300);  // 0
    Mix(2048);
    EXPECT_TRUE(AllZero(Mix(4410)));
    CloseMusic(music);
}

}  // namespace
