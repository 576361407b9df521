// tower/cube_tower.cpp - the tower's construction, its parameters and the
// clocks that Update advances: shape transitions, the music-driven phase
// and the rising mesh. The geometry is tower_geometry.cpp's, the drawing
// tower_render.cpp's.
#include "tower/cube_tower.h"

#include <cmath>

#include "engine/demo.h"
#include "engine/params.h"

// Rows d0..d11 (see tower_geometry.cpp for what each one drives). The
// decimals are the shortest that give the stored floats, not rounded
// values: 1.809999 is not 1.81.
const float CCubeTower::s_ShapePresets[kTowerPresets][kTowerShapeParams] = {
    // d0         d1    d2          d3     d4         d5    d6         d7         d8      d9     d10        d11
    {8.0f,      1.0f, 1.5f,       0.75f, 2.0f,      0.2f, 0.5f,      0.2f,      0.5f,   0.5f,  4.0f,      0.0f},
    {8.0f,      1.0f, 1.5f,       0.75f, 2.0f,      0.2f, 1.809999f, 0.969999f, -0.54f, 0.5f,  2.810001f, -0.359996f},
    {6.529966f, 1.0f, -2.109997f, 0.95f, 1.220001f, 0.2f, 0.5f,      1.209999f, 0.13f,  0.99f, 2.320002f, 0.440003f},
};

namespace {

// "Unbounded": the largest finite float either way, so a held key can step
// as far as a float goes without the panel's clamp ever producing infinity.

// Each climb ends once the mesh is strictly above this height.
constexpr float kModelTopY = 10.0f;

}  // namespace

CCubeTower::CCubeTower() {
    // Every construction registers again, as every effect does: the panel
    // then lists a second tower's rows twice, both editing the same floats.
    // The order is the panel's order.
    CubeTowerParams& p = s_Params;
    RegisterParam("post_process", &p.fPostProcess, 1.0f, 0.0f, 1.0f, true);
    RegisterParam("render_tower", &p.fRenderTower, 1.0f, 0.0f, 1.0f, true);
    RegisterParam("render_models", &p.fRenderModels, 1.0f, 0.0f, 1.0f, true);
    RegisterParam("cam_pos_x", &p.vCamPos.x, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("cam_pos_y", &p.vCamPos.y, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("cam_pos_z", &p.vCamPos.z, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("cam_focus_x", &p.vCamFocus.x, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("cam_focus_y", &p.vCamFocus.y, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("cam_focus_z", &p.vCamFocus.z, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("s_ModelStartPos_x", &s_ModelStartPos.x, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("s_ModelStartPos_y", &s_ModelStartPos.y, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("s_ModelStartPos_z", &s_ModelStartPos.z, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("light_rot_x", &p.fLightRotX, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("light_rot_y", &p.fLightRotY, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("logo_rot_y", &p.fLogoRotY, 0.01f, -kUnbounded, kUnbounded, false);
    RegisterParam("logo_brightness", &p.fLogoBrightness, 0.001f, -kUnbounded, kUnbounded, false);
    RegisterParam("tower_brightness", &p.fTowerBrightness, 0.001f, -kUnbounded, kUnbounded, false);
    RegisterParam("transition_time", &p.fTransitionTime, 0.001f, -kUnbounded, kUnbounded, false);
}

uint32_t CCubeTower::NextRandom() {
    // Unsigned 32-bit arithmetic wraps, which is the modulo 2^32.
    s_nRandomSeed = s_nRandomSeed * 214013u + 2531011u;
    return s_nRandomSeed >> 16;
}

void CCubeTower::Update(float dt) {
    CEffect::Update(dt);
    m_fTime += dt;

    // At most one transition per frame, even for a step worth several:
    // the progress then stays at 1 or more and the blend below overshoots
    // past the new preset until later frames bring it back under 1.
    m_fTransition += dt * s_Params.fTransitionTime;
    if (m_fTransition >= 1.0f) {
        m_fTransition -= 1.0f;
        s_nPrevPreset = s_nPreset;
        s_nPreset = static_cast<int32_t>(NextRandom() % kTowerPresets);
    }
    // Not clamped: a progress outside [0, 1] (negative transition_time)
    // extrapolates.
    const float* from = s_ShapePresets[s_nPrevPreset];
    const float* to = s_ShapePresets[s_nPreset];
    for (int k = 0; k < kTowerShapeParams; ++k) s_Shape[k] = from[k] + (to[k] - from[k]) * m_fTransition;

    // One addition per channel, in channel order, each rounded to float.
    // A tower made without a demo object (tests) runs at the silent rate.
    m_fPhase += dt;
    if (CDemo* demo = GetDemo()) {
        for (int channel = 0; channel < 3; ++channel) m_fPhase += demo->GetSyncValue(channel) * dt;
    }

    BuildTower();
    if (s_bCheckVertices) CheckVertices();

    // The new model time drives the climb: 0 to 4 units a second.
    m_fModelTime += dt;
    m_vModelPos.y += dt * 2.0f * (std::sin(m_fModelTime) + 1.0f);
    // Strictly above: a mesh at exactly the top keeps rising one more frame.
    if (m_vModelPos.y > kModelTopY) {
        m_nModel = (m_nModel + 1) % kTowerModels;
        m_fModelTime = 0.0f;
        // The parameters as they are now, so a tuned start applies to the
        // next climb.
        m_vModelPos = s_ModelStartPos;
    }
}
