#include "tests/support/show_test_util.h"

#include <cstdlib>
#include <cstring>
#include <ostream>

#include "app/device.h"
#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/quit_request.h"
#include "platform/capture/frame_writer.h"

using namespace plat::gfx;

namespace showtest {

void ResetRunState(float frame_step) {
    g_bQuit = false;
    g_bExitRequested = false;
    std::memset(g_KeyState, 0, sizeof g_KeyState);
    std::memset(g_PrevKeyState, 0, sizeof g_PrevKeyState);
    g_fFrameStep = frame_step;
}

Device* ShowDevice() {
    static Device* device = [] {
        g_RunConfig.skip_dialog = true;
        g_RunConfig.windowed = true;
        g_RunConfig.vsync = false;
        g_RunConfig.offscreen = true;
        g_RunConfig.gl_debug = true;
        if (!InitDevice()) {
            ADD_FAILURE() << "InitDevice: " << GetStartError();
            return static_cast<Device*>(nullptr);
        }
        return GetDevice();
    }();
    return device;
}

void BeginFrame(uint32_t argb) {
    Device* d = ShowDevice();
    if (!d) return;
    d->SetRenderTarget(0, d->BackBuffer());
    d->SetRenderState(RS::ZEnable, 1);
    d->SetRenderState(RS::ZWriteEnable, 1);
    d->SetRenderState(RS::CullMode, CULL_CW);
    d->SetRenderState(RS::AlphaTestEnable, 1);
    d->SetRenderState(RS::AlphaRef, 1);
    d->SetRenderState(RS::AlphaFunc, CMP_GREATEREQUAL);
    d->SetRenderState(RS::AlphaBlendEnable, 0);
    d->SetRenderState(RS::SrcBlend, BLEND_SRCALPHA);
    d->SetRenderState(RS::DestBlend, BLEND_INVSRCALPHA);
    d->SetRenderState(RS::BlendOp, BLENDOP_ADD);
    EXPECT_TRUE(d->BeginScene());
    d->Clear(CLEAR_TARGET | CLEAR_ZBUFFER, argb, 1.f);
}

void EndFrame() {
    if (Device* d = ShowDevice()) d->EndScene();
}

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
}

Rgb Frame::At(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

int Frame::CountNot(int x0, int y0, int x1, int y1, Rgb c) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += !(At(x, y) == c);
    return n;
}

Frame ReadFrame() {
    Frame f;
    if (Device* d = ShowDevice()) {
        EXPECT_TRUE(d->ReadBackBuffer(f.rgb));
    }
    if (f.rgb.size() != 1024u * 768u * 3u) f.rgb.assign(1024u * 768u * 3u, 0);
    return f;
}

void SavePng(const Frame& frame, const std::string& name) {
    const char* dir = std::getenv("KELO_TEST_PNG_DIR");
    if (!dir || !*dir) return;
    plat::FrameWriter writer;
    std::string error;
    if (!writer.Open(std::string(dir) + "/" + name, 1024, 768, &error)) {
        ADD_FAILURE() << error;
        return;
    }
    writer.Write(frame.rgb);
    EXPECT_TRUE(writer.Close()) << writer.FirstError();
}

}  // namespace showtest
