// The scene renderer on the real device: the target plan, the bind and
// restore protocol with its reference counts, the depth left behind, and
// Scene.fx writing colour, normal and position through its three passes.
#include "render/scene_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/device.h"
#include "data/texture.h"
#include "platform/fx/effect.h"
#include "platform/os/log.h"
#include "render/math.h"
#include "tests/support/show_test_util.h"

using namespace plat::gfx;
using namespace showtest;

namespace {

constexpr int kW = 1024, kH = 768;

struct Texel {
    float r, g, b, a;
};

std::vector<float> ReadTarget(const CTexture* t) {
    std::vector<float> rgba;
    EXPECT_TRUE(t && t->m_pSurface && ShowDevice()->ReadSurface(t->m_pSurface, rgba));
    if (rgba.size() != size_t{kW} * kH * 4) rgba.assign(size_t{kW} * kH * 4, -1.f);
    return rgba;
}

Texel At(const std::vector<float>& rgba, int x, int y) {
    const size_t i = (static_cast<size_t>(y) * kW + static_cast<size_t>(x)) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
}

Surface* CurrentTarget() {
    Surface* s = nullptr;
    ShowDevice()->GetRenderTarget(0, &s);
    if (s) s->Release();  // the test only compares the pointer
    return s;
}

class SceneRenderer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ShowDevice(), nullptr);
        errors_before = ShowDevice()->GlErrorCount();
        InitSceneRenderer();
        BeginFrame(0xFF000000);
    }
    void TearDown() override {
        EndFrame();
        ReleaseSceneRenderer();
        if (ShowDevice()) {
            EXPECT_EQ(ShowDevice()->GlErrorCount(), errors_before) << "GL errors during the test";
        }
    }
    uint32_t errors_before = 0;
};

TEST_F(SceneRenderer, InitMakesThreeSceneAndTwoPostTargetsOfScreenSizeAndReleaseEmptiesThem) {
    ASSERT_NE(GetSceneEffect(), nullptr) << "Scene.fx (106) did not compile";
    ASSERT_NE(GetScreenQuadDecl(), nullptr);
    EXPECT_EQ(GetSceneColorTarget(), GetSceneTarget(0));
    std::vector<const CTexture*> all = {GetSceneTarget(0), GetSceneTarget(1), GetSceneTarget(2), GetPostTarget(0),
                                        GetPostTarget(1)};
    for (size_t i = 0; i < all.size(); ++i) {
        ASSERT_NE(all[i], nullptr) << i;
        ASSERT_NE(all[i]->m_pSurface, nullptr) << i;
        EXPECT_EQ(all[i]->m_nWidth, 1024u) << i;
        EXPECT_EQ(all[i]->m_nHeight, 768u) << i;
        EXPECT_EQ(all[i]->m_pSurface->Desc().format, Format::A16B16G16R16F) << i;
        for (size_t j = 0; j < i; ++j) EXPECT_NE(all[i], all[j]);
    }
    EXPECT_EQ(GetSceneTarget(3), nullptr);
    EXPECT_EQ(GetPostTarget(2), nullptr);

    ReleaseSceneRenderer();
    EXPECT_EQ(GetSceneColorTarget(), nullptr);
    // The effect is made on first use only while the renderer is set up.
    PrepareSceneEffect();
    EXPECT_EQ(GetPostTarget(1), nullptr);
    EXPECT_EQ(GetSceneEffect(), nullptr);
    EXPECT_EQ(GetScreenQuadDecl(), nullptr);
    ReleaseSceneRenderer();  // twice is harmless
    // With nothing made, the protocol does nothing rather than unbind target 0.
    BeginSceneTargets(0x00FFFFFF);
    BindSceneTarget(1);
    EXPECT_EQ(CurrentTarget(), ShowDevice()->BackBuffer());
    RestoreBackBuffer();
    EXPECT_EQ(CurrentTarget(), ShowDevice()->BackBuffer());

    // A fractional screen size truncates.
    const float w = g_fScreenWidth, h = g_fScreenHeight;
    g_fScreenWidth = 1024.7f;
    g_fScreenHeight = 768.2f;
    InitSceneRenderer();
    g_fScreenWidth = w;
    g_fScreenHeight = h;
    ASSERT_NE(GetPostTarget(1), nullptr);
    EXPECT_EQ(GetPostTarget(1)->m_nWidth, 1024u);
    EXPECT_EQ(GetSceneTarget(2)->m_nHeight, 768u);
}

