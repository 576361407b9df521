// The 2D layer on the real device: texel-exact pictures, the alpha test,
// corner colours, regions, rounding, scaling, the states left behind, and
// a caller's post-processing effect.
#include "fx2d/draw2d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/device.h"
#include "data/texture.h"
#include "platform/fx/effect.h"
#include "tests/support/show_test_util.h"

using namespace plat::gfx;
using namespace showtest;

namespace {

constexpr uint32_t kClear = 0xFF102030;
constexpr Rgb kClearRgb{0x10, 0x20, 0x30};

// A texture record that releases itself; texel (x, y) from `texel`, as
// 0xAARRGGBB, with a full mip chain like a loaded picture.
struct TestTexture {
    CTexture rec;
    template <typename F>
    TestTexture(uint32_t w, uint32_t h, Format format, F texel) {
        rec.m_nWidth = w;
        rec.m_nHeight = h;
        rec.m_pTexture = ShowDevice()->CreateTexture(w, h, 0, USAGE_NONE, format);
        EXPECT_NE(rec.m_pTexture, nullptr);
        if (!rec.m_pTexture) return;
        std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t c = texel(x, y);
                uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
                p[0] = static_cast<uint8_t>(c >> 16);
                p[1] = static_cast<uint8_t>(c >> 8);
                p[2] = static_cast<uint8_t>(c);
                p[3] = static_cast<uint8_t>(c >> 24);
            }
        rec.m_pTexture->Upload(0, rgba.data());
        rec.m_pTexture->GenerateMips();
    }
    ~TestTexture() { rec.Release(); }
};

// Every texel of the big picture differs from its neighbours in red or
// green, and the blue channel tells the 256-texel blocks apart, so a pixel
// showing the wrong texel, or a blend of two, cannot pass for the right one.
uint32_t Pattern(uint32_t x, uint32_t y) {
    return 0xFF000000u | (x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x >> 8) * 64 + (y >> 8) * 16 + ((x ^ y) & 15));
}
Rgb PatternRgb(int x, int y) {
    const uint32_t c = Pattern(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
    return {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)};
}

bool Near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

class Draw2D : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ShowDevice(), nullptr);
        ASSERT_NE(g_p2DEffect, nullptr) << "InitDevice made no 2D effect";
        errors_before = ShowDevice()->GlErrorCount();
        BeginFrame(kClear);
    }
    void TearDown() override {
        EndFrame();
        g_vScreenScale = CVector2(1.f, 1.f);
        if (ShowDevice()) {
            EXPECT_EQ(ShowDevice()->GlErrorCount(), errors_before) << "GL errors during the test";
        }
    }
    Frame Finish(const char* png_name = nullptr) {
        EndFrame();
        Frame f = ReadFrame();
        if (png_name) SavePng(f, png_name);
        BeginFrame(kClear);
        return f;
    }
    uint32_t errors_before = 0;
};

TEST_F(Draw2D, PictureAtItsOwnSizeShowsTexelXYAtPixelXYAndCoversTheWholeScreen) {
    TestTexture picture(1024, 1024, Format::A8R8G8B8, Pattern);
    ASSERT_EQ(picture.rec.GetSize().x, 1024.f);
    DrawTexture(&picture.rec, CVector2(0.f, 0.f), picture.rec.GetSize(), 0xFFFFFFFF);
    const Frame f = Finish("draw2d_picture");

    // Corners snap to -0.5 and 1023.5; pixel centres sit on whole numbers,
    // so the quad covers pixel centres 0..1023 and pixel n samples
    // u = (n + 0.5) / 1024: the centre of texel n. Every pixel of the
    // screen, edges included, shows its own texel and not a blend; the
    // picture runs 256 rows past the bottom edge.
    int wrong = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            if (!(f.At(x, y) == PatternRgb(x, y))) {
                if (++wrong <= 5) ADD_FAILURE() << "pixel " << x << "," << y << " " << f.At(x, y);
            }
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(f.At(0, 0), PatternRgb(0, 0));
    EXPECT_EQ(f.At(1023, 767), PatternRgb(1023, 767));

    // The same at another place: texel (0, 0) of a picture at (37, 21) is
    // pixel (37, 21), and nothing is drawn left of or above it.
    TestTexture small(16, 16, Format::A8R8G8B8, Pattern);
    DrawTexture(&small.rec, CVector2(37.f, 21.f), small.rec.GetSize(), 0xFFFFFFFF);
    const Frame g = Finish();
    EXPECT_EQ(g.At(37, 21), PatternRgb(0, 0));
    EXPECT_EQ(g.At(52, 36), PatternRgb(15, 15));
    EXPECT_EQ(g.CountNot(0, 0, 1024, 21, kClearRgb) + g.CountNot(0, 0, 37, 768, kClearRgb), 0);
    EXPECT_EQ(g.CountNot(53, 0, 1024, 768, kClearRgb) + g.CountNot(0, 37, 1024, 768, kClearRgb), 0);
}

