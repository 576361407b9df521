// main/start_point.h - --start T: the show seen from timeline time T on.
//
// The frames before T still run, one by one, with every update they would
// have had (timeline, effects, the tower's clocks and spectrum, the panels'
// keys) but without drawing; nothing is skipped over in one jump, because the
// tower's phase is a sum over every frame's spectrum and the spectrum's held
// peaks fall from one frame's reading to the next. So the first frame drawn,
// and every one after it, is the frame a run from the beginning draws at
// that time, to the bit.
//
// Each frame, before it runs, the main loop asks Next what it is:
//   kLoading  the loading screen (the timeline has not begun): drawn as
//             usual, but a capture does not keep it
//   kSkip     the timeline before T: updated, not drawn, not kept
//   kShow     drawn and kept; once one frame is, every later one is
// Without --start every frame is kShow, loading included, as always.
//
// "Before T": the timeline clock at the frame's start is below T by more than
// half a frame step, so the first frame shown is the one nearest T.
//
// Clocks. A capture is on its fixed frame clock throughout, and the frames
// before T advance it like any other, so --keys times are the times of a
// capture from the beginning. A person's run is put on the same kind of
// clock, at 60 frames a second, until the first kShow frame: each frame
// steps 1/60 s and mixes exactly 735 samples of the music without output
// (the sound is held from before the device opens), so T is reached in the
// state a 60 fps capture reaches it, and the key clock reads the frames so
// far times 1/60 s. From there on the real clock runs the show, and the key
// clock goes on from where the frames left it.
#pragma once

#include <cstdint>

class CDemo;

class StartPoint {
public:
    enum class Part { kLoading, kSkip, kShow };

    // start_seconds < 0: no --start. step: the run's frame step, seconds
    // (a capture's, or 1/60 s); fixed_clock: the run is not a capture and
    // must step on the 60 fps clock until the show is seen.
    StartPoint(double start_seconds, float step, bool fixed_clock);
    // The frame step of num / den frames a second as the frame timer gives
    // it for one frame of the capture's clock (rounded once to float).
    static float FrameStep(int64_t num, int64_t den);

    // What the coming frame is, from the demo's state before it. Once a frame.
    Part Next(const CDemo& demo);
    // True when the frame Next described steps on the fixed clock (a
    // person's run with --start, up to and including the first frame
    // shown): Step() is then its frame step, and kSamplesPerFrame the sound
    // it moves on by.
    bool OnFixedClock() const { return m_bFixedFrame; }
    float Step() const { return m_fStep; }
    // The time --keys are timed against, given the platform's clock.
    double KeyClock(double clock) const;
    // After each frame, with the platform's clock.
    void FrameDone(double clock);

    static constexpr int64_t kFixedFps = 60;
    static constexpr int64_t kSamplesPerFrame = 735;  // 44100 / 60

private:
    double m_fStart;
    bool m_bFixed;
    float m_fStep;               // the run's frame step, as the frame timer rounds it
    bool m_bShown;               // a kShow frame has come
    bool m_bFixedFrame = false;  // the frame Next described is on the fixed clock
    bool m_bFixedOver = false;   // the last frame on the fixed clock is done
    uint64_t m_nFixedFrames = 0;  // frames run on the fixed clock
    double m_fLastClock = 0.0;   // the platform's clock after the last of them
};
