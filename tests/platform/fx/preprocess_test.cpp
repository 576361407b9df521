// The preprocessor in front of effect files: includes (beside the file, in
// the given directories, among the embedded resources), macros, conditionals,
// #line, #pragma, macros given from outside, and where its errors point.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

#include "platform/fx/effect.h"
#include "platform/fx/preprocess.h"
#include "platform/os/resources.h"
#include "tests/support/gfx_test_util.h"

using namespace plat;
using namespace gfxtest;

namespace {

// Files by path, as a reader sees them.
fx::PreprocessOptions InMemory(std::map<std::string, std::string> files, std::vector<std::string> dirs = {}) {
    fx::PreprocessOptions o;
    o.include_dirs = std::move(dirs);
    o.read = [files = std::move(files)](const std::string& path, std::string* text) {
        auto it = files.find(path);
        if (it == files.end()) return false;
        *text = it->second;
        return true;
    };
    return o;
}

std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& m : v) s += m + "\n";
    return s;
}

// Preprocesses and parses; the messages, one a line.
bool Read(std::string_view src, std::string_view name, const fx::PreprocessOptions& o, fx::ParsedEffect* out,
          std::string* messages) {
    std::vector<std::string> m;
    const bool ok = fx::ReadEffectSource(src, name, o, out, &m);
    *messages = Joined(m);
    return ok;
}

const fx::Parameter* Param(const fx::ParsedEffect& e, std::string_view name) {
    for (const fx::Parameter& p : e.desc.parameters) {
        if (p.name == name) return &p;
    }
    return nullptr;
}

constexpr const char* kPs = "float4 PS(float2 t : TEXCOORD0) : COLOR0 { return float4(t, 0, 1); }\n";

TEST(FxIncludeSearch, BesideTheIncluderThenEachDirectoryInOrder) {
    EXPECT_EQ(fx::IncludeCandidates("common.fxh", "fx/a/main.fx", false, {"inc", "fx/a"}),
              (std::vector<std::string>{"fx/a/common.fxh", "inc/common.fxh"}));
    EXPECT_EQ(fx::IncludeCandidates("../up.fxh", "fx/a/main.fx", false, {}), (std::vector<std::string>{"fx/up.fxh"}));
    EXPECT_EQ(fx::IncludeCandidates("sys.fxh", "fx/main.fx", true, {"x", "y/./z"}),
              (std::vector<std::string>{"x/sys.fxh", "y/z/sys.fxh"}));
    EXPECT_EQ(fx::IncludeCandidates("/abs/h.fxh", "main.fx", false, {"x"}), (std::vector<std::string>{"/abs/h.fxh"}));
    // The main file's place (options.path) wins over its name.
    fx::PreprocessOptions o = InMemory({{"shaders/common.fxh", "float g_c = 2;\n"}});
    o.path = "shaders/main.fx";
    fx::ParsedEffect e;
    std::string log;
    ASSERT_TRUE(Read("#include \"common.fxh\"\n", "Data\\main.fx", o, &e, &log)) << log;
    ASSERT_NE(Param(e, "g_c"), nullptr);
    o.path.clear();
    EXPECT_FALSE(Read("#include \"common.fxh\"\n", "Data\\main.fx", o, &e, &log));
}

