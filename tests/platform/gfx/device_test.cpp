// Direct3D 9's rules, checked on the real device (Mesa llvmpipe headless).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/support/gfx_test_util.h"

using namespace plat::gfx;
using namespace gfxtest;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;

class GfxDevice : public ::testing::Test {
protected:
    void SetUp() override {
        d = SharedDevice();
        ASSERT_NE(d, nullptr);
        ResetStates(d);
        errors_before = d->GlErrorCount();
        ASSERT_TRUE(d->BeginScene());
    }
    void TearDown() override {
        if (!d) return;
        d->EndScene();
        ResetStates(d);
        EXPECT_EQ(d->GlErrorCount(), errors_before) << "GL errors during the test";
    }
    Texture* MakeTexture(uint32_t w, uint32_t h, const std::vector<uint8_t>& rgba, Format f = Format::A8R8G8B8) {
        Texture* t = d->CreateTexture(w, h, 1, USAGE_NONE, f);
        EXPECT_NE(t, nullptr);
        if (t) {
            EXPECT_TRUE(t->Upload(0, rgba.data()));
        }
        return t;
    }
    Device* d = nullptr;
    uint32_t errors_before = 0;
};

TEST_F(GfxDevice, PreTransformedQuadCopiesTexelsOneToOne) {
    // A texture the size of the screen with a random texel everywhere: any
    // half-pixel error under linear filtering blends neighbours and shows.
    const uint32_t w = 1024, h = 768;
    std::vector<uint8_t> rgba(w * h * 4);
    std::mt19937 rng(7);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(rng());
    Texture* t = MakeTexture(w, h, rgba, Format::X8R8G8B8);
    d->SetTexture(0, t);
    d->SetPixelShader(TexturePixelShader());
    DrawQuad(d, Quad(-0.5f, -0.5f, w - 0.5f, h - 0.5f, kWhite));
    auto px = ReadBack(d);
    int mismatches = 0;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* want = &rgba[(y * w + x) * 4];
            Rgb got = PixelAt(px, static_cast<int>(x), static_cast<int>(y));
            if (got != Rgb{want[0], want[1], want[2]} && ++mismatches < 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << " differs from its texel";
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    t->Release();
}

TEST_F(GfxDevice, QuadEdgesCoverThePixelsDirect3DWould) {
    d->Clear(CLEAR_TARGET, 0xFF000000, 0.f);
    d->SetPixelShader(ColorPixelShader());
    // Edges at .5: pixel centres are integers, so 10.5..30.5 covers 11..30.
    DrawQuad(d, Quad(10.5f, 20.5f, 30.5f, 40.5f, 0xFFFF0000));
    // Edges on integers: centres on the edge follow the top-left rule, so
    // 100..120 covers 100..119.
    DrawQuad(d, Quad(100.f, 200.f, 120.f, 220.f, 0xFF00FF00));
    auto px = ReadBack(d);
    auto covered = [&](int x, int y, Rgb c) { return PixelAt(px, x, y) == c; };
    const Rgb red{255, 0, 0}, green{0, 255, 0};
    for (int y = 15; y < 46; ++y) {
        for (int x = 5; x < 36; ++x) {
            bool inside = x >= 11 && x <= 30 && y >= 21 && y <= 40;
            ASSERT_EQ(covered(x, y, red), inside) << x << "," << y;
        }
    }
    for (int y = 195; y < 225; ++y) {
        for (int x = 95; x < 125; ++x) {
            bool inside = x >= 100 && x <= 119 && y >= 200 && y <= 219;
            ASSERT_EQ(covered(x, y, green), inside) << x << "," << y;
        }
    }
}

TEST_F(GfxDevice, AlphaTestDropsTransparentPixelsAndBlendingWritesAlpha) {
    d->Clear(CLEAR_TARGET, kWhite, 0.f);
    d->SetPixelShader(ColorPixelShader());
    d->SetRenderState(RS::AlphaTestEnable, 1);
    d->SetRenderState(RS::AlphaRef, 1);
    d->SetRenderState(RS::AlphaFunc, CMP_GREATEREQUAL);
    // Blending ONE/ZERO would overwrite: only the alpha test can keep white.
    DrawQuad(d, Quad(0, 0, 64, 64, 0x00000000));
    DrawQuad(d, Quad(64, 0, 128, 64, 0x01000000));
    // The same shader with the test off (drawn by its variant without the
    // discard) and on again.
    d->SetRenderState(RS::AlphaTestEnable, 0);
    DrawQuad(d, Quad(128, 0, 192, 64, 0x00000000));
    d->SetRenderState(RS::AlphaTestEnable, 1);
    DrawQuad(d, Quad(192, 0, 256, 64, 0x00000000));
    auto px = ReadBack(d);
    EXPECT_EQ(PixelAt(px, 10, 10), (Rgb{255, 255, 255}));
    EXPECT_EQ(PixelAt(px, 70, 10), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(px, 140, 10), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(px, 200, 10), (Rgb{255, 255, 255}));

    // Source alpha / inverse source alpha, on a float target so alpha reads back.
    Texture* t = d->CreateTexture(64, 64, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
    ASSERT_NE(t, nullptr);
    Surface* s = nullptr;
    ASSERT_TRUE(t->GetSurfaceLevel(0, &s));
    d->SetRenderTarget(0, s);
    d->Clear(CLEAR_TARGET, 0xFF0000FF, 0.f);
    d->SetRenderState(RS::AlphaBlendEnable, 1);
    d->SetRenderState(RS::SrcBlend, BLEND_SRCALPHA);
    d->SetRenderState(RS::DestBlend, BLEND_INVSRCALPHA);
    DrawQuad(d, Quad(-0.5f, -0.5f, 63.5f, 63.5f, 0x80FF0000));
    std::vector<float> f;
    ASSERT_TRUE(d->ReadSurface(s, f));
    const float a = 128.f / 255.f;
    EXPECT_NEAR(f[0], a, 2e-3);                 // red: a * 1 + (1 - a) * 0
    EXPECT_NEAR(f[2], 1.f - a, 2e-3);           // blue: a * 0 + (1 - a) * 1
    EXPECT_NEAR(f[3], a * a + (1.f - a), 2e-3); // alpha blends with the same factors
    d->SetRenderTarget(0, d->BackBuffer());
    s->Release();
    t->Release();
}

TEST_F(GfxDevice, FloatTargetKeepsValuesOutsideZeroToOne) {
    Texture* t = d->CreateTexture(32, 32, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
    ASSERT_NE(t, nullptr);
    Surface* s = nullptr;
    ASSERT_TRUE(t->GetSurfaceLevel(0, &s));
    d->SetRenderTarget(0, s);
    Shader* ps = ConstantPixelShader();
    const float value[4] = {2.5f, -1.5f, 100.f, -0.25f};
    ASSERT_TRUE(ps->SetFloats("u_value", value, 4));
    d->SetPixelShader(ps);
    DrawQuad(d, Quad(-0.5f, -0.5f, 31.5f, 31.5f, kWhite));
    std::vector<float> f;
    ASSERT_TRUE(d->ReadSurface(s, f));
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(f[(16 * 32 + 16) * 4 + i], value[i]);
    d->SetRenderTarget(0, d->BackBuffer());
    s->Release();
    t->Release();
}

TEST_F(GfxDevice, DepthBufferIsSharedAndClearedWithWritesOff) {
    Texture* t = d->CreateTexture(1024, 768, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
    ASSERT_NE(t, nullptr);
    Surface* s = nullptr;
    ASSERT_TRUE(t->GetSurfaceLevel(0, &s));
    d->SetRenderState(RS::ZEnable, 1);
    d->SetRenderState(RS::ZWriteEnable, 0);
    d->SetRenderTarget(0, s);
    d->Clear(CLEAR_ZBUFFER, 0, 0.5f);  // through the target, with writes off
    d->SetRenderTarget(0, d->BackBuffer());
    d->Clear(CLEAR_TARGET, 0xFF000000, 0.f);
    d->SetPixelShader(ColorPixelShader());
    auto far_quad = Quad(0, 0, 100, 100, 0xFFFF0000);
    for (auto& v : far_quad) v.z = 0.7f;
    auto near_quad = Quad(200, 0, 300, 100, 0xFF00FF00);
    for (auto& v : near_quad) v.z = 0.3f;
    DrawQuad(d, far_quad);
    DrawQuad(d, near_quad);
    auto px = ReadBack(d);
    EXPECT_EQ(PixelAt(px, 50, 50), (Rgb{0, 0, 0})) << "depth 0.5 from the clear must hide z 0.7";
    EXPECT_EQ(PixelAt(px, 250, 50), (Rgb{0, 255, 0}));
    s->Release();
    t->Release();
}

TEST_F(GfxDevice, CullClockwiseRemovesClockwiseTrianglesOnScreen) {
    d->SetPixelShader(ColorPixelShader());
    d->SetVertexDeclaration(PreTransformedDecl());
    // (10,10) -> (50,10) -> (10,50) turns clockwise on a screen whose y grows down.
    const TVertex cw[3] = {{10, 10, 0, 1, 0xFFFF0000, 0, 0}, {50, 10, 0, 1, 0xFFFF0000, 0, 0},
                           {10, 50, 0, 1, 0xFFFF0000, 0, 0}};
    const TVertex ccw[3] = {{110, 10, 0, 1, 0xFF00FF00, 0, 0}, {110, 50, 0, 1, 0xFF00FF00, 0, 0},
                            {150, 10, 0, 1, 0xFF00FF00, 0, 0}};
    // The same two triangles in clip space, through a vertex stage.
    auto clip = [](float x, float y) { return CVertex{x / 512.f - 1.f, 1.f - y / 384.f, 0.5f, 0xFF0000FF}; };
    const CVertex cw_clip[3] = {clip(210, 10), clip(250, 10), clip(210, 50)};
    const CVertex ccw_clip[3] = {clip(310, 10), clip(310, 50), clip(350, 10)};

    for (uint32_t mode : {CULL_CW, CULL_CCW}) {
        d->Clear(CLEAR_TARGET, 0xFF000000, 0.f);
        d->SetRenderState(RS::CullMode, mode);
        d->SetVertexDeclaration(PreTransformedDecl());
        d->DrawPrimitiveUP(PrimType::TriangleList, 1, cw, sizeof(TVertex));
        d->DrawPrimitiveUP(PrimType::TriangleList, 1, ccw, sizeof(TVertex));
        d->SetVertexDeclaration(ClipSpaceDecl());
        d->SetVertexShader(ClipVertexShader());
        d->DrawPrimitiveUP(PrimType::TriangleList, 1, cw_clip, sizeof(CVertex));
        d->DrawPrimitiveUP(PrimType::TriangleList, 1, ccw_clip, sizeof(CVertex));
        auto px = ReadBack(d);
        const bool cw_drawn = mode == CULL_CCW;
        EXPECT_EQ(PixelAt(px, 15, 15) == (Rgb{255, 0, 0}), cw_drawn) << "mode " << mode;
        EXPECT_EQ(PixelAt(px, 115, 15) == (Rgb{0, 255, 0}), !cw_drawn) << "mode " << mode;
        EXPECT_EQ(PixelAt(px, 215, 15) == (Rgb{0, 0, 255}), cw_drawn) << "clip space, mode " << mode;
        EXPECT_EQ(PixelAt(px, 315, 15) == (Rgb{0, 0, 255}), !cw_drawn) << "clip space, mode " << mode;
    }
}

TEST_F(GfxDevice, BindingATargetResetsTheViewport) {
    Texture* t = d->CreateTexture(64, 32, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
    ASSERT_NE(t, nullptr);
    Surface* s = nullptr;
    ASSERT_TRUE(t->GetSurfaceLevel(0, &s));
    d->SetPixelShader(ColorPixelShader());
    d->SetVertexShader(ClipVertexShader());
    d->SetVertexDeclaration(ClipSpaceDecl());
    const CVertex full[4] = {{-1, 1, 0.5f, 0xFFFF0000}, {1, 1, 0.5f, 0xFFFF0000}, {-1, -1, 0.5f, 0xFFFF0000},
                             {1, -1, 0.5f, 0xFFFF0000}};
    d->SetRenderTarget(0, s);
    d->Clear(CLEAR_TARGET, 0, 0.f);
    d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, full, sizeof(CVertex));
    std::vector<float> f;
    ASSERT_TRUE(d->ReadSurface(s, f));
    EXPECT_FLOAT_EQ(f[(31 * 64 + 63) * 4], 1.f) << "the whole small target is covered";

    d->SetRenderTarget(0, d->BackBuffer());
    d->Clear(CLEAR_TARGET, 0xFF000000, 0.f);
    d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, full, sizeof(CVertex));
    auto px = ReadBack(d);
    EXPECT_EQ(PixelAt(px, 1023, 767), (Rgb{255, 0, 0})) << "the back buffer's viewport is whole again";
    s->Release();
    t->Release();
}

TEST_F(GfxDevice, TextureCoordinateZeroIsTheTopRowForTexturesAndTargets) {
    // Uploaded: top row red, every other row blue.
    std::vector<uint8_t> rgba(8 * 8 * 4);
    for (int i = 0; i < 64; ++i) {
        bool top = i < 8;
        rgba[i * 4 + 0] = top ? 255 : 0;
        rgba[i * 4 + 2] = top ? 0 : 255;
        rgba[i * 4 + 3] = 255;
    }
    Texture* tex = MakeTexture(8, 8, rgba);
    d->SetSamplerState(0, SS::MinFilter, TEXF_POINT);
    d->SetSamplerState(0, SS::MagFilter, TEXF_POINT);
    d->SetPixelShader(TexturePixelShader());
    d->SetTexture(0, tex);
    d->Clear(CLEAR_TARGET, 0xFF000000, 0.f);
    DrawQuad(d, Quad(-0.5f, -0.5f, 63.5f, 63.5f, kWhite));
    auto px = ReadBack(d);
    EXPECT_EQ(PixelAt(px, 30, 2), (Rgb{255, 0, 0}));
    EXPECT_EQ(PixelAt(px, 30, 60), (Rgb{0, 0, 255}));

    // Rendered: draw green into the target's top rows, then show the target.
    Texture* rt = d->CreateTexture(64, 64, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
    ASSERT_NE(rt, nullptr);
    Surface* s = nullptr;
    ASSERT_TRUE(rt->GetSurfaceLevel(0, &s));
    d->SetRenderTarget(0, s);
    d->Clear(CLEAR_TARGET, 0xFF0000FF, 0.f);
    d->SetPixelShader(ColorPixelShader());
    DrawQuad(d, Quad(-0.5f, -0.5f, 63.5f, 7.5f, 0xFF00FF00));
    d->SetRenderTarget(0, d->BackBuffer());
    d->SetPixelShader(TexturePixelShader());
    d->SetTexture(0, rt);
    DrawQuad(d, Quad(99.5f, -0.5f, 163.5f, 63.5f, kWhite));
    px = ReadBack(d);
    EXPECT_EQ(PixelAt(px, 130, 2), (Rgb{0, 255, 0}));
    EXPECT_EQ(PixelAt(px, 130, 60), (Rgb{0, 0, 255}));
    s->Release();
    rt->Release();
    tex->Release();
}

TEST_F(GfxDevice, RenderTargetReferencesBalance) {
    Surface* back = d->BackBuffer();
    const uint32_t refs = back->RefCount();
    Texture* t = d->CreateTexture(16, 16, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
    ASSERT_NE(t, nullptr);
    Surface* s = nullptr;
    ASSERT_TRUE(t->GetSurfaceLevel(0, &s));
    Surface* saved = nullptr;
    ASSERT_TRUE(d->GetRenderTarget(0, &saved));
    EXPECT_EQ(saved, back);
    d->SetRenderTarget(0, s);
    d->SetRenderTarget(0, saved);
    saved->Release();
    EXPECT_EQ(back->RefCount(), refs);
    // The texture stays alive while its surface is held, and goes with it.
    EXPECT_EQ(t->Release(), 1u);
    EXPECT_EQ(s->Release(), 0u);
    EXPECT_FALSE(d->SetRenderTarget(0, nullptr)) << "target 0 can never be empty";
}

}  // namespace
