// Shared set-up for tests that draw through the real graphics device: one
// off-screen window and device for the whole test program, and a few small
// GLSL stages written against the device's semantic locations.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/fx/effect.h"
#include "platform/gfx/device.h"

namespace gfxtest {

// The show's device (tests/support/show_test_util.h); null when no OpenGL 4.5
// device can be made here (the test then fails).
plat::gfx::Device* SharedDevice();

// Stages: the pixel stages read COLOR0 at link 0 and TEXCOORD0 at link 2.
plat::gfx::Shader* ColorPixelShader();     // output = COLOR0
plat::gfx::Shader* TexturePixelShader();   // output = texture(s0, TEXCOORD0) * COLOR0
plat::gfx::Shader* ConstantPixelShader();  // output = uniform vec4 u_value
plat::gfx::Shader* ClipVertexShader();     // float3 POSITION, COLOR0; position * u_matrix

struct TVertex {  // float4 POSITIONT; D3DCOLOR; float2 TEXCOORD0
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
struct CVertex {  // float3 POSITION; D3DCOLOR
    float x, y, z;
    uint32_t color;
};

plat::gfx::VertexDecl* PreTransformedDecl();
plat::gfx::VertexDecl* ClipSpaceDecl();

// Resets the states the tests touch to Direct3D's defaults with culling off.
void ResetStates(plat::gfx::Device* d);
// A POSITIONT quad from (x0, y0) to (x1, y1) with texture coordinates 0..1.
std::array<TVertex, 4> Quad(float x0, float y0, float x1, float y1, uint32_t color);
void DrawQuad(plat::gfx::Device* d, const std::array<TVertex, 4>& q);

// The effect's pass loop for its current technique, with every call of it
// checked: Begin(flags 0), then BeginPass, draw(), EndPass per pass, End.
template <typename Draw>
void RunEveryPass(plat::fx::Effect* effect, Draw&& draw) {
    unsigned passes = 0;
    EXPECT_TRUE(effect->Begin(&passes, 0));
    for (unsigned p = 0; p < passes; ++p) {
        EXPECT_TRUE(effect->BeginPass(p));
        draw();
        EXPECT_TRUE(effect->EndPass());
    }
    EXPECT_TRUE(effect->End());
}

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};
std::vector<uint8_t> ReadBack(plat::gfx::Device* d);
Rgb PixelAt(const std::vector<uint8_t>& rgb, int x, int y);

}  // namespace gfxtest
