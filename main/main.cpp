// kelo - an animated invitation. Entry point: parse the command line, run.
#include <cstdio>
#include <new>
#include <string>

#include "main/options.h"
#include "main/winmain.h"
#include "platform/os/ahead.h"
#include "platform/os/process.h"

int main(int argc, char** argv) {
    // Our output piped to a program that quits early (`| head`) must not
    // end a capture half-way: writes to the closed pipe just fail.
    plat::IgnoreBrokenPipe();
    AppOptions options;
    std::string message;
    try {
        switch (ParseOptions(argc, argv, options, message)) {
            case OptionsResult::kHelp:
                std::fputs(OptionsHelpText(), stdout);
                return kExitOk;
            case OptionsResult::kError:
                std::fprintf(stderr, "%s\n", message.c_str());
                return kExitBadCommandLine;
            case OptionsResult::kRun:
                break;
        }
        return KeloMain(options);
    } catch (const std::bad_alloc&) {
        // Whatever was being made is lost, but a capture's files are whole:
        // the writers' destructors run at exit, finishing the frames queued
        // and the WAV header.
        std::fprintf(stderr, "kelo: out of memory while %s\n", RunPhase());
        // The start-up worker's job, if one still runs, ends before the
        // libraries it uses do; what it makes is dropped.
        plat::FinishAhead();
        return kExitCannotStart;
    }
}
