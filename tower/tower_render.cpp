// tower/tower_render.cpp - drawing the tower scene: the background and the
// tower (straight into the back buffer, or through the three scene targets
// and the ambient-occlusion chain), then the rising mesh through scene
// target 0, the bloom chain and a sharp copy on top.
//
// Both halves draw with the cached "Data\Scene.fx" and the current camera,
// which each one moves to the camera parameters first, so the parameters
// always win. Neither sets the cull mode: the 2D quads of the background
// and the chains' passes leave it off, so both windings of the tower (whose
// wedges turn inside out at a negative radius) and of the meshes draw.
//
// A missing effect, picture or mesh draws nothing and the rest of the frame
// goes on; the scene targets are always given back to the back buffer.
#include "tower/cube_tower.h"

#include <cmath>

#include "app/device.h"
#include "data/asset_cache.h"
#include "data/mesh_record.h"
#include "data/resource_ids.h"
#include "data/texture.h"
#include "fx2d/draw2d.h"
#include "platform/fx/effect.h"
#include "platform/mesh/mesh.h"
#include "render/camera.h"
#include "render/post_process.h"
#include "render/scene_renderer.h"

using namespace plat::gfx;

namespace {

// White with alpha 0: the chains tell geometry (alpha 1) from background.
constexpr uint32_t kSceneClear = 0x00FFFFFF;
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;

// Ambient occlusion over the tower's three targets, then its combine.
constexpr uint32_t kAmbientOcclusionChain[] = {kSsaoEffectId, kSsaoCombineEffectId};
// Quarter-size down-filter, bright pass, vertical and horizontal blur, and
// the 4x combine back to full size.
constexpr uint32_t kBloomChain[] = {kColorDownFilter4EffectId, kColorBrightPassEffectId, kColorBlurVEffectId,
                                    kColorBlurHEffectId, kColorCombine4EffectId};

constexpr float kModelScale = 0.005f;
// The mesh's sway, radians: tilt pi/10 about X and Z, turn pi +- pi/5
// about Y (it faces the camera around a half turn).
constexpr float kModelTilt = 0.31415927f;
constexpr float kModelFacing = 3.1415926f;
constexpr float kModelTurn = 0.62831855f;

// The sharp mesh image goes over a rectangle 64 units larger to the top
// and left than the 1024 x 768 design space (fixed numbers, not the screen
// size): the picture grows by 1/16 and 1/12 towards the top-left.
constexpr float kOverlayOffset = -64.0f;
constexpr float kOverlayWidth = 1024.0f + 64.0f;
constexpr float kOverlayHeight = 768.0f + 64.0f;

bool IsOn(float parameter) { return parameter == 1.0f; }

// Eye and focus from the parameters, up the world's Y.
void PlaceCamera(CCamera* camera) {
    camera->SetPosition(CCubeTower::s_Params.vCamPos);
    camera->SetFocus(CCubeTower::s_Params.vCamFocus, g_vUnitY);
}

// Towards the light, world space: (0, 0, 1) turned about Y, then about X.
CVector3 LightDirection() {
    CVector3 light;
    light.RotateY(g_vUnitZ, CCubeTower::s_Params.fLightRotY);
    light.RotateX(light, CCubeTower::s_Params.fLightRotX);
    return light;
}

// The matrices and the focal plane length, common to both halves, in the
// order the scene effect receives them.
void SetTransforms(plat::fx::Effect* effect, const CCamera& camera, const CMatrix& model) {
    CMatrix model_view;
    MatrixMultiply(model_view, model, camera.GetViewMatrix());
    effect->SetMatrix("g_mProj", camera.GetProjMatrix().Data());
    effect->SetMatrix("g_mModel", model.Data());
    effect->SetMatrix("g_mModelView", model_view.Data());
    effect->SetFloat("g_fFocalPlaneLength", camera.GetFocalPlaneLength());
}

void SetAmbient(plat::fx::Effect* effect, float brightness) {
    const CVector4 ambient(brightness, brightness, brightness, 1.0f);
    effect->SetFloatArray("g_vAmbientColor", ambient.Data(), 4);
}

template <size_t N>
void RunChain(const uint32_t (&links)[N]) {
    BeginPostProcess();
    for (uint32_t id : links) RunPostProcess(GetEffect(id));
    PresentPostProcess();
}

}  // namespace

void CCubeTower::Render() {
    // Tower first: the mesh's bloom lands over it.
    if (IsOn(s_Params.fRenderTower)) RenderTower();
    if (IsOn(s_Params.fRenderModels)) RenderModel();
}

