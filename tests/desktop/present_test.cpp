// What Present puts into a window on a real X server: the back buffer,
// pixel for pixel, the right way up, with black bars where the window is
// wider than the picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gfx/device.h"
#include "platform/gfx/picture.h"
#include "platform/os/window.h"
#include "tests/desktop/x_session.h"

using namespace plat::gfx;

namespace {

struct Vertex {  // float4 POSITIONT; D3DCOLOR
    float x, y, z, rhw;
    uint32_t color;
};

TEST(DesktopPresent, TheWindowShowsTheBackBufferPixelForPixel) {
    xtest::XSession x(false);
    ASSERT_TRUE(x.ok()) << x.error();
    // The X server's, whatever driver the test run was given.
    setenv("DISPLAY", x.display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    std::string error;
    ASSERT_TRUE(plat::InitVideo(&error, false)) << error;
    // Wider than the picture: it is drawn 1:1 between two 40-pixel bars.
    // No window manager, so the window is exactly where it was asked to be.
    constexpr int kLeft = 100, kTop = 60, kWindowW = 400, kW = 320, kH = 240;
    plat::WindowParams wp;
    wp.x = kLeft;
    wp.y = kTop;
    wp.width = kWindowW;
    wp.height = kH;
    ASSERT_TRUE(plat::CreateMainWindow(wp, &error)) << error;
    DeviceParams dp;
    dp.back_buffer_width = kW;
    dp.back_buffer_height = kH;
    Device* d = Device::Create(dp, &error);
    ASSERT_NE(d, nullptr) << error;

    std::string log;
    Shader* ps = d->CreateShader(ShaderStage::Pixel, R"(
        layout(location = 0) in vec4 v_color;
        layout(location = 0) out vec4 o_color;
        void main() { o_color = v_color; })",
                                 "o_color", &log);
    ASSERT_NE(ps, nullptr) << log;
    const VertexElement e[] = {{0, DeclType::Float4, DeclUsage::PositionT, 0},
                               {16, DeclType::D3DColor, DeclUsage::Color, 0}};
    VertexDecl* decl = d->CreateVertexDeclaration(e);
    ASSERT_NE(decl, nullptr);

    // A picture with no symmetry: colour runs red to the right, green
    // downwards, and a one-pixel blue column and row mark the top left.
    d->SetRenderState(RS::ZEnable, 0);
    d->SetRenderState(RS::CullMode, CULL_NONE);
    d->SetVertexDeclaration(decl);
    d->SetPixelShader(ps);
    ASSERT_TRUE(d->BeginScene());
    d->Clear(CLEAR_TARGET, 0xFF000000, 0.f);
    auto quad = [d](float x0, float y0, float x1, float y1, uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br) {
        const Vertex v[4] = {{x0 - 0.5f, y0 - 0.5f, 0, 1, tl},
                             {x1 - 0.5f, y0 - 0.5f, 0, 1, tr},
                             {x0 - 0.5f, y1 - 0.5f, 0, 1, bl},
                             {x1 - 0.5f, y1 - 0.5f, 0, 1, br}};
        d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, v, sizeof(Vertex));
    };
    quad(0, 0, kW, kH, 0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00);
    quad(0, 0, 1, kH, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF);
    quad(0, 0, kW, 1, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF);
    d->EndScene();
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(d->ReadBackBuffer(rgb));
    d->Present();
    // Twice: a window just mapped may miss the first swap.
    d->Present();

    plat::PicturePixels shot;
    ASSERT_TRUE(xtest::WaitUntil(5, [&] {
        return x.Screenshot(&shot) && xtest::Near(xtest::PixelAt(shot, kLeft + 40, kTop), {0, 0, 255}, 0);
    })) << "no picture in the window";
    int wrong = 0;
    std::string first;
    for (int py = 0; py < kH; ++py) {
        for (int px = 0; px < kWindowW; ++px) {
            xtest::Rgb want{0, 0, 0};
            if (px >= 40 && px < 40 + kW) {
                const uint8_t* p = &rgb[(static_cast<size_t>(py) * kW + (px - 40)) * 3];
                want = {p[0], p[1], p[2]};
            }
            const xtest::Rgb got = xtest::PixelAt(shot, kLeft + px, kTop + py);
            if (!xtest::Near(got, want, 0) && wrong++ == 0) {
                first = "(" + std::to_string(px) + "," + std::to_string(py) + ") is " + std::to_string(got.r) + "," +
                        std::to_string(got.g) + "," + std::to_string(got.b) + ", not " + std::to_string(want.r) +
                        "," + std::to_string(want.g) + "," + std::to_string(want.b);
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "first: " << first;
    // The picture is what was drawn, not a blank one that would match too.
    EXPECT_EQ(rgb[2], 255);                                      // the blue corner
    EXPECT_GT(rgb[(static_cast<size_t>(kH - 1) * kW + kW - 1) * 3], 240);  // red at the right

    decl->Release();
    ps->Release();
    d->Release();
    plat::ShutdownVideo();
}

}  // namespace
