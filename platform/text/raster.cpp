#include "platform/text/raster.h"

#include "platform/os/resources.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plat {
namespace {

// The FreeType library is shared by every open face and lives exactly as
// long as at least one face is open.
struct FreeTypeState {
    FT_Library library = nullptr;
    int open_faces = 0;
};
FreeTypeState g_ft;

FT_Library AcquireLibrary() {
    if (!g_ft.library) {
        FT_Error err = FT_Init_FreeType(&g_ft.library);
        if (err) {
            std::fprintf(stderr, "text: FT_Init_FreeType failed (error %d)\n", err);
            g_ft.library = nullptr;
            return nullptr;
        }
    }
    ++g_ft.open_faces;
    return g_ft.library;
}

void ReleaseLibrary() {
    if (g_ft.open_faces > 0 && --g_ft.open_faces == 0) {
        FT_Done_FreeType(g_ft.library);
        g_ft.library = nullptr;
    }
}

// A continuation byte of UTF-8: 10xxxxxx.
bool IsTrail(unsigned char c) { return (c & 0xC0) == 0x80; }

// Source-over on straight (non-premultiplied) alpha; a is 0..255. Written
// out in full so text drawn onto a transparent buffer keeps its own colour
// rather than darkening towards the empty pixels' black.
void BlendPixel(uint8_t* d, const uint8_t rgb[3], unsigned a) {
    unsigned da = d[3];
    unsigned keep = da * (255u - a);  // destination weight, scaled by 255
    unsigned out_a255 = a * 255u + keep;
    if (out_a255 == 0) return;
    for (int c = 0; c < 3; ++c) {
        unsigned num = rgb[c] * a * 255u + d[c] * keep;
        d[c] = static_cast<uint8_t>((num + out_a255 / 2) / out_a255);
    }
    d[3] = static_cast<uint8_t>((out_a255 + 127u) / 255u);
}

}  // namespace

RgbaView RgbaView::Sub(int x, int y, int w, int h) const {
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + w, width), y1 = std::min(y + h, height);
    RgbaView v;
    if (x1 <= x0 || y1 <= y0 || !pixels) return v;
    v.pixels = At(x0, y0);
    v.width = x1 - x0;
    v.height = y1 - y0;
    v.stride = stride;
    return v;
}

uint32_t DecodeTextChar(std::string_view text, size_t* pos) {
    if (*pos >= text.size()) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = *pos, n = text.size();
    unsigned char c = s[i];
    int len = 0;
    uint32_t cp = 0, min = 0;
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; min = 0x10000; }
    if (len > 0 && i + len <= n) {
        bool ok = true;
        for (int k = 1; k < len && ok; ++k) {
            if (!IsTrail(s[i + k])) ok = false;
            else cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, UTF-16 surrogates and values past U+10FFFF are not
        // UTF-8; fall through to reading the lead byte as Latin-1.
        if (ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
            *pos = i + len;
            return cp;
        }
    }
    *pos = i + 1;
    return c;
}

TextFace::~TextFace() { Close(); }

void TextFace::Close() {
    glyphs_.clear();
    if (face_) {
        FT_Done_Face(face_);
        face_ = nullptr;
        ReleaseLibrary();
    }
    ascender_ = descender_ = 0;
    em_px_ = 0.0f;
}

bool TextFace::OpenEm(uint32_t font_id, int em_px) { return Open(font_id, em_px, false); }
bool TextFace::OpenCell(uint32_t font_id, int cell_px) { return Open(font_id, cell_px, true); }

