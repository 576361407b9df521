// kelo_startup_bench - where the time to the first loading frame goes, and
// the floor it is held against.
//
// A start happens once per process, so each run is a fresh process: this
// program starts itself again per run, as `--show FILE` (the show's start-up,
// step by step in KeloMain's order) and as `--floor FILE`
// (bench/startup_floor.h), alternately, and prints the median of each step
// over the runs. Times are from the child's main() to the end of each step;
// dynamic loading before main() is the same for both and left out.
//
//   kelo_startup_bench [--runs N] [--display]     (N: 1..99, default 7)
//
// By default both start as a capture does: offscreen video, offline sound,
// GL errors counted. With --display both open a window on the display
// DISPLAY names, as a person's run does (the show in a window, with its
// sound device), and the show's frame includes the copy into that window.
//
// The show's steps, split further where its log and compiler counters can:
//   video     SDL video subsystem
//   sound     InitSound (music opened later, by the demo)
//   window    the main window           ("win: window" line)
//   context   GL context                ("gfx: <version> on <renderer>")
//   device    the rest of InitDevice: back buffer, vertex ring, states,
//             the 2D effect (its GL programs; its GLSL comes prepared
//             from the build)
//   picture   the demo object up to its loading picture, uploaded
//             ("tex: ...loading_screen.png"; decoded by the worker)
//   demo      the rest of the demo object
//   scene     InitSceneRenderer (its targets and effect come later)
//   frame     the first frame: its update (one asset loaded), drawing,
//             Present, and the read-back a capture makes of every frame
// The worker (platform/os/ahead.h) starts before the video: when it ends,
// and what the main thread's counters say of the 2D effect, follow.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/device.h"
#include "app/frame_timer.h"
#include "bench/startup_floor.h"
#include "data/asset_cache.h"
#include "data/music.h"
#include "engine/demo.h"
#include "fx2d/loading.h"
#include "main/effect_classes.h"
#include "main/prepared_effects.h"
#include "platform/fx/shader_compiler.h"
#include "platform/os/ahead.h"
#include "platform/os/log_times.h"
#include "platform/os/process.h"
#include "platform/sound/sound.h"
#include "render/scene_renderer.h"

