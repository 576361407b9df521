#include "app/frame_timer.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "app/keys.h"

namespace {

// The counter the timers under test read.
int64_t s_nNow = 0;
int64_t s_nFrequency = 1000;
int64_t FakeCounter() { return s_nNow; }
int64_t FakeFrequency() { return s_nFrequency; }

class FrameTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_nNow = 0;
        s_nFrequency = 1000;
        std::memset(g_KeyState, 0, sizeof g_KeyState);
        m_fSavedStep = g_fFrameStep;
    }
    void TearDown() override {
        std::memset(g_KeyState, 0, sizeof g_KeyState);
        g_fFrameStep = m_fSavedStep;
    }
    float m_fSavedStep = 0.0f;
};

TEST_F(FrameTimerTest, StepsFromTheLastReadingAndResetRereadsTheFrequency) {
    CTimer timer(FakeCounter, FakeFrequency);
    s_nNow = 5000;
    timer.Reset();
    s_nNow = 5016;
    EXPECT_FLOAT_EQ(timer.Tick(), 0.016f);
    s_nNow = 5033;
    EXPECT_EQ(timer.Tick(), static_cast<float>(17.0L / 1000.0L));  // from the last Tick, not Reset
    EXPECT_EQ(timer.StartCount(), 5000);

    // The frame timer is built before the capture clock is chosen.
    s_nFrequency = 60000;
    timer.Reset();
    s_nNow += 1001;
    EXPECT_EQ(timer.Tick(), static_cast<float>(1001.0L / 60000.0L));

    s_nFrequency = 0;  // a broken clock gives no step rather than infinity
    timer.Reset();
    s_nNow += 5;
    EXPECT_EQ(timer.Tick(), 0.0f);
}

TEST_F(FrameTimerTest, CounterGoingBackGivesZeroAndTheNextStepStartsThere) {
    CTimer timer(FakeCounter, FakeFrequency);
    s_nNow = 10000;
    timer.Reset();
    s_nNow = 9000;
    float back = timer.Tick();
    EXPECT_EQ(back, 0.0f);
    EXPECT_FALSE(std::signbit(back));  // not -0 either
    s_nNow = 9500;
    EXPECT_FLOAT_EQ(timer.Tick(), 0.5f);  // measured from 9000, not 10000
}

TEST_F(FrameTimerTest, HugeGapsAreNotClampedAndLargeReadingsKeepOneCount) {
    CTimer timer(FakeCounter, FakeFrequency);
    timer.Reset();
    s_nNow = int64_t{1000} * 3600 * 24 * 365;  // a year
    EXPECT_FLOAT_EQ(timer.Tick(), 31536000.0f);

    // The whole 64-bit range in one step: the difference does not fit in
    // int64 and must not wrap to a negative (hence zero) step.
    s_nFrequency = 1;
    s_nNow = std::numeric_limits<int64_t>::min();
    timer.Reset();
    s_nNow = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(timer.Tick(), 18446744073709551616.0f);

    // Readings beyond 2^53 lose their last bits in a double; one count apart
    // must still be one count.
    s_nNow = int64_t{1} << 62;
    timer.Reset();
    s_nNow += 1;
    EXPECT_EQ(timer.Tick(), 1.0f);
}

TEST_F(FrameTimerTest, SpaceMakesTheStepFourTimesAsLargeWithoutTouchingIt) {
    g_fFrameStep = 0.1f;
    EXPECT_EQ(GetFrameStep(), 0.1f);
    OnKeyMessage(kVkSpace, true);
    EXPECT_EQ(GetFrameStep(), static_cast<float>(static_cast<double>(0.1f) * 4.0));
    EXPECT_EQ(g_fFrameStep, 0.1f);
    OnKeyMessage(kVkSpace + 256, false);  // the masked code releases it
    EXPECT_EQ(GetFrameStep(), 0.1f);

    // Rounding to float happens once, after the product: the largest step
    // whose quadruple is a float stays finite, the next one above does not,
    // and the smallest subnormal is not flushed.
    OnKeyMessage(kVkSpace, true);
    g_fFrameStep = FLT_MAX / 4.0f;
    EXPECT_EQ(GetFrameStep(), FLT_MAX);
    g_fFrameStep = std::nextafter(FLT_MAX / 4.0f, FLT_MAX);
    EXPECT_TRUE(std::isinf(GetFrameStep()));
    g_fFrameStep = FLT_TRUE_MIN;
    EXPECT_EQ(GetFrameStep(), 4.0f * FLT_TRUE_MIN);
}

}  // namespace