TEST(FxPreprocess, MacrosConditionalsAndDefinesFromOutside) {
    const char* src =
        "#include \"decl.fxh\"\n"
        "DECLARE(float4, g_vTint, float4(1, 0.5, 0.25, 1))\n"
        "#if defined(QUALITY) && QUALITY >= 2\n"
        "float g_fTaps = 16;\n"
        "#elif defined(QUALITY)\n"
        "float g_fTaps = 8;\n"
        "#else\n"
        "float g_fTaps = 4;\n"
        "#endif\n"
        "#define GONE 3\n"
        "#undef GONE\n"
        "#ifdef GONE\n"
        "float g_fGone;\n"
        "#endif\n"
        "#ifndef FLAG\n"
        "float g_fNoFlag = 1;\n"
        "#else\n"
        "float g_fFlag = FLAG;\n"
        "#endif\n";
    const fx::PreprocessOptions base = InMemory({{"decl.fxh", "#define DECLARE(type, name, value) type name = value;\n"}});
    struct Case {
        std::vector<std::pair<std::string, std::string>> defines;
        float taps;
        const char* flag_param;
        float flag_value;
    };
    for (const Case& c : {Case{{}, 4, "g_fNoFlag", 1}, Case{{{"QUALITY", "1"}}, 8, "g_fNoFlag", 1},
                          Case{{{"QUALITY", "3"}, {"FLAG", "7.5"}}, 16, "g_fFlag", 7.5f}}) {
        fx::PreprocessOptions o = base;
        o.defines = c.defines;
        fx::ParsedEffect e;
        std::string log;
        ASSERT_TRUE(Read(src, "m.fx", o, &e, &log)) << log;
        const fx::Parameter* tint = Param(e, "g_vTint");
        ASSERT_NE(tint, nullptr);
        EXPECT_EQ(tint->defaults, (std::vector<float>{1, 0.5f, 0.25f, 1}));
        ASSERT_NE(Param(e, "g_fTaps"), nullptr);
        EXPECT_EQ(Param(e, "g_fTaps")->defaults, std::vector<float>{c.taps});
        EXPECT_EQ(Param(e, "g_fGone"), nullptr);
        ASSERT_NE(Param(e, c.flag_param), nullptr) << c.flag_param;
        EXPECT_EQ(Param(e, c.flag_param)->defaults, std::vector<float>{c.flag_value});
    }
    // A -D that is not a macro name is refused, not pasted into the source.
    fx::PreprocessOptions o = base;
    o.defines = {{"A B", "1"}};
    std::string out;
    std::vector<std::string> m;
    EXPECT_FALSE(fx::Preprocess("float x;\n", "m.fx", o, &out, &m));
    EXPECT_NE(Joined(m).find("m.fx: -D 'A B'"), std::string::npos) << Joined(m);
}

TEST(FxPreprocess, MessagesNameTheFileAndLineTheTextCameFrom) {
    const fx::PreprocessOptions o = InMemory({
        {"two.fxh", "// line 1\nfloat g_fOk;\ntechnique Broken { pass p { PixelShader = nonsense(); } }\n"},
        {"self.fxh", "float g_a;\n#include \"self.fxh\"\n"},
        {"err.fxh", "\n\n#error the header says no\n"},
        {"ok.fxh", "// three lines\nfloat g_fOk;\n\n"},
    });
    struct Case {
        const char* src;
        const char* want;
    };
    for (const Case& c : {
             // A parser error inside an include, and after one.
             Case{"float a;\n#include \"two.fxh\"\n", "two.fxh(3): shader value 'nonsense()' is not supported"},
             Case{"#include \"decl.fxh\"\n", "m.fx(1): #include: cannot find include file 'decl.fxh' (looked for decl.fxh)"},
             Case{"\n#include <sys.fxh>\n", "m.fx(2): #include: cannot find include file 'sys.fxh' (looked for it nowhere)"},
             Case{"#include \"self.fxh\"\n", "self.fxh(2): #include: 'self.fxh' is included more than 32 deep"},
             Case{"float a;\n#include \"err.fxh\"\n", "err.fxh(3): #error: the header says no"},
             Case{"#if 1\nfloat a;\n#else\nfloat b;\n", "m.fx(5): #if without #endif"},
             Case{"#include \"ok.fxh\"\nfloat a;\nfloat b\n", "m.fx(4): expected ';'"},
             Case{"#line 200 \"orig.fx\"\nfloat a;\nfloat b c;\n", "orig.fx(201): expected ';'"},
         }) {
        fx::ParsedEffect e;
        std::string log;
        EXPECT_FALSE(Read(c.src, "m.fx", o, &e, &log)) << c.src;
        EXPECT_NE(log.find(c.want), std::string::npos) << "want: " << c.want << "\ngot:\n" << log;
    }
}

