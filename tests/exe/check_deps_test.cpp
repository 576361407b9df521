// tools/check_deps.sh, run against this very build: the install list covers
// everything the build found, and a package taken out of the list is named.
// (A machine set up by hand passes the build with a missing entry; only this
// check notices before a fresh machine fails.)
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_command.h"

namespace {

const std::string kCheck = std::string("bash ") + KELO_SOURCE_DIR "/tools/check_deps.sh " KELO_BINARY_DIR;

TEST(CheckDeps, TheListCoversTheBuildAndAMissingEntryIsNamed) {
    auto [ok_status, ok_out] = RunCommand(kCheck);
    EXPECT_EQ(ok_status, 0) << ok_out;
    EXPECT_NE(ok_out.find("check_deps: ok"), std::string::npos) << ok_out;

    // The SPIRV-Cross CMake files come only with the C library's -dev
    // package; SDL's pkg-config file only with libsdl2-dev.
    auto [status, out] =
        RunCommand(kCheck + " --without libspirv-cross-c-shared-dev --without libsdl2-dev");
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("missing from tools/deps.sh: libspirv-cross-c-shared-dev"), std::string::npos) << out;
    EXPECT_NE(out.find("missing from tools/deps.sh: libsdl2-dev"), std::string::npos) << out;
}

}  // namespace
