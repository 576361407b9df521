// --start, run as a person would: a capture from 30 s against a capture from
// the beginning with the same keys (some of them before the start), frame
// for frame and sample for sample; Escape before and after the start; and a
// person's run, which steps at 60 frames a second until the start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/exe_test_util.h"

namespace {

using namespace exetest;

constexpr int kFps = 10;
constexpr int kSamplesPerFrame = 44100 / kFps;
// Space held for 2 s (the timeline runs 8 s meanwhile), the sync panel
// opened and its bin moved before the start, which changes what drives the
// tower; the parameter panel opened and its selection moved after it.
constexpr const char* kKeys = "3-5:Space,20:F2,21.5:Right,26.5:F1,27:Down";
// 24 frames of loading (frame 24 retires the loading screen, its clock runs
// from 0), then frame k starts at timeline time (k - 24) / 10 + 6: the
// frame at 30 s is frame 264 of the run from the beginning.
constexpr int kStartFrame = 264;
constexpr int kFrames = 12;

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The number in the last "capture: frame N" progress line.
long LastFrameReported(const std::string& output) {
    const std::vector<std::string> lines = Lines(output, "capture: frame ");
    if (lines.empty()) return -1;
    return std::strtol(lines.back().c_str() + lines.back().find("frame ") + 6, nullptr, 10);
}

TEST(StartRun, FramesAndSoundFromTheStartAreThoseOfACaptureFromTheBeginning) {
    const fs::path whole = TempDir("start_whole"), from30 = TempDir("start_30");
    const std::string common = " --fps " + std::to_string(kFps) + " --keys " + kKeys;
    const ExeRun a = RunKelo(std::string("KELO_LOG=1 ") + kHeadless,
                             "--capture " + whole.string() + common + " --frames " + std::to_string(kStartFrame + kFrames));
    const ExeRun b = RunKelo(std::string("KELO_LOG=1 ") + kHeadless,
                             "--capture " + from30.string() + common + " --start 30 --frames " + std::to_string(kFrames));
    ASSERT_EQ(a.status, 0) << a.output;
    ASSERT_EQ(b.status, 0) << b.output;
    ExpectCleanLog(b.output);
    const std::vector<fs::path> fa = Frames(whole), fb = Frames(from30);
    ASSERT_EQ(fa.size(), static_cast<size_t>(kStartFrame + kFrames));
    ASSERT_EQ(fb.size(), static_cast<size_t>(kFrames));
    for (int k = 0; k < kFrames; ++k)
        EXPECT_TRUE(Bytes(fb[k]) == Bytes(fa[kStartFrame + k])) << "frame " << k << " against " << kStartFrame + k;
    // Not trivially equal: the tower turns from frame to frame.
    EXPECT_FALSE(Bytes(fb[0]) == Bytes(fb[1]));

    Wav wa, wb;
    ASSERT_TRUE(ReadWav(whole / "audio.wav", &wa));
    ASSERT_TRUE(ReadWav(from30 / "audio.wav", &wb));
    ASSERT_EQ(wb.samples.size(), static_cast<size_t>(kFrames * kSamplesPerFrame * 2));
    const auto from = wa.samples.begin() + kStartFrame * kSamplesPerFrame * 2;
    EXPECT_TRUE(std::equal(wb.samples.begin(), wb.samples.end(), from)) << "the sound from 30 s on";

    // The keys act on the same frames of the run, before the start or after.
    EXPECT_EQ(Lines(b.output, ": pressed "), Lines(a.output, ": pressed "));
    EXPECT_EQ(Lines(b.output, ": pressed ").size(), 5u);  // a hold is one press
    fs::remove_all(whole);
    fs::remove_all(from30);
}

TEST(StartRun, EscapeBeforeTheStartEndsTheShowUndrawnAndAfterItOnTheSameFrameAsFromTheBeginning) {
    const fs::path dir = TempDir("start_escape");
    const ExeRun early = RunKelo(kHeadless, "--capture " + dir.string() + " --start 30 --keys 10:Escape");
    EXPECT_EQ(early.status, 0) << early.output;
    EXPECT_TRUE(Frames(dir).empty());
    EXPECT_EQ(Lines(early.output, "capture: the show ended before --start 30 s").size(), 1u) << early.output;
    fs::remove_all(dir);

    // Both runs end by themselves after the farewell; the one from 24 s
    // keeps all but the 24 + 2 x 24 frames before its start (the run's
    // clock is then at 36 s: Escape at 40 s comes after it).
    const std::string args = " --fps 2 --no-frames --keys 40:Escape";
    const ExeRun whole = RunKelo(kHeadless, "--capture " + dir.string() + args);
    const ExeRun from24 = RunKelo(kHeadless, "--capture " + dir.string() + args + " --start 24");
    ASSERT_EQ(whole.status, 0) << whole.output;
    ASSERT_EQ(from24.status, 0) << from24.output;
    ExpectCleanLog(from24.output);
    EXPECT_GT(LastFrameReported(whole.output), 80 + 20) << "the farewell ran";
    EXPECT_EQ(LastFrameReported(whole.output) - LastFrameReported(from24.output), 24 + 2 * 24) << from24.output;
    fs::remove_all(dir);
}

TEST(StartRun, PersonsRunStepsAtSixtyFramesASecondUntilTheStart) {
    // Escape at 10 s comes on frame 10 x 60, the music having started on
    // the 60 fps frame clock after loading (23 frames of 735 samples); the
    // farewell is over by 24 s, so the show ends undrawn.
    const ExeRun r = RunKelo(std::string("KELO_LOG=1 ") + kHeadless,
                             "--no-dialog --windowed --start 30 --keys 10:Escape");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Lines(r.output, "pressed 27"), std::vector<std::string>{"kelo: keys: frame 600: pressed 27"});
    EXPECT_EQ(Lines(r.output, "snd: play at sample"), std::vector<std::string>{"kelo: snd: play at sample 16905"});
}

}  // namespace
