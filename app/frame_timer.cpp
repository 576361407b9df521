#include "app/frame_timer.h"

#include <cstdint>
#include <limits>

#include "app/keys.h"

CTimer g_FrameTimer;
float g_fFrameStep = 0.0f;

namespace {

// now - previous with no 64-bit overflow. Readings close together (the
// normal case) subtract exactly as integers; only a difference that does not
// fit in 64 bits is taken in long double, where it may round in the last bit.
long double CountsBetween(int64_t previous, int64_t now) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    bool overflows = (previous < 0 && now > kMax + previous) ||
                     (previous > 0 && now < kMin + previous);
    if (overflows) return static_cast<long double>(now) - static_cast<long double>(previous);
    return static_cast<long double>(now - previous);
}

}  // namespace

CTimer::CTimer(CounterFn counter, CounterFn frequency)
    : m_pCounter(counter), m_pFrequency(frequency), m_nFrequency(frequency()) {}

void CTimer::Reset() {
    m_nFrequency = m_pFrequency();
    m_nPrevious = m_pCounter();
    m_nStart = m_nPrevious;
}

float CTimer::Tick() {
    int64_t now = m_pCounter();
    long double step = 0.0L;
    if (m_nFrequency > 0) step = CountsBetween(m_nPrevious, now) / static_cast<long double>(m_nFrequency);
    // A counter read on another core, or a clock that was reset, can run
    // backwards; a negative step would run every effect backwards.
    if (step < 0.0L) step = 0.0L;
    m_nPrevious = now;
    return static_cast<float>(step);
}

float GetFrameStep() {
    // The product is formed in double and rounded to float once.
    if (IsKeyDown(kVkSpace)) return static_cast<float>(static_cast<double>(g_fFrameStep) * 4.0);
    return g_fFrameStep;
}

void ResetFrameTimer() { g_FrameTimer.Reset(); }
