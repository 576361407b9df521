// Effect files compiled and run on the real device: parameters, matrices,
// defaults, annotations, state save and restore, techniques, shader model 3.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/resource_ids.h"
#include "platform/fx/effect.h"
#include "platform/fx/parser.h"
#include "platform/os/ahead.h"
#include "platform/os/log.h"
#include "render/math.h"
#include "tests/support/gfx_test_util.h"

using namespace plat;
using namespace plat::gfx;
using namespace gfxtest;

namespace {

// Pixel shaders over a pre-transformed quad: what they output lands in a
// float target, so values are read back exactly.
constexpr const char* kFile = R"(
float4x4 g_mTest;
float4   g_vIn = float4(1, 2, 3, 4);
float    g_fGain < string UIName = "gain"; > = 0.5;
float    g_fLoopCount = 4;
static const float kHalf = 0.5;
#define TAPS 3
float    g_aWeights[TAPS] = {1, 2, 3};
float2   g_aOffsets[2] = {{0.5, -0.5}, {4, 8}};

float4 Value(float2 uv : TEXCOORD0) : COLOR0 { return g_vIn * g_fGain; }
float4 Product(float2 uv : TEXCOORD0) : COLOR0 { return mul(g_vIn, g_mTest); }
float4 Loop(float2 uv : TEXCOORD0) : COLOR0 {
    float sum = 0;
    for (int i = 0; i < 16; ++i) { if (i < g_fLoopCount) sum += kHalf; }
    return float4(sum, 0, 0, 1);
}

float4 Arrays(float2 uv : TEXCOORD0) : COLOR0 {
    return float4(g_aWeights[0] + g_aWeights[1] * 10 + g_aWeights[2] * 100, g_aOffsets[1], g_aOffsets[0].y);
}

technique ShowArrays { pass p0 { VertexShader = null; PixelShader = compile ps_2_0 Arrays(); ZEnable = false; } }
technique ShowValue { pass p0 < float fScaleX = 0.25; float fScaleY = 4.0; > {
    VertexShader = null; PixelShader = compile ps_2_0 Value(); ZEnable = false; } }
technique ShowProduct { pass p0 { VertexShader = null; PixelShader = compile ps_2_0 Product(); ZEnable = false; } }
technique ShowLoop { pass p0 { VertexShader = null; PixelShader = compile ps_3_0 Loop(); ZEnable = false; } }
)";

class Effects : public ::testing::Test {
protected:
    void SetUp() override {
        d = SharedDevice();
        ASSERT_NE(d, nullptr);
        ResetStates(d);
        std::string log;
        effect = fx::Effect::Create(d, kFile, "test.fx", &log);
        ASSERT_NE(effect, nullptr) << log;
        target = d->CreateTexture(16, 16, 1, USAGE_RENDERTARGET, Format::A16B16G16R16F);
        ASSERT_TRUE(target->GetSurfaceLevel(0, &surface));
        d->SetRenderTarget(0, surface);
        ASSERT_TRUE(d->BeginScene());
    }
    void TearDown() override {
        d->EndScene();
        ResetStates(d);
        if (surface) surface->Release();
        if (target) target->Release();
        if (effect) effect->Release();
    }
    // Runs every pass of `technique` over the whole target; returns pixel (8, 8).
    std::array<float, 4> Run(const char* technique) {
        EXPECT_TRUE(effect->SetTechnique(technique));
        RunEveryPass(effect, [&] { DrawQuad(d, Quad(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFFFFFF)); });
        std::vector<float> f;
        EXPECT_TRUE(d->ReadSurface(surface, f));
        const size_t i = (8 * 16 + 8) * 4;
        return {f[i], f[i + 1], f[i + 2], f[i + 3]};
    }
    Device* d = nullptr;
    fx::Effect* effect = nullptr;
    Texture* target = nullptr;
    Surface* surface = nullptr;
};

