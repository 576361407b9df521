// app/winmain.h - the program's life: start-up, the main loop, shutdown.
//
// KeloMain runs the show as configured by the command line and returns the
// process exit status: 0 for a normal end (including the viewer declining in
// the start-up dialog), 1 when the program could not start or a capture
// could not be written (one line on stderr says why), 128 + the signal for a
// capture ended by one (see app/capture.h).
#pragma once

#include <cstdint>

#include "app/options.h"

class CDemo;

extern bool g_bQuit;           // the main loop ends when set
extern bool g_bExitRequested;  // Escape has started the exit screen (never cleared)

int KeloMain(const AppOptions& options);

// Window procedure of the one window.
intptr_t WndProc(unsigned message, uintptr_t wParam, intptr_t lParam);

CDemo* GetDemo();
// What the program is doing now, as words that follow "while"
// ("making the window and the device", "capturing", ...).
const char* RunPhase();
// Tests: makes `demo` the program's demo object (the caller keeps it).
void SetDemoForTests(CDemo* demo);
void RequestQuit();
