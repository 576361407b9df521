// kelo - an animated invitation. Entry point: parse the command line, run.
#include <cstdio>
#include <string>

#include "app/options.h"
#include "app/winmain.h"

int main(int argc, char** argv) {
    AppOptions options;
    std::string message;
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
}