TEST_F(Effects, DefaultsHoldUntilSetAndUnknownNamesChangeNothing) {
    EXPECT_EQ(Run("ShowValue"), (std::array<float, 4>{0.5f, 1.f, 1.5f, 2.f}));
    EXPECT_TRUE(effect->SetFloat("g_fGain", 2.f));
    const float v[4] = {0.25f, -1.f, 8.f, 3.f};
    EXPECT_TRUE(effect->SetFloatArray("g_vIn", v, 4));
    EXPECT_FALSE(effect->SetFloat("g_fNoSuchThing", 100.f));
    EXPECT_FALSE(effect->SetTechnique("NoSuchTechnique"));
    EXPECT_EQ(Run("ShowValue"), (std::array<float, 4>{0.5f, -2.f, 16.f, 6.f}));
    float gain = 0;
    EXPECT_TRUE(effect->GetFloat(effect->GetParameterByName("g_fGain"), &gain));
    EXPECT_EQ(gain, 2.f);
}

TEST_F(Effects, MulOfVectorAndMatrixIsTheRowVectorProduct) {
    // Non-symmetric, so a transposed upload would show.
    const CMatrix m(1, 2, 3, 4,  //
                    5, 6, 7, 8,  //
                    0.5f, 0.25f, -1, 2, //
                    -3, 1, 0, 1);
    const float v[4] = {1, -2, 0.5f, 3};
    effect->SetMatrix("g_mTest", &m.m[0][0]);
    effect->SetFloatArray("g_vIn", v, 4);
    std::array<float, 4> want{};
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) want[c] += v[r] * m.m[r][c];
    }
    EXPECT_EQ(Run("ShowProduct"), want);
}

TEST_F(Effects, ArraysKeepTheirElementsApart) {
    // Array elements sit 16 bytes apart in the uniform block, not packed.
    EXPECT_EQ(Run("ShowArrays"), (std::array<float, 4>{321.f, 4.f, 8.f, -0.5f}));
    const float w[3] = {7, 0, 5};
    EXPECT_TRUE(effect->SetFloatArray("g_aWeights", w, 3));
    EXPECT_EQ(Run("ShowArrays")[0], 507.f);
}

TEST_F(Effects, PassAnnotationsReadBackAsFloats) {
    fx::Handle tech = effect->GetTechniqueByName("ShowValue");
    fx::Handle pass = effect->GetPass(tech, 0);
    ASSERT_NE(pass, nullptr);
    EXPECT_EQ(effect->GetPass(tech, 1), nullptr);
    float sx = 0, sy = 0;
    EXPECT_TRUE(effect->GetFloat(effect->GetAnnotationByName(pass, "fScaleX"), &sx));
    EXPECT_TRUE(effect->GetFloat(effect->GetAnnotationByName(pass, "fScaleY"), &sy));
    EXPECT_EQ(sx, 0.25f);
    EXPECT_EQ(sy, 4.f);
    EXPECT_EQ(effect->GetAnnotationByName(effect->GetPass(effect->GetTechniqueByName("ShowLoop"), 0), "fScaleX"),
              nullptr);
}

TEST_F(Effects, EndRestoresWhatThePassChanged) {
    d->SetRenderState(RS::ZEnable, 1);
    ASSERT_TRUE(effect->SetTechnique("ShowValue"));
    unsigned passes = 0;
    ASSERT_TRUE(effect->Begin(&passes, 0));
    EXPECT_EQ(passes, 1u);
    ASSERT_TRUE(effect->BeginPass(0));
    EXPECT_EQ(d->GetRenderState(RS::ZEnable), 0u) << "the pass turns depth off";
    EXPECT_NE(d->GetPixelShader(), nullptr);
    effect->EndPass();
    effect->End();
    EXPECT_EQ(d->GetRenderState(RS::ZEnable), 1u);
    EXPECT_EQ(d->GetPixelShader(), nullptr);
}

TEST_F(Effects, TwoTechniquesAndAShaderModel3Loop) {
    EXPECT_EQ(Run("ShowLoop")[0], 2.f);  // four halves
    effect->SetFloat("g_fLoopCount", 9);
    EXPECT_EQ(Run("ShowLoop")[0], 4.5f);
    EXPECT_EQ(Run("ShowValue")[1], 1.f);
}

