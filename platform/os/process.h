// platform/os/process.h - signals that end a run, and other programs run to
// completion.
//
// Offers:
//   - IgnoreBrokenPipe: a closed pipe on our own stdout or stderr (the output
//     piped to `head`) makes writes fail with EPIPE instead of killing the
//     process, so a capture still finishes its files.
//   - CatchStopSignals: SIGINT, SIGTERM, SIGHUP and SIGQUIT only set a flag
//     that StopSignal() reads; the run decides where it is safe to stop. The
//     handlers do not restart interrupted calls, so a wait returns at once.
//     A signal ignored when the program started (nohup) stays ignored.
//   - SignalExitStatus: 128 + the signal, what shells report for it.
//   - FindProgram: the program's path along PATH, as posix_spawnp would.
//   - RunProgram: starts argv[0] from PATH and waits for it. A stop signal
//     caught meanwhile is passed on to the program, and the wait goes on
//     until it has ended, so it never outlives us. Given `on_line`, the
//     program's standard output comes back a line at a time while it runs
//     (for progress); otherwise it shares ours.
//
// Lifecycle: none; CatchStopSignals once, early, before any thread starts.
// Does not: restore the previous handlers, or capture the program's
// standard error (it shares ours).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

void IgnoreBrokenPipe();
void CatchStopSignals();
// The first stop signal caught since CatchStopSignals, or 0.
int StopSignal();
int SignalExitStatus(int signal);
// "SIGINT", "SIGTERM", ...; "signal N" for others.
std::string SignalName(int signal);

// Whether the file descriptor is a terminal (progress is drawn in place there).
bool IsTerminal(int fd);

// Empty when `program` is not an executable file in any directory of PATH.
std::string FindProgram(const std::string& program);

struct ProgramResult {
    bool started = false;
    int exit_status = -1;   // when it exited
    int killed_by = 0;      // the signal that ended it, if one did
    int passed_on = 0;      // a stop signal of ours passed on to it, if any
    std::string error;      // why it could not be started or waited for
};
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::function<void(std::string_view line)>& on_line = nullptr);

}  // namespace plat
