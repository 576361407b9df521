// The named parameters and the two tuning panels: keys, clamping, wrapping,
// and what they draw.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>

#include "app/device.h"
#include "app/keys.h"
#include "engine/demo.h"
#include "engine/params.h"
#include "tests/support/show_test_util.h"

namespace {

class Panels : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(showtest::ShowDevice(), nullptr);
        g_Params.clear();
        g_bParamPanelVisible = false;
        g_nSelectedParam = 0;
        g_bSyncPanelVisible = false;
        g_nSyncChannel = 0;
        g_nSyncBin = 0;
        for (int i = 0; i < 3; ++i) g_SyncChannels[i].nBin = i;
        NoKeys();
    }
    // The channels' bins back to the show's, so no later test in the same
    // process sees a tower driven by bin 511.
    void TearDown() override {
        g_Params.clear();
        for (int i = 0; i < 3; ++i) g_SyncChannels[i].nBin = i;
    }
    static void NoKeys() {
        std::memset(g_KeyState, 0, sizeof g_KeyState);
        std::memset(g_PrevKeyState, 0, sizeof g_PrevKeyState);
    }
    // One frame with `keys` newly pressed (down now, up before) and `held`
    // down since earlier frames.
    static void Frame(std::initializer_list<int> keys, std::initializer_list<int> held = {}) {
        NoKeys();
        for (int k : keys) g_KeyState[k] = 1;
        for (int k : held) g_KeyState[k] = g_PrevKeyState[k] = 1;
        showtest::BeginFrame(0xFFFFFFFF);
        DrawParamPanel();
        DrawSyncPanel();
        showtest::EndFrame();
    }
};

TEST_F(Panels, ParameterStepsByModeAndLimitsWithTheMinimumWinning) {
    float held = 0.0f, pressed = 1.0f, crossed = 5.0f, unbounded = 0.0f;
    RegisterParam("held", &held, 0.01f, -10.0f, 10.0f, false);
    RegisterParam("pressed", &pressed, 0.5f, 0.0f, 2.0f, true);
    RegisterParam("crossed", &crossed, 1.0f, 3.0f, 1.0f, true);
    RegisterParam("unbounded", &unbounded, 1e30f, -FLT_MAX, FLT_MAX, true);
    Frame({kVkF1});
    ASSERT_TRUE(g_bParamPanelVisible);

    // Held: one step per frame, whatever the frame step: 60 frames, +0.6.
    for (int i = 0; i < 60; ++i) Frame({}, {kVkRight});
    EXPECT_NEAR(held, 0.6f, 1e-5f);

    Frame({kVkDown});
    Frame({kVkLeft, kVkRight});
    EXPECT_EQ(pressed, 1.0f) << "left and right in one frame cancel";
    for (int i = 0; i < 5; ++i) Frame({kVkRight});
    EXPECT_EQ(pressed, 2.0f);
    for (int i = 0; i < 5; ++i) Frame({}, {kVkLeft});
    EXPECT_EQ(pressed, 2.0f) << "a held key does not step a press parameter";

    Frame({kVkDown});
    EXPECT_EQ(crossed, 3.0f) << "limits crossed: the minimum wins, even without a key";

    Frame({kVkDown});
    for (int i = 0; i < 10; ++i) Frame({kVkRight});
    EXPECT_FLOAT_EQ(unbounded, 1e31f);
}

TEST_F(Panels, SelectionWrapsAtBothEnds) {
    float a = 0, b = 0, c = 0;
    RegisterParam("a", &a, 1, -5, 5, true);
    RegisterParam("b", &b, 1, -5, 5, true);
    RegisterParam("c", &c, 1, -5, 5, true);
    Frame({kVkF1});
    Frame({kVkUp});
    EXPECT_EQ(g_nSelectedParam, 2);
    Frame({kVkDown});
    EXPECT_EQ(g_nSelectedParam, 0);
    Frame({kVkF1});
    Frame({kVkDown});
    EXPECT_EQ(g_nSelectedParam, 0) << "hidden: keys do nothing";
}

TEST_F(Panels, ParameterPanelDrawsItsRowsInTheBottomLeftCorner) {
    float values[10] = {};
    const char* names[10] = {"p0", "p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9"};
    for (int i = 0; i < 10; ++i) RegisterParam(names[i], &values[i], 1, -5, 5, true);
    Frame({kVkF1});
    const showtest::Frame f = showtest::ReadFrame();
    showtest::SavePng(f, "param_panel");
    const showtest::Rgb grey{0x80, 0x80, 0x80}, white{255, 255, 255};
    EXPECT_EQ(f.At(499, 767), grey);
    EXPECT_EQ(f.At(500, 767), white) << "500 pixels wide";
    EXPECT_EQ(f.At(499, 608), grey);
    EXPECT_EQ(f.At(300, 607), white) << "160 pixels high";
    // The selected row's text is white on the grey, within its 20-pixel row.
    EXPECT_GT(f.CountNot(0, 608, 200, 628, grey), 0);
    EXPECT_GT(f.CountNot(0, 628, 200, 768, grey), 0) << "the rows below it";
    EXPECT_EQ(f.CountNot(0, 0, 1024, 600, white), 0) << "nothing above the panel";
}

TEST_F(Panels, SyncPanelRetunesTheChannelsWithinTheirLimits) {
    Frame({kVkF2});
    ASSERT_TRUE(g_bSyncPanelVisible);
    Frame({kVkLeft});
    EXPECT_EQ(g_nSyncBin, 0);
    Frame({kVkDown});
    Frame({kVkDown});
    Frame({kVkDown});
    EXPECT_EQ(g_nSyncChannel, 2);
    EXPECT_EQ(g_nSyncBin, 2) << "moving to a channel picks up its bin";
    for (int i = 0; i < 600; ++i) Frame({kVkRight});
    EXPECT_EQ(g_SyncChannels[2].nBin, 511);
    Frame({kVkF2});
    Frame({kVkRight});  // hidden: nothing moves
    Frame({kVkF2});
    EXPECT_EQ(g_nSyncChannel, 2);
    EXPECT_EQ(g_nSyncBin, 511);
    Frame({kVkUp});
    EXPECT_EQ(g_nSyncBin, 1);
    EXPECT_EQ(g_SyncChannels[2].nBin, 511) << "a channel keeps the bin last set";

    // The panel drew before its keys acted: the marker of bin 511 stands
    // 512 pixels high on the bottom edge, its top edge on a pixel boundary.
    const showtest::Frame f = showtest::ReadFrame();
    EXPECT_EQ(f.At(511, 767 - 511), (showtest::Rgb{255, 0, 255}));
    EXPECT_EQ(f.At(511, 767 - 512), (showtest::Rgb{255, 255, 255}));
    EXPECT_EQ(f.At(510, 700), (showtest::Rgb{255, 255, 255}));
}

}  // namespace