TEST(EffectErrors, BrokenFilesGiveNullAndAMessage) {
    Device* d = SharedDevice();
    ASSERT_NE(d, nullptr);
    const char* broken[] = {
        "float4 PS() : COLOR0 { return 1 } technique T { pass p { PixelShader = compile ps_2_0 PS(); } }",  // HLSL error
        "technique T { pass p { PixelShader = compile ps_2_0 Missing(); } }",                                // no entry
        "technique T { pass p { ",                                                                            // truncated
        "float4 PS() : COLOR0 { return 1; } technique T { pass p { PixelShader = asm { ps_2_0 }; } }",
        "float4 PS() : COLOR0 { return 1; } technique T { pass p { VertexShader = compile vs_2_0 PS(); } }",
    };
    for (const char* src : broken) {
        ClearLog();
        std::string log;
        fx::Effect* e = fx::Effect::Create(d, src, "broken.fx", &log);
        EXPECT_EQ(e, nullptr) << src;
        if (e) e->Release();
        EXPECT_FALSE(log.empty()) << src;
        bool logged = false;
        for (const std::string& line : LogLines()) logged |= line.find("fx: ") != std::string::npos;
        EXPECT_TRUE(logged) << src;
    }
    ClearLog();
}

TEST(EffectParser, EveryPrefixOfAFileIsReadOrRefusedWithoutHarm) {
    const std::string src = kFile;
    for (size_t n = 0; n <= src.size(); ++n) {
        fx::ParsedEffect out;
        std::vector<std::string> messages;
        fx::ParseEffect(std::string_view(src).substr(0, n), "prefix.fx", &out, &messages);
    }
    fx::ParsedEffect whole;
    std::vector<std::string> messages;
    ASSERT_TRUE(fx::ParseEffect(src, "whole.fx", &whole, &messages));
    // Lines survive the stripping, so compiler messages point into the file.
    EXPECT_EQ(std::count(whole.hlsl.begin(), whole.hlsl.end(), '\n'), std::count(src.begin(), src.end(), '\n'));
    EXPECT_EQ(whole.desc.techniques.size(), 4u);
    EXPECT_EQ(whole.hlsl.find("technique"), std::string::npos);
    EXPECT_EQ(whole.hlsl.find("UIName"), std::string::npos);
}

TEST(EffectParser, DefaultsAndSamplerStatesAreRead) {
    const char* src = R"(
        float3 a = {1, 2, 3};
        float4 b = float4(0.5, 1.0 / 4, -2, 1e1);
        float  c = 3, d[3] = {4, 5, 6};
        float2x2 m = { 1, 2, 3, 4 };
        bool e = true;
        texture tx < string file = "x.png"; >;
        sampler2D s : register(s3) = sampler_state { Texture = (tx); MinFilter = Point; AddressU = Wrap; };
    )";
    fx::ParsedEffect out;
    std::vector<std::string> messages;
    ASSERT_TRUE(fx::ParseEffect(src, "d.fx", &out, &messages));
    const auto& p = out.desc.parameters;
    ASSERT_EQ(p.size(), 7u);
    EXPECT_EQ(p[0].defaults, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(p[1].defaults, (std::vector<float>{0.5f, 0.25f, -2, 10}));
    EXPECT_EQ(p[2].defaults, (std::vector<float>{3}));
    EXPECT_EQ(p[3].elements, 3);
    EXPECT_EQ(p[3].defaults, (std::vector<float>{4, 5, 6}));
    EXPECT_EQ(p[4].rows, 2);
    EXPECT_EQ(p[4].defaults, (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(p[5].defaults, (std::vector<float>{1}));
    EXPECT_EQ(p[6].cls, fx::ParamClass::Texture);
    ASSERT_EQ(out.desc.samplers.size(), 1u);
    EXPECT_EQ(out.desc.samplers[0].texture, "tx");
    EXPECT_EQ(out.desc.samplers[0].states.size(), 2u);
}

// Found by fuzz_fx (fuzz/corpus/fx/crash_type_across_lines.fx): a type or
// array size written across lines went back into the HLSL with its newline
// on top of the kept ones, so every later line, and every compiler message
// about it, was off; a comment inside the brackets swallowed the rest.
TEST(EffectParser, DeclarationsAcrossLinesKeepLaterLinesInPlace) {
    const std::string src =
        "vector<float,\n 4> v;\n"
        "float a[\n2] = {1, 2}, b[2 // two\n];\n"
        "sampler s[\n2];\n"
        "matrix<float, \"a\\\nb\"> m;\n"
        "float4 PS() : COLOR0 { return v; }\n";
    fx::ParsedEffect out;
    std::vector<std::string> messages;
    ASSERT_TRUE(fx::ParseEffect(src, "lines.fx", &out, &messages));
    const size_t ps = out.hlsl.find("float4 PS()");
    ASSERT_NE(ps, std::string::npos);
    EXPECT_EQ(std::count(out.hlsl.begin(), out.hlsl.begin() + static_cast<std::ptrdiff_t>(ps), '\n'), 9);
    EXPECT_EQ(std::count(out.hlsl.begin(), out.hlsl.end(), '\n'), std::count(src.begin(), src.end(), '\n'));
    EXPECT_EQ(out.hlsl.find("//"), std::string::npos);
    ASSERT_EQ(out.desc.parameters.size(), 4u);
    EXPECT_EQ(out.desc.parameters[2].elements, 2);
}

// Macros built on each other double at each level: this default once took
// 2^25 expansions, each kept in memory (fuzz/corpus/fx/macro_doubling.fx).
TEST(EffectParser, MacrosBuiltOnEachOtherStopAtABudget) {
    std::string src = "#define A 1\n";
    for (char c = 'B'; c <= 'Z'; ++c) {
        src += std::string("#define ") + c + " (" + static_cast<char>(c - 1) + " + " + static_cast<char>(c - 1) + ")\n";
    }
    src += "float small = E;\n";
    fx::ParsedEffect out;
    std::vector<std::string> messages;
    ASSERT_TRUE(fx::ParseEffect(src, "macros.fx", &out, &messages));
    ASSERT_EQ(out.desc.parameters.size(), 1u);
    EXPECT_EQ(out.desc.parameters[0].defaults, (std::vector<float>{16}));
    // Over the budget the default cannot be read: the file is refused
    // rather than the parameter starting at zero.
    EXPECT_FALSE(fx::ParseEffect(src + "float huge = Z;\n", "macros.fx", &out, &messages));
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find("macros.fx(28): default of 'huge'"), std::string::npos) << messages.back();
}

}  // namespace

