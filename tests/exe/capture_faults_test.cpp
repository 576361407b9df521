// Captures treated roughly, through the real executable: an older capture
// in the same directory, a full disk, every stop signal (SIGKILL included)
// during the capture and during ffmpeg, stderr closed under it, sound past
// WAV's limit, hostile file names, ffmpeg missing, repeated options, the
// tools fed directories and devices, and too little memory. For each: the
// exit status, the message, and what is on disk afterwards: frames
// numbered without a gap and none empty, a WAV whose header states exactly
// the data it holds, no stale frame in a video, no process left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/exe_test_util.h"

extern char** environ;

namespace {

using namespace exetest;

constexpr int kFps = 10;
// Sample frames of sound after n frames at kFps: floor(n * 44100 / 10).
uint64_t SoundAfter(uint64_t n) { return n * 44100 / kFps; }

std::string FrameName(size_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06zu.png", i);
    return name;
}

struct WavFacts {
    bool valid = false;
    uint32_t header_bytes = 0;  // the data size the header states
    uint64_t data_bytes = 0;    // what the file holds after the header
};

WavFacts ReadWavFacts(const fs::path& file) {
    WavFacts f;
    std::ifstream in(file, std::ios::binary);
    unsigned char h[44] = {};
    if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return f;
    auto u32 = [&](int o) { return static_cast<uint32_t>(h[o] | h[o + 1] << 8 | h[o + 2] << 16 | h[o + 3] << 24); };
    f.header_bytes = u32(40);
    f.data_bytes = fs::file_size(file) - 44;
    f.valid = std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 36, "data", 4) == 0 && u32(4) == 36 + u32(40) &&
              f.header_bytes % 4 == 0;
    return f;
}

// What every capture that stopped must leave: frames 0..n-1 and nothing
// else under a frame's name, none empty, no half-written ones, and a WAV
// holding the sound of those frames, as its header says. On a full disk
// the WAV may be the file that failed first: then it holds less.
void ExpectWholeCapture(const fs::path& dir, uint64_t frames, const std::string& output, bool sound_may_be_short = false) {
    const std::vector<fs::path> files = Frames(dir);
    ASSERT_EQ(files.size(), frames) << output;
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].filename().string(), FrameName(i));
        EXPECT_GT(fs::file_size(files[i]), 1000u) << files[i];
    }
    for (auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().extension(), ".part") << e.path();
    const WavFacts wav = ReadWavFacts(dir / "audio.wav");
    ASSERT_TRUE(wav.valid) << output;
    EXPECT_EQ(wav.header_bytes, wav.data_bytes);
    if (sound_may_be_short)
        EXPECT_LE(wav.data_bytes, SoundAfter(frames) * 4) << output;
    else
        EXPECT_EQ(wav.data_bytes, SoundAfter(frames) * 4) << output;
}

std::string Capture(const fs::path& dir, int frames) {
    return "--capture '" + dir.string() + "' --fps " + std::to_string(kFps) + " --frames " + std::to_string(frames);
}

// The number in "interrupted after N frames", or -1.
long InterruptedAfter(const std::string& output) {
    const size_t at = output.find("interrupted after ");
    return at == std::string::npos ? -1 : std::stol(output.substr(at + 18));
}

bool HaveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

// Frames in a video as ffprobe counts them by decoding, or -1.
int VideoFrames(const fs::path& video) {
    auto [status, out] = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                    "stream=nb_read_frames -of csv=p=0 'file:" + video.string() + "'");
    return status == 0 && !out.empty() ? std::atoi(out.c_str()) : -1;
}

