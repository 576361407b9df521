// platform/text/font.h - screen text on the graphics device, as ID3DXFont drew it.
//
// Offers: Font::Create(device, height, weight) stands in for D3DXCreateFont
// with the face "Arial": Liberation Sans (its metric twin), bold from weight
// 600 up, sized as a positive LOGFONT height, i.e. the cell (ascender +
// descender) is `height` pixels. DrawText(left, top, right, bottom, text,
// colour) is DrawText with DT_LEFT | DT_TOP: the first line's cell starts at
// (left, top), '\n' starts a new line one cell lower, '\r' is ignored, and
// every pixel outside the rectangle is left alone (no DT_NOCLIP).
//
// How it draws: glyphs are rasterised once by platform/text/raster.h into
// an atlas texture (printable ASCII and Latin-1 at creation, any other
// character on first use) and drawn as pre-transformed quads, one per glyph,
// in one triangle list per call, through the font's own pixel stage. Glyph
// quads sit on whole pixels and the stage fetches texels by index, so each
// screen pixel shows exactly one coverage value: crisp whatever the sampler
// states are. Coverage times the colour's alpha is blended "over" (source
// alpha, inverse source alpha).
//
// State: like D3DX's font, DrawText saves every device state it changes
// (the render states below, texture stage 0, the vertex declaration and
// both shaders) and puts them back before it returns; the caller's settings
// survive a call unchanged.
//
// Lifecycle: Create -> DrawText* -> Release (reference counted; release it
// before the device). Main thread only.
//
// Does not: wrap words, align other than left/top, expand tabs, draw through
// a sprite, or shape text (see raster.h). Characters that do not fit in
// the atlas once it is full are skipped, with one "text:" log line.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/gfx/device.h"

namespace plat {

class Font : public gfx::RefCounted {
public:
    // Null (with a "text:" log line) when the face or the device objects
    // cannot be made.
    static Font* Create(gfx::Device* device, int height, int weight);

    // Returns the height of the text laid out (lines x cell height), as
    // DrawText did, or 0 when nothing is drawn (empty text, empty rectangle).
    int DrawText(int left, int top, int right, int bottom, std::string_view text, uint32_t argb);

    int CellHeight() const;
    // Width in pixels of the widest line of text, laid out as DrawText does.
    int TextWidth(std::string_view text);

    struct Impl;

private:
    Font();
    ~Font() override;
    std::unique_ptr<Impl> impl_;
};

}  // namespace plat
