// The capture: the show on a fixed frame step, each frame written as a PNG
// and the sound mixed in step into audio.wav, the checks made before
// anything is written, progress and health lines, and the video at the end.
//
// Index of this file:
// [SECTION] Capture state
// [SECTION] Progress and health lines
// [SECTION] Frames, samples and the sound track
// [SECTION] Checks before anything is written
// [SECTION] The video
// [SECTION] The capture's steps

#include "main/capture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/device.h"
#include "tower/cube_tower.h"
#include "platform/capture/files.h"
#include "platform/os/clock.h"
#include "platform/capture/frame_writer.h"
#include "platform/os/log.h"
#include "platform/os/process.h"
#include "platform/os/process_memory.h"
#include "platform/sound/sound.h"
#include "platform/capture/wav_writer.h"

namespace capture {
namespace {

// ---------------------------------------------------------------------------
// [SECTION] Capture state
// ---------------------------------------------------------------------------

struct CaptureState {
    bool active = false;
    bool started = false;  // Start succeeded: frames are counted from here
    AppOptions options;
    std::unique_ptr<plat::FrameWriter> writer;
    uint64_t frames = 0;  // frames kept (written, or with --no-frames counted)
    // Frames run before the first kept one: with --start, the loading screen
    // and the timeline before the start. They move the clock and the music
    // like kept ones, so the kept ones are those of a capture from the
    // beginning; frame k of the run is kept frame k - passed.
    uint64_t passed = 0;
    uint64_t total_frames = 0;  // what the stop conditions allow; 0: until the show ends
    double started_at = 0.0;
    double last_report = 0.0;
    bool tty = false;
    std::unique_ptr<plat::WavWriter> wav;
    std::vector<int16_t> audio;  // one frame's mix, interleaved stereo
    int64_t audio_frames = 0;    // sample frames mixed (and written to audio.wav)
    uint64_t rss_first_minute = 0;  // resident bytes when the clock passed 60 s
    std::string ffmpeg;          // its path, found before the capture starts
    std::string failure;         // why the capture stopped early, if a write failed
    int interrupted_by = 0;      // the stop signal that ended it, if one did
};
CaptureState g_cap;

// Clock time after `frames` frames.
double ShowSeconds(uint64_t frames) {
    return static_cast<double>(frames) * static_cast<double>(g_cap.options.fps_den) /
           static_cast<double>(g_cap.options.fps_num);
}

double Megabytes(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// ---------------------------------------------------------------------------
// [SECTION] Progress and health lines
// ---------------------------------------------------------------------------

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

// One progress line: frames done (of the total when the stop conditions set
// one), show time, speed and, with a total, the time left. On a terminal
// the line is rewritten in place: "\r" back to its start and "\033[K" to
// clear what a longer earlier line left beyond it. In a log every update
// is a line of its own.
// ", about 40 s left", ", about 3 min left".
std::string TimeLeft(double seconds) {
    char left[48];
    if (seconds < 120)
        std::snprintf(left, sizeof left, ", about %.0f s left", std::ceil(seconds));
    else
        std::snprintf(left, sizeof left, ", about %.0f min left", std::ceil(seconds / 60));
    return left;
}

void PrintProgress(const std::string& text, bool final) {
    if (g_cap.tty) {
        std::fprintf(stderr, "\r\033[K%s%s", text.c_str(), final ? "\n" : "");
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
}

void Report(bool final) {
    const double wall = plat::SteadySeconds() - g_cap.started_at;
    const double show = ShowSeconds(g_cap.passed + g_cap.frames);
    const double fps = wall > 0 ? static_cast<double>(g_cap.frames) / wall : 0.0;
    char done[64];
    if (g_cap.total_frames > 0) {
        std::snprintf(done, sizeof done, "frame %llu of %llu", static_cast<unsigned long long>(g_cap.frames),
                      static_cast<unsigned long long>(g_cap.total_frames));
    } else {
        std::snprintf(done, sizeof done, "frame %llu", static_cast<unsigned long long>(g_cap.frames));
    }
    std::string left;
    if (g_cap.total_frames > g_cap.frames && fps > 0)
        left = TimeLeft(static_cast<double>(g_cap.total_frames - g_cap.frames) / fps);
    char line[256];
    std::snprintf(line, sizeof line, "capture: %s, %.2f s of show, %.1f frames/s%s", done, show, fps, left.c_str());
    PrintProgress(line, final);
}

// ---------------------------------------------------------------------------
// [SECTION] Frames, samples and the sound track
// ---------------------------------------------------------------------------

// The number of frames after which the stop conditions end the run, 0 when
// only the show's own end does.
uint64_t StopFrame(const AppOptions& o) {
    uint64_t n = 0;
    if (o.stop_frames > 0) n = static_cast<uint64_t>(o.stop_frames);
    if (o.stop_seconds > 0) {
        // Clock time after frame k is k * den / num seconds: the first k
        // whose time reaches the stop, compared in units of 1 / num so 1 s
        // at 60 fps is exactly 60 frames.
        const double ticks = o.stop_seconds * static_cast<double>(o.fps_num) - 1e-6;
        const double frames = std::max(1.0, std::ceil(ticks / static_cast<double>(o.fps_den)));
        const uint64_t by_time = frames >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(frames);
        n = n > 0 ? std::min(n, by_time) : by_time;
    }
    return n;
}

// The sample at which frame k starts: floor(k * 44100 / fps), in integers
// (k * 44100 * den / num) so no rounding drifts over a long capture.
// Saturates rather than wraps, so an absurd --frames is measured against
// the WAV limit as the huge number it is.
int64_t FrameStartSample(const AppOptions& o, uint64_t k) {
    const unsigned __int128 sample = static_cast<unsigned __int128>(k) * plat::kSoundRate *
                                     static_cast<uint64_t>(o.fps_den) / static_cast<uint64_t>(o.fps_num);
    return sample > static_cast<unsigned __int128>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(sample);
}

// Mixes the music up to `end` and, for a kept frame, appends it to
// audio.wav. The mix runs only here, so the music advances exactly with the
// frames.
void MixAudioTo(int64_t end, bool keep) {
    // In pieces of at most a second: a frame rate as slow as --fps allows
    // (one frame in a million seconds) must not ask for one huge buffer.
    while (g_cap.audio_frames < end) {
        const int64_t frames = std::min<int64_t>(end - g_cap.audio_frames, plat::kSoundRate);
        g_cap.audio.assign(static_cast<size_t>(frames) * 2, 0);
        plat::MixSoundOffline(static_cast<int>(frames), g_cap.audio.data());
        if (keep && g_cap.wav && !g_cap.wav->Write(g_cap.audio.data(), static_cast<size_t>(frames))) {
            if (g_cap.failure.empty()) g_cap.failure = g_cap.wav->Error();
            return;
        }
        g_cap.audio_frames += frames;
    }
}

std::string Hours(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f hours", seconds / 3600.0);
    return text;
}

// ---------------------------------------------------------------------------
// [SECTION] Checks before anything is written
// ---------------------------------------------------------------------------

// The checks made before anything is written: each refusal leaves the disk
// as it was.
bool CheckOutputs(const AppOptions& o, std::string* error) {
    if (!o.write_frames) return true;
    // Every capture makes at least one frame, and the sound runs to the start
    // of the frame after the last.
    const uint64_t frames = std::max<uint64_t>(1, StopFrame(o));
    const int64_t samples = FrameStartSample(o, frames);
    if (static_cast<uint64_t>(samples) > plat::WavWriter::kMaxFrames) {
        const double limit = static_cast<double>(plat::WavWriter::kMaxFrames) / plat::kSoundRate;
        *error = "the sound of this capture would last " + Hours(static_cast<double>(samples) / plat::kSoundRate) +
                 (StopFrame(o) == 0 ? " from its first frame alone" : "") +
                 ", past the 4 GiB limit of a WAV file (" + Hours(limit) +
                 " at 44.1 kHz, 16-bit stereo); capture fewer frames or at a higher --fps";
        return false;
    }
    if (!o.video_file.empty()) {
        g_cap.ffmpeg = plat::FindProgram("ffmpeg");
        if (g_cap.ffmpeg.empty()) {
            *error = "--video needs ffmpeg, which is not installed (not found on PATH); nothing was captured";
            return false;
        }
        const plat::PathKind kind = plat::KindOf(o.video_file);
        if (kind == plat::PathKind::kDirectory) {
            *error = "--video " + o.video_file + " is a directory";
            return false;
        }
        if (plat::IsCaptureFileName(plat::FileNameOf(o.video_file)) &&
            plat::IsInDirectory(o.video_file, o.capture_dir)) {
            *error = "--video " + o.video_file + " would be written over the capture's own " +
                     plat::FileNameOf(o.video_file) + "; name the video otherwise";
            return false;
        }
        if (kind == plat::PathKind::kFile && !o.overwrite) {
            *error = o.video_file + " already exists; give --overwrite to replace it";
            return false;
        }
    }
    std::vector<std::string> stale;
    if (!plat::FindCaptureFiles(o.capture_dir, &stale, error)) return false;
    if (!stale.empty()) {
        if (!o.overwrite) {
            *error = o.capture_dir + "/ already holds " + std::to_string(stale.size()) + " file" +
                     (stale.size() == 1 ? "" : "s") + " of an earlier capture (" + stale.front() +
                     (stale.size() > 1 ? " ... " + stale.back() : "") +
                     "); give --overwrite to remove them first, or capture into another directory";
            return false;
        }
        if (!plat::RemoveCaptureFiles(o.capture_dir, stale, error)) return false;
        std::fprintf(stderr, "capture: removed %zu file%s of an earlier capture from %s/\n", stale.size(),
                     stale.size() == 1 ? "" : "s", o.capture_dir.c_str());
    }
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] The video
// ---------------------------------------------------------------------------

// "%" is the only character the image sequence reader treats specially in
// its pattern; "%%" stands for one.
std::string EscapePattern(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '%') out += '%';
        out += c;
    }
    return out;
}

// Frames and audio.wav into one video with ffmpeg; prints the command first
// so it can be rerun by hand with other settings, then its progress with
// the time left (from ffmpeg's own frame count, read off its -progress
// lines). Returns the exit status.
//
// The settings are those video sites ask for: H.264 High profile, 4:2:0
// chroma (yuv420p, what players decode), CRF 18 (visually lossless for
// this picture), square pixels written down (so players show the 4:3 the
// frames have), the capture's own frame rate, AAC at 320 kbit/s, and the
// index at the front of the file (+faststart) so playback starts before
// the whole file has arrived.
//
// Names are passed so that none can be read as anything else: absolute
// paths, so no name starts with "-" (an option) or "proto:" (a protocol);
// the frames as an explicit numbered sequence with "%" escaped, so no glob
// or pattern in the directory's name counts; every format named rather
// than guessed from a file's extension; and exactly the frames captured,
// whatever else the directory holds.
int MakeVideo() {
    const AppOptions& o = g_cap.options;
    const std::string dir = plat::AbsolutePath(o.capture_dir);
    const std::string video = plat::AbsolutePath(o.video_file);
    const std::vector<std::string> args = {
        g_cap.ffmpeg, "-nostdin", "-y", "-hide_banner", "-loglevel", "error",
        "-f", "image2", "-pattern_type", "sequence", "-start_number", "0",
        "-framerate", std::to_string(o.fps_num) + "/" + std::to_string(o.fps_den),
        "-i", EscapePattern(dir) + "/frame_%06d.png",
        "-f", "wav", "-i", dir + "/audio.wav",
        "-frames:v", std::to_string(g_cap.frames),
        "-c:v", "libx264", "-profile:v", "high", "-pix_fmt", "yuv420p", "-crf", "18", "-vf", "setsar=1",
        "-r", std::to_string(o.fps_num) + "/" + std::to_string(o.fps_den),
        "-c:a", "aac", "-b:a", "320k", "-movflags", "+faststart",
        "-progress", "pipe:1", "-nostats", "-f", "mp4", video};
    // Shown as "ffmpeg ...", the way it would be typed to rerun it.
    std::string shown = "ffmpeg";
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string quoted = "'";
        for (char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "'";
        shown += " " +
                 (a.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:%=") ==
                          std::string::npos
                      ? a
                      : quoted);
    }
    std::fprintf(stderr, "capture: %s\n", shown.c_str());
    std::fflush(stderr);
    const double started = plat::SteadySeconds();
    double last_line = started;
    uint64_t encoded = 0;
    auto progress = [&](std::string_view line) {
        if (line.rfind("frame=", 0) == 0) {
            encoded = std::strtoull(std::string(line.substr(6)).c_str(), nullptr, 10);
            return;
        }
        // Each block of -progress lines ends with "progress=continue", the
        // last with "progress=end".
        if (line.rfind("progress=", 0) != 0) return;
        const bool end = line == "progress=end";
        const double now = plat::SteadySeconds(), wall = now - started;
        // As often as the capture's own lines: in a log, every 5 s.
        if (!end && now - last_line < (g_cap.tty ? 0.25 : 5.0)) return;
        last_line = now;
        const uint64_t total = std::max<uint64_t>(g_cap.frames, 1);
        std::string left;
        if (!end && encoded > 0 && encoded < total)
            left = TimeLeft(wall * static_cast<double>(total - encoded) / static_cast<double>(encoded));
        char text[160];
        std::snprintf(text, sizeof text, "capture: video: frame %llu of %llu (%.0f%%)%s",
                      static_cast<unsigned long long>(std::min(encoded, total)), static_cast<unsigned long long>(total),
                      100.0 * static_cast<double>(std::min(encoded, total)) / static_cast<double>(total), left.c_str());
        PrintProgress(text, end);
    };
    const plat::ProgramResult r = plat::RunProgram(args, progress);
    const bool made = r.started && r.error.empty() && r.exit_status == 0 && r.passed_on == 0;
    if (made) {
        std::fprintf(stderr, "capture: wrote the video %s\n", o.video_file.c_str());
        return kExitOk;
    }
    // Half a video looks like a whole shorter one: it is not left behind.
    if (r.started) std::remove(video.c_str());
    if (r.passed_on != 0) {
        std::fprintf(stderr, "kelo: capture: interrupted by %s while ffmpeg made %s (not kept); the %llu frames and audio.wav are in %s/\n",
                     plat::SignalName(r.passed_on).c_str(), o.video_file.c_str(),
                     static_cast<unsigned long long>(g_cap.frames), o.capture_dir.c_str());
        return plat::SignalExitStatus(r.passed_on);
    }
    std::string why = r.error;
    if (why.empty() && r.killed_by) why = "it was killed by " + plat::SignalName(r.killed_by);
    if (why.empty()) why = "it exited with status " + std::to_string(r.exit_status);
    std::fprintf(stderr, "kelo: capture: ffmpeg could not make %s (%s); the frames and audio.wav are in %s/\n",
                 o.video_file.c_str(), why.c_str(), o.capture_dir.c_str());
    return kExitCannotStart;
}

}  // namespace

bool Active() { return g_cap.active; }

// ---------------------------------------------------------------------------
// [SECTION] The capture's steps
// ---------------------------------------------------------------------------

bool Begin(const AppOptions& options, std::string* error) {
    g_cap = CaptureState{};
    g_cap.active = options.capture;
    if (!g_cap.active) return true;
    g_cap.options = options;
    g_cap.total_frames = StopFrame(options);
    if (!CheckOutputs(options, error)) {
        g_cap.active = false;
        return false;
    }
    // Nobody may be watching: a hang-up, Ctrl-C or kill ends the capture
    // between frames with its files whole.
    plat::CatchStopSignals();
    // The frame timer reads a clock that moves exactly one frame per frame.
    plat::UseVirtualClock(options.fps_num, options.fps_den);
    // ... and the music is mixed only as frames are made (see MixAudioTo).
    plat::UseOfflineSound();
    // Nobody watches a capture: a tower vertex gone bad must be reported.
    CCubeTower::s_bCheckVertices = true;
    CCubeTower::s_nNonFiniteFrames = 0;
    return true;
}

bool Start(std::string* error) {
    if (!g_cap.active) return true;
    if (g_cap.options.write_frames) {
        g_cap.writer = std::make_unique<plat::FrameWriter>();
        if (!g_cap.writer->Open(g_cap.options.capture_dir, static_cast<int>(g_fScreenWidth),
                                static_cast<int>(g_fScreenHeight), error)) {
            g_cap.writer.reset();
            return false;
        }
        g_cap.wav = std::make_unique<plat::WavWriter>();
        if (!g_cap.wav->Open(g_cap.options.capture_dir + "/audio.wav", error)) return false;
    }
    g_cap.started = true;
    g_cap.started_at = plat::SteadySeconds();
    g_cap.last_report = g_cap.started_at;
    g_cap.tty = plat::IsTerminal(2);
    return true;
}

bool AfterPresent(bool keep) {
    if (!g_cap.started) return false;
    if (!keep) {
        // Only frames before the first kept one are passed over.
        if (g_cap.frames == 0) ++g_cap.passed;
        MixAudioTo(FrameStartSample(g_cap.options, g_cap.passed), false);
        plat::AdvanceVirtualClock();
        // A far start takes a while: the show time climbing says how far.
        const double now = plat::SteadySeconds();
        if (now - g_cap.last_report >= (g_cap.tty ? 0.25 : 5.0)) {
            Report(false);
            g_cap.last_report = now;
        }
        if (plat::StopSignal() != 0) {
            g_cap.interrupted_by = plat::StopSignal();
            return true;
        }
        return false;
    }
    if (g_cap.writer) {
        // A frame the device could not give back ends the capture: writing
        // the next one under its number would shift every later frame
        // against the sound.
        std::vector<uint8_t> rgb;
        plat::gfx::Device* device = GetDevice();
        if (!device || !device->ReadBackBuffer(rgb)) {
            g_cap.failure = "the device could not give back frame " + std::to_string(g_cap.frames);
            return true;
        }
        if (device->OutOfMemory()) {
            g_cap.failure = "the device ran out of memory (GL_OUT_OF_MEMORY) by frame " + std::to_string(g_cap.frames);
            return true;
        }
        g_cap.writer->Write(std::move(rgb));
    }
    // The sound that plays while this frame is on screen: up to the start
    // of the next one, where that frame's spectrum will be taken.
    ++g_cap.frames;
    MixAudioTo(FrameStartSample(g_cap.options, g_cap.passed + g_cap.frames), true);
    plat::AdvanceVirtualClock();
    if (g_cap.rss_first_minute == 0 && ShowSeconds(g_cap.frames) >= 60.0) g_cap.rss_first_minute = plat::ResidentBytes();

    const double now = plat::SteadySeconds();
    if (now - g_cap.last_report >= (g_cap.tty ? 0.25 : 5.0)) {
        Report(false);
        g_cap.last_report = now;
    }
    // Stopped early: the frame and the sound just made are whole, and are
    // the last.
    if (!g_cap.failure.empty() || (g_cap.writer && g_cap.writer->Failed())) return true;
    if (plat::StopSignal() != 0) {
        g_cap.interrupted_by = plat::StopSignal();
        return true;
    }
    return g_cap.total_frames > 0 && g_cap.frames >= g_cap.total_frames;
}

int Finish() {
    if (!g_cap.started) return kExitOk;
    g_cap.started = false;
    // A signal that came after the last frame's check (while the show shut
    // down) still means the run did not end as asked.
    if (g_cap.interrupted_by == 0 && g_cap.failure.empty()) g_cap.interrupted_by = plat::StopSignal();
    Report(true);
    ReportHealth();
    const std::string& dir = g_cap.options.capture_dir;
    if (!g_cap.writer) {
        if (g_cap.interrupted_by) {
            std::fprintf(stderr, "kelo: capture: interrupted after %llu frames by %s\n",
                         static_cast<unsigned long long>(g_cap.frames), plat::SignalName(g_cap.interrupted_by).c_str());
            return plat::SignalExitStatus(g_cap.interrupted_by);
        }
        return kExitOk;
    }
    const bool frames_ok = g_cap.writer->Close();
    // Frames lost to a failed write take their sound with them: the WAV
    // ends where the last whole frame does, as it would have had the
    // capture stopped there.
    if (!frames_ok && g_cap.wav)
        g_cap.wav->KeepFirst(static_cast<uint64_t>(
            FrameStartSample(g_cap.options, g_cap.passed + g_cap.writer->FramesWritten()) -
            FrameStartSample(g_cap.options, g_cap.passed)));
    const bool wav_ok = !g_cap.wav || g_cap.wav->Close();
    // The first failure is the one to report: what came after followed from it.
    std::string failure = g_cap.failure;
    if (failure.empty() && !frames_ok) failure = g_cap.writer->FirstError();
    if (failure.empty() && !wav_ok) failure = g_cap.wav->Error();
    const uint64_t written = g_cap.writer->FramesWritten();
    g_cap.writer.reset();
    const unsigned long long whole = static_cast<unsigned long long>(written);
    const double sound = static_cast<double>(g_cap.wav ? g_cap.wav->Frames() : 0) / plat::kSoundRate;
    if (!failure.empty()) {
        std::fprintf(stderr, "kelo: capture: %s; stopped with %llu whole frames and %.2f s of sound in %s/\n",
                     failure.c_str(), whole, sound, dir.c_str());
        return kExitCannotStart;
    }
    if (g_cap.interrupted_by) {
        std::fprintf(stderr,
                     "kelo: capture: interrupted after %llu frames by %s; they and %.2f s of sound are in %s/%s\n",
                     whole, plat::SignalName(g_cap.interrupted_by).c_str(), sound, dir.c_str(),
                     g_cap.options.video_file.empty() ? "" : "; no video made");
        return plat::SignalExitStatus(g_cap.interrupted_by);
    }
    if (g_cap.frames == 0 && g_cap.options.start_seconds >= 0)
        std::fprintf(stderr, "capture: the show ended before --start %g s\n", g_cap.options.start_seconds);
    std::fprintf(stderr, "capture: wrote %llu frames and %.2f s of sound (audio.wav) to %s/\n", whole, sound,
                 dir.c_str());
    if (!g_cap.options.video_file.empty() && g_cap.frames > 0) return MakeVideo();
    return kExitOk;
}

}  // namespace capture
