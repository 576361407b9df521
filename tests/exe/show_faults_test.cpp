// The show treated roughly, headless: the window closed in each phase,
// Escape pressed in each phase, twice, and held down (a press during loading
// is ignored, so there it is held until loading is over), random keys. Every run must end by itself or on the close, with status 0, the
// whole shutdown order, a clean log and no GL error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/picture.h"
#include "tests/support/exe_test_util.h"

namespace {

using namespace exetest;

// Five frames a second; loading takes frames 0-22 (to 4.6 s), and the space
// bar held from 5 to 10 s puts the show 15 s further on, so the tower and
// the overlay are up from about 14 s of clock.
constexpr int kFps = 5;
constexpr const char* kFastForward = "5-10:Space";
constexpr int kCapFrames = 60 * kFps;  // a run that ends by itself ends well before

struct Phase {
    const char* name;
    const char* keys;  // after kFastForward
};

struct Outcome {
    ExeRun exe;
    size_t frames = 0;
    plat::PicturePixels last;
};

Outcome RunShow(const std::string& name, const std::string& keys) {
    Outcome o;
    const fs::path dir = TempDir("fault_" + name);
    o.exe = RunKelo(std::string("KELO_LOG=1 ") + kHeadless, "--capture " + dir.string() + " --fps " +
                                                              std::to_string(kFps) + " --frames " +
                                                              std::to_string(kCapFrames) + " --keys " + keys);
    const std::vector<fs::path> frames = Frames(dir);
    o.frames = frames.size();
    if (!frames.empty()) plat::ReadPictureFile(frames.back().string(), &o.last);
    fs::remove_all(dir);
    return o;
}

// What every run must show, however it ended.
void ExpectCleanEnd(const Outcome& o) {
    EXPECT_EQ(o.exe.status, 0) << o.exe.output;
    std::vector<std::string> steps;
    for (const std::string& line : Lines(o.exe.output, "kelo: app: ")) {
        if (line.find("effect class") == std::string::npos) steps.push_back(line.substr(11));
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"register window class", "init device", "main loop", "leave main loop",
                                               "shutdown device", "unregister window class"}));
    ExpectCleanLog(o.exe.output);
}

class CloseInPhase : public ::testing::TestWithParam<Phase> {};

TEST_P(CloseInPhase, EndsOnTheCloseWithStatusZero) {
    const Phase& p = GetParam();
    const std::string keys = std::string(kFastForward) + "," + p.keys;
    const Outcome o = RunShow(std::string("close_") + p.name, keys);
    ExpectCleanEnd(o);
    // The close was asked for at the keys' last time: the quit it leads to
    // is handled before the frame due then, so that frame is never made.
    const double close_at = std::stod(keys.substr(keys.rfind(',') + 1));
    EXPECT_EQ(o.frames, static_cast<size_t>(close_at * kFps)) << o.exe.output;
}

INSTANTIATE_TEST_SUITE_P(Show, CloseInPhase,
                         ::testing::Values(Phase{"loading", "0.4:Close"}, Phase{"intro", "7:Close"},
                                           Phase{"tower", "16:Close"}, Phase{"panels", "15:F1,15.4:F2,16:Close"},
                                           Phase{"exit_fade", "14:Escape,17:Close"}),
                         [](const auto& info) { return std::string(info.param.name); });

class EscapeInPhase : public ::testing::TestWithParam<Phase> {};

TEST_P(EscapeInPhase, ExitScreenRunsItsCourseAndTheShowEndsByItself) {
    const Phase& p = GetParam();
    const Outcome o = RunShow(std::string("escape_") + p.name, std::string(kFastForward) + "," + p.keys);
    ExpectCleanEnd(o);
    EXPECT_LT(o.frames, static_cast<size_t>(kCapFrames)) << "did not end by itself";
    // The exit screen fades everything out: its last frame is white (but
    // for the tuning panels, which stay open over it, at the edges).
    ASSERT_EQ(o.last.width, 1024);
    EXPECT_EQ(NonWhite(o.last, 520, 0, 1024, 768), 0);
}

INSTANTIATE_TEST_SUITE_P(Show, EscapeInPhase,
                         ::testing::Values(Phase{"loading_held", "0.4-6:Escape"}, Phase{"intro", "7:Escape"},
                                           Phase{"tower", "16:Escape"}, Phase{"panels", "15:F1,15.4:F2,16:Escape"},
                                           Phase{"twice", "14:Escape,17:Escape"}, Phase{"held", "14-59:Escape"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two minutes of clock at two frames a second with random presses and holds
// of every key but Escape, then Escape. (Ten minutes and more:
// bash tools/soak.sh build -- --keys random:SEED,600:Escape.)
TEST(RandomKeys, TwoMinutesOfEveryKeyButEscapeThenEscape) {
    const fs::path dir = TempDir("random_keys");
    Outcome o;
    o.exe = RunKelo(std::string("KELO_LOG=1 ") + kHeadless,
                    "--capture " + dir.string() + " --no-frames --fps 2 --keys random:2008,120:Escape");
    fs::remove_all(dir);
    ExpectCleanEnd(o);
    EXPECT_GT(Lines(o.exe.output, "kelo: keys: frame").size(), 60u);
    EXPECT_EQ(Lines(o.exe.output, "pressed 27").size(), 1u);
}

}  // namespace
