#include "app/capture.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/device.h"
#include "tower/cube_tower.h"
#include "platform/clock.h"
#include "platform/frame_writer.h"
#include "platform/log.h"
#include "platform/process_memory.h"
#include "platform/sound.h"
#include "platform/sound_wav.h"

extern char** environ;

namespace capture {
namespace {

struct CaptureState {
    bool active = false;
    bool started = false;  // Start succeeded: frames are counted from here
    AppOptions options;
    std::unique_ptr<plat::FrameWriter> writer;
    uint64_t frames = 0;
    double started_at = 0.0;
    double last_report = 0.0;
    bool tty = false;
    std::unique_ptr<plat::WavWriter> wav;
    std::vector<int16_t> audio;  // one frame's mix, interleaved stereo
    int64_t audio_frames = 0;    // sample frames mixed (and written to audio.wav)
    uint64_t rss_first_minute = 0;  // resident bytes when the clock passed 60 s
};
CaptureState g_cap;

// Clock time after `frames` frames.
double ShowSeconds(uint64_t frames) {
    return static_cast<double>(frames) * static_cast<double>(g_cap.options.fps_den) /
           static_cast<double>(g_cap.options.fps_num);
}

double Megabytes(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// What a long run needs to be judged by: memory after the first minute (the
// assets, the targets and the driver's caches are all made by then) against
// the peak and the end, GL errors, warnings, and tower vertices that went
// bad. One line, so scripts can read it.
void ReportHealth() {
    const uint64_t now = plat::ResidentBytes(), peak = plat::PeakResidentBytes();
    const uint64_t first = g_cap.rss_first_minute;
    char memory[160];
    if (first > 0) {
        std::snprintf(memory, sizeof memory,
                      "resident memory %.1f MB after the first minute, %.1f MB peak, %.1f MB at the end (growth %+.2f%%)",
                      Megabytes(first), Megabytes(peak), Megabytes(now),
                      100.0 * (static_cast<double>(now) - static_cast<double>(first)) / static_cast<double>(first));
    } else {
        std::snprintf(memory, sizeof memory,
                      "resident memory %.1f MB peak, %.1f MB at the end (a run under a minute has no growth figure)",
                      Megabytes(peak), Megabytes(now));
    }
    const unsigned gl_errors = GetDevice() ? GetDevice()->GlErrorCount() : 0;
    std::fprintf(stderr, "capture: health: %s; GL errors %u; warnings %d; frames with non-finite tower vertices %llu\n",
                 memory, gl_errors, plat::LogWarningCount(),
                 static_cast<unsigned long long>(CCubeTower::s_nNonFiniteFrames));
}

void Report(bool final) {
    const double wall = plat::SteadySeconds() - g_cap.started_at;
    const double show = ShowSeconds(g_cap.frames);
    const double fps = wall > 0 ? static_cast<double>(g_cap.frames) / wall : 0.0;
    if (g_cap.tty) {
        std::fprintf(stderr, "\rcapture: frame %llu, %.2f s of show, %.1f frames/s%s",
                     static_cast<unsigned long long>(g_cap.frames), show, fps, final ? "\n" : "");
    } else {
        std::fprintf(stderr, "capture: frame %llu, %.2f s of show, %.1f frames/s\n",
                     static_cast<unsigned long long>(g_cap.frames), show, fps);
    }
    std::fflush(stderr);
}

// The sample at which frame k starts: floor(k * 44100 / fps), in integers
// (k * 44100 * den / num) so no rounding drifts over a long capture.
int64_t FrameStartSample(uint64_t k) {
    const auto& o = g_cap.options;
    return static_cast<int64_t>(static_cast<unsigned __int128>(k) * plat::kSoundRate *
                                static_cast<uint64_t>(o.fps_den) / static_cast<uint64_t>(o.fps_num));
}

// Mixes the music up to `end` and appends it to audio.wav. The mix runs
// only here, so the music advances exactly with the frames.
void MixAudioTo(int64_t end) {
    // In pieces of at most a second: a frame rate as slow as --fps allows
    // (one frame in a million seconds) must not ask for one huge buffer.
    while (g_cap.audio_frames < end) {
        const int64_t frames = std::min<int64_t>(end - g_cap.audio_frames, plat::kSoundRate);
        g_cap.audio.assign(static_cast<size_t>(frames) * 2, 0);
        plat::MixSoundOffline(static_cast<int>(frames), g_cap.audio.data());
        if (g_cap.wav) g_cap.wav->Write(g_cap.audio.data(), static_cast<size_t>(frames));
        g_cap.audio_frames += frames;
    }
}

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Frames and audio.wav into one video with ffmpeg; prints the command first
// so it can be rerun by hand with other settings.
bool MakeVideo() {
    const AppOptions& o = g_cap.options;
    if (!OnPath("ffmpeg")) {
        std::fprintf(stderr, "capture: ffmpeg is not installed, so no video; the frames and audio.wav are in %s/\n",
                     o.capture_dir.c_str());
        return true;
    }
    const std::vector<std::string> args = {
        "ffmpeg", "-y", "-hide_banner", "-loglevel", "error",
        "-framerate", std::to_string(o.fps_num) + "/" + std::to_string(o.fps_den),
        "-i", o.capture_dir + "/frame_%06d.png", "-i", o.capture_dir + "/audio.wav",
        "-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "18",
        "-c:a", "aac", "-b:a", "192k", o.video_file};
    std::string shown;
    std::vector<char*> argv;
    for (const std::string& a : args) {
        shown += (shown.empty() ? "" : " ") + (a.find_first_of(" '\"") == std::string::npos ? a : "'" + a + "'");
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::fprintf(stderr, "capture: %s\n", shown.c_str());
    std::fflush(stderr);
    pid_t pid = 0;
    int status = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0 || waitpid(pid, &status, 0) < 0 ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "kelo: capture: ffmpeg could not make %s; the frames and audio.wav are in %s/\n",
                     o.video_file.c_str(), o.capture_dir.c_str());
        return false;
    }
    std::fprintf(stderr, "capture: wrote the video %s\n", o.video_file.c_str());
    return true;
}

}  // namespace

bool Active() { return g_cap.active; }

void Begin(const AppOptions& options) {
    g_cap = CaptureState{};
    g_cap.active = options.capture;
    if (!g_cap.active) return;
    g_cap.options = options;
    // The frame timer reads a clock that moves exactly one frame per frame.
    plat::UseVirtualClock(options.fps_num, options.fps_den);
    // ... and the music is mixed only as frames are made (see MixAudioTo).
    plat::UseOfflineSound();
    // Nobody watches a capture: a tower vertex gone bad must be reported.
    CCubeTower::s_bCheckVertices = true;
    CCubeTower::s_nNonFiniteFrames = 0;
}

bool Start(std::string* error) {
    if (!g_cap.active) return true;
    if (g_cap.options.write_frames) {
        g_cap.writer = std::make_unique<plat::FrameWriter>();
        if (!g_cap.writer->Open(g_cap.options.capture_dir, static_cast<int>(g_fScreenWidth),
                                static_cast<int>(g_fScreenHeight), error)) {
            return false;
        }
        g_cap.wav = std::make_unique<plat::WavWriter>();
        if (!g_cap.wav->Open(g_cap.options.capture_dir + "/audio.wav", error)) return false;
    }
    g_cap.started = true;
    g_cap.started_at = plat::SteadySeconds();
    g_cap.last_report = g_cap.started_at;
    g_cap.tty = isatty(STDERR_FILENO) != 0;
    return true;
}

bool AfterPresent() {
    if (!g_cap.started) return false;
    if (g_cap.writer) {
        std::vector<uint8_t> rgb;
        if (GetDevice() && GetDevice()->ReadBackBuffer(rgb)) g_cap.writer->Write(std::move(rgb));
    }
    // The sound that plays while this frame is on screen: up to the start
    // of the next one, where that frame's spectrum will be taken.
    ++g_cap.frames;
    MixAudioTo(FrameStartSample(g_cap.frames));
    plat::AdvanceVirtualClock();
    if (g_cap.rss_first_minute == 0 && ShowSeconds(g_cap.frames) >= 60.0) g_cap.rss_first_minute = plat::ResidentBytes();

    const double now = plat::SteadySeconds();
    if (now - g_cap.last_report >= (g_cap.tty ? 0.25 : 5.0)) {
        Report(false);
        g_cap.last_report = now;
    }
    const AppOptions& o = g_cap.options;
    if (o.stop_frames > 0 && g_cap.frames >= static_cast<uint64_t>(o.stop_frames)) return true;
    if (o.stop_seconds > 0) {
        // Clock time after this frame is frames * den / num seconds; compared
        // in integers scaled by num so 1 s at 60 fps is exactly 60 frames.
        const double ticks = static_cast<double>(g_cap.frames) * static_cast<double>(o.fps_den);
        if (ticks >= o.stop_seconds * static_cast<double>(o.fps_num) - 1e-6) return true;
    }
    return false;
}

bool Finish() {
    if (!g_cap.started) return true;
    g_cap.started = false;
    Report(true);
    ReportHealth();
    if (!g_cap.writer) return true;
    bool ok = g_cap.writer->Close();
    const bool wav_ok = !g_cap.wav || g_cap.wav->Close();
    if (ok) {
        std::fprintf(stderr, "capture: wrote %llu frames and %.2f s of sound (audio.wav) to %s/\n",
                     static_cast<unsigned long long>(g_cap.frames),
                     static_cast<double>(g_cap.audio_frames) / plat::kSoundRate, g_cap.options.capture_dir.c_str());
    } else {
        std::fprintf(stderr, "kelo: capture: %s\n", g_cap.writer->FirstError().c_str());
    }
    if (!wav_ok) {
        std::fprintf(stderr, "kelo: capture: could not write %s/audio.wav\n", g_cap.options.capture_dir.c_str());
        ok = false;
    }
    g_cap.writer.reset();
    if (ok && !g_cap.options.video_file.empty() && g_cap.frames > 0) ok = MakeVideo();
    return ok;
}

}  // namespace capture