TEST_F(Draw2D, ZeroAlphaColourAndZeroSizeDrawNothing) {
    TestTexture white(8, 8, Format::X8R8G8B8, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    DrawTexture(&white.rec, CVector2(0.f, 0.f), CVector2(1024.f, 768.f), 0x00FFFFFF);
    DrawRect(CVector2(0.f, 0.f), CVector2(1024.f, 768.f), 0x00FFFFFF);
    DrawRect(CVector2(10.f, 10.f), CVector2(0.f, 50.f), 0xFFFFFFFF);
    DrawTexture(&white.rec, CVector2(10.f, 10.f), CVector2(50.f, 0.f), 0xFFFFFFFF);
    // A failed picture is an empty record, and no record at all: nothing.
    CTexture empty;
    DrawTexture(&empty, CVector2(0.f, 0.f), CVector2(100.f, 100.f), 0xFFFFFFFF);
    DrawTexture(nullptr, CVector2(0.f, 0.f), CVector2(100.f, 100.f), 0xFFFFFFFF);
    const Frame f = Finish();
    EXPECT_EQ(f.CountNot(0, 0, 1024, 768, kClearRgb), 0);
}

TEST_F(Draw2D, GradientRectHasItsFourCornerColoursAndIsNotSnapped) {
    DrawGradientRect(CVector2(100.f, 100.f), CVector2(200.f, 100.f), 0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                     0xFFFFFFFF);
    // -0.7 is not moved to 0.5 here: the quad from -0.7 to 0.3 covers the
    // centre of pixel 0. The textured operations snap it and miss it.
    DrawRect(CVector2(-0.7f, 400.f), CVector2(1.f, 1.f), 0xFFFFFFFF);
    TestTexture white(4, 4, Format::X8R8G8B8, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    DrawTexture(&white.rec, CVector2(-0.7f, 410.f), CVector2(1.f, 1.f), 0xFFFFFFFF);
    const Frame f = Finish("draw2d_gradient");

    // One pixel in from each corner the colour has moved by under 1.5%.
    EXPECT_TRUE(Near(f.At(100, 100), Rgb{255, 0, 0}, 4)) << f.At(100, 100);
    EXPECT_TRUE(Near(f.At(299, 100), Rgb{0, 255, 0}, 4)) << f.At(299, 100);
    EXPECT_TRUE(Near(f.At(100, 199), Rgb{0, 0, 255}, 4)) << f.At(100, 199);
    EXPECT_TRUE(Near(f.At(299, 199), Rgb{255, 255, 255}, 4)) << f.At(299, 199);
    // The strip's two triangles meet on the diagonal from top right to
    // bottom left, so the centre is the mean of those two corners alone.
    EXPECT_TRUE(Near(f.At(200, 150), Rgb{0, 128, 128}, 2)) << f.At(200, 150);
    // Exactly 200 x 100 pixels.
    EXPECT_EQ(f.CountNot(99, 100, 100, 200, kClearRgb) + f.CountNot(300, 100, 301, 200, kClearRgb), 0);
    EXPECT_EQ(f.CountNot(100, 99, 300, 100, kClearRgb) + f.CountNot(100, 200, 300, 201, kClearRgb), 0);

    EXPECT_EQ(f.At(0, 400), (Rgb{255, 255, 255}));
    EXPECT_EQ(f.At(0, 410), kClearRgb);
}

TEST_F(Draw2D, TextureGradientTakesCornersBottomLeftTopLeftBottomRightTopRight) {
    TestTexture white(4, 4, Format::X8R8G8B8, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    DrawTextureGradient(&white.rec, CVector2(100.f, 100.f), CVector2(100.f, 100.f), 0xFFFF0000, 0xFF00FF00,
                        0xFF0000FF, 0xFFFFFF00);
    const Frame f = Finish();
    // Corners snap to 99.5 and 199.5: pixels 100..199.
    EXPECT_TRUE(Near(f.At(100, 199), Rgb{255, 0, 0}, 4)) << f.At(100, 199);    // bottom left
    EXPECT_TRUE(Near(f.At(100, 100), Rgb{0, 255, 0}, 4)) << f.At(100, 100);    // top left
    EXPECT_TRUE(Near(f.At(199, 199), Rgb{0, 0, 255}, 4)) << f.At(199, 199);    // bottom right
    EXPECT_TRUE(Near(f.At(199, 100), Rgb{255, 255, 0}, 4)) << f.At(199, 100);  // top right
    // This strip's diagonal runs from top left to bottom right.
    EXPECT_TRUE(Near(f.At(150, 150), Rgb{0, 128, 128}, 4)) << f.At(150, 150);
    EXPECT_EQ(f.At(99, 150), kClearRgb);
    EXPECT_EQ(f.At(200, 150), kClearRgb);
}

TEST_F(Draw2D, RegionShowsTheChosenTexelsWhereverItStarts) {
    // 64 x 32 texels, drawn from texel (24, 8) a block of 9 x 16, as the
    // scroller draws one letter of its font: once at a whole position and
    // once at a fractional one that snaps to the same pixels.
    TestTexture atlas(64, 32, Format::X8R8G8B8, [](uint32_t x, uint32_t y) { return 0xFF000000u | x << 18 | y << 10 | 0x55; });
    const CVector2 origin(24.f / 64.f, 8.f / 32.f), extent(9.f / 64.f, 16.f / 32.f);
    DrawTextureRegion(&atlas.rec, CVector2(300.f, 200.f), CVector2(9.f, 16.f), origin, extent, 0xFFFFFFFF);
    DrawTextureRegion(&atlas.rec, CVector2(400.9f, 200.2f), CVector2(9.f, 16.f), origin, extent, 0xFFFFFFFF);
    const Frame f = Finish();
    for (int left : {300, 400}) {
        int wrong = 0;
        for (int j = 0; j < 16; ++j)
            for (int i = 0; i < 9; ++i) {
                const Rgb want{static_cast<uint8_t>((24 + i) << 2), static_cast<uint8_t>((8 + j) << 2), 0x55};
                wrong += !(f.At(left + i, 200 + j) == want);
            }
        EXPECT_EQ(wrong, 0) << left;
        // Nothing in the one-pixel frame around the 9 x 16 block.
        EXPECT_EQ(f.CountNot(left - 1, 199, left + 10, 200, kClearRgb), 0) << left;
        EXPECT_EQ(f.CountNot(left - 1, 199, left, 217, kClearRgb), 0) << left;
        EXPECT_EQ(f.CountNot(left + 9, 199, left + 10, 217, kClearRgb), 0) << left;
        EXPECT_EQ(f.CountNot(left - 1, 216, left + 10, 217, kClearRgb), 0) << left;
    }
}

TEST_F(Draw2D, ColourMultipliesAndItsAlphaBlends) {
    // An RGB picture is opaque: what shows is texture times colour.
    TestTexture rgb(4, 4, Format::X8R8G8B8, [](uint32_t, uint32_t) { return 0x00C86432u; });
    DrawTexture(&rgb.rec, CVector2(10.f, 10.f), CVector2(20.f, 20.f), 0xFF808080);
    DrawRect(CVector2(50.f, 10.f), CVector2(20.f, 20.f), 0xFFFFFFFF);
    DrawRect(CVector2(50.f, 10.f), CVector2(20.f, 20.f), 0x80000000);  // half black over white
    const Frame f = Finish();
    EXPECT_TRUE(Near(f.At(20, 20), Rgb{100, 50, 25}, 1)) << f.At(20, 20);
    EXPECT_TRUE(Near(f.At(60, 20), Rgb{127, 127, 127}, 1)) << f.At(60, 20);
}

TEST_F(Draw2D, LeavesDepthWritesOffCullingOffBlendingOn) {
    Device* d = ShowDevice();
    auto expect_left_behind = [d](const char* what) {
        EXPECT_EQ(d->GetRenderState(RS::ZWriteEnable), 0u) << what;
        EXPECT_EQ(d->GetRenderState(RS::CullMode), static_cast<uint32_t>(CULL_NONE)) << what;
        EXPECT_EQ(d->GetRenderState(RS::AlphaBlendEnable), 1u) << what;
        // The rest of the device set-up's states are untouched.
        EXPECT_EQ(d->GetRenderState(RS::ZEnable), 1u) << what;
        EXPECT_EQ(d->GetRenderState(RS::AlphaTestEnable), 1u) << what;
        EXPECT_EQ(d->GetRenderState(RS::SrcBlend), static_cast<uint32_t>(BLEND_SRCALPHA)) << what;
    };
    auto reset = [d] {
        d->SetRenderState(RS::ZWriteEnable, 1);
        d->SetRenderState(RS::CullMode, CULL_CW);
        d->SetRenderState(RS::AlphaBlendEnable, 0);
    };
    reset();
    DrawRect(CVector2(0.f, 0.f), CVector2(10.f, 10.f), 0xFFFFFFFF);
    expect_left_behind("DrawRect");
    EXPECT_EQ(d->GetVertexDeclaration(), GetVertexDecl(VD_PosTCol));
    reset();
    TestTexture white(4, 4, Format::X8R8G8B8, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    DrawTexture(&white.rec, CVector2(0.f, 0.f), CVector2(10.f, 10.f), 0xFFFFFFFF);
    expect_left_behind("DrawTexture");
    EXPECT_EQ(d->GetVertexDeclaration(), GetVertexDecl(VD_PosTColTex));
    reset();
    DrawTexture(nullptr, CVector2(0.f, 0.f), CVector2(10.f, 10.f), 0xFFFFFFFF);
    expect_left_behind("DrawTexture of nothing");
}

// A filter in the shape the show's post-processing files have: no vertex
// shader, the source picture as g_txSrcColor, the pixel size as g_PixelSize.
constexpr const char* kFilter = R"(
float2 g_PixelSize;
texture g_txSrcColor;
sampler g_samSrcColor = sampler_state
{
    Texture = <g_txSrcColor>;
    MinFilter = POINT; MagFilter = POINT; MipFilter = NONE;
    AddressU = CLAMP; AddressV = CLAMP;
};
float4 Filter(float2 t : TEXCOORD0) : COLOR0
{
    // Red from the picture, blue from the pixel size (1/768 x 768 / 4).
    return float4(tex2D(g_samSrcColor, t).r, 0, g_PixelSize.y * 192.0, 1);
}
technique PostProcess
{
    pass p0 { VertexShader = null; PixelShader = compile ps_2_0 Filter(); ZEnable = false; }
}
)";

TEST_F(Draw2D, ScreenScaleMovesEverythingThePostProcessQuadToo) {
    std::string log;
    plat::fx::Effect* filter = plat::fx::Effect::Create(ShowDevice(), kFilter, "filter.fx", &log);
    ASSERT_NE(filter, nullptr) << log;
    TestTexture red(4, 4, Format::X8R8G8B8, [](uint32_t, uint32_t) { return 0xFFFF0000u; });

    g_vScreenScale = CVector2(0.5f, 0.5f);  // as on a 512 x 384 back buffer
    DrawRect(CVector2(100.f, 100.f), CVector2(100.f, 100.f), 0xFF00FF00);
    DrawTexture(&red.rec, CVector2(600.f, 100.f), CVector2(100.f, 100.f), 0xFFFFFFFF);
    DrawPostProcessQuad(filter, &red.rec, CVector2(600.f, 500.f), CVector2(64.f, 64.f), 0xFFFFFFFF);
    g_vScreenScale = CVector2(1.f, 1.f);
    const Frame f = Finish("draw2d_scale");
    filter->Release();

    EXPECT_EQ(f.CountNot(50, 50, 100, 100, Rgb{0, 255, 0}), 0);  // 100..200 halved
    EXPECT_EQ(f.At(100, 100), kClearRgb);
    EXPECT_EQ(f.CountNot(300, 50, 350, 100, Rgb{255, 0, 0}), 0);  // 299.5..349.5
    EXPECT_EQ(f.At(350, 75), kClearRgb);
    EXPECT_EQ(f.At(299, 75), kClearRgb);
    // Halved like the rest (a water-faded picture covers the same part of
    // any screen), snapped: 299.5..331.5 by 249.5..281.5, red from the
    // picture, blue 64 from g_PixelSize.
    EXPECT_EQ(f.CountNot(300, 250, 332, 282, Rgb{255, 0, 64}), 0) << f.At(310, 260);
    EXPECT_EQ(f.At(299, 260), kClearRgb);
    EXPECT_EQ(f.At(332, 260), kClearRgb);
    EXPECT_EQ(f.At(310, 282), kClearRgb);
}

// On a screen larger than the design space a picture enlarged by the
// screen's scale is drawn sharp: at 2x a one-texel black line on white is
// exactly two black pixel columns with white on both sides (bilinear would
// give two dark grey columns and two light grey ones); at 1.5x the line
// still has a fully black core and at most one soft pixel on each side.
// A texture enlarged by less than the screen's scale (a render target at
// the screen's own size) stays bilinear.
TEST_F(Draw2D, PicturesEnlargedByTheScreenScaleAreSharp) {
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    TestTexture line(8, 8, Format::X8R8G8B8, [](uint32_t x, uint32_t) { return x == 3 ? 0xFF000000u : 0xFFFFFFFFu; });

    g_vScreenScale = CVector2(2.f, 2.f);
    DrawTexture(&line.rec, CVector2(50.f, 50.f), CVector2(8.f, 8.f), 0xFFFFFFFF);  // pixels 100..115
    g_vScreenScale = CVector2(1.5f, 1.5f);
    DrawTexture(&line.rec, CVector2(100.f, 100.f), CVector2(8.f, 8.f), 0xFFFFFFFF);  // pixels 150..161
    g_vScreenScale = CVector2(2.f, 2.f);
    // Drawn at half its size in design pixels: enlarged by 1 only.
    TestTexture big(16, 16, Format::X8R8G8B8, [](uint32_t x, uint32_t) { return x == 6 ? 0xFF000000u : 0xFFFFFFFFu; });
    DrawTexture(&big.rec, CVector2(150.f, 50.f), CVector2(8.f, 8.f), 0xFFFFFFFF);  // pixels 300..315
    g_vScreenScale = CVector2(1.f, 1.f);
    const Frame f = Finish("draw2d_sharp");

    for (int y : {100, 107, 115}) {
        for (int x = 100; x < 116; ++x)
            EXPECT_EQ(f.At(x, y), x == 106 || x == 107 ? black : white) << x << "," << y;
    }
    // 1.5x: texel 3 spans pixels 154.5 .. 156; pixel 155 sees it alone.
    EXPECT_EQ(f.At(155, 155), black);
    int soft = 0;
    for (int x = 150; x < 162; ++x) {
        const Rgb p = f.At(x, 155);
        if (p != black && p != white) ++soft;
    }
    EXPECT_LE(soft, 2);
    // The 16-texel picture at 16 pixels: texel 6 on pixel 306, exactly.
    EXPECT_EQ(f.At(306, 105), black);
    EXPECT_EQ(f.At(305, 105), white);
    EXPECT_EQ(f.At(307, 105), white);
}

// What InitDevice leaves for every drawing routine to build on, seen in a
// process of its own (a death test runs the test program again), so no
// other test's states, and none of the helpers that set them, come in
// between. Each wrong value is a line on stderr and a non-zero exit.
[[noreturn]] void CheckFreshDevice() {
    g_RunConfig.skip_dialog = true;
    g_RunConfig.windowed = true;
    g_RunConfig.offscreen = true;
    if (!InitDevice()) {
        std::fprintf(stderr, "InitDevice failed: %s\n", GetStartError().c_str());
        std::_Exit(2);
    }
    int wrong = 0;
    auto expect = [&wrong](bool ok, const char* what) {
        if (ok) return;
        std::fprintf(stderr, "wrong after InitDevice: %s\n", what);
        ++wrong;
    };
    Device* d = GetDevice();
    expect(d->GetRenderState(RS::CullMode) == CULL_CW, "culling clockwise");
    expect(d->GetRenderState(RS::Lighting) == 0, "fixed-function lighting off");
    expect(d->GetRenderState(RS::ZEnable) == 1, "depth test on");
    expect(d->GetRenderState(RS::AlphaTestEnable) == 1, "alpha test on");
    expect(d->GetRenderState(RS::AlphaRef) == 1, "alpha reference 1");
    expect(d->GetRenderState(RS::AlphaFunc) == CMP_GREATEREQUAL, "alpha test greater or equal");
    expect(d->GetRenderState(RS::AlphaBlendEnable) == 0, "blending off until a routine turns it on");
    expect(d->GetRenderState(RS::SrcBlend) == BLEND_SRCALPHA, "source factor: source alpha");
    expect(d->GetRenderState(RS::DestBlend) == BLEND_INVSRCALPHA, "destination factor: inverse source alpha");
    expect(d->GetRenderState(RS::BlendOp) == BLENDOP_ADD, "blend operation add");

    expect(g_fScreenWidth == 1024.f && g_fScreenHeight == 768.f, "screen 1024 x 768");
    expect(g_vScreenScale.x == 1.f && g_vScreenScale.y == 1.f, "screen scale 1");
    expect(g_vPixelSize.x == 1.f / 1024.f && g_vPixelSize.y == 1.f / 768.f, "pixel size 1/1024, 1/768");
    // Pixel space to clip space, y down, depth 0..1000 to 0..1: the
    // corners and a far point, as row vectors times g_mOrtho.
    auto clip = [](float x, float y, float z, int k) {
        return x * g_mOrtho.m[0][k] + y * g_mOrtho.m[1][k] + z * g_mOrtho.m[2][k] + g_mOrtho.m[3][k];
    };
    auto near = [](float a, float b) { return std::abs(a - b) < 1e-6f; };
    expect(near(clip(0, 0, 0, 0), -1) && near(clip(0, 0, 0, 1), 1) && near(clip(0, 0, 0, 3), 1), "ortho: (0, 0) top left");
    expect(near(clip(1024, 768, 0, 0), 1) && near(clip(1024, 768, 0, 1), -1), "ortho: (1024, 768) bottom right");
    expect(near(clip(0, 0, 0, 2), 0) && near(clip(0, 0, -1000, 2), 1), "ortho: depth 0 to 1000 deep");

    // The eight declarations: usage, type and offset of every element.
    struct E {
        uint16_t offset;
        DeclType type;
        DeclUsage usage;
    };
    const std::vector<std::vector<E>> want = {
        {{0, DeclType::Float3, DeclUsage::Position}, {12, DeclType::D3DColor, DeclUsage::Color}},
        {{0, DeclType::Float4, DeclUsage::PositionT}, {16, DeclType::D3DColor, DeclUsage::Color}},
        {{0, DeclType::Float3, DeclUsage::Position}, {12, DeclType::D3DColor, DeclUsage::Color}, {16, DeclType::Float3, DeclUsage::Normal}},
        {{0, DeclType::Float3, DeclUsage::Position}, {12, DeclType::D3DColor, DeclUsage::Color}, {16, DeclType::Float2, DeclUsage::TexCoord}},
        {{0, DeclType::Float4, DeclUsage::PositionT}, {16, DeclType::D3DColor, DeclUsage::Color}, {20, DeclType::Float2, DeclUsage::TexCoord}},
        {{0, DeclType::Float3, DeclUsage::Position}, {12, DeclType::D3DColor, DeclUsage::Color}, {16, DeclType::Float3, DeclUsage::Normal},
         {28, DeclType::Float2, DeclUsage::TexCoord}},
        {{0, DeclType::Float3, DeclUsage::Position}, {12, DeclType::Float3, DeclUsage::Normal}},
        {{0, DeclType::Float3, DeclUsage::Position}, {12, DeclType::Float3, DeclUsage::Normal}, {24, DeclType::Float2, DeclUsage::TexCoord}},
    };
    for (int i = 0; i < VD_Count; ++i) {
        VertexDecl* decl = GetVertexDecl(i);
        bool same = decl && decl->Elements().size() == want[static_cast<size_t>(i)].size();
        for (size_t k = 0; same && k < want[static_cast<size_t>(i)].size(); ++k) {
            const VertexElement& e = decl->Elements()[k];
            const E& w = want[static_cast<size_t>(i)][k];
            same = e.offset == w.offset && e.type == w.type && e.usage == w.usage && e.usage_index == 0;
        }
        if (!same) std::fprintf(stderr, "declaration %d\n", i);
        expect(same, "the vertex declaration above");
    }
    expect(GetVertexDecl(VD_Count) == nullptr && GetVertexDecl(-1) == nullptr, "no declaration outside 0..7");
    expect(g_p2DEffect != nullptr, "the 2D effect");
    std::fflush(stderr);
    std::_Exit(wrong == 0 ? 0 : 1);
}

TEST(DeviceSetUp, InitDeviceLeavesTheSharedStatesScreenValuesOrthoAndDeclarations) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CheckFreshDevice(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
