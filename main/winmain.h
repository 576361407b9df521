// main/winmain.h - the program's life: start-up, the main loop, shutdown.
//
// KeloMain runs the show as configured by the command line and returns the
// process exit status: 0 for a normal end (including the viewer declining in
// the start-up dialog), 1 when the program could not start or a capture
// could not be written (one line on stderr says why), 128 + the signal for a
// capture ended by one (see main/capture.h).
#pragma once

#include <cstdint>

#include "main/options.h"

int KeloMain(const AppOptions& options);

// Window procedure of the one window.
intptr_t WndProc(unsigned message, uintptr_t wParam, intptr_t lParam);

// What the program is doing now, as words that follow "while"
// ("making the window and the device", "capturing", ...).
const char* RunPhase();
