#include "app/key_script.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/frame_timer.h"
#include "app/keys.h"

namespace {

using Posted = std::vector<std::pair<unsigned, bool>>;

std::vector<KeyEvent> MustParse(std::string_view spec) {
    std::vector<KeyEvent> events;
    std::string error;
    EXPECT_TRUE(ParseKeyScript(spec, events, error)) << spec << ": " << error;
    return events;
}

TEST(KeyScriptParseTest, EventsKeysAndTimes) {
    std::vector<KeyEvent> e = MustParse("0.5:F1,1-2:space,3:ESCAPE,.25:f2,4.:Left,5:RIGHT,6:up, 8 - 9.5 : Down ");
    const int expected_vk[] = {kVkF1, kVkSpace, kVkEscape, kVkF2, kVkLeft, kVkRight, kVkUp, kVkDown};
    ASSERT_EQ(e.size(), 8u);
    for (size_t i = 0; i < e.size(); ++i) EXPECT_EQ(e[i].vk, static_cast<unsigned>(expected_vk[i])) << i;
    EXPECT_EQ(e[0].down_at, 0.5);
    EXPECT_LT(e[0].up_at, 0.0);  // one frame
    EXPECT_EQ(e[1].up_at, 2.0);
    EXPECT_EQ(e[3].down_at, 0.25);
    EXPECT_EQ(e[7].up_at, 9.5);
    EXPECT_EQ(MustParse("0.1:F1")[0].down_at, 6.0 / 60.0);  // the clock's value at frame 6 of 60 fps
}

TEST(KeyScriptParseTest, MalformedEventsAreNamed) {
    struct Case {
        const char* spec;
        const char* named;  // the event the message must quote
        const char* why;    // a word of the reason
    };
    const Case cases[] = {
        {"", "''", "empty"},
        {"1:F1,", "''", "empty"},
        {"1:F1,,2:F2", "''", "empty"},
        {",1:F1", "''", "empty"},
        {"1F1", "'1F1'", "TIME:KEY"},
        {"3x:F1", "'3x:F1'", "3x"},
        {"1:F1,2:F3", "'2:F3'", "unknown key"},
        {"2:", "'2:'", "no key"},
        {":F1", "':F1'", "no time"},
        {"2-1:Space", "'2-1:Space'", "later"},
        {"1-1:Space", "'1-1:Space'", "later"},
        {"1-:Space", "'1-:Space'", "no end time"},
        {"-1:F1", "'-1:F1'", "negative"},
        {"-1-2:F1", "'-1-2:F1'", "negative"},
        {"1--2:F1", "'1--2:F1'", "negative"},
        {"1e3:F1", "'1e3:F1'", "1e3"},
        {"1.2.3:F1", "'1.2.3:F1'", "1.2.3"},
        {"inf:F1", "'inf:F1'", "inf"},
    };
    for (const Case& c : cases) {
        std::vector<KeyEvent> events{KeyEvent{}};
        std::string error;
        EXPECT_FALSE(ParseKeyScript(c.spec, events, error)) << c.spec;
        EXPECT_TRUE(events.empty()) << c.spec;
        EXPECT_EQ(error.rfind(std::string("bad event ") + c.named + ": ", 0), 0u) << c.spec << " -> " << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.spec << " -> " << error;
    }
    std::vector<KeyEvent> events;
    std::string error;
    ParseKeyScript("1:F1,2:F2,", events, error);
    EXPECT_NE(error.find("event 3 of 3"), std::string::npos) << error;

    // Close and random: have forms of their own that can go wrong.
    const Case more[] = {
        {"1-2:Close", "'1-2:Close'", "cannot be held"},
        {"random:", "'random:'", "seed"},
        {"random:-1", "'random:-1'", "seed"},
        {"random:1.5", "'random:1.5'", "seed"},
        {"random:18446744073709551616", "'random:18446744073709551616'", "2^64"},
        {"1:F1,random:x", "'random:x'", "seed"},
    };
    for (const Case& c : more) {
        events.assign(1, KeyEvent{});
        EXPECT_FALSE(ParseKeyScript(c.spec, events, error)) << c.spec;
        EXPECT_TRUE(events.empty()) << c.spec;
        EXPECT_EQ(error.rfind(std::string("bad event ") + c.named + ": ", 0), 0u) << c.spec << " -> " << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.spec << " -> " << error;
    }
}

TEST(KeyScriptParseTest, RandomKeysAreRepeatableStayInTheSetAndLeaveEscapeToTheList) {
    const std::vector<KeyEvent> a = MustParse("random:42");
    const std::vector<KeyEvent> b = MustParse("RANDOM: 42");
    const std::vector<KeyEvent> c = MustParse("random:43");
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].vk, b[i].vk) << i;
        ASSERT_EQ(a[i].down_at, b[i].down_at) << i;
        ASSERT_EQ(a[i].up_at, b[i].up_at) << i;
    }
    ASSERT_FALSE(c.empty());
    EXPECT_FALSE(c[0].down_at == a[0].down_at && c[1].down_at == a[1].down_at) << "another seed, another run";

    // About one event a second for four hours, from 1 s, in time order.
    EXPECT_GT(a.size(), 12000u);
    EXPECT_LT(a.size(), 16000u);
    EXPECT_EQ(a.front().down_at, 1.0);
    EXPECT_LT(a.back().down_at, kRandomKeysUntil);
    int holds = 0;
    std::vector<int> per_key(256);
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_LT(a[i].vk, 256u);
        ++per_key[a[i].vk];
        if (i > 0) {
            ASSERT_GE(a[i].down_at - a[i - 1].down_at, 0.1 - 1e-9) << i;
        }
        if (a[i].up_at >= 0) {
            ++holds;
            ASSERT_GT(a[i].up_at, a[i].down_at);
            ASSERT_LE(a[i].up_at - a[i].down_at, 3.0);
        }
    }
    EXPECT_EQ(per_key[kVkEscape], 0);
    for (int vk : {kVkSpace, kVkF1, kVkF2, kVkLeft, kVkRight, kVkUp, kVkDown}) EXPECT_GT(per_key[vk], 1000) << vk;
    EXPECT_GT(holds, static_cast<int>(a.size()) / 5);
    EXPECT_LT(holds, static_cast<int>(a.size()) * 2 / 5);

    // Combined with the list's own events, which keep their times.
    const std::vector<KeyEvent> mixed = MustParse("600:Escape,random:42");
    EXPECT_EQ(mixed.size(), a.size() + 1);
    EXPECT_EQ(mixed[0].vk, static_cast<unsigned>(kVkEscape));
    EXPECT_EQ(mixed[0].down_at, 600.0);
}