TEST_F(SceneRenderer, BeginThenRestoreLeavesTargetsClearedDepthAtOneAndTheBackBufferBound) {
    Device* d = ShowDevice();
    Surface* back = d->BackBuffer();
    const uint32_t refs = back->RefCount();
    // Leave something in the targets and in depth that the clear must remove.
    for (unsigned i = 0; i < 3; ++i) {
        BindSceneTarget(i);
        ClearColor(0xFF123456);
    }
    d->SetRenderTarget(0, back);
    ClearDepth(0.25f);

    BeginSceneTargets(0x00FFFFFF);
    EXPECT_EQ(CurrentTarget(), GetSceneTarget(0)->m_pSurface) << "the colour target is left bound";
    BindSceneTarget(2);
    EXPECT_EQ(CurrentTarget(), GetSceneTarget(2)->m_pSurface);
    BindSceneTarget(7);  // out of range: nothing changes
    EXPECT_EQ(CurrentTarget(), GetSceneTarget(2)->m_pSurface);
    RestoreBackBuffer();
    EXPECT_EQ(CurrentTarget(), back);
    EXPECT_EQ(back->RefCount(), refs);
    RestoreBackBuffer();  // nothing saved: nothing happens
    EXPECT_EQ(back->RefCount(), refs);

    // White with alpha 0 everywhere, in all three: the position target's z
    // of 1 is what the filters take for background.
    for (unsigned i = 0; i < 3; ++i) {
        const std::vector<float> t = ReadTarget(GetSceneTarget(i));
        int wrong = 0;
        for (size_t k = 0; k < t.size(); k += 4) wrong += !(t[k] == 1.f && t[k + 1] == 1.f && t[k + 2] == 1.f && t[k + 3] == 0.f);
        EXPECT_EQ(wrong, 0) << "target " << i;
    }

    // Depth is 1 again: a quad at depth 0.9 passes a less-or-equal test
    // everywhere, where the 0.25 left before would have stopped it.
    const char* src = R"(
        float4 Green() : COLOR0 { return float4(0, 1, 0, 1); }
        technique T { pass p0 { VertexShader = null; PixelShader = compile ps_2_0 Green();
                                ZEnable = true; ZFunc = LESSEQUAL; } })";
    std::string log;
    plat::fx::Effect* green = plat::fx::Effect::Create(d, src, "green.fx", &log);
    ASSERT_NE(green, nullptr) << log;
    const ScreenQuadVertex quad[4] = {{-0.5f, -0.5f, 0.9f, 1.f, 0, 0, 0, 0},
                                      {1023.5f, -0.5f, 0.9f, 1.f, 1, 0, 1, 0},
                                      {-0.5f, 767.5f, 0.9f, 1.f, 0, 1, 0, 1},
                                      {1023.5f, 767.5f, 0.9f, 1.f, 1, 1, 1, 1}};
    d->SetRenderState(RS::CullMode, CULL_NONE);
    d->SetVertexDeclaration(GetScreenQuadDecl());
    green->SetTechnique("T");
    unsigned passes = 0;
    green->Begin(&passes, 0);
    green->BeginPass(0);
    d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, quad, sizeof(ScreenQuadVertex));
    green->EndPass();
    green->End();
    green->Release();
    EndFrame();
    const Frame f = ReadFrame();
    BeginFrame(0xFF000000);
    EXPECT_EQ(f.CountNot(0, 0, 1024, 768, Rgb{0, 255, 0}), 0);
}

