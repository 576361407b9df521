// FreeType text into RGBA memory: sizing by em and by cell, widths,
// character decoding, baseline placement, blending and clipping.
#include "platform/text/raster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "data/resource_ids.h"

// The text layer names its two faces by the FONT ids of the resource list;
// the list is where they are given.
static_assert(plat::kFontRegular == kRegularFontId && plat::kFontBold == kBoldFontId,
              "data/resources.list and platform/text/raster.h disagree on the fonts' ids");

namespace {

using plat::RgbaView;
using plat::TextFace;

struct Image {
    Image(int w, int h, uint8_t fill) : w(w), h(h), px(static_cast<size_t>(w) * h * 4, fill) {}
    RgbaView View() { return {px.data(), w, h, w * 4}; }
    const uint8_t* At(int x, int y) const { return &px[(static_cast<size_t>(y) * w + x) * 4]; }
    int w, h;
    std::vector<uint8_t> px;
};

// Rows [first, last] holding any pixel that differs from the fill, or {-1, -1}.
std::pair<int, int> InkRows(const Image& img, uint8_t fill) {
    int first = -1, last = -1;
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x)
            if (img.At(x, y)[3] != fill || img.At(x, y)[0] != fill) {
                if (first < 0) first = y;
                last = y;
            }
    return {first, last};
}

TEST(TextFaceLifecycle, FailedOpenMeasuresNothingAndDrawsNothing) {
    TextFace face;
    EXPECT_FALSE(face.OpenEm(99, 12));  // no such FONT resource
    EXPECT_FALSE(face.IsOpen());
    EXPECT_FALSE(face.OpenCell(plat::kFontBold, 0));
    EXPECT_EQ(face.TextWidth("Party!"), 0);
    EXPECT_EQ(face.Glyph('A'), nullptr);
    Image img(16, 16, 7);
    EXPECT_EQ(face.DrawText(img.View(), 3, 0, "A", 0xFF000000), 3);
    EXPECT_EQ(InkRows(img, 7).first, -1);
    face.Close();  // closing a closed face is harmless
}

TEST(TextFaceLifecycle, LibraryOutlivesTheFirstFaceToClose) {
    // The FreeType library is shared; closing one face must not pull it
    // from under another, in either order.
    auto second = std::make_unique<TextFace>();
    {
        TextFace first;
        ASSERT_TRUE(first.OpenEm(plat::kFontRegular, 11));
        ASSERT_TRUE(second->OpenCell(plat::kFontBold, 24));
    }
    const plat::TextGlyph* g = second->Glyph('W');
    ASSERT_NE(g, nullptr);
    EXPECT_GT(g->width, 10);
    second.reset();
    TextFace again;  // and the library starts again after all closed
    EXPECT_TRUE(again.OpenEm(plat::kFontRegular, 11));
    EXPECT_NE(again.Glyph('W'), nullptr);
    // Reopening at another size drops the old size's glyphs.
    int small = again.Glyph('W')->width;
    ASSERT_TRUE(again.OpenEm(plat::kFontRegular, 40));
    EXPECT_GT(again.Glyph('W')->width, 2 * small);
}

TEST(TextFaceMetrics, CellSizingHitsTheRequestedCell) {
    for (uint32_t font : {plat::kFontRegular, plat::kFontBold}) {
        for (int cell : {8, 11, 16, 24, 32, 48}) {
            TextFace face;
            ASSERT_TRUE(face.OpenCell(font, cell));
            EXPECT_NEAR(face.CellHeight(), cell, 1) << font << " " << cell;
            EXPECT_GE(face.Ascender(), 3 * face.Descender()) << cell;
            // Arial's cell is 2288/2048 of its em; Liberation Sans matches it.
            EXPECT_NEAR(face.EmPixels(), cell * 2048.0 / 2288.0, 0.05) << cell;
        }
    }
    TextFace em;
    ASSERT_TRUE(em.OpenEm(plat::kFontBold, 24));
    EXPECT_NEAR(em.CellHeight(), 24 * 2288.0 / 2048.0, 1.0);
}

