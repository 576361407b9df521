// platform/os/clock.h - the high-resolution counter and sleep.
//
// Offers: a monotonic 64-bit counter with a fixed frequency (what
// QueryPerformanceCounter/QueryPerformanceFrequency gave), and a sleep of
// about a millisecond.
//
// Two sources, chosen once at start-up before anything reads the clock:
//   real     SDL's performance counter; the default.
//   virtual  for capture runs: the counter stands still until the frame loop
//            calls AdvanceVirtualClock(), which moves it by exactly one frame.
//            Its frequency is the numerator of the frame rate and one frame is
//            the denominator, so 60000/1001 fps advances 1001 counts of a
//            60000 Hz counter and no rounding ever accumulates.
//            Sleep does nothing in virtual mode: time is the frame count.
//
// Does not: measure wall time in virtual mode (use SteadySeconds for that).
#pragma once

#include <cstdint>

namespace plat {

int64_t QueryCounter();
int64_t QueryCounterFrequency();
void SleepMs(unsigned ms);

// Switch to the virtual counter at fps_num / fps_den frames per second.
// Both must be positive. The counter starts at 0.
void UseVirtualClock(int64_t fps_num, int64_t fps_den);
void AdvanceVirtualClock();

// Seconds on the counter since the process first read it (or since the
// virtual clock started): the clock time that scripted keys are timed against.
double ClockSeconds();

// Wall-clock seconds from a monotonic source, for progress and timing output.
double SteadySeconds();

// CPU time the calling thread has used, in seconds: for measurements that
// other processes on a busy machine must not disturb.
double ThreadCpuSeconds();

}  // namespace plat
