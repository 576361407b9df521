// kelo-fxc, the effect inspector, run as a person would run it.
#include <gtest/gtest.h>

#include "tests/support/run_command.h"
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::pair<int, std::string> Fxc(const std::string& args) {
    return RunCommand("SDL_VIDEODRIVER=offscreen " KELO_FXC " " + args);
}

TEST(KeloFxc, EveryEmbeddedEffectFileCompiles) {
    std::string files;
    for (const auto& e : fs::directory_iterator(KELO_SOURCE_DIR "/render/shaders")) {
        if (e.path().extension() == ".fx") files += " " + e.path().string();
    }
    ASSERT_FALSE(files.empty());
    auto [status, out] = Fxc(files);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("FAILED"), std::string::npos) << out;
    for (const char* t : {"technique \"PosCol2D\"", "technique \"PosColTex2D\"", "technique \"PosColTex2DAlpha\""}) {
        EXPECT_NE(out.find(t), std::string::npos) << t;
    }
}

TEST(KeloFxc, ABrokenFileFailsTheRunAndSaysWhere) {
    const fs::path dir = fs::temp_directory_path() / ("kelo_fxc_" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        std::ofstream(dir / "good.fx") << "float4 PS(float2 t : TEXCOORD0) : COLOR0 { return float4(t, 0, 1); }\n"
                                          "technique PostProcess { pass p0 < float fScaleX = 0.25; > {\n"
                                          "  VertexShader = null; PixelShader = compile ps_2_0 PS(); ZEnable = false; } }\n";
        std::ofstream(dir / "bad.fx") << "float4 PS() : COLOR0\n{\n  return undefined_thing;\n}\n"
                                         "technique T { pass p { PixelShader = compile ps_2_0 PS(); } }\n";
    }
    auto [status, out] = Fxc((dir / "good.fx").string() + " " + (dir / "bad.fx").string());
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("good.fx: compiled"), std::string::npos) << out;
    EXPECT_NE(out.find("annotation float fScaleX = 0.25"), std::string::npos) << out;
    EXPECT_NE(out.find("bad.fx: FAILED"), std::string::npos) << out;
    EXPECT_NE(out.find("bad.fx:3"), std::string::npos) << "the message names the line:\n" << out;
    auto [usage_status, usage] = Fxc("");
    EXPECT_EQ(usage_status, 2);
    fs::remove_all(dir);
}

TEST(KeloFxc, IncludeDirectoriesAndDefinesFromTheCommandLine) {
    const fs::path dir = fs::temp_directory_path() / ("kelo_fxc_pp_" + std::to_string(getpid()));
    fs::create_directories(dir / "lib");
    {
        std::ofstream(dir / "lib" / "scale.fxh") << "float g_fScale = SCALE;\n";
        std::ofstream(dir / "main.fx") << "#include \"scale.fxh\"\n"
                                          "#ifdef WITH_BIAS\nfloat g_fBias = 0.5;\n#endif\n"
                                          "float4 PS(float2 t : TEXCOORD0) : COLOR0 { return float4(t * g_fScale, 0, 1); }\n"
                                          "technique T { pass p { VertexShader = null; PixelShader = compile ps_2_0 PS(); } }\n";
    }
    const std::string main = (dir / "main.fx").string();
    auto [status, out] = Fxc("-I " + (dir / "lib").string() + " -D SCALE=2.5 -DWITH_BIAS " + main);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("parameter float g_fScale = {2.5}"), std::string::npos) << out;
    EXPECT_NE(out.find("parameter float g_fBias = {0.5}"), std::string::npos) << out;
    // Without -I the include is not found, and the message says where it looked.
    auto [missing_status, missing] = Fxc("-D SCALE=1 " + main);
    EXPECT_EQ(missing_status, 1);
    EXPECT_NE(missing.find(main + "(1): #include: cannot find include file 'scale.fxh'"), std::string::npos) << missing;
    auto [help_status, help] = Fxc("--help");
    EXPECT_EQ(help_status, 0);
    EXPECT_NE(help.find("[-I DIR]... [-D NAME[=VALUE]]..."), std::string::npos) << help;
    EXPECT_EQ(Fxc(main + " -I").first, 2);
    fs::remove_all(dir);
}

// What the front end read, element by element: a sixteen-tap table with a
// comma after its last entry, a size from a static const, a matrix.
TEST(KeloFxc, DefaultsPrintsEachParameterAsRead) {
    const fs::path dir = fs::temp_directory_path() / ("kelo_fxc_defaults_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string table = "float2 g_aTaps[16] = {\n";
    std::string want = "  float2 g_aTaps[16] = {";
    for (int i = 0; i < 16; ++i) {
        char tap[48];
        std::snprintf(tap, sizeof tap, "{%g, %g}", -1.5 + i % 4, -1.5 + i / 4);
        table += std::string("    ") + tap + ",\n";
        want += std::string(i ? ", " : "") + tap;
    }
    want += "}\n";
    std::ofstream(dir / "taps.fx") << "static const int N = 2;\n" << table << "};\n"
                                   << "float g_aW[N + 1] = {0.25, 0.5, 1};\n"
                                   << "float2x2 g_m = {1, 2, 3, 4};\nfloat g_f;\n"
                                   << "float4 PS(float2 t : TEXCOORD0) : COLOR0 { return g_aTaps[15].x * g_aW[2]; }\n"
                                   << "technique T { pass p { PixelShader = compile ps_2_0 PS(); } }\n";
    auto [status, out] = Fxc("--defaults " + (dir / "taps.fx").string());
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find(want), std::string::npos) << want << "\nin:\n" << out;
    EXPECT_NE(out.find("  float g_aW[3] = {0.25, 0.5, 1}\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  float2x2 g_m = {{1, 2}, {3, 4}}\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  float g_f = (none)\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("technique"), std::string::npos) << "only the parameters:\n" << out;
    fs::remove_all(dir);
}

}  // namespace
