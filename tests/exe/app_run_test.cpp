// The real executable, run headless: capture output, exit statuses and the
// messages a person sees when it cannot start.
#include <gtest/gtest.h>

#include "tests/support/exe_test_util.h"
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace exetest;
using RunResult = ExeRun;

// Width and height from a PNG's IHDR chunk.
std::pair<uint32_t, uint32_t> PngSize(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char h[24] = {};
    in.read(reinterpret_cast<char*>(h), sizeof h);
    auto be = [&](int o) { return uint32_t(h[o]) << 24 | uint32_t(h[o + 1]) << 16 | uint32_t(h[o + 2]) << 8 | h[o + 3]; };
    if (!in || h[1] != 'P' || h[12] != 'I') return {0, 0};
    return {be(16), be(20)};
}

TEST(AppCapture, OneSecondAtSixtyFramesWritesSixtyPictures) {
    fs::path dir = TempDir("cap60");
    RunResult r = RunKelo(kHeadless, "--capture " + dir.string() + " --seconds 1");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<fs::path> files = Frames(dir);
    ASSERT_EQ(files.size(), 60u);
    EXPECT_EQ(files.front().filename(), "frame_000000.png");
    EXPECT_EQ(files.back().filename(), "frame_000059.png");
    EXPECT_EQ(PngSize(files.front()), std::make_pair(1024u, 768u));
    EXPECT_NE(r.output.find(dir.string()), std::string::npos) << "says where the frames went";
    fs::remove_all(dir);
}

TEST(AppCapture, FrameCountAndFractionalRateStopTheRun) {
    fs::path dir = TempDir("cap5");
    RunResult r = RunKelo(kHeadless, "--capture " + dir.string() + " --fps 30 --frames 5");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Frames(dir).size(), 5u);
    fs::remove_all(dir);
    // 0.1 s at 30000/1001 fps is 2.997 frames: the third frame reaches it.
    r = RunKelo(kHeadless, "--capture " + dir.string() + " --fps 30000/1001 --seconds 0.1");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Frames(dir).size(), 3u);
    fs::remove_all(dir);
}

TEST(AppCapture, ScriptedPressIsSeenByExactlyOneFrame) {
    fs::path dir = TempDir("keys");
    RunResult r = RunKelo(std::string("KELO_LOG=1 ") + kHeadless,
                      "--capture " + dir.string() + " --frames 40 --keys 0.25:F1,0.4-0.45:Space");
    ASSERT_EQ(r.status, 0) << r.output;
    // 0.25 s at 60 frames/s is frame 15; 0.4 s is frame 24.
    EXPECT_EQ(Lines(r.output, "pressed 112"), std::vector<std::string>{"kelo: keys: frame 15: pressed 112"});
    EXPECT_EQ(Lines(r.output, "pressed 32"), std::vector<std::string>{"kelo: keys: frame 24: pressed 32"});
    fs::remove_all(dir);
}

TEST(AppStart, NoVideoDriverIsOneClearLineAndStatusOne) {
    RunResult r = RunKelo("SDL_VIDEODRIVER=no-such-driver", "--no-dialog");
    EXPECT_EQ(r.status, 1);
    auto lines = Lines(r.output, "kelo:");
    ASSERT_EQ(lines.size(), 1u) << r.output;
    EXPECT_NE(lines[0].find("cannot start"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("video"), std::string::npos) << lines[0];
}

TEST(AppStart, OldOpenGLIsRefused) {
    RunResult r = RunKelo(std::string("MESA_GL_VERSION_OVERRIDE=3.3 MESA_GLSL_VERSION_OVERRIDE=330 ") + kHeadless,
                      "--no-dialog --windowed");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("OpenGL 4.5"), std::string::npos) << r.output;
}

TEST(AppStart, FailedDeviceStillShutsDownInOrder) {
    RunResult r = RunKelo("KELO_LOG=1 SDL_VIDEODRIVER=no-such-driver", "--no-dialog");
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> steps;
    for (const std::string& line : Lines(r.output, "kelo: app: ")) steps.push_back(line.substr(11));
    EXPECT_EQ(steps, (std::vector<std::string>{"register window class", "init device", "shutdown device",
                                               "unregister window class"}));
}

TEST(AppCommandLine, HelpAndBadInput) {
    RunResult r = RunKelo("", "--help");
    EXPECT_EQ(r.status, 0);
    for (const char* opt : {"--no-dialog", "--windowed", "--vsync", "--capture", "--fps", "--seconds", "--frames",
                            "--keys"}) {
        EXPECT_NE(r.output.find(opt), std::string::npos) << opt;
    }
    r = RunKelo(kHeadless, "--capture /tmp/x --keys 1:F1,2:Banana");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("2:Banana"), std::string::npos) << r.output;
    r = RunKelo(kHeadless, "--no-such-option");
    EXPECT_EQ(r.status, 2);
}

}  // namespace
