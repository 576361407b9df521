// --start's frame plan on a sequencer of its own: loading frames, the undrawn
// frames before the start, the frame nearest the start, and the key clock of
// a person's run across the end of the fixed clock.
#include "main/start_point.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/quit_request.h"
#include "engine/demo.h"
#include "engine/effect.h"
#include "main/options.h"
#include "tests/support/show_test_util.h"

namespace {

using Part = StartPoint::Part;

constexpr int kLoaderClass = 96;
constexpr int kCounterClass = 97;

// A loading screen that retires in its third update, as the show's does in
// its last.
struct Loader : CEffect {
    int updates = 0;
    void Update(float dt) override {
        CEffect::Update(dt);
        if (++updates == 3) GetDemo()->RemoveEffect(this);
    }
};
struct CCLoader : CEffectClassImpl<Loader> {
    int32_t GetId() override { return kLoaderClass; }
    char* GetName(char* b) override { return CopyName(b, "StartLoader"); }
} g_ccLoader;

struct Counter : CEffect {};
struct CCCounter : CEffectClassImpl<Counter> {
    int32_t GetId() override { return kCounterClass; }
    char* GetName(char* b) override { return CopyName(b, "StartCounter"); }
} g_ccCounter;

class StartPointTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(showtest::ShowDevice(), nullptr);
        showtest::ResetRunState(0.1f);
        DemoScript script;
        script.pEvents = timeline_;
        script.nEvents = 1;
        script.nLoadingClass = kLoaderClass;
        demo_ = new CDemo(script);
        SetDemo(demo_);
    }
    void TearDown() override {
        SetDemo(nullptr);
        delete demo_;
    }
    // Runs frames as the main loop does until `frames` are done; returns
    // each frame's part and, for the first shown one after loading, the
    // clock it started at.
    std::vector<Part> Run(StartPoint& start, int frames, float* shown_at = nullptr) {
        std::vector<Part> parts;
        for (int i = 0; i < frames; ++i) {
            const float clock = demo_->Clock();
            const Part part = start.Next(*demo_);
            if (shown_at && part == Part::kShow && !demo_->Loading() && *shown_at < 0) *shown_at = clock;
            parts.push_back(part);
            demo_->Frame(part != Part::kSkip);
        }
        return parts;
    }
    TimelineEvent timeline_[1] = {{kCounterClass, 0, 0.0f, 100.0f}};
    CDemo* demo_ = nullptr;
};

int Count(const std::vector<Part>& parts, Part p) {
    int n = 0;
    for (Part q : parts) n += q == p;
    return n;
}

// Loading frames (three here), then undrawn ones, then the frame nearest
// the start: the clock is a float sum of 0.1f and lands near 1.0, not on it.
TEST_F(StartPointTest, TheStartRoundsToTheNearestFrameAndZeroIsTheFirstAfterLoading) {
    for (auto [t, want] : {std::pair{1.0, 1.0f}, {1.04, 1.0f}, {1.06, 1.1f}, {0.0, 0.1f}, {0.149, 0.1f}}) {
        TearDown();
        SetUp();
        StartPoint start(t, 0.1f, false);
        float shown_at = -1.0f;
        Run(start, 20, &shown_at);
        EXPECT_NEAR(shown_at, want, 1e-5f) << "--start " << t;
    }
    // Without --start every frame is shown, the loading screen's included.
    TearDown();
    SetUp();
    StartPoint none(-1.0, 0.1f, true);
    EXPECT_EQ(Count(Run(none, 6), Part::kShow), 6);
    EXPECT_FALSE(none.OnFixedClock());
    EXPECT_EQ(none.KeyClock(12.5), 12.5);
}

TEST_F(StartPointTest, PersonsRunStepsOnTheFixedClockThroughTheFirstShownFrameThenOnRealTime) {
    StartPoint start(0.5, StartPoint::FrameStep(60, 1), true);
    EXPECT_EQ(StartPoint::FrameStep(60, 1), static_cast<float>(1.0L / 60.0L));
    g_fFrameStep = start.Step();
    // 3 loading frames, 29 undrawn (clock 1/60 .. 29/60) and the one at
    // 30/60 = 0.5, the first shown: 33 on the fixed clock.
    constexpr int kFixed = 33;
    int fixed = 0;
    for (int frame = 0; frame < 60; ++frame) {
        const double clock = 100.0 + 0.5 * frame;  // the real clock, nothing like the fixed one
        const double want = frame <= kFixed ? frame / 60.0 : kFixed / 60.0 + 0.5 * (frame - kFixed);
        EXPECT_DOUBLE_EQ(start.KeyClock(clock), want) << "frame " << frame;
        const Part part = start.Next(*demo_);
        if (start.OnFixedClock()) ++fixed;
        EXPECT_EQ(start.OnFixedClock(), frame < kFixed) << "frame " << frame;
        if (frame == kFixed - 1) {
            EXPECT_EQ(part, Part::kShow);
        }
        demo_->Frame(part != Part::kSkip);
        start.FrameDone(clock + 0.5);
    }
    EXPECT_EQ(fixed, kFixed);
}

// --start's limit, in the command line's own constant, is where the
// timeline's last effect ends.
TEST(StartLimit, ShowEndIsWhereTheTimelinesLastEffectEnds) {
    double end = 0.0;
    for (int i = 0; i < g_nTimelineEvents; ++i)
        end = std::max(end, static_cast<double>(g_Timeline[i].fStart) + static_cast<double>(g_Timeline[i].fDuration));
    EXPECT_EQ(kShowEnd, end);
}

}  // namespace