// ffmpeg processes whose command line mentions `text` (a test's unique path).
int FfmpegsMentioning(const std::string& text) {
    int n = 0;
    for (auto& e : fs::directory_iterator("/proc")) {
        const std::string pid = e.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(getpid())) continue;
        std::ifstream in(e.path() / "cmdline", std::ios::binary);
        std::string cmd((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::replace(cmd.begin(), cmd.end(), '\0', ' ');
        const std::string program = cmd.substr(0, cmd.find(' '));
        if (cmd.find(text) != std::string::npos && program.size() >= 6 &&
            program.compare(program.size() - 6, 6, "ffmpeg") == 0)
            ++n;
    }
    return n;
}

// The executable started directly (no shell between: a signal sent to the
// pid reaches kelo itself), its output to a file, or stderr to `stderr_fd`.
class Running {
public:
    Running(const std::vector<std::string>& args, const fs::path& log, int stderr_fd = -1) {
        std::vector<std::string> all = {KELO_EXE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (stderr_fd >= 0)
            posix_spawn_file_actions_adddup2(&files, stderr_fd, 2);
        else
            posix_spawn_file_actions_adddup2(&files, 1, 2);
        started_ = posix_spawn(&pid_, KELO_EXE, &files, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&files);
        log_ = log;
    }
    ~Running() {
        if (started_ && !waited_) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    bool started() const { return started_; }
    void Signal(int s) { kill(pid_, s); }
    // The exit status, 128 + the signal for one that killed it, -1 on error.
    int Wait() {
        int st = 0;
        waited_ = true;
        while (waitpid(pid_, &st, 0) < 0) {
            if (errno != EINTR) return -1;
        }
        return WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
    }
    std::string Output() const {
        std::ifstream in(log_);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // Waits (up to a minute) until `ready` holds; false if it never did.
    template <typename F>
    bool WaitFor(F ready) {
        for (int i = 0; i < 6000; ++i) {
            if (ready()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    pid_t pid_ = 0;
    bool started_ = false;
    bool waited_ = false;
    fs::path log_;
};

// ---- An older capture in the same directory ---------------------------------

TEST(CaptureStale, OlderFramesAreRefusedOrRemovedAndNeverReachTheVideo) {
    const fs::path dir = TempDir("stale");
    ExeRun r = RunKelo(kHeadless, Capture(dir, 40));
    ASSERT_EQ(r.status, 0) << r.output;
    std::ofstream(dir / "notes.txt") << "not ours";

    // Refused, and nothing touched.
    const bool ffmpeg = HaveFfmpeg();
    const fs::path video = dir.string() + ".mp4";
    const std::string with_video = ffmpeg ? " --video '" + video.string() + "'" : "";
    r = RunKelo(kHeadless, Capture(dir, 10) + with_video);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("already holds 41 files of an earlier capture"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("--overwrite"), std::string::npos) << r.output;
    EXPECT_EQ(Frames(dir).size(), 40u);
    EXPECT_FALSE(fs::exists(video));

    // With --overwrite: exactly the old frames and WAV go.
    r = RunKelo(kHeadless, Capture(dir, 10) + " --overwrite" + with_video);
    EXPECT_EQ(r.status, 0) << r.output;
    ExpectWholeCapture(dir, 10, r.output);
    EXPECT_TRUE(fs::exists(dir / "notes.txt"));
    if (ffmpeg) {
        EXPECT_EQ(VideoFrames(video), 10) << r.output;
        // An existing video is replaced only when asked.
        r = RunKelo(kHeadless, Capture(dir, 5) + " --overwrite --video '" + video.string() + "'");
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(VideoFrames(video), 5);
        const auto size = fs::file_size(video);
        r = RunKelo(kHeadless, Capture(dir.string() + "_other", 5) + " --video '" + video.string() + "'");
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find("already exists; give --overwrite to replace it"), std::string::npos) << r.output;
        EXPECT_EQ(fs::file_size(video), size);
        EXPECT_FALSE(fs::exists(dir.string() + "_other"));
    }
    fs::remove_all(dir);
    fs::remove(video);
}

// ---- A full disk --------------------------------------------------------------

TEST(CaptureFullDisk, StopsAtTheFirstFailedWriteWithTheReasonAndWholeFiles) {
    const fs::path mount_point = TempDir("full_disk");
    fs::create_directories(mount_point);
    // Two megabytes hold a few frames and their sound, far from the 60 asked.
    if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=2m") != 0) {
        const std::string why = std::strerror(errno);
        fs::remove_all(mount_point);
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << why << "); needs root";
    }
    const fs::path dir = mount_point / "c";
    ExeRun r = RunKelo(kHeadless, Capture(dir, 60));
    EXPECT_EQ(r.status, 1) << r.output;
    // The frames' thread or the WAV, whichever wrote first into the full disk.
    const std::vector<std::string> stop = Lines(r.output, "kelo: capture: cannot write " + dir.string() + "/");
    ASSERT_EQ(stop.size(), 1u) << r.output;
    EXPECT_NE(stop[0].find(": No space left on device"), std::string::npos) << stop[0];
    const size_t frames = Frames(dir).size();
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, 60u);
    EXPECT_NE(stop[0].find("stopped with " + std::to_string(frames) + " whole frames"), std::string::npos) << stop[0];
    ExpectWholeCapture(dir, frames, r.output, true);
    umount(mount_point.c_str());
    fs::remove_all(mount_point);
}

// ---- Signals ------------------------------------------------------------------

struct StopSignal {
    const char* name;
    int signal;
};

class CaptureSignal : public ::testing::TestWithParam<StopSignal> {};

// Sent once a few frames are on disk: the capture ends after the frame in
// hand with its files whole, no video is made, and the status is the
// shell's for the signal.
TEST_P(CaptureSignal, EndsCleanlyWithTheSignalsStatusAndNoVideo) {
    const StopSignal& s = GetParam();
    const fs::path dir = TempDir(std::string("signal_") + s.name);
    const fs::path video = dir.string() + ".mp4";
    Running kelo({"--capture", dir.string(), "--fps", "10", "--frames", "2000", "--video", video.string()},
                 dir.string() + ".log");
    ASSERT_TRUE(kelo.started());
    ASSERT_TRUE(kelo.WaitFor([&] { return Frames(dir).size() >= 3; }));
    kelo.Signal(s.signal);
    const int status = kelo.Wait();
    const std::string out = kelo.Output();
    EXPECT_EQ(status, 128 + s.signal) << out;
    const long n = InterruptedAfter(out);
    EXPECT_GE(n, 3) << out;
    EXPECT_NE(out.find(std::string("by ") + s.name), std::string::npos) << out;
    EXPECT_EQ(out.find("wrote "), std::string::npos) << out;
    ExpectWholeCapture(dir, static_cast<uint64_t>(n), out);
    EXPECT_FALSE(fs::exists(video));
    fs::remove_all(dir);
    fs::remove(dir.string() + ".log");
}

INSTANTIATE_TEST_SUITE_P(Capture, CaptureSignal,
                         ::testing::Values(StopSignal{"SIGINT", SIGINT}, StopSignal{"SIGTERM", SIGTERM},
                                           StopSignal{"SIGHUP", SIGHUP}, StopSignal{"SIGQUIT", SIGQUIT}),
                         [](const auto& info) { return std::string(info.param.name); });

// Nothing can be done at SIGKILL: what is on disk must already be readable.
// The header trails the data by at most a second of sound (plus the frame
// being mixed), and no frame is empty or cut short under a frame's name.
TEST(CaptureSignalKill, LeavesAReadableWavAndNoBrokenFrame) {
    const fs::path dir = TempDir("sigkill");
    Running kelo({"--capture", dir.string(), "--fps", "10", "--frames", "2000"}, dir.string() + ".log");
    ASSERT_TRUE(kelo.started());
    ASSERT_TRUE(kelo.WaitFor([&] { return Frames(dir).size() >= 25; }));
    kelo.Signal(SIGKILL);
    EXPECT_EQ(kelo.Wait(), 128 + SIGKILL);
    const WavFacts wav = ReadWavFacts(dir / "audio.wav");
    ASSERT_TRUE(wav.valid);
    EXPECT_GE(wav.header_bytes, 44100u * 4) << "a second has passed: the header was brought up to date";
    EXPECT_LE(wav.header_bytes, wav.data_bytes);
    EXPECT_LT(wav.data_bytes - wav.header_bytes, (44100u + 4410u) * 4);
    const std::vector<fs::path> frames = Frames(dir);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].filename().string(), FrameName(i));
        plat::PicturePixels p;
        EXPECT_TRUE(plat::ReadPictureFile(frames[i].string(), &p)) << frames[i];
    }
    fs::remove_all(dir);
    fs::remove(dir.string() + ".log");
}

// stderr is a pipe nobody reads any more (`kelo ... 2>&1 | head -1` after
// head quit): the capture runs to its end as if nothing happened.
TEST(CaptureSignalPipe, ClosedStderrDoesNotEndTheCapture) {
    const fs::path dir = TempDir("sigpipe");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    Running kelo({"--capture", dir.string(), "--fps", "10", "--frames", "12"}, "/dev/null", fds[1]);
    close(fds[1]);
    ASSERT_TRUE(kelo.started());
    EXPECT_EQ(kelo.Wait(), 0);
    ExpectWholeCapture(dir, 12, "");
    fs::remove_all(dir);
}

// SIGTERM while ffmpeg makes the video: passed on, ffmpeg waited for, its
// half-made video removed, and neither process left running.
TEST(CaptureSignalFfmpeg, IsPassedOnToFfmpegAndWaitedFor) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed here";
    const fs::path dir = TempDir("signal_ffmpeg");
    const fs::path video = dir.string() + "_video.mp4";
    Running kelo({"--capture", dir.string(), "--fps", "10", "--frames", "60", "--video", video.string()},
                 dir.string() + ".log");
    ASSERT_TRUE(kelo.started());
    ASSERT_TRUE(kelo.WaitFor([&] { return kelo.Output().find("capture: ffmpeg ") != std::string::npos; }));
    // Once ffmpeg has started (it names the video in its command line).
    ASSERT_TRUE(kelo.WaitFor([&] { return FfmpegsMentioning(video.string()) > 0; }));
    kelo.Signal(SIGTERM);
    const int status = kelo.Wait();
    const std::string out = kelo.Output();
    if (out.find("capture: wrote the video") != std::string::npos) {
        GTEST_SKIP() << "ffmpeg finished before the signal reached it";
    }
    EXPECT_EQ(status, 128 + SIGTERM) << out;
    EXPECT_NE(out.find("interrupted by SIGTERM while ffmpeg made"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(video));
    EXPECT_EQ(FfmpegsMentioning(video.string()), 0);
    ExpectWholeCapture(dir, 60, out);
    fs::remove_all(dir);
    fs::remove(dir.string() + ".log");
}

// ---- Limits, names and the command line -----------------------------------------

TEST(CaptureLimits, SoundPastTheWavLimitIsRefusedBeforeStarting) {
    const fs::path dir = TempDir("wav_limit");
    for (const char* stop : {"--frames 1", "--seconds 30000", ""}) {
        ExeRun r = RunKelo(kHeadless, "--capture '" + dir.string() + "' --fps 1/1000000 " + stop);
        EXPECT_EQ(r.status, 1) << stop << "\n" << r.output;
        EXPECT_NE(r.output.find("past the 4 GiB limit of a WAV file (6.8 hours"), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(dir));
    }
    // Just under the limit is accepted up to the first frame: not run here
    // (it would mix 6.7 hours); the same length at --no-frames needs no WAV.
    ExeRun r = RunKelo(kHeadless, "--capture '" + dir.string() + "' --no-frames --fps 1 --frames 2");
    EXPECT_EQ(r.status, 0) << r.output;
    fs::remove_all(dir);
}

TEST(CaptureNames, NoNameIsReadAsAnOptionOrAPatternOrOverwritesAFrame) {
    const fs::path parent = TempDir("names");
    const fs::path dir = parent / "100% of -y %d";
    fs::create_directories(parent);
    // The video under a frame's name, or the WAV's, in the capture directory.
    for (const char* name : {"frame_000000.png", "audio.wav"}) {
        ExeRun r = RunKelo(kHeadless, Capture(dir, 3) + " --video '" + (dir / name).string() + "'");
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find("would be written over the capture's own " + std::string(name)), std::string::npos)
            << r.output;
        EXPECT_FALSE(fs::exists(dir));
    }
    if (!HaveFfmpeg()) {
        fs::remove_all(parent);
        GTEST_SKIP() << "ffmpeg is not installed here";
    }
    // A video called "-y.mp4", relative to the working directory, from a
    // directory with "%" and "-y" in its name.
    auto [status, out] = RunCommand("cd '" + parent.string() + "' && env " + kHeadless + " " KELO_EXE " " +
                                    Capture(dir, 4) + " --video=-y.mp4");
    EXPECT_EQ(status, 0) << out;
    ExpectWholeCapture(dir, 4, out);
    EXPECT_EQ(VideoFrames(parent / "-y.mp4"), 4) << out;
    fs::remove_all(parent);
}

