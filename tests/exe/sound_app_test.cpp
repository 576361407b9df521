// The executable's sound, run headless: the capture's audio.wav in step with
// its frames, the video made from both, and a real-time run on a machine
// with no audio device.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/run_command.h"

#include "tests/support/exe_test_util.h"
#include "tests/support/sound_test_util.h"

namespace fs = std::filesystem;

namespace {

using namespace exetest;

// The sample the music started at, from the "snd: play at sample N" log line.
int64_t PlayedAt(const std::string& output) {
    const size_t at = output.find("snd: play at sample ");
    return at == std::string::npos ? -1 : std::stoll(output.substr(at + 20));
}

size_t Pngs(const fs::path& dir) {
    size_t n = 0;
    for (auto& e : fs::directory_iterator(dir)) n += e.path().extension() == ".png";
    return n;
}

TEST(SoundApp, SixtySecondCaptureWritesItsMixBesideTheFrames) {
    const fs::path dir = TempDir("cap60");
    // Two frames a second keeps the run short; the mix is the same at any rate.
    ExeRun r = RunKelo("KELO_LOG=1 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy",
                    "--capture " + dir.string() + " --fps 2 --seconds 60");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Pngs(dir), 120u);
    Wav wav;
    ASSERT_TRUE(ReadWav(dir / "audio.wav", &wav));
    EXPECT_EQ(wav.format, 1);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100);
    EXPECT_EQ(wav.bits, 16);
    const int64_t frames = static_cast<int64_t>(wav.samples.size() / 2);
    EXPECT_NEAR(frames, 60 * 44100, 44100 / 2) << "within one video frame";
    EXPECT_EQ(frames, 60 * 44100) << "frame k starts at sample k * 44100 / 2";

    const int64_t start = PlayedAt(r.output);
    const int64_t silent_until = start < 0 ? frames : start;
    ASSERT_LE(silent_until, frames);
    for (int64_t i = 0; i < silent_until * 2; ++i) ASSERT_EQ(wav.samples[i], 0) << "sample " << i / 2;
    if (start < 0) {
        // Nothing in this build starts the music yet: a silent track of the
        // right length is all there is to check.
        std::printf("note: the music never started in this run\n");
    } else {
        const std::vector<float>& track = soundtest::DecodedTrack();
        ASSERT_FALSE(track.empty());
        std::printf("the music starts at sample %lld (%.2f s), after loading\n", static_cast<long long>(start),
                    static_cast<double>(start) / 44100.0);
        EXPECT_GT(start, 0) << "loading comes first";
        std::vector<int16_t> music(wav.samples.begin() + start * 2, wav.samples.end());
        EXPECT_LE(soundtest::MaxDifference(music, track, 0), 1) << "the decoded track from sample " << start;
    }
    fs::remove_all(dir);
}

TEST(SoundApp, VideoIsMadeWithFfmpegOrItsAbsenceRefusedAtOnce) {
    const fs::path dir = TempDir("video");
    const fs::path video = dir / "show.mp4";
    const std::string args = "--capture " + dir.string() + " --fps 30000/1001 --frames 10 --video " + video.string();
    const std::string headless = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy";

    // With no ffmpeg to be found: said at once, before anything is written.
    ExeRun r = RunKelo("PATH=/nonexistent " + headless, args);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("--video needs ffmpeg, which is not installed"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir)) << "nothing was captured";
    EXPECT_FALSE(fs::exists(video));

    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        fs::remove_all(dir);
        GTEST_SKIP() << "ffmpeg is not installed here";
    }
    r = RunKelo(headless, args);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("capture: ffmpeg "), std::string::npos) << "prints the command it ran:\n" << r.output;
    EXPECT_NE(r.output.find(video.string()), std::string::npos);
    ASSERT_TRUE(fs::exists(video));
    EXPECT_GT(fs::file_size(video), 1000u);
    EXPECT_EQ(Pngs(dir), 10u);
    // What video sites ask for, as ffprobe reads the file: H.264 High in
    // yuv420p at the capture's rate and 4:3, AAC at 320 kbit/s, and the
    // index (moov) ahead of the data (mdat) so playback starts at once.
    const std::string probe = "ffprobe -v error -show_entries stream=codec_name,profile,pix_fmt,width,height,"
                              "display_aspect_ratio,r_frame_rate -of default=nw=1 'file:" + video.string() + "'";
    auto [probe_status, streams] = RunCommand(probe);
    EXPECT_EQ(probe_status, 0) << streams;
    for (const char* want : {"codec_name=h264", "profile=High", "pix_fmt=yuv420p", "width=1024", "height=768", "display_aspect_ratio=4:3",
                             "r_frame_rate=30000/1001", "codec_name=aac"}) {
        EXPECT_NE(streams.find(want), std::string::npos) << want << " in:\n" << streams;
    }
    std::ifstream file(video, std::ios::binary);
    const std::string head((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_LT(head.find("moov"), head.find("mdat")) << "+faststart puts the index first";
    EXPECT_NE(r.output.find("-b:a 320k"), std::string::npos) << "AAC at 320 kbit/s:\n" << r.output;
    EXPECT_NE(r.output.find("capture: video: frame 10 of 10 (100%)"), std::string::npos) << r.output;
    // Ten frames at 30000/1001 end at sample floor(10 * 44100 * 1001 / 30000).
    Wav wav;
    ASSERT_TRUE(ReadWav(dir / "audio.wav", &wav));
    EXPECT_EQ(wav.samples.size(), 2u * 14714u);
    fs::remove_all(dir);
}

TEST(SoundApp, ShowRunsWithoutAnAudioDevice) {
    // SIGTERM after two seconds is the window being closed (SDL turns it into
    // a quit request), so the run ends as a normal one.
    ExeRun r = RunKelo("KELO_LOG=1 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=no-such-driver", "--no-dialog --windowed",
                    "timeout --preserve-status -s TERM 2");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("snd: no audio"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("app: leave main loop"), std::string::npos) << r.output;
}

}  // namespace
