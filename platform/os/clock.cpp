#include "platform/os/clock.h"

#include <SDL.h>
#include <time.h>

#include <chrono>

namespace plat {
namespace {

struct ClockState {
    bool is_virtual = false;
    int64_t virtual_now = 0;
    int64_t virtual_freq = 1;
    int64_t virtual_step = 1;
    bool real_origin_set = false;
    int64_t real_origin = 0;
};
ClockState g_clock;

}  // namespace

int64_t QueryCounter() {
    if (g_clock.is_virtual) return g_clock.virtual_now;
    int64_t now = static_cast<int64_t>(SDL_GetPerformanceCounter());
    if (!g_clock.real_origin_set) {
        g_clock.real_origin = now;
        g_clock.real_origin_set = true;
    }
    return now;
}

int64_t QueryCounterFrequency() {
    if (g_clock.is_virtual) return g_clock.virtual_freq;
    return static_cast<int64_t>(SDL_GetPerformanceFrequency());
}

void SleepMs(unsigned ms) {
    if (g_clock.is_virtual) return;
    SDL_Delay(ms);
}

void UseVirtualClock(int64_t fps_num, int64_t fps_den) {
    g_clock.is_virtual = true;
    g_clock.virtual_now = 0;
    g_clock.virtual_freq = fps_num > 0 ? fps_num : 60;
    g_clock.virtual_step = fps_den > 0 ? fps_den : 1;
}


void AdvanceVirtualClock() {
    if (g_clock.is_virtual) g_clock.virtual_now += g_clock.virtual_step;
}

double ClockSeconds() {
    int64_t now = QueryCounter();
    if (g_clock.is_virtual) return static_cast<double>(now) / static_cast<double>(g_clock.virtual_freq);
    return static_cast<double>(now - g_clock.real_origin) / static_cast<double>(QueryCounterFrequency());
}

double SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

}  // namespace plat
