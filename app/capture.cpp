#include "app/capture.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "app/device.h"
#include "platform/clock.h"
#include "platform/frame_writer.h"

namespace capture {
namespace {

struct CaptureState {
    bool active = false;
    AppOptions options;
    std::unique_ptr<plat::FrameWriter> writer;
    uint64_t frames = 0;
    double started = 0.0;
    double last_report = 0.0;
    bool tty = false;
};
CaptureState g_cap;

void Report(bool final) {
    const double wall = plat::SteadySeconds() - g_cap.started;
    const double show = static_cast<double>(g_cap.frames) * static_cast<double>(g_cap.options.fps_den) /
                        static_cast<double>(g_cap.options.fps_num);
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

}  // namespace

bool Active() { return g_cap.active; }

void Begin(const AppOptions& options) {
    g_cap = CaptureState{};
    g_cap.active = options.capture;
    if (!g_cap.active) return;
    g_cap.options = options;
    // The frame timer reads a clock that moves exactly one frame per frame.
    plat::UseVirtualClock(options.fps_num, options.fps_den);
}

bool Start(std::string* error) {
    if (!g_cap.active) return true;
    g_cap.writer = std::make_unique<plat::FrameWriter>();
    if (!g_cap.writer->Open(g_cap.options.capture_dir, static_cast<int>(g_fScreenWidth),
                            static_cast<int>(g_fScreenHeight), error)) {
        return false;
    }
    g_cap.started = plat::SteadySeconds();
    g_cap.last_report = g_cap.started;
    g_cap.tty = isatty(STDERR_FILENO) != 0;
    return true;
}

bool AfterPresent() {
    if (!g_cap.active || !g_cap.writer) return false;
    std::vector<uint8_t> rgb;
    if (GetDevice() && GetDevice()->ReadBackBuffer(rgb)) g_cap.writer->Write(std::move(rgb));
    ++g_cap.frames;
    plat::AdvanceVirtualClock();

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
    if (!g_cap.active || !g_cap.writer) return true;
    bool ok = g_cap.writer->Close();
    Report(true);
    if (ok) {
        std::fprintf(stderr, "capture: wrote %llu frames to %s/\n", static_cast<unsigned long long>(g_cap.frames),
                     g_cap.options.capture_dir.c_str());
    } else {
        std::fprintf(stderr, "kelo: capture: %s\n", g_cap.writer->FirstError().c_str());
    }
    g_cap.writer.reset();
    return ok;
}

}  // namespace capture