TEST(CaptureNames, MissingFfmpegIsSaidBeforeAnythingIsCaptured) {
    const fs::path dir = TempDir("no_ffmpeg");
    ExeRun r = RunKelo(std::string("PATH=/nonexistent ") + kHeadless, Capture(dir, 3) + " --video v.mp4");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("--video needs ffmpeg, which is not installed"), std::string::npos) << r.output;
    EXPECT_EQ(Lines(r.output, "capture: frame").size(), 0u) << r.output;
    EXPECT_FALSE(fs::exists(dir));
}

TEST(CaptureCommandLine, RepeatedOptionsAreRefusedByNameAndKeysJoin) {
    const fs::path dir = TempDir("repeated");
    for (const std::string twice : {"--capture c1 --capture c2", "--capture c --video a.mp4 --video b.mp4",
                                     "--capture c --fps 10 --fps=20", "--capture c --seconds 1 --seconds 2",
                                     "--capture c --frames 1 --frames 2"}) {
        ExeRun r = RunKelo(kHeadless, twice);
        EXPECT_EQ(r.status, 2) << twice << "\n" << r.output;
        const std::string option = twice.substr(twice.rfind("--"), twice.find_first_of(" =", twice.rfind("--")) -
                                                                       twice.rfind("--"));
        EXPECT_NE(r.output.find("kelo: " + option + " given twice"), std::string::npos) << r.output;
    }
    // Both lists of keys are pressed.
    ExeRun r = RunKelo(std::string("KELO_LOG=1 ") + kHeadless,
                       Capture(dir, 8) + " --no-frames --keys 0.2:F1 --keys 0.4:F2");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Lines(r.output, "pressed 112").size(), 1u) << r.output;
    EXPECT_EQ(Lines(r.output, "pressed 113").size(), 1u) << r.output;
    fs::remove_all(dir);
}

