#include "tests/desktop/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "tests/support/run_command.h"

namespace xtest {

bool Process::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const std::string& log_file, int keep_fd) {
    Stop();
    status_ = -1;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        setpgid(0, 0);
        for (const std::string& e : env) {
            if (!e.empty() && e[0] == '-') {
                unsetenv(e.c_str() + 1);
            } else {
                const size_t eq = e.find('=');
                if (eq != std::string::npos) setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
            }
        }
        const int out = open(log_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
            close(out);
        }
        if (keep_fd >= 0) fcntl(keep_fd, F_SETFD, 0);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    setpgid(pid, pid);  // also from here: no race with the child's own call
    pid_ = pid;
    return true;
}

bool Process::Wait(double seconds) {
    if (pid_ < 0) return true;
    const bool done = WaitUntil(seconds, [&] {
        int st = 0;
        const pid_t r = waitpid(pid_, &st, WNOHANG);
        if (r != pid_) return false;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        pid_ = -1;
        return true;
    });
    return done;
}

bool Process::Running() { return pid_ >= 0 && !Wait(0); }

void Process::Stop() {
    if (pid_ < 0) return;
    kill(-pid_, SIGTERM);
    if (Wait(2.0)) return;
    kill(-pid_, SIGKILL);
    int st = 0;
    waitpid(pid_, &st, 0);
    pid_ = -1;
}

XSession::XSession(bool window_manager) {
    // Xvfb picks a free display itself and writes its number to the pipe
    // once it accepts connections.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return;
    }
    if (!xvfb_.Start({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                     {}, "/dev/null", fds[1])) {
        error_ = "cannot start Xvfb";
        close(fds[0]);
        close(fds[1]);
        return;
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&p, 1, 10000) == 1) {
        char buf[16];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        error_ = "Xvfb did not start (is the xvfb package installed?)";
        return;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    if (window_manager) {
        if (!wm_.Start({"openbox"}, {"DISPLAY=" + display_}, "/dev/null")) {
            error_ = "cannot start openbox";
            return;
        }
        // Ready once it has announced itself on the root window.
        const bool up = WaitUntil(10.0, [&] {
            std::string out;
            Sh("xprop -root _NET_SUPPORTING_WM_CHECK", &out);
            return out.find("window id") != std::string::npos;
        });
        if (!up) {
            error_ = "openbox did not come up";
            return;
        }
    }
    ok_ = true;
}

XSession::~XSession() {
    wm_.Stop();
    xvfb_.Stop();
}

int XSession::Sh(const std::string& command, std::string* out) const {
    // Exported, so every command of a pipeline or list talks to this server.
    auto [status, text] = RunCommand("export DISPLAY=" + display_ + "; " + command);
    if (out) *out = text;
    return status;
}

void XSession::Hold(const std::string& key) const {
    Sh("xdotool keydown " + key + " && sleep 0.3 && xdotool keyup " + key);
}

bool XSession::FindWindow(const std::string& needle, const std::string& unless, Geometry* g) const {
    std::string out;
    if (Sh("xwininfo -root -tree", &out) != 0) return false;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find(needle) == std::string::npos) continue;
        if (!unless.empty() && line.find(unless) != std::string::npos) continue;
        // "... 1024x768+0+0  +128+128": the size and the position in the
        // parent, then the absolute corner, as the last two words.
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.size() < 2) continue;
        Geometry r;
        int rx = 0, ry = 0;
        if (std::sscanf(w[w.size() - 2].c_str(), "%dx%d%d%d", &r.width, &r.height, &rx, &ry) != 4) continue;
        if (std::sscanf(w.back().c_str(), "%d%d", &r.x, &r.y) != 2) continue;
        *g = r;
        return true;
    }
    return false;
}

bool XSession::Screenshot(plat::PicturePixels* out) const {
    char path[] = "/tmp/kelo_x_shot_XXXXXX.png";
    const int fd = mkstemps(path, 4);
    if (fd < 0) return false;
    close(fd);
    const bool ok = Sh(std::string("import -window root png24:") + path) == 0 && plat::ReadPictureFile(path, out);
    unlink(path);
    return ok;
}

Rgb PixelAt(const plat::PicturePixels& p, int x, int y) {
    if (x < 0 || y < 0 || x >= p.width || y >= p.height) return {-1, -1, -1};
    const uint8_t* q = &p.rgba[(static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)) * 4];
    return {q[0], q[1], q[2]};
}

bool Near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

}  // namespace xtest
