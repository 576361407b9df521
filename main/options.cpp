#include "main/options.h"

#include "app/screen_size.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <system_error>

namespace {

const char kHelpText[] =
    "Usage: kelo [options]\n"
    "\n"
    "An animated invitation with music. Without options a dialog asks for full\n"
    "screen and vertical sync, then the show runs until Escape. While it runs:\n"
    "Escape ends it, F1 and F2 open the tuning panels (arrow keys to tune),\n"
    "holding Space runs the show four times as fast.\n"
    "\n"
    "Options:\n"
    "  -h, --help         print this text and exit\n"
    "  --no-dialog        skip the start-up dialog and start with its defaults:\n"
    "                     full screen, no vertical sync\n"
    "  --windowed         when the dialog is skipped, run in a window instead of\n"
    "                     full screen\n"
    "  --vsync            when the dialog is skipped, wait for vertical sync\n"
    "  --size WxH         draw at W x H pixels (default: 1024x768 in a window and\n"
    "                     in a capture; in full screen the largest 4:3 size that\n"
    "                     fits the display, e.g. 1440x1080 on 1920x1080). The\n"
    "                     size must be 4:3, from 320x240 to 4096x3072, with W a\n"
    "                     multiple of 16; other shapes are refused, not\n"
    "                     letterboxed. The picture is the same at every size,\n"
    "                     only sharper; 1024x768 gives the original pixels\n"
    "  --capture DIR      render off-screen on a fixed frame step and write every\n"
    "                     frame to DIR/frame_000000.png, DIR/frame_000001.png, ...\n"
    "                     and the sound, mixed in step with the frames, to\n"
    "                     DIR/audio.wav (DIR is created if missing). Implies\n"
    "                     --no-dialog --windowed. Without --seconds or --frames the\n"
    "                     capture runs until the show ends.\n"
    "  --fps N            capture frame rate, a positive integer or fraction such\n"
    "                     as 60000/1001, each number at most 1000000 (default\n"
    "                     60); needs --capture\n"
    "  --seconds S        stop the capture after S seconds of its clock (a positive\n"
    "                     decimal); needs --capture\n"
    "  --frames N         stop the capture after N frames; needs --capture.\n"
    "                     With both --seconds and --frames, whichever comes first.\n"
    "  --video FILE       at the end of the capture, make FILE from the frames and\n"
    "                     DIR/audio.wav with ffmpeg, as video sites want it: MP4,\n"
    "                     H.264 High profile, yuv420p, CRF 18, the capture's frame\n"
    "                     rate, AAC 320 kbit/s, index first (+faststart). ffmpeg\n"
    "                     must be installed (looked for before capturing); the\n"
    "                     frames and the WAV file stay. FILE may not be named\n"
    "                     as a frame or audio.wav in DIR; an existing FILE is\n"
    "                     replaced only with --overwrite. Needs --capture\n"
    "  --overwrite        remove the frame_*.png files and audio.wav that DIR holds\n"
    "                     from an earlier capture (nothing else) before\n"
    "                     capturing, and replace an existing video FILE; without\n"
    "                     it, either is refused\n"
    "  --no-frames        capture without writing frames or audio.wav: the show\n"
    "                     runs on the capture clock and the sound is mixed, but\n"
    "                     only the closing report (memory, GL errors, warnings)\n"
    "                     is written; for long unattended runs. Needs --capture\n"
    "  --keys SPEC        press keys at given times, SPEC being a comma-separated\n"
    "                     list of events:\n"
    "                       T:KEY      press KEY at T seconds, release it one\n"
    "                                  frame later\n"
    "                       T1-T2:KEY  hold KEY from T1 to T2 seconds\n"
    "                       T:Close    ask the window to close at T seconds\n"
    "                       random:SEED  random presses and holds of Space, F1,\n"
    "                                  F2 and the arrow keys, about one a second\n"
    "                                  from 1 s for four hours; the same SEED\n"
    "                                  (a whole number) gives the same keys\n"
    "                     KEY is Escape, Space, F1, F2, Left, Right, Up or Down\n"
    "                     (any case); times are non-negative decimals counted from\n"
    "                     start-up, loading screen included (in a capture: frame\n"
    "                     number / frame rate). --keys may be given more than\n"
    "                     once: the lists are joined. With --start the frames\n"
    "                     run undrawn before T count as if drawn (in a person's\n"
    "                     run 1/60 s each), so the same SPEC presses the same\n"
    "                     keys on the same frames as in a run from the beginning\n"
    "  --start T          begin the show at T seconds of its timeline, a\n"
    "                     non-negative decimal below its end, 10024 (the logo is\n"
    "                     at 0, the intro picture at 10, the tower from 24).\n"
    "                     After loading, the show and the music run undrawn up\n"
    "                     to T, a frame at a time at the capture's frame rate (60\n"
    "                     without --capture), so every frame from T on is the one\n"
    "                     a run from the beginning draws then. A capture keeps\n"
    "                     the frames and the sound from T on; --frames and\n"
    "                     --seconds count from there. Keys timed before T act\n"
    "                     undrawn: Escape there ends the show before T\n"
    "\n"
    "Values may also be written --option=VALUE. --capture, --fps, --seconds,\n"
    "--frames, --video, --start and --size may each be given once.\n"
    "\n"
    "Exit status:\n"
    "  0  normal end\n"
    "  1  could not start, or the capture could not be written (the\n"
    "     message says why; out of memory included). Without a display\n"
    "     only --capture can run: kelo says so and exits 1\n"
    "  2  bad command line\n"
    "  129, 130, 131, 143  a capture ended early by SIGHUP, SIGINT, SIGQUIT or\n"
    "     SIGTERM: the frames and audio.wav hold what was made, and no video\n"
    "     is made\n"
    "\n"
    "Example: ten seconds at 30 frames per second into shots/, with the F1 panel\n"
    "opened at 2 s and the show fast-forwarded from 4 s to 6 s:\n"
    "  kelo --capture shots --fps 30 --seconds 10 --keys 2:F1,4-6:Space\n";

// Digits only, no sign, fits in int64 and is above zero.
bool ParsePositiveInteger(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v <= 0) return false;
    value = v;
    return true;
}