// The show's effect files, prepared on the start-up worker and then made,
// against the same files made alone: the same programs and the same lines.
TEST(EffectAhead, EveryEmbeddedEffectIsTheSameMadeAheadOrAlone) {
    Device* d = SharedDevice();
    ASSERT_NE(d, nullptr);
    const uint32_t ids[] = {k2DEffectId,           kSceneEffectId,         kSsaoEffectId,
                            kSsaoCombineEffectId,  kColorCombineEffectId,  kColorCombine4EffectId,
                            kColorBlurHEffectId,   kColorBlurVEffectId,    kColorDownFilter4EffectId,
                            kColorBrightPassEffectId, kWaterFadeEffectId};
    auto make = [d](uint32_t id, bool ahead, std::string* glsl, std::vector<std::string>* lines) {
        const std::string name = "Data\\effect" + std::to_string(id) + ".fx";
        if (ahead) fx::Effect::PrepareResourceAhead(id, name);
        plat::ClearLog();
        fx::Effect* e = fx::Effect::CreateFromResource(d, id, name);
        *lines = plat::LogLines();
        ASSERT_NE(e, nullptr) << name;
        *glsl = e->DumpGlsl();
        e->Release();
    };
    // Queued all at once, so most are taken while the worker is still on
    // them or on the ones before.
    for (uint32_t id : ids) fx::Effect::PrepareResourceAhead(id, "Data\\effect" + std::to_string(id) + ".fx");
    for (uint32_t id : ids) {
        std::string glsl_ahead, glsl_alone;
        std::vector<std::string> lines_ahead, lines_alone;
        make(id, false, &glsl_ahead, &lines_ahead);  // takes the one queued above
        make(id, false, &glsl_alone, &lines_alone);  // nothing queued now: made here
        EXPECT_FALSE(glsl_ahead.empty()) << id;
        EXPECT_EQ(glsl_ahead, glsl_alone) << id;
        EXPECT_EQ(lines_ahead, lines_alone) << id;
    }
    // Prepared under another name: its messages would name the wrong file,
    // so it is made again, and still the same.
    fx::Effect::PrepareResourceAhead(kSsaoEffectId, "Data\\elsewhere.fx");
    std::string glsl_renamed, glsl_alone;
    std::vector<std::string> lines;
    make(kSsaoEffectId, false, &glsl_renamed, &lines);
    make(kSsaoEffectId, true, &glsl_alone, &lines);
    EXPECT_EQ(glsl_renamed, glsl_alone);
    plat::FinishAhead();
}
