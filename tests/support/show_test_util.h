// Shared set-up for tests that draw through the show's own device services
// (app/device.h): InitDevice with the dialog answered (windowed, no vsync,
// off-screen, GL errors counted), so GetDevice, the vertex declarations,
// GetFont() and g_p2DEffect exist as in the show. Made once per test program.
// gfxtest::SharedDevice (tests/support/gfx_test_util.h) returns this same device, so
// every kind of test shares the one window of the process.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/device.h"

namespace showtest {

// Null (and a test failure) when InitDevice fails here.
plat::gfx::Device* ShowDevice();

// A run as it starts: no quit or exit asked for, no key down now or in the
// last frame, and the frame timer's step set to `frame_step` seconds.
void ResetRunState(float frame_step);

// Render target 0 back to the back buffer and the states InitDevice leaves
// (culling clockwise, depth test on, alpha test >= 1, blending off, "over"
// factors), then BeginScene and a clear to `argb` with depth 1.
void BeginFrame(uint32_t argb);
void EndFrame();

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c);

// The back buffer, 1024 x 768 RGB, top row first.
struct Frame {
    std::vector<uint8_t> rgb;
    Rgb At(int x, int y) const;
    // Pixels in the rectangle [x0, x1) x [y0, y1) that are not `c`.
    int CountNot(int x0, int y0, int x1, int y1, Rgb c) const;
};
Frame ReadFrame();

// Writes the frame as DIR/<name>/frame_000000.png when KELO_TEST_PNG_DIR
// names a directory; does nothing otherwise. For looking, not for checking.
void SavePng(const Frame& frame, const std::string& name);

}  // namespace showtest
