// tools/check_boundary.sh: the tree as it stands keeps the layers, and each
// kind of break is caught and named - an include up the layer order, a cycle
// of modules (also one running through a header with no .cpp of its own),
// a library header and an OS header outside platform/.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/run_command.h"

namespace {

namespace fs = std::filesystem;

const std::string kCheck = std::string("bash ") + KELO_SOURCE_DIR "/tools/check_boundary.sh";

class BoundaryTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("kelo_boundary_" + std::string(
            ::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        // A small tree that keeps every rule: the tower on the engine on the
        // services on the platform.
        Write("platform/os/log.h", "#pragma once\n#include <cstdio>\n");
        Write("platform/os/log.cpp", "#include \"platform/os/log.h\"\n#include <unistd.h>\n#include <SDL.h>\n");
        Write("app/device.h", "#pragma once\n#include \"platform/os/log.h\"\n");
        Write("app/device.cpp", "#include \"app/device.h\"\n");
        Write("engine/effect.h", "#pragma once\n#include \"app/device.h\"\n");
        Write("engine/effect.cpp", "#include \"engine/effect.h\"\n");
        Write("tower/cube_tower.h", "#pragma once\n#include \"engine/effect.h\"\n");
        Write("tower/cube_tower.cpp", "#include \"tower/cube_tower.h\"\n#include \"render/math.h\"\n");
        Write("render/math.h", "#pragma once\n");
        Write("render/math.cpp", "#include \"render/math.h\"\n");
    }
    void TearDown() override { fs::remove_all(root_); }

    void Write(const std::string& path, const std::string& text) {
        fs::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path) << text;
    }
    std::pair<int, std::string> Check() { return RunCommand(kCheck + " " + root_.string() + " 2>&1"); }

    fs::path root_;
};

TEST(Boundary, TheTreeKeepsItsLayers) {
    auto [status, out] = RunCommand(kCheck + " 2>&1");
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("no cycle"), std::string::npos) << out;
}

TEST_F(BoundaryTree, AKeptTreePasses) {
    auto [status, out] = Check();
    EXPECT_EQ(status, 0) << out;
}

TEST_F(BoundaryTree, AnIncludeUpTheLayersIsNamed) {
    Write("app/device.cpp", "#include \"app/device.h\"\n#include \"tower/cube_tower.h\"\n");
    auto [status, out] = Check();
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("app/device.cpp (layer 3) includes tower/cube_tower.h (layer 9)"), std::string::npos) << out;
}

TEST_F(BoundaryTree, ACycleIsNamedEvenThroughAHeaderOfItsOwn) {
    // Inside one layer no include runs up, so only the cycle check sees
    // this; the loop passes through a header that has no .cpp.
    Write("engine/demo.h", "#pragma once\n");
    Write("engine/demo.cpp", "#include \"engine/demo.h\"\n#include \"engine/shared.h\"\n");
    Write("engine/shared.h", "#pragma once\n#include \"engine/effect.h\"\n");
    Write("engine/effect.cpp", "#include \"engine/effect.h\"\n#include \"engine/demo.h\"\n");
    auto [status, out] = Check();
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("round a cycle"), std::string::npos) << out;
    const bool named = out.find("engine/demo -> engine/effect -> engine/demo") != std::string::npos ||
                       out.find("engine/effect -> engine/demo -> engine/effect") != std::string::npos;
    EXPECT_TRUE(named) << out;
}

TEST_F(BoundaryTree, LibraryAndOsHeadersOutsidePlatformAreNamed) {
    Write("engine/effect.cpp", "#include \"engine/effect.h\"\n#include <epoxy/gl.h>\n");
    Write("fuzz/target.cpp", "#include <sys/wait.h>\n");
    auto [status, out] = Check();
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("engine/effect.cpp:2:#include <epoxy/gl.h>"), std::string::npos) << out;
    EXPECT_NE(out.find("fuzz/target.cpp:1:#include <sys/wait.h>"), std::string::npos) << out;
    // platform/ itself may use both (log.cpp does).
    EXPECT_EQ(out.find("platform/os/log.cpp"), std::string::npos) << out;
}

}  // namespace
