#include "main/winmain.h"

#include <cstdio>
#include <memory>

#include "main/capture.h"
#include "app/device.h"
#include "main/effect_classes.h"
#include "main/prepared_effects.h"
#include "main/start_point.h"
#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/quit_request.h"
#include "data/asset_cache.h"
#include "data/music.h"
#include "engine/demo.h"
#include "fx2d/loading.h"
#include "platform/os/ahead.h"
#include "platform/os/clock.h"
#include "platform/os/log.h"
#include "platform/sound/sound.h"
#include "platform/os/window.h"
#include "render/scene_renderer.h"

namespace {

// What the program is doing, for the one line an allocation failure gets
// ("out of memory while ...").
const char* g_phase = "starting";

void Step(const char* what) { plat::Log("app", "%s", what); }

// One log line per key that went down since the last frame, so a scripted
// run shows exactly which frame saw which press.
void LogPressedKeys(uint64_t frame) {
    for (int vk = 0; vk < 256; ++vk) {
        if (IsKeyPressed(vk)) plat::Log("keys", "frame %llu: pressed %d", static_cast<unsigned long long>(frame), vk);
    }
}

}  // namespace

const char* RunPhase() { return g_phase; }

intptr_t WndProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case plat::kMsgDestroy:
            plat::PostQuitMessage(0);
            return 0;
        case plat::kMsgKeyDown:
            OnKeyMessage(static_cast<unsigned>(wParam), true);
            return 0;
        case plat::kMsgKeyUp:
            OnKeyMessage(static_cast<unsigned>(wParam), false);
            return 0;
        default:
            return plat::DefWindowProc(message, wParam, lParam);
    }
}

int KeloMain(const AppOptions& options) {
    g_bQuit = false;
    g_bExitRequested = false;
    g_RunConfig = RunConfig{};
    g_RunConfig.skip_dialog = options.no_dialog;
    g_RunConfig.windowed = options.windowed;
    g_RunConfig.vsync = options.vsync;
    g_RunConfig.offscreen = options.capture;
    g_RunConfig.gl_debug = options.capture;
    g_RunConfig.width = options.width;
    g_RunConfig.height = options.height;
    g_phase = "reading the command line";
    std::string capture_error;
    if (!capture::Begin(options, &capture_error)) {
        std::fprintf(stderr, "kelo: capture: %s\n", capture_error.c_str());
        return kExitCannotStart;
    }

    // 1. The window class: here, the procedure every message goes to.
    Step("register window class");
    plat::SetWindowProc(WndProc);

    // The effect files as the build prepared them; then what the first
    // frame needs and no device, made on the second core while this one
    // starts the video driver, the sound and the window: the loading
    // picture's pixels (and the 2D effect's translation, should the build
    // not have prepared it).
    UseEffectsPreparedAtBuildTime();
    PrepareDeviceObjectsAhead();
    CLoading::PrepareAhead();

    // A person's run needs a display; without one, say so before the sound
    // device is opened (and its libraries fill the terminal). The device's
    // set-up then fails at its first step, and shutdown runs as after any
    // failed start.
    const bool video = options.capture || StartVideo();

    // 2. Sound, before the dialog: in a capture it mixes offline, as
    // capture::Begin chose.
    g_phase = "starting the sound";
    // A person's run with --start holds the sound from the first sample on,
    // so the music is where a capture's is when the show is seen (see
    // main/start_point.h).
    const bool fixed_start = options.start_seconds >= 0.0 && !options.capture;
    if (video && fixed_start) plat::BeginSoundSkip();
    if (video) InitSound();

    // 3. Dialog, window and device.
    Step("init device");
    g_phase = "making the window and the device";
    int status = 0;
    if (video && InitDevice()) {
        // 4. The demo object: its constructor makes the camera and the
        // loading screen, whose picture needs the device.
        g_phase = "making the show";
        LogEffectClasses();
        SetDemo(new CDemo);
        // 5. The scene renderer's targets and its own copy of the scene effect.
        InitSceneRenderer();
        std::string error;
        g_phase = "starting the capture";
        if (!capture::Start(&error)) {
            std::fprintf(stderr, "kelo: %s\n", error.c_str());
            status = 1;
            g_bQuit = true;
        }

        // 6. From here on the frame step counts.
        g_FrameTimer.Reset();

        // 7. One message or one frame per pass.
        Step("main loop");
        g_phase = capture::Active() ? "capturing" : "running the show";
        KeyScript script(options.keys);
        StartPoint start(options.start_seconds,
                         fixed_start ? StartPoint::FrameStep(StartPoint::kFixedFps, 1)
                                     : StartPoint::FrameStep(options.fps_num, options.fps_den),
                         fixed_start);
        auto post = [](unsigned vk, bool down) {
            // A scripted Close goes the way of the window's close button.
            if (vk == kKeyScriptClose)
                plat::RequestClose();
            else
                plat::PostMessage(down ? plat::kMsgKeyDown : plat::kMsgKeyUp, vk, 0);
        };
        uint64_t frame = 0;
        while (!g_bQuit) {
            plat::Msg msg;
            if (plat::PeekMessage(&msg)) {
                if (msg.message == plat::kMsgQuit) {
                    g_bQuit = true;
                    break;
                }
                plat::DispatchMessage(msg);
                continue;
            }
            // Scripted keys go through the queue like real ones, so they are
            // handled before the frame that should see them.
            if (script.Emit(start.KeyClock(plat::ClockSeconds()), post)) continue;

            const StartPoint::Part part = start.Next(*GetDemo());
            const bool draw = part != StartPoint::Part::kSkip;
            const bool fixed = start.OnFixedClock();
            g_fFrameStep = g_FrameTimer.Tick();
            if (fixed) g_fFrameStep = start.Step();
            // The spectrum this frame reads is taken at the sample heard now.
            plat::AdvanceSoundFrame();
            LogPressedKeys(frame++);
            GetDemo()->Frame(draw);
            if (draw) PresentFrame();
            if (capture::AfterPresent(part == StartPoint::Part::kShow)) RequestQuit();
            if (fixed) plat::SkipSound(StartPoint::kSamplesPerFrame);
            start.FrameDone(plat::ClockSeconds());
            if (fixed && part == StartPoint::Part::kShow) plat::EndSoundSkip();
            // Frames not drawn wait for nothing: the start comes as fast as
            // the updates run.
            if (draw) plat::SleepMs(1);
            EndFrameKeys();
            script.FrameDone();
        }
        Step("leave main loop");
        g_phase = "finishing";
        const int capture_status = capture::Finish();
        if (capture_status != kExitOk) status = capture_status;
        // 8. Cached assets, then the demo object (which stops and closes the
        // music and deletes what still runs), then the scene renderer: the
        // demo's effects use its targets until they are gone.
        ReleaseAssets();
        delete GetDemo();
        SetDemo(nullptr);
        ReleaseSceneRenderer();
    } else if (!GetStartError().empty()) {
        std::fprintf(stderr, "kelo: cannot start: %s\n", GetStartError().c_str());
        status = 1;
    }

    // 9. The device and everything made with it.
    Step("shutdown device");
    g_phase = "shutting down";
    ShutdownDevice();

    // 10. Unregister the window class.
    Step("unregister window class");
    plat::SetWindowProc(nullptr);
    // A start that failed early leaves the worker's jobs untaken; they end
    // before the libraries they use do.
    plat::FinishAhead();
    return status;
}
