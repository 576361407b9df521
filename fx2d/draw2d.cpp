#include "fx2d/draw2d.h"

#include <cmath>

#include "app/device.h"
#include "data/texture.h"
#include "platform/fx/effect.h"

using namespace plat::gfx;

namespace {

// trunc(v) - 0.5, toward zero: 10.9 and 10.2 give 9.5, -0.7 gives -0.5.
// Pixel centres sit on whole numbers, so an edge on a half lies between two
// pixels and a picture drawn at its own size lands texel for pixel. Minus,
// not plus: an edge at x - 0.5 makes pixel x the first one covered, so
// texel k of a picture at (0, 0) is pixel k and the picture covers row and
// column 0. With + 0.5 every picture moved one pixel right and down, and a
// full-screen picture left a line of whatever was beneath along the top and
// left edges.
float SnapToHalf(float v) { return std::trunc(v) - 0.5f; }

void Snap(VertexTex2D (&v)[4]) {
    for (VertexTex2D& c : v) {
        c.x = SnapToHalf(c.x);
        c.y = SnapToHalf(c.y);
    }
}

CVector2 Scaled(const CVector2& v) {
    CVector2 r;
    return r.Modulate(v, g_vScreenScale);
}

// Steps 1 and 2 of every operation: the declaration, then the three states
// that stay behind after the call (depth writes off, no culling, blending
// on).
Device* Prepare(int declaration) {
    Device* d = GetDevice();
    if (!d) return nullptr;
    d->SetVertexDeclaration(GetVertexDecl(declaration));
    d->SetRenderState(RS::ZWriteEnable, 0);
    d->SetRenderState(RS::CullMode, CULL_NONE);
    d->SetRenderState(RS::AlphaBlendEnable, 1);
    return d;
}

// One strip of two triangles per pass.
template <typename V>
void DrawPasses(Device* d, plat::fx::Effect* effect, const V (&v)[4]) {
    plat::fx::RunPasses(effect, [&](unsigned) { d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, v, sizeof(V)); });
}

// Strip order shared by the textured operations: bottom-left, top-left,
// bottom-right, top-right, from the scaled (or not) position and size.
void TexturedCorners(VertexTex2D (&v)[4], const CVector2& p, const CVector2& s, const CVector2& uv0,
                     const CVector2& duv, const uint32_t (&colors)[4]) {
    v[0] = {p.x, p.y + s.y, 0.f, 1.f, colors[0], uv0.x, uv0.y + duv.y};
    v[1] = {p.x, p.y, 0.f, 1.f, colors[1], uv0.x, uv0.y};
    v[2] = {p.x + s.x, p.y + s.y, 0.f, 1.f, colors[2], uv0.x + duv.x, uv0.y + duv.y};
    v[3] = {p.x + s.x, p.y, 0.f, 1.f, colors[3], uv0.x + duv.x, uv0.y};
    Snap(v);
}

// Whether a texture shown over `pixels` (screen pixels) through `uv_size`
// of its coordinates is drawn sharp: only on a screen larger than the design
// space (1024 x 768 stays bit for bit as it was), and only a picture made
// for the design space, i.e. enlarged at least by the screen's scale. A
// render target is made at the screen's own size and enlarged by less (the
// tower's mesh image by 1.0625): it stays bilinear, as at 1024 x 768. The
// 0.999 lets a glyph cell's rounded texture coordinates through. Fills the
// size in texels and the screen pixels per texel.
bool SharpScale(const CTexture* texture, const CVector2& pixels, const CVector2& uv_size, float (&texels)[2],
                float (&scale)[2]) {
    texels[0] = texels[1] = 1.f;
    scale[0] = scale[1] = 0.f;
    if (!texture || texture->m_nWidth == 0 || texture->m_nHeight == 0) return false;
    texels[0] = static_cast<float>(texture->m_nWidth);
    texels[1] = static_cast<float>(texture->m_nHeight);
    scale[0] = std::fabs(pixels.x) / (std::fabs(uv_size.x) * texels[0]);
    scale[1] = std::fabs(pixels.y) / (std::fabs(uv_size.y) * texels[1]);
    return (g_vScreenScale.x > 1.f || g_vScreenScale.y > 1.f) && scale[0] >= 0.999f * g_vScreenScale.x &&
           scale[1] >= 0.999f * g_vScreenScale.y && std::isfinite(scale[0]) && std::isfinite(scale[1]);
}

