// The camera: start-up values, the degenerate state the start-up sequence
// passes through, and when the aspect ratio is read.
#include <gtest/gtest.h>

#include <cmath>

#include "app/device.h"
#include "render/camera.h"

namespace {

bool Finite(const CMatrix& m) {
    for (const auto& row : m.m) {
        for (float v : row) {
            if (!std::isfinite(v)) return false;
        }
    }
    return true;
}

TEST(Camera, StartUpSequenceAndAspect) {
    const float saved_w = g_fScreenWidth, saved_h = g_fScreenHeight;
    g_fScreenWidth = 1024.f;
    g_fScreenHeight = 768.f;

    CCamera camera;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) EXPECT_EQ(camera.GetViewMatrix().m[r][c], r == c ? 1.f : 0.f);
    }
    camera.SetClipPlanes(0.1f, 2000.f);
    EXPECT_NEAR(camera.GetProjMatrix().m[0][0], 1.299038f, 1e-5f);
    EXPECT_NEAR(camera.GetProjMatrix().m[1][1], 1.732051f, 1e-5f);
    EXPECT_NEAR(camera.GetFocalPlaneLength(), 1999.9f, 1e-3f);

    // Up is still zero here: a singular view, but no error and no NaN.
    camera.SetPosition(CVector3(0.f, 0.f, 180.f));
    EXPECT_TRUE(Finite(camera.GetViewMatrix()));
    EXPECT_EQ(camera.GetViewMatrix().m[0][0], 0.f);
    camera.SetFocus(CVector3(0.f, 0.f, 0.f), CVector3(0.f, 1.f, 0.f));
    // The eye at (0, 0, 180) looking at the origin: the origin is 180 in front.
    EXPECT_NEAR(camera.GetViewMatrix().m[3][2], -180.f, 1e-4f);
    EXPECT_EQ(camera.GetViewMatrix().m[0][0], 1.f);

    // The aspect is read when the projection is built, not afterwards.
    g_fScreenWidth = 2048.f;
    EXPECT_NEAR(camera.GetProjMatrix().m[0][0], 1.299038f, 1e-5f);
    camera.SetClipPlanes(0.1f, 2000.f);
    EXPECT_NEAR(camera.GetProjMatrix().m[0][0], 1.732051f * 768.f / 2048.f, 1e-5f);

    SetCurrentCamera(&camera);
    EXPECT_EQ(GetCurrentCamera(), &camera);
    SetCurrentCamera(nullptr);
    g_fScreenWidth = saved_w;
    g_fScreenHeight = saved_h;
}

}  // namespace