// On a terminal the progress line is rewritten in place and cleared; in a
// log each update is a line: frames of the total, show time, speed.
TEST(CaptureProgress, OnATerminalTheLineIsClearedInALogEachUpdateIsALine) {
    const fs::path dir = TempDir("progress");
    auto [status, out] = RunCommand("script -qec \"env " + std::string(kHeadless) + " " KELO_EXE " " + Capture(dir, 30) +
                                    "\" /dev/null");
    if (status == 127 || out.find("not found") != std::string::npos) GTEST_SKIP() << "no `script` for a terminal";
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\r\033[Kcapture: frame 30 of 30, 3.00 s of show, "), std::string::npos) << out;
    fs::remove_all(dir);
    ExeRun r = RunKelo(kHeadless, Capture(dir, 30));
    const std::vector<std::string> lines = Lines(r.output, "capture: frame ");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().find("capture: frame 30 of 30, 3.00 s of show, "), 0u) << lines.back();
    EXPECT_EQ(r.output.find('\r'), std::string::npos);
    fs::remove_all(dir);
}

// ---- The tools' input -----------------------------------------------------------

TEST(ToolInput, DirectoriesDevicesMissingAndHugeFilesAreRefusedWithTheReason) {
    const fs::path dir = TempDir("tool_input");
    fs::create_directories(dir);
    const fs::path big = dir / "big.x";
    { std::ofstream(big).put('x'); }
    fs::resize_file(big, 65u * 1024 * 1024);
    for (const char* tool : {KELO_FXC, KELO_XINFO}) {
        auto [status, out] = RunCommand(std::string("env ") + kHeadless + " timeout 60 " + tool + " '" +
                                        dir.string() + "' /dev/zero '" + (dir / "none").string() + "' '" +
                                        big.string() + "'");
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find(dir.string() + ": " + (std::string(tool) == KELO_XINFO ? "error: " : "") +
                           "cannot read: is a directory"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("/dev/zero: "), std::string::npos) << out;
        EXPECT_NE(out.find("cannot read: not a regular file"), std::string::npos) << out;
        EXPECT_NE(out.find("cannot read: No such file or directory"), std::string::npos) << out;
        EXPECT_NE(out.find("cannot read: larger than 64 MB, the most this tool reads"), std::string::npos) << out;
        EXPECT_EQ(out.find("compiled"), std::string::npos) << out;
    }
    fs::remove_all(dir);
}