// Largest numerator or denominator of --fps. The virtual clock counts at the
// numerator's frequency and advances by the denominator each frame; with both
// this small the count stays exact in a double (below 2^53) for billions of
// frames, and clock times match the times written in --keys.
constexpr int64_t kMaxFpsTerm = 1000000;

// "N" or "N/D", both positive integers up to kMaxFpsTerm.
bool ParseFrameRate(std::string_view text, int64_t& num, int64_t& den) {
    size_t slash = text.find('/');
    int64_t n = 0, d = 1;
    if (slash == std::string_view::npos) {
        if (!ParsePositiveInteger(text, n)) return false;
    } else {
        if (!ParsePositiveInteger(text.substr(0, slash), n)) return false;
        if (!ParsePositiveInteger(text.substr(slash + 1), d)) return false;
    }
    if (n > kMaxFpsTerm || d > kMaxFpsTerm) return false;
    num = n;
    den = d;
    return true;
}

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

// "WxH", two positive integers, a size the device accepts.
bool ParseSize(std::string_view text, int& w, int& h, std::string& message) {
    const size_t x = text.find('x');
    int64_t pw = 0, ph = 0;
    if (x == std::string_view::npos || !ParsePositiveInteger(text.substr(0, x), pw) ||
        !ParsePositiveInteger(text.substr(x + 1), ph)) {
        message = "kelo: --size: " + Quoted(text) + " is not a size (WxH, such as 2048x1536)";
        return false;
    }
    // Clamped into int's range only to reach the size check's own message.
    const int cw = static_cast<int>(std::min<int64_t>(pw, 1 << 30)), ch = static_cast<int>(std::min<int64_t>(ph, 1 << 30));
    if (const char* problem = ScreenSizeProblem(cw, ch)) {
        message = "kelo: --size: " + Quoted(text) + " " + problem;
        return false;
    }
    w = cw;
    h = ch;
    return true;
}

}  // namespace

