#include "tests/support/gfx_test_util.h"

#include <cstdlib>
#include <string>

#include "platform/os/window.h"
#include "tests/support/show_test_util.h"

using namespace plat::gfx;

namespace gfxtest {
namespace {

Shader* Make(ShaderStage stage, const char* src, const char* out) {
    std::string log;
    Shader* s = SharedDevice()->CreateShader(stage, src, out, &log);
    EXPECT_NE(s, nullptr) << log;
    return s;
}

}  // namespace

Device* SharedDevice() {
    // The show's own device, made by InitDevice as in a headless run, so
    // every kind of test can share the one window of the process.
    return showtest::ShowDevice();
}

Shader* ColorPixelShader() {
    static Shader* s = Make(ShaderStage::Pixel, R"(
        layout(location = 0) in vec4 v_color;
        layout(location = 0) out vec4 o_color;
        void main() { o_color = v_color; })",
                            "o_color");
    return s;
}

Shader* TexturePixelShader() {
    static Shader* s = Make(ShaderStage::Pixel, R"(
        layout(location = 0) in vec4 v_color;
        layout(location = 2) in vec2 v_uv;
        layout(binding = 0) uniform sampler2D s0;
        layout(location = 0) out vec4 o_color;
        void main() { o_color = texture(s0, v_uv) * v_color; })",
                            "o_color");
    return s;
}

Shader* ConstantPixelShader() {
    static Shader* s = Make(ShaderStage::Pixel, R"(
        uniform vec4 u_value;
        layout(location = 0) out vec4 o_color;
        void main() { o_color = u_value; })",
                            "o_color");
    return s;
}

Shader* ClipVertexShader() {
    static Shader* s = Make(ShaderStage::Vertex, R"(
        layout(location = 0) in vec3 a_position;
        layout(location = 2) in vec4 a_color;
        layout(location = 0) out vec4 v_color;
        uniform mat4 u_matrix;
        void main() {
            gl_Position = vec4(a_position, 1.0) * u_matrix;
            v_color = a_color;
        })",
                            "");
    if (s) {
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        s->SetMatrix("u_matrix", identity);
    }
    return s;
}

VertexDecl* PreTransformedDecl() {
    static VertexDecl* d = [] {
        const VertexElement e[] = {{0, DeclType::Float4, DeclUsage::PositionT, 0},
                                   {16, DeclType::D3DColor, DeclUsage::Color, 0},
                                   {20, DeclType::Float2, DeclUsage::TexCoord, 0}};
        return SharedDevice()->CreateVertexDeclaration(e);
    }();
    return d;
}

VertexDecl* ClipSpaceDecl() {
    static VertexDecl* d = [] {
        const VertexElement e[] = {{0, DeclType::Float3, DeclUsage::Position, 0},
                                   {12, DeclType::D3DColor, DeclUsage::Color, 0}};
        return SharedDevice()->CreateVertexDeclaration(e);
    }();
    return d;
}

void ResetStates(Device* d) {
    d->SetRenderTarget(0, d->BackBuffer());
    d->SetRenderState(RS::ZEnable, 0);
    d->SetRenderState(RS::ZWriteEnable, 1);
    d->SetRenderState(RS::ZFunc, CMP_LESSEQUAL);
    d->SetRenderState(RS::CullMode, CULL_NONE);
    d->SetRenderState(RS::AlphaTestEnable, 0);
    d->SetRenderState(RS::AlphaRef, 0);
    d->SetRenderState(RS::AlphaFunc, CMP_ALWAYS);
    d->SetRenderState(RS::AlphaBlendEnable, 0);
    d->SetRenderState(RS::SrcBlend, BLEND_ONE);
    d->SetRenderState(RS::DestBlend, BLEND_ZERO);
    d->SetRenderState(RS::BlendOp, BLENDOP_ADD);
    for (unsigned s = 0; s < 2; ++s) {
        d->SetTexture(s, nullptr);
        d->SetSamplerState(s, SS::AddressU, TADDRESS_CLAMP);
        d->SetSamplerState(s, SS::AddressV, TADDRESS_CLAMP);
        d->SetSamplerState(s, SS::MinFilter, TEXF_LINEAR);
        d->SetSamplerState(s, SS::MagFilter, TEXF_LINEAR);
        d->SetSamplerState(s, SS::MipFilter, TEXF_NONE);
    }
    d->SetVertexShader(nullptr);
    d->SetPixelShader(nullptr);
}

std::array<TVertex, 4> Quad(float x0, float y0, float x1, float y1, uint32_t color) {
    return {{{x0, y0, 0.f, 1.f, color, 0.f, 0.f},
             {x1, y0, 0.f, 1.f, color, 1.f, 0.f},
             {x0, y1, 0.f, 1.f, color, 0.f, 1.f},
             {x1, y1, 0.f, 1.f, color, 1.f, 1.f}}};
}

void DrawQuad(Device* d, const std::array<TVertex, 4>& q) {
    d->SetVertexDeclaration(PreTransformedDecl());
    d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, q.data(), sizeof(TVertex));
}

std::vector<uint8_t> ReadBack(Device* d) {
    std::vector<uint8_t> rgb;
    EXPECT_TRUE(d->ReadBackBuffer(rgb));
    return rgb;
}

Rgb PixelAt(const std::vector<uint8_t>& rgb, int x, int y) {
    const size_t i = (static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

}  // namespace gfxtest
