// fx2d/intro_screens.h - a full-screen picture that fades in through a
// water-like distortion and out the same way.
//
// The timeline starts two: the group's logo (picture 0, never distorted) and
// the event's intro picture (picture 1). Escape starts a third, the exit
// screen (picture 2): it fades two and a half times as fast, and during its
// fade-out it takes the music's volume down with it, clears every other
// effect away and, once invisible, ends the program.
//
// Which picture an instance shows comes from a counter shared by all of
// them (0, 1, 2, 0, ...), taken at construction; once Escape has been
// pressed every new instance shows picture 2, and the counter still moves on.
//
// Lifecycle: fading in while its lifetime lasts; when the lifetime runs out
// the fade turns round; at fade 0 the effect hands itself to the demo's
// removal. OnExpire does nothing: the effect outlives its lifetime by the
// length of its fade-out.
//
// The distortion is "Data\PP_WaterFade.fx" (cached effect 235) over the
// normal map "Data\WaterNormal.jpg" (cached texture 233); see that file.
#pragma once

#include <cstdint>

#include "engine/effect.h"

// Cached texture ids of the three pictures, by picture index.
extern const uint32_t g_IntroPictures[3];

// Tuning parameters shared by every instance (the F1 panel edits them).
extern float g_fFadeSpeed;  // "fade_speed": fade per second, in and out
extern float g_fU1Speed;    // "u1_speed": first normal-map sample, texture widths per second
extern float g_fV1Speed;    // "v1_speed": first sample, texture heights per second
extern float g_fU2Speed;    // "u2_speed": second sample, widths per second
extern float g_fV2Speed;    // "v2_speed": second sample, heights per second

class CIntroScreens : public CEffect {
public:
    CIntroScreens();

    void OnExpire() override {}
    void Update(float dt) override;
    void Render() override;

    // The picture the next instance will show.
    static inline int32_t s_nNextPicture = 0;

    float m_fTime = 0.0f;  // seconds: every update step summed
    float m_fFade = 0.0f;  // 0 invisible .. 1 fully shown
    int32_t m_nPicture = 0;
};
