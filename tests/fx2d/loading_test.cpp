// The loading screen on the show's own device: one asset per frame with the
// bar growing inside the picture's box, the frame timer restarted on every
// loading update, the music started on the frame that finds nothing left
// to load, and retirement one frame later.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/quit_request.h"
#include "data/asset_cache.h"
#include "data/music.h"
#include "engine/demo.h"
#include "fx2d/loading.h"
#include "tests/support/show_test_util.h"

namespace {

constexpr int kAssets = 23;
constexpr int kBarRow = 372;  // the middle of the bar, y 364..379

struct BlackRun {
    int first = -1, last = -1, count = 0;
};

// Black pixels of one row inside the box (the picture's box lines land on
// x 219 and 806, one pixel right of where the picture has them).
BlackRun BlackInRow(const showtest::Frame& f, int y) {
    BlackRun r;
    for (int x = 220; x <= 805; ++x) {
        if (!(f.At(x, y) == showtest::Rgb{0, 0, 0})) continue;
        if (r.first < 0) r.first = x;
        r.last = x;
        ++r.count;
    }
    return r;
}

class LoadingScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(showtest::ShowDevice(), nullptr);
        ResetAssetCacheForTests();
        showtest::ResetRunState(0.02f);
        g_pMusicData = nullptr;  // set by the first OpenMusic: the music has been started
        script.nEvents = 0;      // the loading screen alone, no timeline behind it
    }
    void TearDown() override {
        SetDemo(nullptr);
        ResetAssetCacheForTests();
    }
    DemoScript script;
};

TEST_F(LoadingScreen, LoadsOneAssetPerFrameStartsTheMusicWhenDoneAndRetiresNextFrame) {
    CDemo demo(script);
    SetDemo(&demo);
    auto* loading = dynamic_cast<CLoading*>(demo.Loading());
    ASSERT_NE(loading, nullptr);
    ASSERT_EQ(GetAssetCache().m_nLoadCursor, 0);

    int previous_length = 0;
    for (int frame = 1; frame <= kAssets; ++frame) {
        const int64_t reset_before = g_FrameTimer.StartCount();
        demo.Frame();
        EXPECT_EQ(GetAssetCache().m_nLoadCursor, frame);
        EXPECT_GT(g_FrameTimer.StartCount(), reset_before) << "frame " << frame << ": timer not restarted";
        EXPECT_EQ(g_pMusicData, nullptr) << "music started early, frame " << frame;
        EXPECT_EQ(demo.Clock(), 0.0f);

        const showtest::Frame f = showtest::ReadFrame();
        if (frame == 1) showtest::SavePng(f, "loading_frame1");
        const BlackRun bar = BlackInRow(f, kBarRow);
        // The first frame already shows one asset's worth: updates come
        // before draws.
        const float right = kLoadingBarX + loading->m_fProgress * kLoadingBarLength;
        EXPECT_EQ(bar.first, 224) << "frame " << frame;
        EXPECT_NEAR(bar.last, std::ceil(right) - 1.0f, 1.0f) << "frame " << frame;
        EXPECT_EQ(bar.count, bar.last - bar.first + 1) << "frame " << frame << ": the bar has a gap";
        EXPECT_NEAR(bar.count, frame * 578.0 / 23.0, 1.0) << "frame " << frame;
        EXPECT_GT(bar.count, previous_length) << "frame " << frame;
        previous_length = bar.count;
        // Sixteen rows high, with white between it and the box.
        EXPECT_EQ(f.At(230, 364), (showtest::Rgb{0, 0, 0})) << "frame " << frame;
        EXPECT_EQ(f.At(230, 379), (showtest::Rgb{0, 0, 0})) << "frame " << frame;
        EXPECT_EQ(f.At(230, 363), (showtest::Rgb{255, 255, 255})) << "frame " << frame;
        EXPECT_EQ(f.At(230, 380), (showtest::Rgb{255, 255, 255})) << "frame " << frame;
        EXPECT_EQ(f.At(222, kBarRow), (showtest::Rgb{255, 255, 255})) << "frame " << frame;
    }
    EXPECT_NEAR(loading->m_fProgress, 0.9999998f, 1e-6f);
    EXPECT_EQ(previous_length, 578);  // x 224..801, three white pixels short of the box

    // Frame 24: nothing left to load; the music starts and the timer is
    // restarted one last time, but the loading screen stays this frame.
    int64_t reset_before = g_FrameTimer.StartCount();
    demo.Frame();
    EXPECT_EQ(GetAssetCache().m_nLoadCursor, kAssets);
    EXPECT_TRUE(loading->m_bExpired);
    EXPECT_NE(g_pMusicData, nullptr) << "the music did not start when loading finished";
    EXPECT_GT(g_FrameTimer.StartCount(), reset_before);
    EXPECT_EQ(demo.Loading(), loading);
    EXPECT_EQ(demo.Clock(), 0.0f);
    const unsigned char* music = g_pMusicData;

    // Frame 25: it hands itself over, is still drawn, and the clock starts
    // at the end of this frame's updates; no more timer restarts.
    reset_before = g_FrameTimer.StartCount();
    demo.Frame();
    EXPECT_EQ(demo.Loading(), nullptr);
    EXPECT_EQ(g_FrameTimer.StartCount(), reset_before) << "the timer was restarted after loading";
    EXPECT_FLOAT_EQ(demo.Clock(), g_fFrameStep);
    EXPECT_TRUE(demo.ActiveEffects().empty());
    EXPECT_EQ(g_pMusicData, music) << "the music was opened twice";
    EXPECT_EQ(BlackInRow(showtest::ReadFrame(), kBarRow).count, 578) << "drawn in its last frame";
}

TEST_F(LoadingScreen, ALifetimeRunningOutStartsTheMusicAndRetiresInTheSameUpdate) {
    CDemo demo(script);
    SetDemo(&demo);
    ASSERT_NE(demo.Loading(), nullptr);
    demo.Loading()->SetDuration(0.01f);  // shorter than one frame step
    demo.Frame();
    EXPECT_NE(g_pMusicData, nullptr);
    EXPECT_EQ(demo.Loading(), nullptr);
    EXPECT_EQ(GetAssetCache().m_nLoadCursor, 0) << "loaded after it had expired";
    EXPECT_TRUE(demo.ActiveEffects().empty());
}

}  // namespace