// Refused by the bound on macro expansion, which is checked before glslang
// runs: at once, not after minutes of expanding.
void ExpectRefusedAsRunaway(const std::string& src, const std::string& name) {
    const auto start = std::chrono::steady_clock::now();
    std::string out;
    std::vector<std::string> m;
    EXPECT_FALSE(fx::Preprocess(src, name, {}, &out, &m));
    EXPECT_NE(Joined(m).find(name + ": its macros expand to too much text"), std::string::npos) << Joined(m);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(FxPreprocess, MacrosThatWouldExpandWithoutEndAreRefusedAtOnce) {
    // Each level doubles: 2^30 tokens for glslang, minutes and gigabytes.
    const char* bomb =
        "#define A(x) x x\n#define B(x) A(A(x))\n#define C(x) B(B(x))\n#define D(x) C(C(x))\n"
        "#define E(x) D(D(x))\n#define F(x) E(E(x))\nfloat f = F(F(F(1)));\n";
    ExpectRefusedAsRunaway(bomb, "bomb.fx");
    // The same macros used a few levels deep are an ordinary file.
    std::string out;
    std::vector<std::string> m;
    const fx::PreprocessOptions o = InMemory({{"bomb.fxh", std::string(bomb).substr(0, std::string(bomb).find("float"))}});
    EXPECT_TRUE(fx::Preprocess("#include \"bomb.fxh\"\nfloat f = B(C(1));\n", "ok.fx", o, &out, &m))
        << Joined(m);
}

// A chain of doubling macros in which one names a later one: T uses W, and
// W, V, U lead back to T. Expanding Z meets T while W is not yet being
// expanded, so the whole chain doubles again below it (2^40 tokens);
// weighed once from T's own definition, W would look small.
TEST(FxPreprocess, DoublingMacrosThatNameEachOtherRoundACycleAreRefused) {
    std::string src;
    char prev = 'A';
    src += "#define A 1\n";
    for (char c = 'B'; c <= 'Z'; ++c) {
        src += std::string("#define ") + c + " (" + prev + "+" + (c == 'T' ? 'W' : prev) + ")\n";
        prev = c;
    }
    src += "float x = Z;\n";
    ExpectRefusedAsRunaway(src, "cycle.fx");
}

// ---- On the device ----------------------------------------------------------

class FxPreprocessDraw : public ::testing::Test {
protected:
    void SetUp() override {
        d = SharedDevice();
        ASSERT_NE(d, nullptr);
        ResetStates(d);
    }
    // Draws technique T of `effect` over a 16 x 16 float target; pixel (8, 8).
    std::array<float, 4> Run(fx::Effect* effect) {
        gfx::Texture* target = d->CreateTexture(16, 16, 1, gfx::USAGE_RENDERTARGET, gfx::Format::A16B16G16R16F);
        gfx::Surface* surface = nullptr;
        EXPECT_TRUE(target->GetSurfaceLevel(0, &surface));
        d->SetRenderTarget(0, surface);
        EXPECT_TRUE(d->BeginScene());
        EXPECT_TRUE(effect->SetTechnique("T"));
        RunEveryPass(effect, [&] { DrawQuad(d, Quad(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFFFFFF)); });
        d->EndScene();
        std::vector<float> f;
        EXPECT_TRUE(d->ReadSurface(surface, f));
        ResetStates(d);
        surface->Release();
        target->Release();
        const size_t i = (8 * 16 + 8) * 4;
        return f.size() > i + 3 ? std::array<float, 4>{f[i], f[i + 1], f[i + 2], f[i + 3]} : std::array<float, 4>{};
    }
    gfx::Device* d = nullptr;
};

TEST_F(FxPreprocessDraw, MacroBuiltDeclarationsDrawWhatTheDefinesChose) {
    const char* src =
        "#include \"color.fxh\"\n"
        "#pragma warning(disable: 3571)\n"
        "COLOR_PARAM(g_vBase, 0.25, 0.5, 0.75)\n"
        "float4 PS(float2 t : TEXCOORD0) : COLOR0 {\n"
        "#ifdef DOUBLE\n"
        "    return float4(g_vBase.rgb * 2, 1);\n"
        "#else\n"
        "    return float4(g_vBase.rgb, 1);\n"
        "#endif\n"
        "}\n"
        "technique T { pass p { VertexShader = null; PixelShader = compile ps_2_0 PS(); ZEnable = false; } }\n";
    fx::PreprocessOptions o = InMemory({{"fx/color.fxh", "#define COLOR_PARAM(n, r, g, b) float4 n = float4(r, g, b, 1);\n"}});
    o.path = "fx/main.fx";
    for (bool twice : {false, true}) {
        if (twice) o.defines = {{"DOUBLE", ""}};
        std::string log;
        fx::Effect* e = fx::Effect::Create(d, src, "main.fx", o, &log);
        ASSERT_NE(e, nullptr) << log;
        const float k = twice ? 2.f : 1.f;
        EXPECT_EQ(Run(e), (std::array<float, 4>{0.25f * k, 0.5f * k, 0.75f * k, 1.f}));
        e->Release();
    }
}

TEST_F(FxPreprocessDraw, CompilerMessagesPointIntoTheIncludedFile) {
    const fx::PreprocessOptions o = InMemory({{"ps.fxh", "\n\nfloat4 PS() : COLOR0 { return no_such_thing; }\n"}});
    std::string log;
    fx::Effect* e = fx::Effect::Create(
        d, "float g;\n#include \"ps.fxh\"\ntechnique T { pass p { PixelShader = compile ps_2_0 PS(); } }\n", "m.fx", o, &log);
    EXPECT_EQ(e, nullptr);
    EXPECT_NE(log.find("ps.fxh:3: 'no_such_thing'"), std::string::npos) << log;
}

TEST_F(FxPreprocessDraw, EmbeddedEffectsIncludeOtherResourcesByTheirListedPath) {
    const std::string_view blur = FindResourceFile(kResRcData, 221);
    EXPECT_EQ(blur, "../../render/shaders/PP_ColorBlurH.fx");
    size_t n = 0;
    EXPECT_NE(FindResourceByFile(kResRcData, "../../render/./shaders/x/../PP_ColorBlurH.fx", &n), nullptr);
    EXPECT_EQ(FindResourceByFile(kResRcData, "PP_ColorBlurH.fx", &n), nullptr);

    // The same reader the show's loader (data/creators.cpp) uses.
    fx::PreprocessOptions o;
    o.path = "../../render/shaders/wrapper.fx";
    o.read = [](const std::string& path, std::string* text) {
        size_t size = 0;
        const unsigned char* b = FindResourceByFile(kResRcData, path, &size);
        if (b) text->assign(reinterpret_cast<const char*>(b), size);
        return b != nullptr;
    };
    std::string log;
    fx::Effect* wrapped = fx::Effect::Create(d, "#include \"PP_ColorBlurH.fx\"\n", "wrapper.fx", o, &log);
    ASSERT_NE(wrapped, nullptr) << log;
    fx::Effect* direct = fx::Effect::Create(d, std::string_view(reinterpret_cast<const char*>(
                                                                    FindResourceBytes(kResRcData, 221, &n)), n),
                                            "PP_ColorBlurH.fx", &log);
    ASSERT_NE(direct, nullptr) << log;
    EXPECT_EQ(wrapped->DumpGlsl(), direct->DumpGlsl());
    ASSERT_EQ(wrapped->Desc().parameters.size(), direct->Desc().parameters.size());
    for (size_t i = 0; i < direct->Desc().parameters.size(); ++i) {
        EXPECT_EQ(wrapped->Desc().parameters[i].name, direct->Desc().parameters[i].name);
        EXPECT_EQ(wrapped->Desc().parameters[i].defaults, direct->Desc().parameters[i].defaults);
    }
    wrapped->Release();
    direct->Release();
}

}  // namespace