// One quad through the three passes, as the tower draws with post-processing
// on: model and model-view are set apart on purpose, so a normal turned by
// the wrong matrix, or a position not scaled by the focal length, shows.
TEST_F(SceneRenderer, MultiPassTechniqueWritesLitColourWorldNormalAndScaledViewPosition) {
    Device* d = ShowDevice();
    plat::fx::Effect* scene = GetSceneEffect();
    ASSERT_NE(scene, nullptr);
    ASSERT_NE(GetVertexDecl(VD_PosNorm), nullptr);

    CMatrix model;
    model.RotationY(1.5707963f);  // takes the quad's +z normal to -x
    CMatrix model_view = g_mIdentity;
    model_view.SetTranslation(CVector3(0.f, 0.f, -5.f));
    // Orthographic: x / 4, y / 3, depth 0.4 at view z = -5.
    const CMatrix proj(0.25f, 0, 0, 0,  //
                       0, 1.f / 3.f, 0, 0,  //
                       0, 0, -0.1f, 0,  //
                       0, 0, -0.1f, 1);
    struct PosNorm {
        float x, y, z, nx, ny, nz;
    };
    // Half the screen in each direction: pixels 256..767 by 192..575.
    const PosNorm quad[4] = {{-2.f, 1.5f, 0.f, 0, 0, 1},
                             {2.f, 1.5f, 0.f, 0, 0, 1},
                             {-2.f, -1.5f, 0.f, 0, 0, 1},
                             {2.f, -1.5f, 0.f, 0, 0, 1}};

    BeginSceneTargets(0x00FFFFFF);
    d->SetRenderState(RS::ZEnable, 1);
    d->SetRenderState(RS::ZWriteEnable, 1);
    d->SetRenderState(RS::AlphaBlendEnable, 1);
    d->SetRenderState(RS::CullMode, CULL_NONE);
    d->SetVertexDeclaration(GetVertexDecl(VD_PosNorm));
    scene->SetMatrix("g_mProj", proj.Data());
    scene->SetMatrix("g_mModel", model.Data());
    scene->SetMatrix("g_mModelView", model_view.Data());
    scene->SetFloat("g_fFocalPlaneLength", 10.f);
    ASSERT_TRUE(scene->SetTechnique("RenderSceneMultiPasses"));
    unsigned passes = 0;
    ASSERT_TRUE(scene->Begin(&passes, 0));
    ASSERT_EQ(passes, 3u);
    for (unsigned i = 0; i < passes; ++i) {
        BindSceneTarget(i);
        scene->BeginPass(i);
        d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, quad, sizeof(PosNorm));
        scene->EndPass();
    }
    scene->End();
    RestoreBackBuffer();

    const std::vector<float> color = ReadTarget(GetSceneTarget(0));
    const std::vector<float> normal = ReadTarget(GetSceneTarget(1));
    const std::vector<float> position = ReadTarget(GetSceneTarget(2));

    // Default light (-0.5, 0.25, 0.25) against the normal (-1, 0, 0):
    // ambient 0.3 + (diffuse 0.1 + light 0.25) * 0.8165.
    const float lit = 0.3f + 0.35f * (0.5f / std::sqrt(0.375f));
    const Texel c = At(color, 640, 288);
    EXPECT_NEAR(c.r, lit, 1e-3f);
    EXPECT_NEAR(c.b, lit, 1e-3f);
    EXPECT_EQ(c.a, 1.f);
    const Texel n = At(normal, 640, 288);
    EXPECT_NEAR(n.r, -1.f, 1e-3f);
    EXPECT_NEAR(n.g, 0.f, 1e-3f);
    EXPECT_NEAR(n.b, 0.f, 1e-3f);
    EXPECT_EQ(n.a, 1.f);
    // Pixel (640, 288) has its centre at clip (0.25, 0.25): view (1, 0.75),
    // and view z -5 over a focal length of 10.
    const Texel p = At(position, 640, 288);
    EXPECT_NEAR(p.r, 1.f, 2e-3f);
    EXPECT_NEAR(p.g, 0.75f, 2e-3f);
    EXPECT_NEAR(p.b, -0.5f, 1e-3f);
    EXPECT_EQ(p.a, 1.f);
    // The quad's edges: pixels 256..767 by 192..575, the clear outside.
    EXPECT_EQ(At(position, 256, 192).a, 1.f);
    EXPECT_EQ(At(position, 767, 575).a, 1.f);
    for (auto [x, y] : {std::pair{255, 300}, {768, 300}, {400, 191}, {400, 576}}) {
        const Texel bg = At(position, x, y);
        EXPECT_TRUE(bg.r == 1.f && bg.b == 1.f && bg.a == 0.f) << x << "," << y;
        EXPECT_EQ(At(color, x, y).a, 0.f) << x << "," << y;
    }
}

}  // namespace

TEST_F(SceneRenderer, SceneEffectIsCompiledOnceAtItsFirstUseAndAgainAfterANewInit) {
    const size_t lines = plat::LogLines().size();
    plat::fx::Effect* first = GetSceneEffect();
    ASSERT_NE(first, nullptr);
    PrepareSceneEffect();  // made already: nothing more
    EXPECT_EQ(GetSceneEffect(), first);
    EXPECT_EQ(plat::LogLines().size(), lines);
    // A new set-up drops the copy and makes its own at the next use.
    InitSceneRenderer();
    PrepareSceneEffect();
    EXPECT_NE(GetSceneEffect(), nullptr);
}
