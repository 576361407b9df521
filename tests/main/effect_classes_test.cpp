// The show's class objects: each id makes its own effect type, and the real
// executable, whose class objects come from a static library, carries all
// of them, registered in the show's order (the head of the list first).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/effect.h"
#include "fx2d/intro_screens.h"
#include "fx2d/kelo_overlay.h"
#include "fx2d/loading.h"
#include "tests/support/show_test_util.h"
#if __has_include("tower/cube_tower.h")
#include "tower/cube_tower.h"
#define KELO_TEST_HAS_TOWER 1
#endif

namespace {

TEST(EffectClasses, EachIdMakesItsOwnTypeWithLayerAndLifetime) {
    ASSERT_NE(showtest::ShowDevice(), nullptr);  // the loading screen makes its picture
    CEffect* loading = CreateEffect(0, 0, 100000.0f);
    CEffect* intro = CreateEffect(1, 2, 7.0f);
    CEffect* overlay = CreateEffect(4, 1, 10000.0f);
    EXPECT_NE(dynamic_cast<CLoading*>(loading), nullptr);
    EXPECT_NE(dynamic_cast<CIntroScreens*>(intro), nullptr);
    EXPECT_NE(dynamic_cast<CKeloOverlay*>(overlay), nullptr);
    ASSERT_NE(intro, nullptr);
    EXPECT_EQ(intro->GetClassId(), 1);
    EXPECT_EQ(intro->GetLayer(), 2u);
    EXPECT_EQ(intro->m_fTimeLeft, 7.0f);
#ifdef KELO_TEST_HAS_TOWER
    CEffect* tower = CreateEffect(3, 0, 10000.0f);
    EXPECT_NE(dynamic_cast<CCubeTower*>(tower), nullptr);
    delete tower;
#endif
    delete loading;
    delete intro;
    delete overlay;
}

TEST(EffectClasses, TheRealExecutableCarriesEveryClass) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kelo_test_classes_" + std::to_string(getpid()));
    const std::string cmd = "KELO_LOG=1 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " KELO_EXE " --capture " +
                            dir.string() + " --frames 2 2>&1";
    std::string output;
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) output.append(buf.data(), n);
    EXPECT_EQ(pclose(p), 0) << output;
    std::filesystem::remove_all(dir);

    std::vector<std::string> lines = {"app: effect class 4 CKeloOverlay", "app: effect class 0 CLoading",
                                      "app: effect class 1 CIntroScreens"};
#ifdef KELO_TEST_HAS_TOWER
    lines.push_back("app: effect class 3 CCubeTower");
#endif
    size_t at = 0;
    for (const std::string& line : lines) {
        const size_t found = output.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << output;
        at = found;
    }
}

}  // namespace
