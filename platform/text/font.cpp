#include "platform/text/font.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/os/log.h"
#include "platform/text/raster.h"

namespace plat {

using namespace gfx;

namespace {

// One atlas page holds every printable ASCII and Latin-1 glyph of a 24-pixel
// face about three times over, so later characters rarely run out of room.
constexpr int kAtlasSize = 512;  // texels, square
constexpr int kGap = 1;          // empty texels between neighbours

// Pre-transformed glyph corner: back-buffer pixels, colour, and the atlas
// position in texels (not 0..1), which the pixel stage fetches by index.
struct GlyphVertex {
    float x, y, z, rhw;
    uint32_t color;
    float tx, ty;
};
static_assert(sizeof(GlyphVertex) == 28);

constexpr VertexElement kGlyphLayout[] = {{0, DeclType::Float4, DeclUsage::PositionT, 0},
                                          {16, DeclType::D3DColor, DeclUsage::Color, 0},
                                          {20, DeclType::Float2, DeclUsage::TexCoord, 0}};

// texelFetch rather than a filtered sample: a quad on whole pixels whose
// texel coordinates are whole at its edges puts the centre of texel n at the
// centre of pixel n, so truncation finds the one texel under each pixel and
// neither the filter nor the address mode of stage 0 can smear it.
constexpr const char* kGlyphStage = R"(
layout(location = 0) in vec4 v_color;
layout(location = 2) in vec2 v_texel;
layout(binding = 0) uniform sampler2D s_atlas;
layout(location = 0) out vec4 o_color;
void main() {
    float coverage = texelFetch(s_atlas, ivec2(v_texel), 0).a;
    o_color = vec4(v_color.rgb, v_color.a * coverage);
})";

// The states DrawText sets, and the values it sets them to: text over
// everything (no depth), both windings, "over" blending, and fully
// uncovered pixels discarded.
struct StateValue {
    RS state;
    uint32_t value;
};
constexpr StateValue kTextStates[] = {
    {RS::ZEnable, 0},          {RS::ZWriteEnable, 0},     {RS::CullMode, CULL_NONE},
    {RS::AlphaTestEnable, 1},  {RS::AlphaRef, 0},         {RS::AlphaFunc, CMP_GREATER},
    {RS::AlphaBlendEnable, 1}, {RS::SrcBlend, BLEND_SRCALPHA}, {RS::DestBlend, BLEND_INVSRCALPHA},
    {RS::BlendOp, BLENDOP_ADD},
};
constexpr size_t kTextStateCount = std::size(kTextStates);

struct AtlasGlyph {
    int advance = 0, left = 0, top = 0, width = 0, height = 0;
    int ax = 0, ay = 0;      // top-left texel in the atlas
    bool in_atlas = false;   // false: blank (space) or no room left
};

template <typename T>
T* Hold(T* object) {
    if (object) object->AddRef();
    return object;
}

template <typename T>
void Drop(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

}  // namespace

struct Font::Impl {
    Device* device = nullptr;
    TextFace face;
    Texture* atlas = nullptr;
    VertexDecl* decl = nullptr;
    Shader* ps = nullptr;

    std::vector<uint8_t> pixels;  // the atlas in memory, R G B A, alpha = coverage
    bool dirty = false;           // pixels differ from the texture
    int shelf_x = 0, shelf_y = 0, shelf_h = 0;  // packing cursor: rows of glyphs
    bool full_logged = false;
    std::unordered_map<uint32_t, AtlasGlyph> glyphs;
    std::vector<GlyphVertex> vertices;  // reused by every call

    ~Impl() {
        Drop(ps);
        Drop(decl);
        Drop(atlas);
    }