TEST(TextFaceMetrics, GlyphsAreCachedAndShaped) {
    TextFace face;
    ASSERT_TRUE(face.OpenCell(plat::kFontBold, 24));
    const plat::TextGlyph* a = face.Glyph('A');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(face.Glyph('A'), a);
    EXPECT_EQ(a->coverage.size(), static_cast<size_t>(a->width) * a->height);
    EXPECT_EQ(*std::max_element(a->coverage.begin(), a->coverage.end()), 255);
    const plat::TextGlyph* space = face.Glyph(' ');
    ASSERT_NE(space, nullptr);
    EXPECT_GT(space->advance, 0);
    EXPECT_EQ(space->width * space->height, 0);
    EXPECT_NE(face.Glyph(0x4E2D), nullptr);  // not in the font: the missing-glyph box
}

TEST(TextFaceMetrics, WidthIsTheSumOfAdvancesPerLine) {
    TextFace face;
    ASSERT_TRUE(face.OpenCell(plat::kFontBold, 24));
    const std::string text = "AVATAR To.";  // kerning pairs, which are not applied
    int sum = 0;
    for (char c : text) sum += face.Glyph(static_cast<unsigned char>(c))->advance;
    EXPECT_EQ(face.TextWidth(text), sum);
    Image img(400, 40, 0);
    EXPECT_EQ(face.DrawText(img.View(), 5, 0, text, 0xFFFFFFFF), 5 + sum);
    // Several lines: the widest counts, '\r' is nothing.
    EXPECT_EQ(face.TextWidth("ab\r\n" + text + "\nx"), sum);
    EXPECT_EQ(face.TextWidth(""), 0);
}

TEST(TextDecoding, Utf8WithLatin1Fallback) {
    auto decode = [](std::string_view s) {
        std::vector<uint32_t> out;
        size_t pos = 0;
        while (pos < s.size()) out.push_back(plat::DecodeTextChar(s, &pos));
        return out;
    };
    using V = std::vector<uint32_t>;
    EXPECT_EQ(decode("a\xC3\xA9z"), (V{'a', 0xE9, 'z'}));
    EXPECT_EQ(decode("\xE9t\xE9"), (V{0xE9, 't', 0xE9}));             // Latin-1 "été"
    EXPECT_EQ(decode("\xE2\x82\xAC\xF0\x9F\x8E\x89"), (V{0x20AC, 0x1F389}));
    EXPECT_EQ(decode("\xC0\xAF"), (V{0xC0, 0xAF}));                   // overlong '/'
    EXPECT_EQ(decode("\xED\xA0\x80"), (V{0xED, 0xA0, 0x80}));         // a surrogate
    EXPECT_EQ(decode("\xE2\x82"), (V{0xE2, 0x82}));                   // cut short at the end
    EXPECT_EQ(decode("\xC3("), (V{0xC3, '('}));
    size_t end = 3;
    EXPECT_EQ(plat::DecodeTextChar("abc", &end), 0u);

    TextFace face;
    ASSERT_TRUE(face.OpenEm(plat::kFontRegular, 11));
    EXPECT_EQ(face.TextWidth("caf\xC3\xA9"), face.TextWidth("caf\xE9"));
}

TEST(TextDrawing, BaselineSitsAscenderBelowTheTopAndInkStaysInTheCell) {
    TextFace face;
    ASSERT_TRUE(face.OpenCell(plat::kFontBold, 24));
    {
        Image img(60, 60, 0);
        face.DrawText(img.View(), 2, 10, "H", 0xFFFFFFFF);
        auto [first, last] = InkRows(img, 0);
        EXPECT_EQ(last, 10 + face.Ascender() - 1);  // H stands on the baseline
        EXPECT_GT(last - first, 12);                // cap height of a 21.5 px em
    }
    {
        Image img(200, 60, 0);
        face.DrawText(img.View(), 2, 10, "\xC3\x81Hgjy|", 0xFFFFFFFF);
        auto [first, last] = InkRows(img, 0);
        EXPECT_GE(first, 10);
        EXPECT_LT(last, 10 + face.CellHeight());
    }
    {
        // The second line starts one cell lower.
        Image one(60, 80, 0), two(60, 80, 0);
        face.DrawText(one.View(), 2, 10 + face.CellHeight(), "H", 0xFFFFFFFF);
        face.DrawText(two.View(), 2, 10, "\nH", 0xFFFFFFFF);
        EXPECT_EQ(one.px, two.px);
    }
}

