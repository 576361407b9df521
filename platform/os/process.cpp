#include "platform/os/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace plat {
namespace {

volatile sig_atomic_t g_stop_signal = 0;

void OnStopSignal(int signal) {
    // The first one counts: its exit status is the one reported.
    if (g_stop_signal == 0) g_stop_signal = signal;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

}  // namespace

void IgnoreBrokenPipe() { signal(SIGPIPE, SIG_IGN); }

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking wait must return so the signal is seen.
    action.sa_flags = 0;
    for (int s : kStopSignals) {
        // One ignored when we started stays ignored: `nohup` asks for that
        // with SIGHUP, and a shell does it with SIGINT and SIGQUIT for
        // commands it starts in the background.
        struct sigaction old {};
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

int StopSignal() { return g_stop_signal; }

int SignalExitStatus(int signal) { return 128 + signal; }

std::string SignalName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        case SIGQUIT: return "SIGQUIT";
        case SIGKILL: return "SIGKILL";
        case SIGPIPE: return "SIGPIPE";
        default: return "signal " + std::to_string(signal);
    }
}

bool IsTerminal(int fd) { return isatty(fd) != 0; }

std::string FindProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0 ? program : "";
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + program;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

namespace {

// Reads what the pipe holds now and hands on each whole line; `partial`
// keeps the start of a line whose end has not come yet.
void ReadLines(int fd, std::string* partial, const std::function<void(std::string_view)>& on_line) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return;  // nothing more now (EAGAIN), the end, or an error: the wait decides
        partial->append(buffer, static_cast<size_t>(n));
        size_t start = 0, end = 0;
        while ((end = partial->find('\n', start)) != std::string::npos) {
            on_line(std::string_view(*partial).substr(start, end - start));
            start = end + 1;
        }
        partial->erase(0, start);
    }
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& args,
                         const std::function<void(std::string_view line)>& on_line) {
    ProgramResult result;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The child starts with the default action for our stop signals (exec
    // resets caught ones anyway) and for SIGPIPE, which we ignore but a
    // program writing to a closed pipe expects to die of.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    // With a reader, the program's standard output is a pipe we read from;
    // the read end is non-blocking so the wait below never stalls on it.
    int out[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (on_line) {
        if (pipe2(out, O_CLOEXEC) != 0) {
            result.error = std::string("cannot make a pipe for ") + args[0] + ": " + std::strerror(errno);
            posix_spawn_file_actions_destroy(&actions);
            posix_spawnattr_destroy(&attr);
            return result;
        }
        fcntl(out[0], F_SETFL, fcntl(out[0], F_GETFL) | O_NONBLOCK);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    }
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (out[1] >= 0) close(out[1]);
    if (spawned != 0) {
        if (out[0] >= 0) close(out[0]);
        result.error = "cannot start " + args[0] + ": " + std::strerror(spawned);
        return result;
    }
    result.started = true;
    std::string partial;
    int status = 0;
    for (;;) {
        // A stop signal reaching us (from a terminal, it reaches the program
        // too; from `kill`, only us) is passed on once, and the wait goes on:
        // leaving now would leave the program running on its own.
        const int stop = g_stop_signal;
        if (stop != 0 && result.passed_on == 0) {
            kill(pid, stop);
            result.passed_on = stop;
        }
        // Polled rather than blocking: a signal landing between the check
        // above and a blocking wait would go unseen until the program ended.
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r == 0 || (r < 0 && errno == EINTR)) {
            if (r == 0 && out[0] >= 0) {
                pollfd p = {out[0], POLLIN, 0};
                poll(&p, 1, 20);
                ReadLines(out[0], &partial, on_line);
            } else if (r == 0) {
                usleep(20000);
            }
            continue;
        }
        result.error = std::string("cannot wait for ") + args[0] + ": " + std::strerror(errno);
        if (out[0] >= 0) close(out[0]);
        return result;
    }
    if (out[0] >= 0) {
        // What it wrote last, and a last line without its newline.
        ReadLines(out[0], &partial, on_line);
        if (!partial.empty()) on_line(partial);
        close(out[0]);
    }
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.killed_by = WTERMSIG(status);
    return result;
}

}  // namespace plat
