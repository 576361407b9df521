// engine/demo.h - the show itself: the timeline, the running effects in
// layer order, the removal of retired effects at the end of each frame, the
// camera and the music, and the sync channels that let the spectrum drive
// the tower.
//
// Lifecycle: one CDemo for the whole run, created after the device (its
// constructor makes the camera and the loading screen) and destroyed before
// the device. Frame() runs once per frame between the timer tick and Present.
#pragma once

#include <cstdint>
#include <list>

#include "engine/effect.h"
#include "engine/params.h"

class CCamera;
struct CMusic;

struct TimelineEvent {
    int32_t nClassId;  // an EffectClassId; kClassNone starts nothing
    uint32_t nLayer;
    float fStart;      // seconds on the timeline clock
    float fDuration;   // seconds
};
extern const TimelineEvent g_Timeline[];
extern const int32_t g_nTimelineEvents;

// What the demo runs: the show's timeline and classes unless a test says
// otherwise.
struct DemoScript {
    const TimelineEvent* pEvents = g_Timeline;
    int32_t nEvents = g_nTimelineEvents;
    int32_t nLoadingClass = kClassLoading;
    int32_t nExitClass = kClassIntroScreens;  // showing the exit picture
};

// No timeline and no loading screen: a demo object whose
// camera, music and sync channels are the show's, running only what its
// user adds. For tools and tests.
inline DemoScript BareDemoScript() {
    DemoScript script;
    script.pEvents = nullptr;
    script.nEvents = 0;
    script.nLoadingClass = kClassNone;
    return script;
}

class CDemo {
public:
    explicit CDemo(const DemoScript& script = DemoScript{});
    ~CDemo();
    CDemo(const CDemo&) = delete;
    CDemo& operator=(const CDemo&) = delete;

    // One frame: the timeline, every effect's Update then Render, the clock,
    // the panels. With `draw` false nothing is drawn and the device is not
    // touched, but every update and key the panels read runs as in a drawn
    // frame (--start runs the show up to its start so).
    void Frame(bool draw = true);
    // Takes ownership; keeps the list sorted by layer, stable for equal layers.
    void AddEffect(CEffect* effect);
    // Deleted at the end of the frame; the loading screen releases the timeline.
    void RemoveEffect(CEffect* effect);
    void RemoveAllExcept(CEffect* keep);
    void StartMusic();
    // Spectrum value at the channel's bin times its scale.
    float GetSyncValue(int channel);

    const std::list<CEffect*>& ActiveEffects() const { return m_ActiveEffects; }
    float Clock() const { return m_fClock; }
    int32_t NextEvent() const { return m_nNextEvent; }
    CEffect* Loading() const { return m_pLoading; }

private:
    void StepTimeline();

    DemoScript m_Script;
    CEffect* m_pLoading = nullptr;
    CMusic* m_pMusic = nullptr;
    CCamera* m_pCamera = nullptr;
    std::list<CEffect*> m_ActiveEffects;
    std::list<CEffect*> m_RemovedEffects;
    int32_t m_nNextEvent = 0;
    float m_fClock = 0.0f;
};

// The program's demo object: set by the main loop for the run (and by tests
// and tools that make their own), null before and after. Effects reach the
// sequencer through it.
CDemo* GetDemo();
void SetDemo(CDemo* demo);
