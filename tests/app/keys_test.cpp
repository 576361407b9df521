#include "app/keys.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class KeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(g_KeyState, 0, sizeof g_KeyState);
        std::memset(g_PrevKeyState, 0, sizeof g_PrevKeyState);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(KeysTest, HeldKeyIsPressedInExactlyOneFrameDespiteAutoRepeat) {
    int pressed_frames = 0, down_frames = 0;
    for (int frame = 0; frame < 10; ++frame) {
        OnKeyMessage(kVkF1, true);  // the first press, then auto-repeat
        pressed_frames += IsKeyPressed(kVkF1);
        down_frames += IsKeyDown(kVkF1);
        EndFrameKeys();
    }
    EXPECT_EQ(pressed_frames, 1);
    EXPECT_EQ(down_frames, 10);

    OnKeyMessage(kVkF1, false);
    EXPECT_FALSE(IsKeyPressed(kVkF1));
    EndFrameKeys();
    OnKeyMessage(kVkF1, true);  // after a frame with the key up: a new press
    EXPECT_TRUE(IsKeyPressed(kVkF1));
}

TEST_F(KeysTest, ChangesBetweenTwoFramesAreNeverSeen) {
    OnKeyMessage(kVkEscape, true);
    OnKeyMessage(kVkEscape, false);
    EXPECT_FALSE(IsKeyDown(kVkEscape));
    EXPECT_FALSE(IsKeyPressed(kVkEscape));

    // A held key released and pressed again stays down, not a new press.
    OnKeyMessage(kVkSpace, true);
    EndFrameKeys();
    OnKeyMessage(kVkSpace, false);
    OnKeyMessage(kVkSpace, true);
    EXPECT_TRUE(IsKeyDown(kVkSpace));
    EXPECT_FALSE(IsKeyPressed(kVkSpace));
}

TEST_F(KeysTest, KeyCodesAreMaskedToEightBits) {
    OnKeyMessage(256u + kVkLeft, true);
    EXPECT_TRUE(IsKeyDown(kVkLeft));
    EXPECT_TRUE(IsKeyPressed(kVkLeft + 512));

    // Huge codes touch the ends of the table and nothing outside it.
    OnKeyMessage(0xFFFFFFFFu, true);
    EXPECT_EQ(g_KeyState[255], 1);
    EXPECT_TRUE(IsKeyDown(-1));  // -1 & 0xFF is 255
    OnKeyMessage(0xFFFFFF00u, true);
    EXPECT_EQ(g_KeyState[0], 1);
    EndFrameKeys();
    EXPECT_EQ(g_PrevKeyState[255], 1);
    EXPECT_FALSE(IsKeyPressed(255));
}

}  // namespace