TEST(ToolInput, FxcRefusesAGlobalDeclaredTwiceAndAnUnclosedComment) {
    const fs::path dir = TempDir("fxc_refuses");
    fs::create_directories(dir);
    const std::string body = "float4 PS() : COLOR { return tint * gain; }\n"
                             "technique T { pass P { PixelShader = compile ps_2_0 PS(); } }\n";
    std::ofstream(dir / "twice.fx") << "float gain;\nfloat4 tint;\nfloat gain = 2;\n" << body;
    std::ofstream(dir / "open.fx") << "float gain;\nfloat4 tint;\n" << body << "/* never closed\n";
    std::ofstream(dir / "good.fx") << "float gain;\nfloat4 tint;\n" << body << "/* closed */\n";
    auto [status, out] = RunCommand(std::string("env ") + kHeadless + " " KELO_FXC " '" + (dir / "twice.fx").string() +
                                    "' '" + (dir / "open.fx").string() + "' '" + (dir / "good.fx").string() + "'");
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("twice.fx(3): 'gain' is declared twice (first on line 1)"), std::string::npos) << out;
    EXPECT_NE(out.find("open.fx(5): comment '/*' is never closed"), std::string::npos) << out;
    EXPECT_NE(out.find("good.fx: compiled"), std::string::npos) << out;
    EXPECT_EQ(Lines(out, ": FAILED").size(), 2u) << out;
    fs::remove_all(dir);
}