bool TextFace::Open(uint32_t font_id, int size_px, bool by_cell) {
    Close();
    if (size_px <= 0) {
        std::fprintf(stderr, "text: font %u: size %d is not positive\n", font_id, size_px);
        return false;
    }
    size_t size = 0;
    const unsigned char* bytes = FindResourceBytes(kResFont, font_id, &size);
    if (!bytes) {
        std::fprintf(stderr, "text: font resource %u is missing\n", font_id);
        return false;
    }
    FT_Library lib = AcquireLibrary();
    if (!lib) return false;
    FT_Face face = nullptr;
    FT_Error err = FT_New_Memory_Face(lib, bytes, static_cast<FT_Long>(size), 0, &face);
    if (err || !FT_IS_SCALABLE(face)) {
        std::fprintf(stderr, "text: font resource %u: FreeType cannot open it (error %d)\n", font_id, err);
        if (face) FT_Done_Face(face);
        ReleaseLibrary();
        return false;
    }

    // GDI measures the cell with the Windows metrics, not hhea or typo ones;
    // fall back to hhea only for a font without an OS/2 table.
    double upem = face->units_per_EM;
    double asc_units = face->ascender, desc_units = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
        if (os2->usWinAscent + os2->usWinDescent > 0) {
            asc_units = os2->usWinAscent;
            desc_units = os2->usWinDescent;
        }
    }
    double cell_units = asc_units + desc_units;
    if (upem <= 0 || cell_units <= 0) {
        std::fprintf(stderr, "text: font resource %u has no usable metrics\n", font_id);
        FT_Done_Face(face);
        ReleaseLibrary();
        return false;
    }

    double em = by_cell ? size_px * upem / cell_units : size_px;
    if (by_cell) {
        // Split the requested cell so that it stays exactly size_px tall.
        ascender_ = static_cast<int>(std::lround(size_px * asc_units / cell_units));
        descender_ = size_px - ascender_;
    } else {
        ascender_ = static_cast<int>(std::lround(asc_units * em / upem));
        descender_ = static_cast<int>(std::lround(desc_units * em / upem));
    }
    // 72 dpi makes FreeType's points equal pixels; the size is in 26.6.
    err = FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(em * 64.0)), 72, 72);
    if (err) {
        std::fprintf(stderr, "text: font resource %u: cannot set %.2f px (error %d)\n", font_id, em, err);
        FT_Done_Face(face);
        ReleaseLibrary();
        ascender_ = descender_ = 0;
        return false;
    }
    face_ = face;
    em_px_ = static_cast<float>(em);
    return true;
}

const TextGlyph* TextFace::Glyph(uint32_t codepoint) {
    if (!face_) return nullptr;
    auto found = glyphs_.find(codepoint);
    if (found != glyphs_.end()) return &found->second;

    FT_UInt index = FT_Get_Char_Index(face_, codepoint);
    if (FT_Load_Glyph(face_, index, FT_LOAD_TARGET_NORMAL) ||
        FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_NORMAL)) {
        return nullptr;
    }
    const FT_GlyphSlot slot = face_->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    TextGlyph g;
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && bm.buffer) {
        g.width = static_cast<int>(bm.width);
        g.height = static_cast<int>(bm.rows);
        g.coverage.resize(static_cast<size_t>(g.width) * g.height);
        // FreeType may pad rows (pitch) and, in principle, store them
        // bottom-up (negative pitch); copy into tight top-down rows.
        for (int y = 0; y < g.height; ++y) {
            const unsigned char* row = bm.pitch >= 0 ? bm.buffer + y * bm.pitch
                                                     : bm.buffer + (g.height - 1 - y) * -bm.pitch;
            std::copy(row, row + g.width, g.coverage.begin() + static_cast<ptrdiff_t>(y) * g.width);
        }
    }
    return &glyphs_.emplace(codepoint, std::move(g)).first->second;
}

int TextFace::TextWidth(std::string_view text) {
    if (!face_) return 0;
    int widest = 0, line = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        uint32_t cp = DecodeTextChar(text, &pos);
        if (cp == '\n') {
            widest = std::max(widest, line);
            line = 0;
            continue;
        }
        if (cp == '\r') continue;
        if (const TextGlyph* g = Glyph(cp)) line += g->advance;
    }
    return std::max(widest, line);
}

int TextFace::DrawText(RgbaView dst, int x, int top, std::string_view text, uint32_t argb) {
    if (!face_) return x;
    const uint8_t rgb[3] = {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                            static_cast<uint8_t>(argb)};
    const unsigned colour_a = argb >> 24;
    int pen = x;
    int baseline = top + ascender_;
    size_t pos = 0;
    while (pos < text.size()) {
        uint32_t cp = DecodeTextChar(text, &pos);
        if (cp == '\n') {
            pen = x;
            baseline += CellHeight();
            continue;
        }
        if (cp == '\r') continue;
        const TextGlyph* g = Glyph(cp);
        if (!g) continue;
        int gx = pen + g->left, gy = baseline - g->top;
        pen += g->advance;
        if (!dst.pixels || colour_a == 0) continue;
        // Clip the glyph's rectangle to the view once, then blend row by row.
        int x0 = std::max(0, -gx), y0 = std::max(0, -gy);
        int x1 = std::min(g->width, dst.width - gx), y1 = std::min(g->height, dst.height - gy);
        for (int y = y0; y < y1; ++y) {
            const uint8_t* cov = g->coverage.data() + static_cast<ptrdiff_t>(y) * g->width;
            uint8_t* d = dst.At(gx + x0, gy + y);
            for (int cx = x0; cx < x1; ++cx, d += 4) {
                unsigned a = (cov[cx] * colour_a + 127u) / 255u;
                if (a) BlendPixel(d, rgb, a);
            }
        }
    }
    return pen;
}

}  // namespace plat