namespace {

using Times = std::map<std::string, double>;  // step -> seconds from main()

// The order the table prints; cumulative marks become per-step times.
const char* const kShowMarks[] = {"video", "sound", "window", "context", "device", "picture", "demo", "scene", "frame"};
const char* const kFloorMarks[] = {"video", "window", "context", "texture", "program", "frame"};

// The first line that starts with `prefix` and holds `part`.
double FirstLineTime(const std::vector<plat::TimedLogLine>& lines, const char* prefix, double fallback,
                     const char* part = "") {
    for (const plat::TimedLogLine& l : lines) {
        if (l.text.rfind(prefix, 0) == 0 && l.text.find(part) != std::string::npos) return l.seconds;
    }
    return fallback;
}

double LineTimeContaining(const std::vector<plat::TimedLogLine>& lines, const char* part, double fallback) {
    for (const plat::TimedLogLine& l : lines) {
        if (l.text.find(part) != std::string::npos) return l.seconds;
    }
    return fallback;
}

bool WriteTimes(const std::string& file, const Times& t) {
    std::ofstream out(file);
    for (const auto& [k, v] : t) out << k << ' ' << v << '\n';
    return static_cast<bool>(out);
}

Times ReadTimes(const std::string& file) {
    Times t;
    std::ifstream in(file);
    std::string k;
    double v = 0;
    while (in >> k >> v) t[k] = v;
    return t;
}

int RunShow(double t0, const std::string& file, bool on_display) {
    const auto since = [t0](double t) { return t - t0; };
    Times t;
    g_RunConfig = RunConfig{};
    g_RunConfig.skip_dialog = true;
    g_RunConfig.windowed = true;
    // A capture's start, or a person's in a window on the display.
    g_RunConfig.offscreen = !on_display;
    g_RunConfig.gl_debug = !on_display;
    if (!on_display) plat::UseOfflineSound();

    // KeloMain's order, with the worker's start and end marked: it runs its
    // jobs in the order they came.
    double ahead_begin = 0, ahead_end = 0;
    UseEffectsPreparedAtBuildTime();
    plat::RunAhead([&ahead_begin] { ahead_begin = bench::startup_floor::Now(); });
    PrepareDeviceObjectsAhead();
    CLoading::PrepareAhead();
    plat::RunAhead([&ahead_end] { ahead_end = bench::startup_floor::Now(); });

    if (!StartVideo()) return std::fprintf(stderr, "startup: %s\n", GetStartError().c_str()), 1;
    t["video"] = since(bench::startup_floor::Now());
    InitSound();
    t["sound"] = since(bench::startup_floor::Now());
    const plat::fx::CompilerTimes before = plat::fx::CompilerStats();
    if (!InitDevice()) return std::fprintf(stderr, "startup: %s\n", GetStartError().c_str()), 1;
    const double device_end = bench::startup_floor::Now();
    const plat::fx::CompilerTimes after = plat::fx::CompilerStats();
    LogEffectClasses();
    SetDemo(new CDemo);
    const double demo_end = bench::startup_floor::Now();
    InitSceneRenderer();
    t["scene"] = since(bench::startup_floor::Now());
    g_FrameTimer.Reset();
    g_fFrameStep = g_FrameTimer.Tick();
    plat::AdvanceSoundFrame();
    GetDemo()->Frame();
    PresentFrame();
    std::vector<uint8_t> rgb;
    if (!GetDevice()->ReadBackBuffer(rgb)) return std::fprintf(stderr, "startup: no frame to read back\n"), 1;
    t["frame"] = since(bench::startup_floor::Now());
    plat::FinishAhead();

    const std::vector<plat::TimedLogLine> lines = plat::TimedLogLines();
    t["window"] = since(FirstLineTime(lines, "win: window", device_end));
    // "gfx: <version> on <renderer>", not the back buffer's line before it.
    t["context"] = since(FirstLineTime(lines, "gfx: ", device_end, " on "));
    t["device"] = since(device_end);
    t["picture"] = since(LineTimeContaining(lines, "loading_screen.png", demo_end));
    t["demo"] = since(demo_end);
    t["ahead.begin"] = since(ahead_begin);
    t["ahead.end"] = since(ahead_end);
    t["2d.fx.glslang"] = after.glslang - before.glslang;
    t["2d.fx.spirv_cross"] = after.spirv_cross - before.spirv_cross;
    t["2d.fx.gl"] = after.gl - before.gl;

    ReleaseAssets();
    delete GetDemo();
    SetDemo(nullptr);
    ReleaseSceneRenderer();
    ShutdownDevice();
    return WriteTimes(file, t) ? 0 : 1;
}

int RunFloor(const std::string& file, bool on_display) {
    const double t0 = bench::startup_floor::Now();
    bench::startup_floor::Times ft;
    std::string error;
    if (!bench::startup_floor::Run(&ft, &error, on_display))
        return std::fprintf(stderr, "floor: %s\n", error.c_str()), 1;
    Times t{{"video", ft.video - t0},     {"window", ft.window - t0},   {"context", ft.context - t0},
            {"texture", ft.texture - t0}, {"program", ft.program - t0}, {"frame", ft.frame - t0}};
    return WriteTimes(file, t) ? 0 : 1;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

// Per-step medians of cumulative marks, each step the difference to the
// mark before it in `order`.
void PrintTable(const char* title, const std::vector<Times>& runs, const char* const* order, size_t count) {
    std::printf("%s (median of %zu runs, ms)\n", title, runs.size());
    for (size_t i = 0; i < count; ++i) {
        std::vector<double> at, step;
        for (const Times& r : runs) {
            const auto it = r.find(order[i]);
            if (it == r.end()) continue;
            at.push_back(it->second);
            double prev = 0;
            for (size_t j = i; j > 0; --j) {
                const auto p = r.find(order[j - 1]);
                if (p != r.end()) {
                    prev = p->second;
                    break;
                }
            }
            step.push_back(it->second - prev);
        }
        std::printf("  %-10s %8.1f   (at %7.1f)\n", order[i], Median(step) * 1e3, Median(at) * 1e3);
    }
}

void PrintPart(const std::vector<Times>& runs, const char* key, const char* label) {
    std::vector<double> v;
    for (const Times& r : runs) {
        const auto it = r.find(key);
        if (it != r.end()) v.push_back(it->second);
    }
    std::printf("    %-22s %8.1f\n", label, Median(v) * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    const double t0 = bench::startup_floor::Now();
    const bool on_display = argc > 1 && std::strcmp(argv[argc - 1], "--display") == 0;
    const int args = on_display ? argc - 1 : argc;
    if (args == 3 && std::strcmp(argv[1], "--show") == 0) return RunShow(t0, argv[2], on_display);
    if (args == 3 && std::strcmp(argv[1], "--floor") == 0) return RunFloor(argv[2], on_display);
    int runs = 7;
    if (args == 3 && std::strcmp(argv[1], "--runs") == 0) runs = std::atoi(argv[2]);
    if (runs < 1 || runs > 99 || (args != 1 && args != 3)) {
        std::fprintf(stderr, "usage: kelo_startup_bench [--runs N] [--display]  (N: 1..99)\n");
        return 2;
    }
    const std::string self = argv[0];
    const std::string file = "startup_bench_times.txt";
    std::vector<Times> show, floor;
    // Alternated, so a busy moment of the machine falls on both.
    for (int i = 0; i < runs; ++i) {
        for (const char* mode : {"--show", "--floor"}) {
            std::remove(file.c_str());
            std::vector<std::string> command = {self, mode, file};
            if (on_display) command.push_back("--display");
            const plat::ProgramResult r = plat::RunProgram(command);
            if (!r.started || r.exit_status != 0) {
                std::fprintf(stderr, "startup: %s %s failed (%s, status %d)\n", self.c_str(), mode, r.error.c_str(),
                             r.exit_status);
                return 1;
            }
            (std::strcmp(mode, "--show") == 0 ? show : floor).push_back(ReadTimes(file));
        }
    }
    std::remove(file.c_str());
    PrintTable("show: start to first loading frame", show, kShowMarks, std::size(kShowMarks));
    std::printf("  start-up worker (loading picture; the 2D effect unless the build prepared it):\n");
    PrintPart(show, "ahead.begin", "starts at");
    PrintPart(show, "ahead.end", "done at");
    std::printf("  of the 2D effect, on the main thread:\n");
    PrintPart(show, "2d.fx.glslang", "HLSL -> SPIR-V");
    PrintPart(show, "2d.fx.spirv_cross", "SPIRV-Cross");
    PrintPart(show, "2d.fx.gl", "GL compile/link");
    PrintTable("floor: bare SDL + GL, one textured quad", floor, kFloorMarks, std::size(kFloorMarks));
    std::vector<double> s, f;
    for (const Times& r : show) s.push_back(r.at("frame"));
    for (const Times& r : floor) f.push_back(r.at("frame"));
    std::printf("start to first frame: show %.1f ms, floor %.1f ms, ratio %.2f (goal <= 1.5)\n", Median(s) * 1e3,
                Median(f) * 1e3, Median(s) / Median(f));
    return 0;
}
