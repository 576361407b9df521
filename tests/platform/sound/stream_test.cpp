// The looping stream against an independent decode of the same bytes: a
// loop is the track end to start with nothing lost or repeated, loop counts
// and Stop behave, and the offline spectrum is taken at the clock's sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "data/music.h"
#include "data/resource_ids.h"
#include "platform/sound/sound.h"
#include "tests/support/sound_test_util.h"

namespace {

using soundtest::DecodedTrack;
using soundtest::MaxDifference;
using soundtest::Mix;

// Mixes `frames` in blocks of `block`, as a capture at 60 fps would.
std::vector<int16_t> MixInBlocks(int64_t frames, int block) {
    std::vector<int16_t> all;
    all.reserve(static_cast<size_t>(frames) * 2);
    while (frames > 0) {
        const int64_t n = std::min<int64_t>(frames, block);
        std::vector<int16_t> part = Mix(n);
        all.insert(all.end(), part.begin(), part.end());
        frames -= n;
    }
    return all;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& v, int64_t first_frame, int64_t frames) {
    return std::vector<int16_t>(v.begin() + first_frame * 2, v.begin() + (first_frame + frames) * 2);
}

// The soundtrack opened on offline sound, with its decoded samples to
// compare against.
class SoundStreamTrack : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(track.empty());
        music = OpenMusic(kMusicId);
        ASSERT_NE(music->m_pStream, nullptr);
    }
    void TearDown() override { CloseMusic(music); }

    const std::vector<float>& track = DecodedTrack();
    const int64_t length = static_cast<int64_t>(track.size() / 2);
    soundtest::OfflineSound sound;
    CMusic* music = nullptr;
};

TEST_F(SoundStreamTrack, LoopIsTheTrackEndToStartWithoutSeam) {
    ASSERT_EQ(plat::SoundStreamLength(music->m_pStream), length);
    PlayMusic(music, true);
    // 735 frames a block (60 fps) does not divide the track, so the seam
    // falls inside a block.
    const std::vector<int16_t> mixed = MixInBlocks(length + 44100, 735);
    EXPECT_LE(MaxDifference(Slice(mixed, 0, length), track, 0), 1) << "first pass";
    // Around the seam, frame by frame: the last second of the track, then
    // its first second again.
    EXPECT_LE(MaxDifference(Slice(mixed, length - 44100, 44100), track, static_cast<size_t>(length - 44100) * 2), 1);
    EXPECT_LE(MaxDifference(Slice(mixed, length, 44100), track, 0), 1) << "after the seam";
    EXPECT_TRUE(plat::IsSoundStreamPlaying(music->m_pStream));
}

TEST_F(SoundStreamTrack, LoopCountsAndStop) {

    // Count 1: two passes, then silence and the stream stops.
    plat::SetSoundStreamLoopCount(music->m_pStream, 1);
    PlayMusic(music, false);
    MixInBlocks(2 * length - 1000, 4096);
    EXPECT_TRUE(plat::IsSoundStreamPlaying(music->m_pStream));
    std::vector<int16_t> end = Mix(3000);
    EXPECT_LE(MaxDifference(Slice(end, 0, 1000), track, static_cast<size_t>(length - 1000) * 2), 1);
    EXPECT_TRUE(std::all_of(end.begin() + 2000, end.end(), [](int16_t s) { return s == 0; }));
    EXPECT_FALSE(plat::IsSoundStreamPlaying(music->m_pStream));

    // A finished stream plays again from the start.
    PlayMusic(music, true);
    EXPECT_LE(MaxDifference(Mix(2000), track, 0), 1);

    // Stop rewinds: the next Play starts at the first sample.
    Mix(30000);
    StopMusic(music);
    EXPECT_FALSE(plat::IsSoundStreamPlaying(music->m_pStream));
    PlayMusic(music, true);
    EXPECT_LE(MaxDifference(Mix(2000), track, 0), 1);
}

TEST(SoundStream, OfflineSpectrumIsTakenAtTheFrameStart) {
    const std::vector<float>& track = DecodedTrack();
    ASSERT_FALSE(track.empty());
    soundtest::OfflineSound sound;
    CMusic* music = OpenMusic(kMusicId);
    // Some silence first, as the loading screen gives.
    Mix(5000);
    PlayMusic(music, true);
    // 30000/1001 frames a second: frame k starts at floor(k * 44100 * 1001 / 30000).
    int64_t done = 5000;
    for (int64_t k = 1; k <= 400; ++k) {
        const int64_t end = 5000 + k * 44100 * 1001 / 30000;
        Mix(end - done);
        done = end;
        ASSERT_EQ(plat::SoundSamplesHeard(), end);
        if (k % 97 != 0) continue;
        plat::AdvanceSoundFrame();
        const float* got = GetSpectrum();
        float window[plat::kSpectrumWindow];
        for (int i = 0; i < plat::kSpectrumWindow; ++i) {
            const size_t at = static_cast<size_t>(end - 5000 - plat::kSpectrumWindow + i);
            window[i] = 0.5f * (track[2 * at] + track[2 * at + 1]);
        }
        float want[plat::kSpectrumBands];
        plat::ComputeSpectrum(window, want);
        for (int b = 0; b < plat::kSpectrumBands; ++b) ASSERT_NEAR(got[b], want[b], 1e-5f) << "frame " << k << " band " << b;
        EXPECT_GT(want[0] + want[1] + want[2], 0.0f) << "the music has low end at frame " << k;
    }
    CloseMusic(music);
}

}  // namespace

// An empty input may come as a null pointer: refused as "not an MP3", with
// nothing read through it (UBSan checks the copy in the sanitized build).
TEST(SoundStream, EmptyOrTinyInputIsRefused) {
    std::vector<float> pcm = {1.f};
    EXPECT_EQ(plat::DecodeMp3(nullptr, 0, &pcm), -1);
    EXPECT_TRUE(pcm.empty());
    const unsigned char byte = 0xFF;
    EXPECT_EQ(plat::DecodeMp3(&byte, 0, nullptr), -1);
    EXPECT_EQ(plat::DecodeMp3(&byte, 1, nullptr), -1);
}