// `pixels` is the quad's size on the screen, `uv_size` the part of the
// texture it shows. Enlarged on a screen bigger than the design space, a
// picture is drawn sharp (2d.fx, PosColTex2DSharp: a one-texel line stays
// one design pixel wide). At 1024 x 768, and wherever a picture is
// shrunk, the plain bilinear technique draws as it always has.
void DrawTexturedQuad(const CTexture* texture, const VertexTex2D (&v)[4], const CVector2& pixels,
                      const CVector2& uv_size) {
    Device* d = Prepare(VD_PosTColTex);
    plat::fx::Effect* effect = g_p2DEffect;
    if (!d || !effect || !texture || !texture->m_pTexture) return;
    float texels[2], scale[2];
    if (SharpScale(texture, pixels, uv_size, texels, scale)) {
        effect->SetTechnique("PosColTex2DSharp");
        effect->SetFloatArray("g_TextureSize", texels, 2);
        effect->SetFloatArray("g_TexelScale", scale, 2);
    } else {
        effect->SetTechnique("PosColTex2D");
    }
    effect->SetTexture("g_Texture", texture->m_pTexture);
    effect->SetMatrix("g_OrthogonalMatrix", &g_mOrtho.m[0][0]);
    DrawPasses(d, effect, v);
}

}  // namespace

void DrawRect(const CVector2& pos, const CVector2& size, uint32_t color) {
    DrawGradientRect(pos, size, color, color, color, color);
}

void DrawGradientRect(const CVector2& pos, const CVector2& size, uint32_t top_left, uint32_t top_right,
                      uint32_t bottom_left, uint32_t bottom_right) {
    const CVector2 p = Scaled(pos), s = Scaled(size);
    // Z order: top-left, top-right, bottom-left, bottom-right. Not snapped:
    // a plain colour has no texels to line up.
    const Vertex2D v[4] = {{p.x, p.y, 0.f, 1.f, top_left},
                           {p.x + s.x, p.y, 0.f, 1.f, top_right},
                           {p.x, p.y + s.y, 0.f, 1.f, bottom_left},
                           {p.x + s.x, p.y + s.y, 0.f, 1.f, bottom_right}};
    Device* d = Prepare(VD_PosTCol);
    plat::fx::Effect* effect = g_p2DEffect;
    if (!d || !effect) return;
    effect->SetTechnique("PosCol2D");
    effect->SetMatrix("g_OrthogonalMatrix", &g_mOrtho.m[0][0]);
    DrawPasses(d, effect, v);
}

void DrawTexture(const CTexture* texture, const CVector2& pos, const CVector2& size, uint32_t color) {
    DrawTextureGradient(texture, pos, size, color, color, color, color);
}

void DrawTextureGradient(const CTexture* texture, const CVector2& pos, const CVector2& size, uint32_t bottom_left,
                         uint32_t top_left, uint32_t bottom_right, uint32_t top_right) {
    VertexTex2D v[4];
    const CVector2 pixels = Scaled(size), whole(1.f, 1.f);
    TexturedCorners(v, Scaled(pos), pixels, CVector2(0.f, 0.f), whole, {bottom_left, top_left, bottom_right, top_right});
    DrawTexturedQuad(texture, v, pixels, whole);
}

void DrawTextureRegion(const CTexture* texture, const CVector2& pos, const CVector2& size,
                       const CVector2& uv_origin, const CVector2& uv_size, uint32_t color) {
    VertexTex2D v[4];
    const CVector2 pixels = Scaled(size);
    TexturedCorners(v, Scaled(pos), pixels, uv_origin, uv_size, {color, color, color, color});
    DrawTexturedQuad(texture, v, pixels, uv_size);
}

void DrawPostProcessQuad(plat::fx::Effect* effect, const CTexture* texture, const CVector2& pos,
                         const CVector2& size, uint32_t color) {
    VertexTex2D v[4];
    TexturedCorners(v, Scaled(pos), Scaled(size), CVector2(0.f, 0.f), CVector2(1.f, 1.f), {color, color, color, color});
    Device* d = Prepare(VD_PosTColTex);
    if (!d || !effect || !texture) return;
    effect->SetTechnique("PostProcess");
    effect->SetTexture("g_txSrcColor", texture->m_pTexture);
    effect->SetFloatArray("g_PixelSize", g_vPixelSize.Data(), 2);
    effect->SetFloatArray("g_DesignPixelSize", g_vDesignPixelSize.Data(), 2);
    // The picture enlarged sharp, for a filter that declares these (see
    // DrawTexturedQuad); scale 0 leaves it bilinear.
    float texels[2], scale[2];
    const bool sharp = SharpScale(texture, Scaled(size), CVector2(1.f, 1.f), texels, scale);
    const float off[2] = {0.f, 0.f};
    effect->SetFloatArray("g_TextureSize", texels, 2);
    effect->SetFloatArray("g_TexelScale", sharp ? scale : off, 2);
    DrawPasses(d, effect, v);
}
