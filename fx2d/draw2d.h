// fx2d/draw2d.h - immediate-mode quads of the 2D layer: rectangles,
// gradients, pictures, parts of pictures, and full-screen filters.
//
// Space: a 1024 x 768 reference screen, origin top left, y down, in pixels.
// Every operation multiplies position and size by g_vScreenScale first. The textured operations then snap each corner to
// trunc(v) - 0.5, which, with pixel centres on whole numbers, puts texel
// centres on pixel centres: a picture drawn at its own size shows each texel
// on exactly one pixel, texel (x, y) of a picture at (0, 0) on pixel
// (x, y), so a 1024 x 1024 picture at (0, 0) covers every pixel of the
// 1024 x 768 screen. DrawGradientRect does not snap.
//
// Each call builds four vertices on the stack, selects a technique of the
// 2D effect (g_p2DEffect, "Data\2d.fx") or of the caller's effect, and draws
// one strip of two triangles. It leaves behind: depth writes off, culling
// off, alpha blending on; with the device set-up's blend factors and alpha
// test, a pixel whose final alpha is 0 is not written.
//
// A null texture record, a record without a texture, or a missing effect
// draws nothing (the three states are set all the same).
#pragma once

#include <cstdint>

#include "render/math.h"

struct CTexture;
namespace plat::fx {
class Effect;
}

// Pre-transformed coloured corner (declaration VD_PosTCol).
struct Vertex2D {
    float x, y, z, rhw;  // pixels; z 0, rhw 1
    uint32_t color;      // D3DCOLOR, 0xAARRGGBB
};
static_assert(sizeof(Vertex2D) == 20);

// Pre-transformed coloured, textured corner (declaration VD_PosTColTex).
struct VertexTex2D {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
static_assert(sizeof(VertexTex2D) == 28);

// "PosCol2D": one colour at all four corners.
void DrawRect(const CVector2& pos, const CVector2& size, uint32_t color);
// "PosCol2D": a colour per corner, blended across the quad.
void DrawGradientRect(const CVector2& pos, const CVector2& size, uint32_t top_left, uint32_t top_right,
                      uint32_t bottom_left, uint32_t bottom_right);

// "PosColTex2D": the whole texture stretched over the quad, times the colour.
// The record's own size is not used: pass GetSize() for the natural size.
void DrawTexture(const CTexture* texture, const CVector2& pos, const CVector2& size, uint32_t color);
// As DrawTexture with a colour per corner (note the order of the corners).
void DrawTextureGradient(const CTexture* texture, const CVector2& pos, const CVector2& size, uint32_t bottom_left,
                         uint32_t top_left, uint32_t bottom_right, uint32_t top_right);
// "PosColTex2D": texture coordinates uv_origin .. uv_origin + uv_size.
void DrawTextureRegion(const CTexture* texture, const CVector2& pos, const CVector2& size,
                       const CVector2& uv_origin, const CVector2& uv_size, uint32_t color);

// The caller's effect, technique "PostProcess", with the texture as
// g_txSrcColor, g_vPixelSize as g_PixelSize and g_vDesignPixelSize as
// g_DesignPixelSize; position and size scaled as everywhere above (a
// picture's filter covers the same part of the screen at any size). The
// colour goes to every corner.
void DrawPostProcessQuad(plat::fx::Effect* effect, const CTexture* texture, const CVector2& pos,
                         const CVector2& size, uint32_t color);