OptionsResult ParseOptions(int argc, const char* const* argv, AppOptions& out, std::string& message) {
    out = AppOptions{};
    bool gave_capture = false, gave_fps = false, gave_seconds = false, gave_frames = false, gave_video = false,
         gave_start = false, gave_size = false;

    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view name = arg;
        std::string_view value;
        bool has_inline_value = false;
        if (arg.starts_with("--")) {
            size_t eq = arg.find('=');
            if (eq != std::string_view::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                has_inline_value = true;
            }
        }

        // Flags.
        if (name == "-h" || name == "--help" || name == "--no-dialog" || name == "--windowed" ||
            name == "--vsync" || name == "--no-frames" || name == "--overwrite") {
            if (has_inline_value) {
                message = "kelo: " + std::string(name) + " takes no value";
                return OptionsResult::kError;
            }
            if (name == "-h" || name == "--help") return OptionsResult::kHelp;
            if (name == "--no-dialog") out.no_dialog = true;
            if (name == "--windowed") out.windowed = true;
            if (name == "--vsync") out.vsync = true;
            if (name == "--no-frames") out.write_frames = false;
            if (name == "--overwrite") out.overwrite = true;
            continue;
        }

        const char* value_name = nullptr;  // what the option's value is, for messages
        if (name == "--capture") value_name = "DIR";
        else if (name == "--fps") value_name = "N";
        else if (name == "--seconds") value_name = "S";
        else if (name == "--frames") value_name = "N";
        else if (name == "--keys") value_name = "SPEC";
        else if (name == "--video") value_name = "FILE";
        else if (name == "--start") value_name = "T";
        else if (name == "--size") value_name = "WxH";

        if (!value_name) {
            if (arg.starts_with("-"))
                message = "kelo: unknown option " + Quoted(name) + " (see kelo --help)";
            else
                message = "kelo: unexpected argument " + Quoted(arg) + " (see kelo --help)";
            return OptionsResult::kError;
        }
        if (!has_inline_value) {
            // "--capture --windowed" is a forgotten directory, not a directory
            // called "--windowed".
            if (i + 1 >= argc || std::string_view(argv[i + 1]).starts_with("--")) {
                message = "kelo: " + std::string(name) + " needs a value: " + std::string(name) + " " +
                          value_name;
                return OptionsResult::kError;
            }
            value = argv[++i];
        }

        bool* given = name == "--capture"   ? &gave_capture
                      : name == "--fps"     ? &gave_fps
                      : name == "--seconds" ? &gave_seconds
                      : name == "--frames"  ? &gave_frames
                      : name == "--video"   ? &gave_video
                      : name == "--start"   ? &gave_start
                      : name == "--size"    ? &gave_size
                                            : nullptr;
        if (given && *given) {
            message = "kelo: " + std::string(name) + " given twice; give it once";
            return OptionsResult::kError;
        }
        if (given) *given = true;

        if (name == "--capture") {
            if (value.empty()) {
                message = "kelo: --capture: the directory name is empty";
                return OptionsResult::kError;
            }
            out.capture = true;
            out.capture_dir = std::string(value);
        } else if (name == "--fps") {
            if (!ParseFrameRate(value, out.fps_num, out.fps_den)) {
                message = "kelo: --fps: " + Quoted(value) +
                          " is not a frame rate (a positive integer, or a fraction such as 60000/1001, each number at most 1000000)";
                return OptionsResult::kError;
            }
        } else if (name == "--seconds") {
            double s = 0.0;
            if (!ParseDecimalSeconds(value, s) || !(s > 0.0)) {
                message = "kelo: --seconds: " + Quoted(value) +
                          " is not a positive number of seconds (a decimal such as 12.5)";
                return OptionsResult::kError;
            }
            out.stop_seconds = s;
        } else if (name == "--frames") {
            if (!ParsePositiveInteger(value, out.stop_frames)) {
                message = "kelo: --frames: " + Quoted(value) + " is not a positive whole number";
                return OptionsResult::kError;
            }
        } else if (name == "--video") {
            if (value.empty()) {
                message = "kelo: --video: the file name is empty";
                return OptionsResult::kError;
            }
            out.video_file = std::string(value);
        } else if (name == "--start") {
            double t = 0.0;
            if (!ParseDecimalSeconds(value, t) || !(t < kShowEnd)) {
                message = "kelo: --start: " + Quoted(value) +
                          " is not a time on the show's timeline (a decimal from 0 to below 10024, such as 30)";
                return OptionsResult::kError;
            }
            out.start_seconds = t;
        } else if (name == "--size") {
            if (!ParseSize(value, out.width, out.height, message)) return OptionsResult::kError;
        } else if (name == "--keys") {
            std::string error;
            std::vector<KeyEvent> more;
            if (!ParseKeyScript(value, more, error)) {
                message = "kelo: --keys: " + error;
                return OptionsResult::kError;
            }
            out.keys.insert(out.keys.end(), more.begin(), more.end());
        }
    }

    // Checked after the loop so that the order of the options does not matter.
    const char* needs_capture = gave_fps       ? "--fps"
                                : gave_seconds ? "--seconds"
                                : gave_frames  ? "--frames"
                                : gave_video   ? "--video"
                                : !out.write_frames ? "--no-frames"
                                : out.overwrite ? "--overwrite"
                                               : nullptr;
    if (needs_capture && !out.capture) {
        message = std::string("kelo: ") + needs_capture + " needs --capture DIR";
        return OptionsResult::kError;
    }
    if (gave_video && !out.write_frames) {
        message = "kelo: --video needs the frames that --no-frames leaves out";
        return OptionsResult::kError;
    }
    if (out.capture) {
        // A capture has nobody to answer the dialog, and must not take over
        // the screen.
        out.no_dialog = true;
        out.windowed = true;
    }
    return OptionsResult::kRun;
}

const char* OptionsHelpText() { return kHelpText; }