TEST(KeyScriptTest, PressesByTimeInTheOrderGivenReleasesAfterAFrame) {
    // Out of time order, and long enough that an unstable sort would reorder
    // equal times.
    const int keys[] = {kVkEscape, kVkSpace, kVkLeft, kVkUp, kVkRight, kVkDown, kVkF1, kVkF2};
    const char* names[] = {"Escape", "Space", "Left", "Up", "Right", "Down", "F1", "F2"};
    std::string spec;
    Posted early, late;
    for (int i = 0; i < 64; ++i) {
        int k = (i * 5 / 2) % 8;
        bool is_late = (i % 3) != 0;
        spec += std::string(i ? "," : "") + (is_late ? "2:" : "1:") + names[k];
        (is_late ? late : early).emplace_back(keys[k], true);
    }
    Posted expected = early;
    expected.insert(expected.end(), late.begin(), late.end());

    KeyScript script(MustParse(spec));
    Posted posted;
    auto post = [&](unsigned vk, bool down) { posted.emplace_back(vk, down); };
    EXPECT_FALSE(script.Emit(0.999, post));
    EXPECT_TRUE(script.Emit(3.0, post));
    EXPECT_EQ(posted, expected);
    // Again before a frame ran: nothing new, nothing released.
    EXPECT_FALSE(script.Emit(3.0, post));
    EXPECT_FALSE(script.Finished());

    script.FrameDone();
    posted.clear();
    EXPECT_TRUE(script.Emit(3.0, post));
    for (auto& [vk, down] : expected) down = false;
    EXPECT_EQ(posted, expected);
    EXPECT_TRUE(script.Finished());
}

TEST(KeyScriptTest, ReleasesComeBeforePressesAndHeldKeysAreSeenOnce) {
    Posted posted;
    auto post = [&](unsigned vk, bool down) { posted.emplace_back(vk, down); };

    // F1 pressed on two consecutive frames' times: the release of the first
    // press goes before the second press, so the second reads as a new press.
    KeyScript repeat(MustParse("1:F1,1.01:F1"));
    repeat.Emit(1.0, post);
    repeat.FrameDone();
    posted.clear();
    repeat.Emit(1.02, post);
    Posted expected{{kVkF1, false}, {kVkF1, true}};
    EXPECT_EQ(posted, expected);

    // The clock jumped over a whole hold (slow loading on the real clock):
    // the key still goes down for one frame before it is released.
    KeyScript skipped(MustParse("1-2:Space"));
    posted.clear();
    skipped.Emit(10.0, post);
    EXPECT_EQ(posted, (Posted{{kVkSpace, true}}));
    skipped.FrameDone();
    skipped.Emit(10.1, post);
    EXPECT_EQ(posted, (Posted{{kVkSpace, true}, {kVkSpace, false}}));
    EXPECT_TRUE(skipped.Finished());

    EXPECT_TRUE(KeyScript().Finished());
    EXPECT_FALSE(KeyScript().Emit(1e9, post));
}