void CCubeTower::RenderTower() {
    CCamera* camera = GetCurrentCamera();
    plat::fx::Effect* effect = GetEffect(kSceneEffectId);
    Device* d = GetDevice();
    if (!camera || !d) return;
    PlaceCamera(camera);

    const bool ambient_occlusion = IsOn(s_Params.fPostProcess);
    if (ambient_occlusion) BeginSceneTargets(kSceneClear);

    // The picture at its own size over opaque white, so its transparent
    // parts show white; its lower quarter hangs below the screen.
    const CTexture* background = GetTexture(kBackLogoPictureId);
    const CVector2 size = background ? background->GetSize() : CVector2(0.0f, 0.0f);
    DrawRect(CVector2(0.0f, 0.0f), size, kOpaqueWhite);
    DrawTexture(background, CVector2(0.0f, 0.0f), size, kOpaqueWhite);

    d->SetRenderState(RS::ZEnable, 1);
    d->SetRenderState(RS::ZWriteEnable, 1);
    d->SetRenderState(RS::AlphaBlendEnable, 1);
    d->SetRenderState(RS::AlphaTestEnable, 1);
    d->SetVertexDeclaration(GetVertexDecl(VD_PosNorm));

    // The spin about the world's Y axis, d5 radians per second.
    CMatrix spin, model;
    spin.RotationY(m_fTime * s_Shape[5]);
    MatrixMultiply(model, g_mIdentity, spin);
    const CVector3 light = LightDirection();

    if (effect) {
        SetTransforms(effect, *camera, model);
        effect->SetTechnique(ambient_occlusion ? "RenderSceneMultiPasses" : "RenderSceneColorPass");
        SetAmbient(effect, s_Params.fTowerBrightness);
        effect->SetFloatArray("g_vLightDir", light.Data(), 3);

        // Three passes into colour, normal and position, or one colour pass.
        plat::fx::RunPasses(
            effect, [&](unsigned i) { if (ambient_occlusion) BindSceneTarget(i); },
            [&](unsigned) { d->DrawPrimitiveUP(PrimType::TriangleList, kTowerTriangles, m_Vertices, sizeof(TowerVertex)); });
    }

    if (ambient_occlusion) {
        RestoreBackBuffer();
        RunChain(kAmbientOcclusionChain);
    }
}

void CCubeTower::RenderModel() {
    CCamera* camera = GetCurrentCamera();
    plat::fx::Effect* effect = GetEffect(kSceneEffectId);
    Device* d = GetDevice();
    if (!camera || !d) return;
    PlaceCamera(camera);

    // The alpha test is off for the mesh's own pass only; it comes back on
    // before the bloom chain.
    d->SetRenderState(RS::ZEnable, 1);
    d->SetRenderState(RS::ZWriteEnable, 1);
    d->SetRenderState(RS::AlphaBlendEnable, 1);
    d->SetRenderState(RS::AlphaTestEnable, 0);
    d->SetVertexDeclaration(GetVertexDecl(VD_PosNorm));

    // Always scene target 0, whatever post_process says; this clears depth
    // too, so the tower never hides the mesh.
    BeginSceneTargets(kSceneClear);

    // Scaled to scene size, swaying, facing the camera; the translation row
    // is set, not multiplied, and the last turn comes after it, so
    // logo_rot_y swings the mesh around the tower's axis.
    const float t = m_fTime;
    const float tilt = kModelTilt * std::sin(0.4f * t);
    CMatrix model, turn;
    model.Scaling(kModelScale, kModelScale, kModelScale);
    MatrixMultiply(model, model, turn.RotationX(tilt));
    MatrixMultiply(model, model, turn.RotationY(kModelFacing + kModelTurn * std::sin(0.6f * t)));
    MatrixMultiply(model, model, turn.RotationZ(tilt));
    model.SetTranslation(m_vModelPos);
    MatrixMultiply(model, model, turn.RotationY(t * s_Params.fLogoRotY));
    const CVector3 light = LightDirection();

    if (effect) {
        SetTransforms(effect, *camera, model);
        SetAmbient(effect, s_Params.fLogoBrightness);
        effect->SetFloatArray("g_vLightDir", light.Data(), 3);
        effect->SetTechnique("RenderSceneColorPass");

        // Every subset shaded by the scene effect alone: the meshes' own
        // materials are not applied.
        CMesh* mesh = GetMesh(s_ModelIds[m_nModel]);
        plat::fx::RunPasses(effect, [&](unsigned) {
            if (mesh && mesh->m_pMesh) {
                for (uint32_t k = 0; k < mesh->m_nMaterials; ++k) mesh->m_pMesh->DrawSubset(k);
            }
        });
    }

    // Back on for the chain and whatever draws after: the chain's passes
    // and the present step rely on it to drop pixels of alpha 0.
    d->SetRenderState(RS::AlphaTestEnable, 1);

    RestoreBackBuffer();
    RunChain(kBloomChain);

    // The sharp mesh over its glow; the target's alpha 0 background drops
    // out under the alpha test.
    DrawTexture(GetSceneColorTarget(), CVector2(kOverlayOffset, kOverlayOffset),
                CVector2(kOverlayWidth, kOverlayHeight), kOpaqueWhite);
}
