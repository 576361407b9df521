#include "render/scene_renderer.h"

#include "app/device.h"
#include "data/creators.h"
#include "data/resource_ids.h"
#include "data/texture.h"
#include "platform/fx/effect.h"

using namespace plat::gfx;

namespace {

constexpr unsigned kSceneTargets = 3;  // colour, normal, position
constexpr unsigned kPostTargets = 2;   // ping-pong

// ScreenQuadVertex as the device reads it; offsets in bytes.
constexpr VertexElement kScreenQuadElements[] = {
    {0, DeclType::Float4, DeclUsage::PositionT, 0},
    {16, DeclType::Float2, DeclUsage::TexCoord, 0},
    {24, DeclType::Float2, DeclUsage::TexCoord, 1},
};

struct SceneRendererState {
    bool initialised = false;
    bool effect_tried = false;   // compiled (or failed) since InitSceneRenderer
    bool targets_tried = false;  // made (or failed) since InitSceneRenderer
    plat::fx::Effect* effect = nullptr;
    CTexture* scene[kSceneTargets] = {};
    CTexture* post[kPostTargets] = {};
    VertexDecl* decl = nullptr;
    Surface* saved_back_buffer = nullptr;  // one reference while saved
};
SceneRendererState g_scene;

void ReleaseTarget(CTexture*& target) {
    if (!target) return;
    target->Release();
    delete target;
    target = nullptr;
}

// A record whose target could not be made has no surface; binding it would
// unbind target 0 altogether.
void Bind(const CTexture* target) {
    if (target && target->m_pSurface) BindRenderTarget(target);
}

}  // namespace

void FillFullScreenQuad(ScreenQuadVertex quad[4]) {
    const float w = g_fScreenWidth, h = g_fScreenHeight;
    auto corner = [](float x, float y, float u, float v) {
        return ScreenQuadVertex{x, y, kScreenQuadDepth, 1.f, u, v, u, v};
    };
    quad[0] = corner(-0.5f, -0.5f, 0.f, 0.f);
    quad[1] = corner(w - 0.5f, -0.5f, 1.f, 0.f);
    quad[2] = corner(-0.5f, h - 0.5f, 0.f, 1.f);
    quad[3] = corner(w - 0.5f, h - 0.5f, 1.f, 1.f);
}

ScreenQuadVertex* PostProcessQuad() {
    static ScreenQuadVertex quad[4] = {};
    return quad;
}

void InitSceneRenderer() {
    // A second init would leak the first set of targets.
    ReleaseSceneRenderer();

    FillFullScreenQuad(PostProcessQuad());

    g_scene.initialised = true;
    if (Device* d = GetDevice()) g_scene.decl = d->CreateVertexDeclaration(kScreenQuadElements);
}

void PrepareSceneTargets() {
    if (!g_scene.initialised || g_scene.targets_tried) return;
    g_scene.targets_tried = true;
    // Truncated, not rounded: a 1024.7-wide screen has 1024 whole pixels,
    // and the shared depth buffer is no bigger than the back buffer.
    const uint32_t width = static_cast<uint32_t>(g_fScreenWidth);
    const uint32_t height = static_cast<uint32_t>(g_fScreenHeight);
    // Four 16-bit floats: normals and positions need sign and range, and
    // the colour keeps its alpha for the chains' alpha test.
    for (CTexture*& t : g_scene.scene) t = CreateRenderTarget(width, height, Format::A16B16G16R16F);
    for (CTexture*& t : g_scene.post) t = CreateRenderTarget(width, height, Format::A16B16G16R16F);
}

void ReleaseSceneRenderer() {
    if (g_scene.effect) g_scene.effect->Release();
    g_scene.effect = nullptr;
    g_scene.effect_tried = false;
    g_scene.targets_tried = false;
    g_scene.initialised = false;
    if (g_scene.decl) g_scene.decl->Release();
    g_scene.decl = nullptr;
    for (CTexture*& t : g_scene.post) ReleaseTarget(t);
    for (CTexture*& t : g_scene.scene) ReleaseTarget(t);
    // A target saved and never restored would otherwise outlive the device.
    if (g_scene.saved_back_buffer) g_scene.saved_back_buffer->Release();
    g_scene.saved_back_buffer = nullptr;
}

void SaveBackBuffer() {
    Device* d = GetDevice();
    if (!d) return;
    if (g_scene.saved_back_buffer) g_scene.saved_back_buffer->Release();
    g_scene.saved_back_buffer = nullptr;
    d->GetRenderTarget(0, &g_scene.saved_back_buffer);
}

void BeginSceneTargets(uint32_t argb) {
    PrepareSceneTargets();
    SaveBackBuffer();
    // Depth is cleared with each target, so the three passes of the scene
    // start from the same empty depth buffer (the last clear is the one that
    // counts: they share it).
    for (CTexture* t : g_scene.scene) {
        if (!t || !t->m_pSurface) continue;
        Bind(t);
        ClearColor(argb);
        ClearDepth(1.0f);
    }
    Bind(g_scene.scene[0]);
}

void BindSceneTarget(unsigned index) {
    PrepareSceneTargets();
    if (index < kSceneTargets) Bind(g_scene.scene[index]);
}

void RestoreBackBuffer() {
    Device* d = GetDevice();
    if (!d || !g_scene.saved_back_buffer) return;
    d->SetRenderTarget(0, g_scene.saved_back_buffer);
    g_scene.saved_back_buffer->Release();
    g_scene.saved_back_buffer = nullptr;
}

CTexture* GetSceneColorTarget() { return GetSceneTarget(0); }

CTexture* GetSceneTarget(unsigned index) {
    PrepareSceneTargets();
    return index < kSceneTargets ? g_scene.scene[index] : nullptr;
}
CTexture* GetPostTarget(unsigned index) {
    PrepareSceneTargets();
    return index < kPostTargets ? g_scene.post[index] : nullptr;
}
VertexDecl* GetScreenQuadDecl() { return g_scene.decl; }
plat::fx::Effect* GetSceneEffect() {
    PrepareSceneEffect();
    return g_scene.effect;
}

void PrepareSceneEffect() {
    if (!g_scene.initialised || g_scene.effect_tried) return;
    g_scene.effect_tried = true;
    g_scene.effect = CreateEffectFromResource(kSceneEffectId, "Data\\Scene.fx");
}