TEST(KeyScriptTest, CloseIsPostedOnceAndNeverReleased) {
    Posted posted;
    auto post = [&](unsigned vk, bool down) { posted.emplace_back(vk, down); };
    KeyScript script(MustParse("2:close,1-3:Space"));
    script.Emit(2.0, post);
    EXPECT_EQ(posted, (Posted{{kVkSpace, true}, {kKeyScriptClose, true}}));
    script.FrameDone();
    posted.clear();
    EXPECT_FALSE(script.Emit(2.5, post));
    EXPECT_TRUE(posted.empty());
    EXPECT_FALSE(script.Finished());
    script.Emit(3.0, post);
    EXPECT_EQ(posted, (Posted{{kVkSpace, false}}));
    EXPECT_TRUE(script.Finished());
}

TEST(KeyScriptTest, ALongRandomRunPressesAndReleasesEveryKeyItHolds) {
    KeyScript script(MustParse("random:7"));
    std::vector<int> down(256);
    int presses = 0;
    auto post = [&](unsigned vk, bool is_down) {
        ASSERT_LT(vk, 256u);
        if (is_down) {
            ++presses;
            ++down[vk];
        } else {
            ASSERT_GT(down[vk], 0) << "released a key that is not down: " << vk;
            --down[vk];
        }
    };
    // Ten minutes of a 10 fps clock, then a jump past the end.
    for (int frame = 0; frame <= 6000; ++frame) {
        while (script.Emit(frame / 10.0, post)) {
        }
        script.FrameDone();
    }
    EXPECT_GT(presses, 400);
    EXPECT_LT(presses, 800);
    EXPECT_FALSE(script.Finished());
    for (int i = 0; i < 3 && !script.Finished(); ++i) {
        while (script.Emit(kRandomKeysUntil + 10.0, post)) {
        }
        script.FrameDone();
    }
    EXPECT_TRUE(script.Finished());
    for (int vk = 0; vk < 256; ++vk) EXPECT_EQ(down[vk], 0) << vk;
}

// The main loop's protocol, frame by frame, on a 60 fps capture clock, with
// the real key tables and the frame timer on a counter that advances one
// count (one frame) per frame.
int64_t s_nFrameCounter = 0;
int64_t FrameCounter() { return s_nFrameCounter; }
int64_t SixtyHertz() { return 60; }

TEST(KeyScriptTest, MainLoopSeesScriptedKeysInTheRightFrames) {
    std::memset(g_KeyState, 0, sizeof g_KeyState);
    std::memset(g_PrevKeyState, 0, sizeof g_PrevKeyState);
    float saved_step = g_fFrameStep;
    s_nFrameCounter = 0;
    CTimer timer(FrameCounter, SixtyHertz);
    timer.Reset();

    KeyScript script(MustParse("0.5:F1,1-2:Space"));
    std::vector<std::pair<unsigned, bool>> queue;  // the message queue
    std::vector<int> f1_pressed_frames;
    int last_f1_down_frame = -1;
    std::vector<int> space_down_frames;

    for (int frame = 0; frame < 200; ++frame) {
        double now = static_cast<double>(s_nFrameCounter) / 60.0;  // as plat::ClockSeconds
        // Queue empty: ask the script; handle what it posted one message per
        // pass; ask again until it posts nothing; then run the frame.
        int emits = 0;
        while (script.Emit(now, [&](unsigned vk, bool down) { queue.emplace_back(vk, down); })) {
            ASSERT_LT(++emits, 2) << "a second Emit at the same time posted again";
            for (auto [vk, down] : queue) OnKeyMessage(vk, down);
            queue.clear();
        }

        g_fFrameStep = timer.Tick();
        if (IsKeyPressed(kVkF1)) f1_pressed_frames.push_back(frame);
        if (IsKeyDown(kVkF1)) last_f1_down_frame = frame;
        if (IsKeyDown(kVkSpace)) {
            space_down_frames.push_back(frame);
            EXPECT_EQ(GetFrameStep(), static_cast<float>(4.0 / 60.0)) << frame;
        } else if (frame > 0) {
            EXPECT_EQ(GetFrameStep(), static_cast<float>(1.0L / 60.0L)) << frame;
        }
        EndFrameKeys();
        script.FrameDone();
        ++s_nFrameCounter;
    }

    EXPECT_EQ(f1_pressed_frames, std::vector<int>{30});
    EXPECT_EQ(last_f1_down_frame, 30);
    ASSERT_EQ(space_down_frames.size(), 60u);
    EXPECT_EQ(space_down_frames.front(), 60);
    EXPECT_EQ(space_down_frames.back(), 119);
    EXPECT_TRUE(script.Finished());

    std::memset(g_KeyState, 0, sizeof g_KeyState);
    std::memset(g_PrevKeyState, 0, sizeof g_PrevKeyState);
    g_fFrameStep = saved_step;
}

}  // namespace