// ---- Too little memory ------------------------------------------------------------

// Address-space limits from far too small to just enough: wherever the
// first allocation fails (the window, the device, the shaders, a frame, the
// writer's thread), the run ends with status 1 and says so in one line, or
// it succeeds; it never aborts or crashes, and the files it leaves are whole.
TEST(CaptureMemory, TooLittleMemoryEndsWithOneLineAndStatusOne) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: a limit on it tests nothing";
#endif
    const fs::path dir = TempDir("memory");
    int failed = 0;
    for (int kb : {300000, 400000, 600000, 700000, 750000, 800000, 850000}) {
        fs::remove_all(dir);
        auto [status, out] = RunCommand("ulimit -v " + std::to_string(kb) + "; env " + kHeadless + " " KELO_EXE " " +
                                        Capture(dir, 12));
        SCOPED_TRACE("ulimit -v " + std::to_string(kb) + "\n" + out);
        ASSERT_TRUE(status == 0 || status == 1) << "status " << status;
        if (status == 1) {
            ++failed;
            EXPECT_TRUE(out.find("out of memory while ") != std::string::npos ||
                        out.find("kelo: cannot start") != std::string::npos ||
                        out.find("GL_OUT_OF_MEMORY") != std::string::npos)
                << "the reason is given";
        }
        if (fs::exists(dir / "audio.wav")) {
            const WavFacts wav = ReadWavFacts(dir / "audio.wav");
            EXPECT_TRUE(wav.valid);
            EXPECT_EQ(wav.header_bytes, wav.data_bytes);
        }
        for (const fs::path& f : Frames(dir)) EXPECT_GT(fs::file_size(f), 0u) << f;
    }
    EXPECT_GT(failed, 0) << "no limit was small enough to fail";
    fs::remove_all(dir);
}

}  // namespace
