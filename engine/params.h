// engine/params.h - named float parameters that effects register, and the
// two tuning panels: F1 lists the parameters (up/down choose, left/right
// change), F2 shows the spectrum and moves the bins of the sync channels.
// Both are drawn by the demo frame after every effect, F1's first.
//
// A parameter is the very float its effect reads, so a change acts at once;
// registrations are never removed and an effect built twice is listed
// twice, both rows editing the same float.
#pragma once

#include <cfloat>
#include <cstdint>
#include <memory>
#include <vector>

struct TweakParam {
    const char* szName;   // shown in the panel; not copied
    float* pTarget;       // the value the parameter controls
    float fStep;
    float fMin;
    float fMax;
    bool bStepOnPress;    // true: one step per press; false: one step per frame while held
};

// A limit that never binds: the largest float, given as max (and its
// negative as min) to a parameter that may take any value.
inline constexpr float kUnbounded = FLT_MAX;

// The sync channels: a spectrum bin each, scaled, that the tower reads
// through CDemo::GetSyncValue; the F2 panel retunes their bins.
struct SyncChannel {
    const char* szName;
    int32_t nBin;  // 0..kSpectrumBands - 1, retuned by the sync panel
    float fScale;
};
extern SyncChannel g_SyncChannels[3];

void RegisterParam(const char* name, float* target, float step, float min, float max, bool step_on_press);
// With `draw` false a panel reads its keys (and the sync panel the
// spectrum, as it does when drawn) but draws nothing.
void DrawParamPanel(bool draw = true);
void DrawSyncPanel(bool draw = true);

// Panel state, for tests and the show's own code.
extern std::vector<std::unique_ptr<TweakParam>> g_Params;
extern bool g_bParamPanelVisible;
extern int g_nSelectedParam;
extern bool g_bSyncPanelVisible;
extern int g_nSyncChannel;
extern int g_nSyncBin;