    bool Reserve(int w, int h, int* x, int* y) {
        if (w > kAtlasSize || h > kAtlasSize) return false;
        if (shelf_x + w > kAtlasSize) {
            shelf_y += shelf_h + kGap;
            shelf_x = 0;
            shelf_h = 0;
        }
        if (shelf_y + h > kAtlasSize) return false;
        *x = shelf_x;
        *y = shelf_y;
        shelf_x += w + kGap;
        shelf_h = std::max(shelf_h, h);
        return true;
    }

    const AtlasGlyph* Find(uint32_t codepoint) {
        auto it = glyphs.find(codepoint);
        if (it != glyphs.end()) return &it->second;
        const TextGlyph* g = face.Glyph(codepoint);
        if (!g) return nullptr;
        AtlasGlyph a;
        a.advance = g->advance;
        a.left = g->left;
        a.top = g->top;
        a.width = g->width;
        a.height = g->height;
        if (a.width > 0 && a.height > 0) {
            if (Reserve(a.width, a.height, &a.ax, &a.ay)) {
                for (int y = 0; y < a.height; ++y) {
                    const uint8_t* src = g->coverage.data() + static_cast<size_t>(y) * a.width;
                    uint8_t* dst = pixels.data() + (static_cast<size_t>(a.ay + y) * kAtlasSize + a.ax) * 4;
                    for (int x = 0; x < a.width; ++x) dst[x * 4 + 3] = src[x];
                }
                a.in_atlas = true;
                dirty = true;
            } else if (!full_logged) {
                LogWarning("text", "font atlas is full: U+%04X and later new characters are not drawn", codepoint);
                full_logged = true;
            }
        }
        return &glyphs.emplace(codepoint, a).first->second;
    }

    void Flush() {
        if (!dirty) return;
        atlas->Upload(0, pixels.data());
        dirty = false;
    }

