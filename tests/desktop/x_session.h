// A real X session for tests: an X server of its own (Xvfb, 1280 x 1024,
// 24-bit), optionally a window manager (openbox), and the program started
// in it as a person would, then driven by real key events through the X
// server's XTEST extension (xdotool) and looked at through screenshots of
// the whole screen (ImageMagick's import). Nothing here talks to the
// program in any other way.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/gfx/picture.h"

namespace xtest {

// A child process in a process group of its own, so that stopping it stops
// whatever it started.
class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() { Stop(); }

    // argv[0] is looked up on PATH. Each env entry is "NAME=value" to set
    // or "-NAME" to unset. stdout and stderr go to log_file. keep_fd stays
    // open in the child (-1: none).
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& log_file, int keep_fd = -1);
    // Waits up to `seconds` for the exit; returns true when it exited
    // (status() then holds its exit status, or 128 + signal).
    bool Wait(double seconds);
    bool Running();
    int status() const { return status_; }
    // SIGTERM to the group, SIGKILL after two seconds.
    void Stop();

private:
    int pid_ = -1;
    int status_ = -1;
};

struct Geometry {
    int width = 0, height = 0;
    int x = 0, y = 0;  // absolute position of the client area on the screen
};

struct Rgb {
    int r = 0, g = 0, b = 0;
};

class XSession {
public:
    // Starts Xvfb on a free display and, when asked, openbox on it.
    explicit XSession(bool window_manager);
    ~XSession();
    bool ok() const { return ok_; }
    const std::string& display() const { return display_; }
    const std::string& error() const { return error_; }

    // A shell command with DISPLAY set to this server; returns its status
    // and puts what it printed into *out when given.
    int Sh(const std::string& command, std::string* out = nullptr) const;
    // A key held for 0.3 s (the show reads the keyboard once a frame; a
    // shorter press can fall between two frames). Names as xdotool's.
    void Hold(const std::string& key) const;
    // The first top-level window whose xwininfo line contains `needle` and
    // not `unless`; false when there is none.
    bool FindWindow(const std::string& needle, const std::string& unless, Geometry* g) const;
    bool Screenshot(plat::PicturePixels* out) const;

private:
    bool ok_ = false;
    std::string display_;
    std::string error_;
    Process xvfb_;
    Process wm_;
};

Rgb PixelAt(const plat::PicturePixels& p, int x, int y);
bool Near(Rgb a, Rgb b, int tolerance);
// Polls `pred` every 200 ms until it holds or `seconds` have passed.
template <typename Pred>
bool WaitUntil(double seconds, Pred pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

}  // namespace xtest
