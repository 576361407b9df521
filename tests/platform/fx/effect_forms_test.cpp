// The HLSL forms effect files of the Direct3D 9 era are written in: stage
// outputs through out parameters, compile statements with arguments, array
// sizes from constants, trailing commas in initialisers, the rarer vertex
// semantics and VPOS/VFACE; and the constructs that stay unsupported,
// refused by name and line. Each small file is written for the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "platform/fx/effect.h"
#include "platform/fx/parser.h"
#include "tests/support/gfx_test_util.h"

using namespace plat;
using namespace plat::gfx;
using namespace gfxtest;

namespace {

using Pixel = std::array<float, 4>;

// Draws every pass of one technique of `source` into a 16 x 16 float target
// and returns pixel (x, y), so what a shader outputs is read back exactly.
class Forms : public ::testing::Test {
protected:
    void SetUp() override {
        d = SharedDevice();
        ASSERT_NE(d, nullptr);
        ResetStates(d);
        target = d->CreateTexture(16, 16, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
        ASSERT_TRUE(target->GetSurfaceLevel(0, &surface));
    }
    void TearDown() override {
        ResetStates(d);
        if (effect) effect->Release();
        if (surface) surface->Release();
        if (target) target->Release();
    }
    void Load(const char* source) {
        std::string log;
        effect = fx::Effect::Create(d, source, "forms.fx", &log);
        ASSERT_NE(effect, nullptr) << log;
    }
    // `draw` issues the geometry; by default a pre-transformed quad over the target.
    template <typename Draw>
    std::vector<float> RunWith(const char* technique, Draw draw) {
        d->SetRenderTarget(0, surface);
        d->Clear(CLEAR_TARGET, 0, 1.f);
        EXPECT_TRUE(d->BeginScene());
        EXPECT_TRUE(effect->SetTechnique(technique)) << technique;
        RunEveryPass(effect, draw);
        d->EndScene();
        std::vector<float> f;
        EXPECT_TRUE(d->ReadSurface(surface, f));
        return f;
    }
    std::vector<float> Run(const char* technique) {
        return RunWith(technique, [this] { DrawQuad(d, Quad(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFFFFFF)); });
    }
    static Pixel At(const std::vector<float>& f, int x, int y) {
        const size_t i = (static_cast<size_t>(y) * 16 + static_cast<size_t>(x)) * 4;
        return {f[i], f[i + 1], f[i + 2], f[i + 3]};
    }
    Device* d = nullptr;
    fx::Effect* effect = nullptr;
    Texture* target = nullptr;
    Surface* surface = nullptr;
};

// A clip-space quad over the whole target through ClipSpaceDecl (float3
// POSITION, D3DCOLOR COLOR0), as a strip.
void DrawClipQuad(Device* d, uint32_t color) {
    const CVertex q[4] = {{-1, 1, 0.5f, color}, {1, 1, 0.5f, color}, {-1, -1, 0.5f, color}, {1, -1, 0.5f, color}};
    d->SetVertexDeclaration(ClipSpaceDecl());
    d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, q, sizeof(CVertex));
}

TEST_F(Forms, OutParametersCarryThePositionLinksAndTheColour) {
    Load(R"(
float4 g_vTint = {1, 1, 1, 1};
void VS(float3 pos : POSITION, float4 col : COLOR0,
        out float4 oPos : POSITION, out float4 oCol : COLOR1, out float oFog : FOG, out float2 oUV : TEXCOORD7)
{
    oPos = float4(pos, 1);
    oCol = col * g_vTint;
    oFog = 0.25;
    oUV = float2(0.5, 0.75);
}
void PS(float4 c : COLOR1, float fog : FOG, float2 uv : TEXCOORD7, out float4 oColor : COLOR0)
{
    oColor = float4(c.r, fog, uv.x + uv.y * 10, c.a);
}
technique Out { pass p { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
)");
    const float tint[4] = {0.5f, 1, 1, 1};
    effect->SetFloatArray("g_vTint", tint, 4);
    // D3DCOLOR 0x80FF0000: red 1, alpha 128/255.
    const std::vector<float> f = RunWith("Out", [this] { DrawClipQuad(d, 0x80FF0000u); });
    const Pixel p = At(f, 8, 8);
    EXPECT_FLOAT_EQ(p[0], 0.5f);
    EXPECT_FLOAT_EQ(p[1], 0.25f);
    EXPECT_FLOAT_EQ(p[2], 8.f);
    EXPECT_NEAR(p[3], 128.f / 255.f, 1e-3);
    EXPECT_EQ(At(f, 1, 1), p) << "the quad covers the target: the position came through";
    EXPECT_EQ(At(f, 14, 14), p);
}

TEST_F(Forms, CompileArgumentsAreConstantsOfThatPassShader) {
    Load(R"(
static const int kLevels = 4;
struct VSOut { float4 pos : POSITION; float4 col : COLOR0; };
// Uniform parameters among the varying ones, in any order.
VSOut VS(float3 pos : POSITION, uniform float scale, float4 col : COLOR0, uniform bool flip)
{
    VSOut o;
    o.pos = float4(flip ? -pos.x : pos.x, pos.y, pos.z, 1);
    o.col = float4(col.rgb * scale, pos.x);
    return o;
}
float4 PS(float4 col : COLOR0, uniform float3 c) : COLOR0 { return float4(c, col.a); }
float4 PSColour(float4 col : COLOR0) : COLOR0 { return col; }
technique Red { pass p { VertexShader = compile vs_2_0 VS(1, false); PixelShader = compile ps_2_0 PS(float3(1, 0, 0)); } }
technique Green { pass p { VertexShader = compile vs_2_0 VS(1, false);
                           PixelShader = compile ps_2_0 PS(float3(0, // no red
                                                                  1.0 / kLevels, kLevels * 2)); } }
technique Scaled { pass p { VertexShader = compile vs_2_0 VS(0.5 * 3, true); PixelShader = compile ps_2_0 PSColour(); } }
)");
    const auto clip = [this] { DrawClipQuad(d, 0xFFFFFFFFu); };
    // Column 4's centre is clip x = -0.5 (Direct3D 9 pixel centres); the
    // flipped pass mirrors the quad onto itself, so alpha (the vertex's own
    // x) tells which way it was drawn.
    // (Alpha is interpolated: near, in a half-float target.)
    const auto near = [](const Pixel& got, const Pixel& want) {
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(got[c], want[c], c == 3 ? 2e-3 : 0) << c;
    };
    near(At(RunWith("Red", clip), 4, 8), Pixel{1, 0, 0, -0.5f});
    near(At(RunWith("Green", clip), 4, 8), Pixel{0, 0.25f, 8, -0.5f});
    near(At(RunWith("Scaled", clip), 4, 8), Pixel{1.5f, 1.5f, 1.5f, 0.5f});
    // Programs are kept apart by their arguments, not only by entry point.
    near(At(RunWith("Red", clip), 4, 8), Pixel{1, 0, 0, -0.5f});
}

TEST_F(Forms, VposIsThePixelAndVfaceTheWinding) {
    Load(R"(
float4 PS(float2 p : VPOS, float face : VFACE) : COLOR0 { return float4(p, face, 1); }
technique T { pass p { VertexShader = null; PixelShader = compile ps_3_0 PS(); } }
)");
    const std::vector<float> cw = Run("T");
    EXPECT_EQ(At(cw, 0, 0), (Pixel{0, 0, 1, 1}));
    EXPECT_EQ(At(cw, 13, 5), (Pixel{13, 5, 1, 1})) << "Direct3D 9 pixel centres are whole numbers";
    // The same quad mirrored left to right winds the other way: a back face.
    const std::vector<float> ccw =
        RunWith("T", [this] { DrawQuad(d, Quad(15.5f, -0.5f, -0.5f, 15.5f, 0xFFFFFFFF)); });
    EXPECT_EQ(At(ccw, 13, 5), (Pixel{13, 5, -1, 1}));
}

TEST_F(Forms, TangentBinormalAndBlendInputsReadTheirOwnElements) {
    struct V {
        float pos[3], tangent[3], binormal[3], weight, indices[4];
    };
    const VertexElement e[] = {{0, DeclType::Float3, DeclUsage::Position, 0},
                               {12, DeclType::Float3, DeclUsage::Tangent, 0},
                               {24, DeclType::Float3, DeclUsage::Binormal, 0},
                               {36, DeclType::Float1, DeclUsage::BlendWeight, 0},
                               {40, DeclType::Float4, DeclUsage::BlendIndices, 0}};
    VertexDecl* decl = d->CreateVertexDeclaration(e);
    ASSERT_NE(decl, nullptr);
    Load(R"(
struct VSOut { float4 pos : POSITION; float4 a : TEXCOORD6; float4 b : TEXCOORD0; float size : PSIZE; };
VSOut VS(float3 pos : POSITION, float3 t : TANGENT, float3 b : BINORMAL, float w : BLENDWEIGHT,
         float4 i : BLENDINDICES)
{
    VSOut o;
    o.pos = float4(pos, 1);
    o.a = float4(t.x, b.y, w, i.w);
    o.b = float4(t.z, b.z, i.x, 1);
    o.size = 1;
    return o;
}
float4 PS(float4 a : TEXCOORD6, float4 b : TEXCOORD0) : COLOR0 { return a * 10 + b; }
technique T { pass p { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
)");
    const auto quad = [&] {
        V q[4] = {};
        const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        for (int k = 0; k < 4; ++k) {
            q[k] = V{{corners[k][0], corners[k][1], 0.5f}, {1, 0, 2}, {0, 3, 0.5f}, 4, {0.25f, 0, 0, 5}};
        }
        d->SetVertexDeclaration(decl);
        d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, q, sizeof(V));
    };
    EXPECT_EQ(At(RunWith("T", quad), 8, 8), (Pixel{10 + 2, 30 + 0.5f, 40 + 0.25f, 50 + 1}));
    decl->Release();
}

// Sixteen taps with a comma after the last, sizes from a static const and
// from expressions: every value written is the value read.
constexpr const char* kTables = R"(
static const int N = 4;
static const float kScale = 0.5;
float2 g_aOffsets[16] = {
    {-1.5, -1.5}, {-0.5, -1.5}, {0.5, -1.5}, {1.5, -1.5},
    {-1.5, -0.5}, {-0.5, -0.5}, {0.5, -0.5}, {1.5, -0.5},
    {-1.5,  0.5}, {-0.5,  0.5}, {0.5,  0.5}, {1.5,  0.5},
    {-1.5,  1.5}, {-0.5,  1.5}, {0.5,  1.5}, {1.5,  1.5},
};
float4 g_aTaps[N * 2];
float  g_aWeights[2 + 2] = { 1, kScale, N, N / 8.0, };
float4 g_vLast = float4(N, kScale * 4, 0, 1);
float4 PS(float2 uv : TEXCOORD0) : COLOR0
{
    return float4(g_aOffsets[15].x + g_aOffsets[0].y * 10, g_aWeights[3], g_aTaps[7].z, g_vLast.x);
}
technique T { pass p { VertexShader = null; PixelShader = compile ps_2_0 PS(); } }
)";

TEST(EffectForms, SixteenTapsWithATrailingCommaAndSizesFromConstants) {
    fx::ParsedEffect out;
    std::vector<std::string> messages;
    ASSERT_TRUE(fx::ParseEffect(kTables, "tables.fx", &out, &messages));
    EXPECT_TRUE(messages.empty()) << messages[0];
    const auto& p = out.desc.parameters;
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].elements, 16);
    ASSERT_EQ(p[0].defaults.size(), 32u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(p[0].defaults[2 * i], -1.5f + static_cast<float>(i % 4)) << i;
        EXPECT_EQ(p[0].defaults[2 * i + 1], -1.5f + static_cast<float>(i / 4)) << i;
    }
    EXPECT_EQ(p[1].elements, 8);
    EXPECT_FALSE(p[1].has_default);
    EXPECT_EQ(p[2].elements, 4);
    EXPECT_EQ(p[2].defaults, (std::vector<float>{1, 0.5f, 4, 0.5f}));
    EXPECT_EQ(p[3].defaults, (std::vector<float>{4, 2, 0, 1}));
    // The size goes to the compiler as the number it came to.
    EXPECT_NE(out.hlsl.find("g_aTaps[8]"), std::string::npos);
    EXPECT_EQ(std::count(out.hlsl.begin(), out.hlsl.end(), '\n'), std::count(kTables, kTables + std::strlen(kTables), '\n'));
}

TEST_F(Forms, TheTablesDefaultsReachTheShader) {
    Load(kTables);
    EXPECT_EQ(At(Run("T"), 8, 8), (Pixel{1.5f - 15, 0.5f, 0, 4}));
    const float taps[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0};
    EXPECT_TRUE(effect->SetFloatArray("g_aTaps", taps, 32));
    EXPECT_EQ(At(Run("T"), 8, 8)[2], 9.f);
}

// A default is read or the file is refused; what cannot be done is named
// with its line.
TEST(EffectForms, WhatStaysUnsupportedIsRefusedByNameAndLine) {
    Device* d = SharedDevice();
    ASSERT_NE(d, nullptr);
    const std::string ps = "float4 PS() : COLOR0 { return 1; }\n";
    const struct {
        std::string source;
        const char* says;
    } cases[] = {
        {ps + "technique T { pass p {\n VertexShader = asm { vs_2_0 mov oPos, v0 };\n PixelShader = compile ps_2_0 PS(); } }",
         "forms.fx(3): assembly shader ('VertexShader = asm { ... }')"},
        {ps + "VertexShader g_aVS[2] = { compile vs_2_0 A(), compile vs_2_0 B() };\nint g_i;",
         "forms.fx(2): shader variable 'VertexShader g_aVS[...]'"},
        {ps + "int g_i;\ntechnique T { pass p {\n VertexShader = (g_aVS[g_i]); PixelShader = compile ps_2_0 PS(); } }",
         "forms.fx(4): shader array indexed at run time ('VertexShader = ( g_aVS [ g_i ] )')"},
        {ps + "float g_a = 1;\nfloat g_b = g_a * 2;", "forms.fx(3): default of 'g_b' is not a constant expression"},
        {ps + "float4 g_v = {1, 2, 3};", "forms.fx(2): default of 'g_v' has 3 values; its type 'float4' holds 4"},
        {ps + "float2 g_t[2] = {{1, 2}, {3, 4}, {5, 6}};", "has 6 values; its type 'float2[2]' holds 4"},
        {ps + "float2 g_t[2] = {{1, 2},, {3, 4}};", "default of 'g_t' is not a constant expression"},
        {ps + "struct S { float a; };\nS g_s = {1};", "forms.fx(3): default of 'g_s' (type 'S') cannot be read"},
        {ps + "static int n = 2;\nfloat g_t[n];", "forms.fx(3): array size of 'g_t' (n) is not a whole number"},
        {ps + "float g_t[6 / 4];", "array size of 'g_t' (6 / 4) is not a whole number"},
        {"float4 PS(uniform float4 c) : COLOR0 { return c; }\ntechnique T { pass p {\n"
         " PixelShader = compile ps_2_0 PS(1, 2); } }",
         "forms.fx(3): 'compile ps_2_0 PS(1, 2)' gives 2 arguments; 'PS' (line 1) has 1 uniform parameter"},
        {ps + "technique T { pass p { PixelShader = compile ps_2_0 Nowhere(1); } }",
         "forms.fx(2): entry point 'Nowhere' is not defined"},
        {"void VS(float4 p : POSITION, out float4 o : TEXCOORD0) { o = p; }\n" + ps +
             "technique T { pass p { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }",
         "no POSITION output"},
        {"float4 VS(float4 p : POSITION, float s : PSIZE) : POSITION { return p * s; }\n" + ps +
             "technique T { pass p { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }",
         "input 's' (PSIZE0) has no vertex attribute here"},
    };
    for (const auto& c : cases) {
        std::string log;
        fx::Effect* e = fx::Effect::Create(d, c.source, "forms.fx", &log);
        EXPECT_EQ(e, nullptr) << c.source;
        if (e) e->Release();
        EXPECT_NE(log.find(c.says), std::string::npos) << "wanted: " << c.says << "\ngot: " << log;
    }
}

}  // namespace