    void Draw();
};

Font::Font() : impl_(std::make_unique<Impl>()) {}
Font::~Font() = default;

Font* Font::Create(Device* device, int height, int weight) {
    if (!device) {
        LogWarning("text", "font: no device");
        return nullptr;
    }
    Font* font = new Font;
    Impl& m = *font->impl_;
    m.device = device;
    // "Arial" at a given weight: GDI picks the bold face from 600 up. A
    // positive height is the cell, a negative one the em, as in a LOGFONT.
    const uint32_t face_id = weight >= 600 ? kFontBold : kFontRegular;
    const bool opened = height < 0 ? m.face.OpenEm(face_id, -height) : m.face.OpenCell(face_id, height);
    if (!opened) {
        LogWarning("text", "font: cannot open face %u at %d pixels", face_id, height);
        font->Release();
        return nullptr;
    }
    std::string log;
    m.atlas = device->CreateTexture(kAtlasSize, kAtlasSize, 1, USAGE_NONE, Format::A8R8G8B8);
    m.decl = device->CreateVertexDeclaration(kGlyphLayout);
    m.ps = device->CreateShader(ShaderStage::Pixel, kGlyphStage, "o_color", &log);
    if (!m.atlas || !m.decl || !m.ps) {
        LogWarning("text", "font: device objects cannot be made %s", log.c_str());
        font->Release();
        return nullptr;
    }
    // White everywhere, coverage in alpha: the vertex colour tints it.
    m.pixels.resize(static_cast<size_t>(kAtlasSize) * kAtlasSize * 4);
    for (size_t i = 0; i < m.pixels.size(); i += 4) {
        m.pixels[i] = m.pixels[i + 1] = m.pixels[i + 2] = 255;
        m.pixels[i + 3] = 0;
    }
    m.dirty = true;
    for (uint32_t c = 0x20; c <= 0x7E; ++c) m.Find(c);
    for (uint32_t c = 0xA0; c <= 0xFF; ++c) m.Find(c);
    m.Flush();
    Log("text", "font: %d-pixel cell, %zu glyphs in the atlas", m.face.CellHeight(), m.glyphs.size());
    return font;
}

int Font::CellHeight() const { return impl_->face.CellHeight(); }

int Font::TextWidth(std::string_view text) { return impl_->face.TextWidth(text); }

int Font::DrawText(int left, int top, int right, int bottom, std::string_view text, uint32_t argb) {
    Impl& m = *impl_;
    if (text.empty() || right <= left || bottom <= top) return 0;
    const int cell = m.face.CellHeight(), ascender = m.face.Ascender();
    int pen = left, line_top = top, lines = 1;
    m.vertices.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        const uint32_t cp = DecodeTextChar(text, &pos);
        if (cp == '\n') {
            pen = left;
            line_top += cell;
            ++lines;
            continue;
        }
        if (cp == '\r') continue;
        const AtlasGlyph* g = m.Find(cp);
        if (!g) continue;
        const int gx = pen + g->left, gy = line_top + ascender - g->top;
        pen += g->advance;
        if (!g->in_atlas) continue;
        // Clip in whole pixels; the texel rectangle shrinks with the quad.
        const int x0 = std::max(gx, left), y0 = std::max(gy, top);
        const int x1 = std::min(gx + g->width, right), y1 = std::min(gy + g->height, bottom);
        if (x0 >= x1 || y0 >= y1) continue;
        // Pixel centres are at whole coordinates, so pixels x0..x1-1 are
        // exactly covered by the quad from x0 - 0.5 to x1 - 0.5.
        const float qx0 = static_cast<float>(x0) - 0.5f, qx1 = static_cast<float>(x1) - 0.5f;
        const float qy0 = static_cast<float>(y0) - 0.5f, qy1 = static_cast<float>(y1) - 0.5f;
        const float tx0 = static_cast<float>(g->ax + (x0 - gx)), tx1 = static_cast<float>(g->ax + (x1 - gx));
        const float ty0 = static_cast<float>(g->ay + (y0 - gy)), ty1 = static_cast<float>(g->ay + (y1 - gy));
        const GlyphVertex tl{qx0, qy0, 0.f, 1.f, argb, tx0, ty0}, tr{qx1, qy0, 0.f, 1.f, argb, tx1, ty0};
        const GlyphVertex bl{qx0, qy1, 0.f, 1.f, argb, tx0, ty1}, br{qx1, qy1, 0.f, 1.f, argb, tx1, ty1};
        m.vertices.insert(m.vertices.end(), {tl, tr, bl, bl, tr, br});
    }
    m.Flush();
    if (!m.vertices.empty() && (argb >> 24) != 0) m.Draw();
    return lines * cell;
}

void Font::Impl::Draw() {
    Device& d = *device;
    uint32_t saved[kTextStateCount];
    for (size_t i = 0; i < kTextStateCount; ++i) {
        saved[i] = d.GetRenderState(kTextStates[i].state);
        d.SetRenderState(kTextStates[i].state, kTextStates[i].value);
    }
    // Held while replaced: the device may hold the only reference to them.
    // The vertex shader is not touched: a pre-transformed declaration
    // bypasses it, and the device's pass-through feeds our pixel stage.
    Texture* saved_texture = Hold(d.GetTexture(0));
    VertexDecl* saved_decl = Hold(d.GetVertexDeclaration());
    Shader* saved_ps = Hold(d.GetPixelShader());

    d.SetTexture(0, atlas);
    d.SetVertexDeclaration(decl);
    d.SetPixelShader(ps);
    d.DrawPrimitiveUP(PrimType::TriangleList, static_cast<uint32_t>(vertices.size() / 3), vertices.data(),
                      sizeof(GlyphVertex));

    d.SetPixelShader(saved_ps);
    d.SetVertexDeclaration(saved_decl);
    d.SetTexture(0, saved_texture);
    Drop(saved_ps);
    Drop(saved_decl);
    Drop(saved_texture);
    for (size_t i = kTextStateCount; i-- > 0;) d.SetRenderState(kTextStates[i].state, saved[i]);
}

}  // namespace plat
