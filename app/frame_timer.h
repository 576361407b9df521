// app/frame_timer.h - the frame step every effect and the demo clock advance by.
//
// Offers: CTimer, which measures the seconds between two readings of the
// high-resolution counter; the process-wide frame timer g_FrameTimer; the
// last measured step g_fFrameStep; GetFrameStep, which is that step made four
// times as large while the space bar is down; ResetFrameTimer.
//
// Lifecycle: g_FrameTimer is constructed during static initialisation and
// reads the counter frequency then. Capture runs switch to the virtual clock
// later, in main, which changes the frequency: therefore Reset() reads the
// frequency again. The main loop resets the timer once before its first frame
// (and the loading screen resets it every frame), so no Tick ever divides by
// the frequency of the wrong clock.
//
// Each frame the main loop does `g_fFrameStep = g_FrameTimer.Tick();`.
//
// Rules of the step: (now - previous) / frequency, computed in long double
// from the two 64-bit readings and rounded once to float; a counter that went
// backwards gives 0; there is no upper limit (a long stall gives one long step).
#pragma once

#include <cstdint>

#include "platform/os/clock.h"

class CTimer {
public:
    // Where readings come from. The defaults are the platform counter; tests
    // hand in their own to make the counter jump or go backwards.
    using CounterFn = int64_t (*)();

    explicit CTimer(CounterFn counter = plat::QueryCounter,
                    CounterFn frequency = plat::QueryCounterFrequency);

    // Reads the frequency again, then previous and start become now.
    void Reset();

    // Seconds since the last Tick or Reset, never negative; previous becomes now.
    // With a frequency that is not positive it returns 0.
    float Tick();

    int64_t Frequency() const { return m_nFrequency; }
    int64_t StartCount() const { return m_nStart; }

private:
    CounterFn m_pCounter;
    CounterFn m_pFrequency;
    int64_t m_nFrequency;     // counts per second
    int64_t m_nPrevious = 0;  // reading at the last Tick or Reset
    int64_t m_nStart = 0;     // reading at the last Reset
};

extern CTimer g_FrameTimer;
extern float g_fFrameStep;  // seconds: result of the last Tick

// g_fFrameStep, times four while the space bar is down. g_fFrameStep itself
// is left alone, so releasing the space bar returns to real speed at once.
float GetFrameStep();

// Reset of g_FrameTimer: the next step is measured from now.
void ResetFrameTimer();
