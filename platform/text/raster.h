// platform/text/raster.h - FreeType text rasterised into CPU memory.
//
// Offers: a TextFace opened from an embedded font resource at a pixel size,
// with GDI-style metrics (ascender, descender, cell height), cached 8-bit
// coverage bitmaps of glyphs, the width of a string, and drawing of a string
// into an RGBA8 buffer, alpha-blended and clipped to the buffer. The start-up
// dialog draws its labels with it; the on-screen font builds its glyphs
// from the same faces.
//
// Sizes, as GDI understood a LOGFONT height:
//   OpenEm(id, px)    the em square is px pixels (a negative lfHeight);
//                     ascender and descender are the font's Windows metrics
//                     (OS/2 usWinAscent/usWinDescent) scaled and rounded.
//   OpenCell(id, px)  the cell, ascender + descender, is px pixels (a positive
//                     lfHeight): "Arial" 24 bold is OpenCell(kFontBold, 24),
//                     an em of about 21.5 pixels.
// Text is laid out on whole pixels, as GDI did: each glyph advances by its
// hinted advance rounded to a pixel, and no kerning is applied (DrawText did
// not kern), so a string's width is the sum of its advances. '\n' starts a
// new line one cell lower; '\r' is ignored.
//
// Text is UTF-8; a byte that does not begin a well-formed UTF-8 sequence is
// read as a Latin-1 character, so 8-bit strings from old sources still print.
//
// Lifecycle: the FreeType library is started by the first face that opens and
// shut down (FT_Done_FreeType) when the last one closes; there is no global
// init call. A face is closed by Close() or its destructor. Glyphs returned by
// Glyph() stay valid until the face closes or reopens. One thread only.
//
// Does not: shape text (no ligatures, no right-to-left), wrap lines, or touch
// the GPU. A face that failed to open measures every string as 0 pixels wide
// and draws nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

struct FT_FaceRec_;

namespace plat {

// FONT resource ids in data/resources.list.
inline constexpr uint32_t kFontRegular = 1;  // Liberation Sans
inline constexpr uint32_t kFontBold = 2;     // Liberation Sans Bold

// A window onto 8-bit RGBA pixels (bytes R, G, B, A) owned by someone else.
// stride is the byte distance between rows, so a view may be a rectangle
// inside a larger image.
struct RgbaView {
    uint8_t* pixels = nullptr;  // top-left pixel
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes

    // The part of this view inside (x, y, w, h); empty when they do not meet.
    RgbaView Sub(int x, int y, int w, int h) const;
    uint8_t* At(int x, int y) const { return pixels + static_cast<ptrdiff_t>(y) * stride + x * 4; }
};

// One glyph's coverage and placement, in pixels. With the pen at (pen_x,
// baseline), the bitmap's top-left pixel lands at (pen_x + left,
// baseline - top).
struct TextGlyph {
    int advance = 0;  // pen step to the next glyph
    int left = 0;     // pen to the first column
    int top = 0;      // baseline up to the first row (positive upwards)
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;  // width * height bytes, rows top to bottom, 0..255
};

// The next character of text at *pos (UTF-8, falling back to Latin-1 per byte
// as described above); advances *pos. Returns 0 at the end of text.
uint32_t DecodeTextChar(std::string_view text, size_t* pos);

class TextFace {
public:
    TextFace() = default;
    ~TextFace();
    TextFace(const TextFace&) = delete;
    TextFace& operator=(const TextFace&) = delete;

    // Open (or reopen) from FONT resource font_id. False, with a "text:" log
    // line, when the resource is missing or FreeType refuses it.
    bool OpenEm(uint32_t font_id, int em_px);
    bool OpenCell(uint32_t font_id, int cell_px);
    void Close();
    bool IsOpen() const { return face_ != nullptr; }

    int Ascender() const { return ascender_; }    // pixels above the baseline
    int Descender() const { return descender_; }  // pixels below it, positive
    int CellHeight() const { return ascender_ + descender_; }  // also the line step
    float EmPixels() const { return em_px_; }

    // The glyph of a Unicode code point, rendered on first use and cached.
    // A character the font lacks gives its missing-glyph box. Null when the
    // face is not open or FreeType fails.
    const TextGlyph* Glyph(uint32_t codepoint);

    // Width in pixels of the widest line of text.
    int TextWidth(std::string_view text);

    // Draw text with the top of its first line's cell at (x, top), blending
    // colour (0xAARRGGBB; its alpha scales the coverage) over dst with the
    // "over" operator on straight alpha. Pixels outside dst are never
    // touched. Returns the pen x after the last character.
    int DrawText(RgbaView dst, int x, int top, std::string_view text, uint32_t argb);

private:
    bool Open(uint32_t font_id, int size_px, bool by_cell);

    FT_FaceRec_* face_ = nullptr;
    int ascender_ = 0;
    int descender_ = 0;
    float em_px_ = 0.0f;
    std::unordered_map<uint32_t, TextGlyph> glyphs_;
};

}  // namespace plat
