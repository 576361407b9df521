#include "main/start_point.h"

#include "engine/demo.h"

StartPoint::StartPoint(double start_seconds, float step, bool fixed_clock)
    : m_fStart(start_seconds),
      m_bFixed(fixed_clock && start_seconds >= 0.0),
      m_fStep(step),
      m_bShown(start_seconds < 0.0) {}

float StartPoint::FrameStep(int64_t num, int64_t den) {
    // CTimer::Tick's arithmetic for a step of den counts at num a second.
    return static_cast<float>(static_cast<long double>(den) / static_cast<long double>(num));
}

StartPoint::Part StartPoint::Next(const CDemo& demo) {
    if (m_bShown) {
        m_bFixedFrame = false;
        return Part::kShow;
    }
    Part part = Part::kShow;
    if (demo.Loading()) {
        part = Part::kLoading;
    } else if (static_cast<double>(demo.Clock()) < m_fStart - 0.5 * static_cast<double>(m_fStep)) {
        // The timeline clock is a float sum of steps and lands near T, not
        // on it: the frame within half a step of T is T's frame.
        part = Part::kSkip;
    } else {
        m_bShown = true;
    }
    // The first frame shown is still on the fixed clock: its own update is
    // part of what it shows.
    m_bFixedFrame = m_bFixed;
    return part;
}

double StartPoint::KeyClock(double clock) const {
    if (!m_bFixed) return clock;
    // Divided, not summed: frame k starts at exactly k / 60 s, as in a capture.
    const double fixed = static_cast<double>(m_nFixedFrames) / static_cast<double>(kFixedFps);
    return m_bFixedOver ? fixed + (clock - m_fLastClock) : fixed;
}

void StartPoint::FrameDone(double clock) {
    if (!m_bFixedFrame) return;
    ++m_nFixedFrames;
    m_fLastClock = clock;
    if (m_bShown) m_bFixedOver = true;
}
