#include "fx2d/intro_screens.h"

#include <algorithm>
#include <cmath>

#include "app/quit_request.h"
#include "data/asset_cache.h"
#include "data/music.h"
#include "data/resource_ids.h"
#include "data/texture.h"
#include "engine/demo.h"
#include "engine/params.h"
#include "fx2d/draw2d.h"
#include "platform/fx/effect.h"

const uint32_t g_IntroPictures[3] = {
    kVexaLogoPictureId,    // "Data\vexa_logo.jpg": the group's logo
    kIntroPictureId,       // "Data\kelo_intro.jpg": the event's intro picture
    kExitScreenPictureId,  // "Data\exit_screen.jpg": the exit screen
};

float g_fFadeSpeed = 0.1f;
float g_fU1Speed = 0.15f;
float g_fV1Speed = 0.26f;
float g_fU2Speed = -0.1f;
float g_fV2Speed = 0.1f;

namespace {

constexpr int32_t kLogoPicture = 0;
constexpr int32_t kExitPicture = 2;
// The exit screen's fades run this much faster: 4 s in, 4 s out at the
// default speed, so leaving the show does not drag.
constexpr float kExitFadeFactor = 2.5f;
constexpr float kParamStep = 0.0001f;  // per frame while an adjust key is held

}  // namespace

CIntroScreens::CIntroScreens() {
    m_nPicture = s_nNextPicture;
    RegisterParam("fade_speed", &g_fFadeSpeed, kParamStep, -kUnbounded, kUnbounded, false);
    RegisterParam("u1_speed", &g_fU1Speed, kParamStep, -kUnbounded, kUnbounded, false);
    RegisterParam("v1_speed", &g_fV1Speed, kParamStep, -kUnbounded, kUnbounded, false);
    RegisterParam("u2_speed", &g_fU2Speed, kParamStep, -kUnbounded, kUnbounded, false);
    RegisterParam("v2_speed", &g_fV2Speed, kParamStep, -kUnbounded, kUnbounded, false);
    // After Escape, whatever starts is the exit screen.
    if (g_bExitRequested) m_nPicture = kExitPicture;
    s_nNextPicture = (s_nNextPicture + 1) % 3;
}

void CIntroScreens::Update(float dt) {
    CEffect::Update(dt);
    m_fTime += dt;
    const bool exit_screen = m_nPicture == kExitPicture;
    const float d = exit_screen ? dt * kExitFadeFactor : dt;
    if (!m_bExpired) {
        m_fFade = std::min(m_fFade + d * g_fFadeSpeed, 1.0f);
        return;
    }
    // Fading out. The music follows the exit screen's fade as it stood
    // before this frame's step, so the first fade-out frame is still at
    // full volume and the frame that reaches 0 sets no volume at all.
    if (exit_screen) SetMasterVolume(static_cast<int>(m_fFade * 255.0f));
    m_fFade = std::max(m_fFade - d * g_fFadeSpeed, 0.0f);
    CDemo* demo = GetDemo();
    // Every frame: nothing else may outlive the exit screen, and from the
    // second fade-out frame on it fades over the bare clear colour.
    if (exit_screen && demo) demo->RemoveAllExcept(this);
    if (m_fFade == 0.0f) {
        if (demo) demo->RemoveEffect(this);
        if (exit_screen) RequestQuit();
    }
}

void CIntroScreens::Render() {
    plat::fx::Effect* effect = GetEffect(kWaterFadeEffectId);
    const CTexture* picture = GetTexture(g_IntroPictures[m_nPicture]);
    const CTexture* normals = GetTexture(kWaterNormalPictureId);
    if (!effect || !picture) return;

    // A cosine ease from 1 (fade 0) to 0 (fade 1): the distortion and the
    // transparency settle gently instead of stopping dead.
    const float a = (std::cos(m_fFade * kPi) + 1.0f) * 0.5f;
    effect->SetTexture("g_txSrcNormal", normals ? normals->m_pTexture : nullptr);
    effect->SetFloat("g_Alpha", 1.0f - a);
    // The logo only cross-fades: a rippling logo reads badly.
    effect->SetFloat("g_UVScale", m_nPicture == kLogoPicture ? 0.0f : a);
    const float uv1[2] = {m_fTime * g_fU1Speed, m_fTime * g_fV1Speed};
    const float uv2[2] = {m_fTime * g_fU2Speed, m_fTime * g_fV2Speed};
    effect->SetFloatArray("g_UV1Offset", uv1, 2);
    effect->SetFloatArray("g_UV2Offset", uv2, 2);
    DrawPostProcessQuad(effect, picture, CVector2(0.0f, 0.0f), picture->GetSize(), 0xFFFFFFFF);
}
