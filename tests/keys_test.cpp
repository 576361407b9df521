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
    OnKeyMessage(kVkF1, true);
    for (int frame = 0; frame < 10; ++frame) {
        // Auto-repeat: another key-down before every frame.
        if (frame > 0) OnKeyMessage(kVkF1, true);
        pressed_frames += IsKeyPressed(kVkF1);
        down_frames += IsKeyDown(kVkF1);
        if (frame == 0) {
            EXPECT_TRUE(IsKeyPressed(kVkF1));
        }
        EndFrameKeys();
    }
    EXPECT_EQ(pressed_frames, 1);
    EXPECT_EQ(down_frames, 10);

    OnKeyMessage(kVkF1, false);
    EXPECT_FALSE(IsKeyDown(kVkF1));
    EXPECT_FALSE(IsKeyPressed(kVkF1));
    EndFrameKeys();
    // Pressed again after a frame with the key up: a new press.
    OnKeyMessage(kVkF1, true);
    EXPECT_TRUE(IsKeyPressed(kVkF1));
}

TEST_F(KeysTest, PressAndReleaseBetweenFramesAreNeverSeen) {
    EndFrameKeys();
    OnKeyMessage(kVkEscape, true);
    OnKeyMessage(kVkEscape, false);
    EXPECT_FALSE(IsKeyDown(kVkEscape));
    EXPECT_FALSE(IsKeyPressed(kVkEscape));

    // The other way round: a held key released and pressed again between two
    // frames stays down and is not a new press.
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
    EXPECT_TRUE(IsKeyDown(kVkLeft + 512));
    EXPECT_TRUE(IsKeyPressed(kVkLeft + 256));

    // A huge code touches entry 0xFF and nothing outside the table.
    OnKeyMessage(0xFFFFFFFFu, true);
    EXPECT_EQ(g_KeyState[255], 1);
    EXPECT_TRUE(IsKeyDown(-1));  // -1 & 0xFF is 255
    OnKeyMessage(0xFFFFFF00u, true);
    EXPECT_EQ(g_KeyState[0], 1);
}

TEST_F(KeysTest, EndFrameCopiesEveryEntry) {
    for (unsigned vk = 0; vk < 256; vk += 3) OnKeyMessage(vk, true);
    EndFrameKeys();
    EXPECT_EQ(std::memcmp(g_KeyState, g_PrevKeyState, 256), 0);
    EXPECT_EQ(g_PrevKeyState[255], 1);
    for (unsigned vk = 0; vk < 256; ++vk) EXPECT_FALSE(IsKeyPressed(static_cast<int>(vk))) << vk;
}

}  // namespace
