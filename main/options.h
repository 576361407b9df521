// main/options.h - the command line.
//
// Offers: ParseOptions, which reads argv into AppOptions, and the --help text.
// The parser prints nothing and never exits: it returns what the caller
// should do and, for a bad command line, the message to print on stderr.
//
//   kRun    start the show with `out`;
//   kHelp   print OptionsHelpText() on stdout and exit with kExitOk;
//   kError  print `message` on stderr and exit with kExitBadCommandLine.
//
// Rules the parser keeps:
//   - values follow their option as the next argument or after '='
//     (`--fps 30`, `--fps=30`); a next argument starting with "--" is not
//     taken as a value;
//   - --capture implies --no-dialog and --windowed; --fps, --seconds,
//     --frames and --video are refused without --capture, wherever they stand;
//   - --windowed and --vsync only change the answers given in place of the
//     dialog; they do not skip it;
//   - --keys given more than once: the lists are joined; --capture, --video,
//     --size, --fps, --seconds, --frames and --start given twice are an
//     error naming the option (which of two values was meant is not ours to
//     guess); flags may repeat;
//   - parsing stops at --help, so `--help` anywhere after a bad option still
//     reports the bad option.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/key_script.h"

// Exit statuses of the program, as the help text states them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCannotStart = 1;
inline constexpr int kExitBadCommandLine = 2;

struct AppOptions {
    // Start-up dialog. With no_dialog the show starts as if "Party!" had been
    // pressed with these answers.
    bool no_dialog = false;
    bool windowed = false;  // false: full screen, the dialog's default
    bool vsync = false;     // the dialog's default is off
    // --size WxH: the back buffer, 4:3 (see ScreenSizeProblem in
    // app/device.h); 0 x 0: 1024 x 768 in a window or a capture, the
    // display's largest 4:3 size in full screen.
    int width = 0;
    int height = 0;

    // Capture: fixed frame step of fps_den / fps_num seconds, frames written
    // as capture_dir/frame_NNNNNN.png.
    bool capture = false;
    std::string capture_dir;
    int64_t fps_num = 60;  // frames per second = fps_num / fps_den; both in 1..1000000
    int64_t fps_den = 1;
    double stop_seconds = 0.0;  // > 0: stop after this much clock time; 0: no limit
    int64_t stop_frames = 0;    // > 0: stop after this many frames; 0: no limit
    // With capture: the frames and capture_dir/audio.wav muxed into this
    // video file by ffmpeg at the end; empty: no video.
    std::string video_file;
    // False (--no-frames): neither frames nor audio.wav are written; the run
    // ends with its report only.
    bool write_frames = true;
    // --overwrite: frames and audio.wav already in capture_dir are removed
    // before the capture, and an existing video_file is replaced. Without it
    // either is refused, so a capture never mixes with an older one.
    bool overwrite = false;

    // Scripted key events from --keys, as parsed (see app/key_script.h).
    std::vector<KeyEvent> keys;

    // --start: the timeline is run without drawing up to this time (seconds,
    // 0 <= start_seconds < kShowEnd) before the show is seen; negative: no
    // --start, the show is seen from its first frame.
    double start_seconds = -1.0;
};

// The end of the show's timeline, seconds: the tower and the overlay start at
// 24 s and last 10000 s (engine/demo.cpp's g_Timeline; a test keeps the two
// equal). The latest --start is below it: from there on nothing is left to see.
inline constexpr double kShowEnd = 10024.0;

enum class OptionsResult { kRun, kHelp, kError };

// argv[0] is the program name and is skipped. `out` is reset to the defaults
// first. `message` is set only for kError, as one line without a newline,
// starting with "kelo: ".
OptionsResult ParseOptions(int argc, const char* const* argv, AppOptions& out, std::string& message);

// The --help text, ending with a newline.
const char* OptionsHelpText();
