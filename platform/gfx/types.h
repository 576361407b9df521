// platform/gfx/types.h - the values the graphics device speaks, in Direct3D 9's
// numbering where the program passes them through (render states, blend
// factors, compare functions, sampler states), so calls read as they did.
// See platform/gfx/device.h for the device itself.
#pragma once

#include <cstdint>

namespace plat::gfx {

// Render states the device keeps (others have no meaning here).
enum class RS : uint8_t {
    ZEnable,           // bool
    ZWriteEnable,      // bool
    ZFunc,             // Cmp
    CullMode,          // Cull
    Lighting,          // bool; fixed-function lighting does not exist here: kept, no effect
    AlphaTestEnable,   // bool
    AlphaRef,          // 0..255
    AlphaFunc,         // Cmp
    AlphaBlendEnable,  // bool
    SrcBlend,          // Blend
    DestBlend,         // Blend
    BlendOp,           // BlendOp
    Count
};

enum Cull : uint32_t { CULL_NONE = 1, CULL_CW = 2, CULL_CCW = 3 };

enum Cmp : uint32_t {
    CMP_NEVER = 1, CMP_LESS = 2, CMP_EQUAL = 3, CMP_LESSEQUAL = 4,
    CMP_GREATER = 5, CMP_NOTEQUAL = 6, CMP_GREATEREQUAL = 7, CMP_ALWAYS = 8
};

enum Blend : uint32_t {
    BLEND_ZERO = 1, BLEND_ONE = 2, BLEND_SRCCOLOR = 3, BLEND_INVSRCCOLOR = 4,
    BLEND_SRCALPHA = 5, BLEND_INVSRCALPHA = 6, BLEND_DESTALPHA = 7, BLEND_INVDESTALPHA = 8,
    BLEND_DESTCOLOR = 9, BLEND_INVDESTCOLOR = 10, BLEND_SRCALPHASAT = 11
};

enum BlendOpValue : uint32_t {
    BLENDOP_ADD = 1, BLENDOP_SUBTRACT = 2, BLENDOP_REVSUBTRACT = 3, BLENDOP_MIN = 4, BLENDOP_MAX = 5
};

// Sampler states, per sampler stage.
enum class SS : uint8_t { AddressU, AddressV, MagFilter, MinFilter, MipFilter, Count };

enum TexAddress : uint32_t { TADDRESS_WRAP = 1, TADDRESS_MIRROR = 2, TADDRESS_CLAMP = 3, TADDRESS_BORDER = 4 };
enum TexFilter : uint32_t { TEXF_NONE = 0, TEXF_POINT = 1, TEXF_LINEAR = 2, TEXF_ANISOTROPIC = 3 };

enum class Format : uint8_t {
    A8R8G8B8,       // 8-bit RGBA picture
    X8R8G8B8,       // 8-bit RGB picture; alpha reads as 1
    A16B16G16R16F,  // four 16-bit floats: render targets
};

enum Usage : uint32_t { USAGE_NONE = 0, USAGE_RENDERTARGET = 1 };

enum ClearFlags : uint32_t { CLEAR_TARGET = 1, CLEAR_ZBUFFER = 2 };

enum class PrimType : uint8_t { TriangleList, TriangleStrip };

enum class DeclType : uint8_t { Float1, Float2, Float3, Float4, D3DColor };
// New usages go at the end: the values of the first five are in use.
enum class DeclUsage : uint8_t {
    Position, Normal, TexCoord, PositionT, Color,
    Tangent, Binormal, BlendWeight, BlendIndices, PSize, Fog
};

// One element of a vertex declaration (stream 0, default method).
struct VertexElement {
    uint16_t offset;
    DeclType type;
    DeclUsage usage;
    uint8_t usage_index;
};

enum class ShaderStage : uint8_t { Vertex, Pixel };

// Where a vertex element or a stage link lives in GL, by semantic. Vertex
// inputs and stage links are matched by semantic, never by declaration order:
// every shader the device runs declares its inputs and outputs at these
// locations (-1: the semantic cannot be an input / a link).
int AttributeLocation(DeclUsage usage, unsigned index);
int VaryingLocation(DeclUsage usage, unsigned index);
inline constexpr int kMaxTexCoords = 8;
inline constexpr int kMaxSamplers = 16;

struct SurfaceDesc {
    Format format;
    uint32_t usage;
    uint32_t width;
    uint32_t height;
};

// Per-frame counters, reset by Present.
struct FrameStats {
    uint32_t draws = 0;
    uint32_t primitives = 0;
    uint32_t bytes_streamed = 0;
    uint32_t state_changes = 0;   // GL state actually changed
    uint32_t texture_binds = 0;
    uint32_t target_binds = 0;
    uint32_t program_binds = 0;
};

}  // namespace plat::gfx