TEST(TextDrawing, BlendsStraightAlpha) {
    TextFace face;
    ASSERT_TRUE(face.OpenCell(plat::kFontBold, 24));
    // On a transparent buffer, coverage goes to alpha and the colour stays
    // whole: no dark fringe when the result is later blended again.
    Image clear(40, 30, 0);
    face.DrawText(clear.View(), 2, 2, "O", 0xFF20C040);
    int partial = 0;
    for (int i = 0; i < clear.w * clear.h; ++i) {
        const uint8_t* p = &clear.px[i * 4];
        if (p[3] == 0) continue;
        EXPECT_EQ(p[0], 0x20);
        EXPECT_EQ(p[1], 0xC0);
        EXPECT_EQ(p[2], 0x40);
        partial += p[3] < 255;
    }
    EXPECT_GT(partial, 0);
    // On opaque black, half-transparent white peaks at half grey.
    Image black(40, 30, 0);
    for (int i = 3; i < static_cast<int>(black.px.size()); i += 4) black.px[i] = 255;
    face.DrawText(black.View(), 2, 2, "I", 0x80FFFFFF);
    uint8_t peak = 0;
    for (int i = 0; i < black.w * black.h; ++i) {
        peak = std::max(peak, black.px[i * 4]);
        EXPECT_EQ(black.px[i * 4 + 3], 255);
    }
    EXPECT_NEAR(peak, 128, 1);
    // A colour with alpha 0 leaves everything as it was.
    Image untouched = black;
    face.DrawText(black.View(), 2, 2, "W", 0x00FFFFFF);
    EXPECT_EQ(black.px, untouched.px);
}

TEST(TextDrawing, ClipsToTheViewWithoutTouchingItsSurroundings) {
    TextFace face;
    ASSERT_TRUE(face.OpenCell(plat::kFontBold, 24));
    constexpr uint8_t kCanary = 0xA5;
    constexpr int kBorder = 8;
    Image img(60, 40, kCanary);
    RgbaView inner = img.View().Sub(kBorder, kBorder, img.w - 2 * kBorder, img.h - 2 * kBorder);
    ASSERT_EQ(inner.width, 44);
    ASSERT_EQ(inner.height, 24);
    const int spots[][2] = {{-9, -13}, {-100, 0}, {30, 12}, {0, 20}, {40, -20}, {-5, 23}, {0, 1000}};
    for (auto [x, y] : spots) face.DrawText(inner, x, y, "W@jQ\xC3\x89g", 0xFF000000);
    int changed = 0;
    for (int y = 0; y < img.h; ++y) {
        for (int x = 0; x < img.w; ++x) {
            bool outside = x < kBorder || y < kBorder || x >= img.w - kBorder || y >= img.h - kBorder;
            const uint8_t* p = img.At(x, y);
            bool same = p[0] == kCanary && p[1] == kCanary && p[2] == kCanary && p[3] == kCanary;
            if (outside) ASSERT_TRUE(same) << x << "," << y;
            else changed += !same;
        }
    }
    EXPECT_GT(changed, 50);
    // Views that miss the image, or a null one, take nothing.
    EXPECT_EQ(img.View().Sub(60, 0, 10, 10).pixels, nullptr);
    EXPECT_EQ(img.View().Sub(-20, -20, 20, 20).width, 0);
    face.DrawText(RgbaView{}, 0, 0, "W", 0xFF000000);
}

}  // namespace
