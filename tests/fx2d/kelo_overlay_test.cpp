// The overlay: its glyph tables and their indexing, the invitation text
// against the font and the bar, the page cycle at known times, and the
// bars, letters and background on the show's own device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "data/asset_cache.h"
#include "engine/demo.h"
#include "fx2d/kelo_overlay.h"
#include "tests/support/show_test_util.h"

namespace {

TEST(OverlayGlyphs, CellsAndAdvancesFollowTheAtlas) {
    InitGlyphTables();
    EXPECT_EQ(g_GlyphU[static_cast<unsigned char>('<')], 0.0f);  // cell 0: reads as "not in the font"
    EXPECT_EQ(g_GlyphU[static_cast<unsigned char>('(')], 9.0f);
    EXPECT_EQ(g_GlyphU[static_cast<unsigned char>('A')], 18.0f);
    EXPECT_EQ(g_GlyphU[static_cast<unsigned char>('0')], 9.0f * 28);
    EXPECT_EQ(g_GlyphU[static_cast<unsigned char>('@')], 9.0f * 42);
    EXPECT_EQ(g_GlyphU[static_cast<unsigned char>(' ')], 9.0f * 44);  // an empty cell, drawn
    for (char c : std::string("a';:,\"/")) EXPECT_EQ(g_GlyphU[static_cast<unsigned char>(c)], 0.0f) << c;
    EXPECT_EQ(g_GlyphU[0], 0.0f);
    EXPECT_EQ(g_GlyphU[255], 0.0f);

    const std::string narrow_and_wide = " I1W.";
    const float expected[] = {4.0f, 3.0f, 5.0f, 9.0f, 4.0f};
    for (int c = 0; c < 256; ++c) {
        const size_t k = narrow_and_wide.find(static_cast<char>(c));
        const float want = (c != 0 && k != std::string::npos) ? expected[k] : 8.0f;
        EXPECT_EQ(g_GlyphAdvance[c], want) << "character " << c;
    }
}

TEST(OverlayGlyphs, TablesAreIndexedByTheUnsignedCode) {
    InitGlyphTables();
    // A character above 127 must read its own entry, not one before the
    // table's start.
    g_GlyphAdvance[0xC4] = 100.0f;
    EXPECT_EQ(TextLineWidth("\xC4"), 100.0f);
    EXPECT_EQ(TextLineWidth("A\xC4 "), 112.0f);
    InitGlyphTables();
    EXPECT_EQ(TextLineWidth("\xC4\xFF"), 16.0f) << "unknown characters count 8 each";
    EXPECT_EQ(TextLineWidth(""), 0.0f);
}

TEST(OverlayText, PagesLinesAndEmptySlots) {
    // Non-empty lines per page, and the empty slots as (page, line).
    const int lines_per_page[kTextPages] = {0, 5, 6, 6, 6, 4, 6, 3, 6};
    const int empty[][2] = {{1, 2}, {5, 0}, {5, 5}, {7, 0}, {7, 4}, {7, 5}};
    int total = 0;
    for (int p = 0; p < kTextPages; ++p) {
        int n = 0;
        for (int l = 0; l < kTextLines; ++l) {
            const char* line = g_InvitationText[p][l];
            ASSERT_NE(std::memchr(line, '\0', kTextLineChars), nullptr) << "page " << p << " line " << l;
            const size_t len = std::strlen(line);
            if (len == 0) continue;
            ++n;
            EXPECT_GE(len, 3u) << line;
            EXPECT_LE(len, 30u) << line;
        }
        EXPECT_EQ(n, lines_per_page[p]) << "page " << p;
        total += n;
    }
    EXPECT_EQ(total, 42);
    for (const auto& e : empty) EXPECT_STREQ(g_InvitationText[e[0]][e[1]], "") << e[0] << "/" << e[1];
}

TEST(OverlayText, EveryLineIsUpperCaseAndFitsWellInsideItsBar) {
    InitGlyphTables();
    float widest = 0.0f;
    for (int p = 0; p < kTextPages; ++p) {
        for (int l = 0; l < kTextLines; ++l) {
            const char* line = g_InvitationText[p][l];
            for (const char* c = line; *c; ++c) {
                const bool ok = (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || std::strchr(" !'-.", *c);
                EXPECT_TRUE(ok) << "'" << *c << "' in \"" << line << "\"";
            }
            const float width = TextLineWidth(line);
            EXPECT_LE(width, 219.0f) << "\"" << line << "\" sets " << width << " pixels wide";
            widest = std::max(widest, width);
        }
    }
    EXPECT_GT(widest, 150.0f) << "the measure itself is broken";
}

class OverlayTiming : public ::testing::Test {
protected:
    void SetUp() override {
        SetDemo(nullptr);  // the overlay's own lifetime never runs out here
        g_fTextDisplayTime = 12.0f;
        overlay.SetDuration(10000.0f);
    }
    void TearDown() override { g_fTextDisplayTime = 12.0f; }
    // dt 1/64 s: every phase step (1/32) and hold step is exact in binary.
    static constexpr float kDt = 1.0f / 64.0f;
    CKeloOverlay overlay;
};

TEST_F(OverlayTiming, PageSlidesInHoldsSlidesOutAndTheNineRepeatAfterAbout163Seconds) {
    EXPECT_TRUE(overlay.m_bShowing);
    EXPECT_EQ(overlay.m_nPage, 0);
    int step = 0;
    auto run_to = [&](int last) {
        for (; step < last; ++step) overlay.Update(kDt);
    };
    run_to(64);
    EXPECT_EQ(overlay.m_fPhase, 2.0f);  // 2 radians per second
    run_to(196);
    EXPECT_LT(overlay.m_fPhase, kOverlayPhaseMax);
    EXPECT_EQ(overlay.m_fHold, 0.0f);
    run_to(197);  // 197 / 32 > 6.141593: fully in, and this step already counts as held
    EXPECT_EQ(overlay.m_fPhase, kOverlayPhaseMax);
    EXPECT_EQ(overlay.m_fHold, kDt);
    run_to(963);
    EXPECT_TRUE(overlay.m_bShowing);
    run_to(964);  // 768 held steps = 12 s
    EXPECT_FALSE(overlay.m_bShowing);
    EXPECT_EQ(overlay.m_fHold, 0.0f);
    EXPECT_EQ(overlay.m_fPhase, kOverlayPhaseMax) << "turning round takes no slide step";
    run_to(1160);
    EXPECT_EQ(overlay.m_nPage, 0);
    EXPECT_GT(overlay.m_fPhase, 0.0f);
    run_to(1161);  // 18.14 s: the empty first page has passed
    EXPECT_EQ(overlay.m_nPage, 1);
    EXPECT_TRUE(overlay.m_bShowing);
    EXPECT_EQ(overlay.m_fPhase, 0.0f);

    run_to(8 * 1161);
    EXPECT_EQ(overlay.m_nPage, 8);
    run_to(9 * 1161);
    EXPECT_EQ(overlay.m_nPage, 0) << "page 8 is followed by the empty page";
    EXPECT_NEAR(9 * 1161 * kDt, 163.3, 0.1);
    run_to(10 * 1161);
    EXPECT_EQ(overlay.m_nPage, 1);
}

TEST_F(OverlayTiming, ZeroDisplayTimeTurnsRoundAsSoonAsThePageIsIn) {
    g_fTextDisplayTime = 0.0f;
    for (int i = 0; i < 196; ++i) overlay.Update(kDt);
    EXPECT_TRUE(overlay.m_bShowing);
    overlay.Update(kDt);
    EXPECT_FALSE(overlay.m_bShowing);
    EXPECT_EQ(overlay.m_fPhase, kOverlayPhaseMax);
}

// --- on the device --------------------------------------------------------------

class OverlayDrawing : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (showtest::ShowDevice()) LoadAllAssets();
    }
    static void TearDownTestSuite() { ResetAssetCacheForTests(); }
    void SetUp() override { ASSERT_NE(showtest::ShowDevice(), nullptr); }

    showtest::Frame Draw(int page, float phase) {
        CKeloOverlay overlay;
        overlay.m_nPage = page;
        overlay.m_fPhase = phase;
        showtest::BeginFrame(0xFFFFFFFF);
        overlay.Render();
        showtest::EndFrame();
        return showtest::ReadFrame();
    }
    static bool Near(showtest::Rgb c, int r, int g, int b, int tolerance) {
        return std::abs(c.r - r) <= tolerance && std::abs(c.g - g) <= tolerance && std::abs(c.b - b) <= tolerance;
    }
    // Left of the panel's grey-green border line at x 338.
    static constexpr int kPanelRight = 330;
    static bool IsBar(showtest::Rgb c) { return Near(c, 139, 149, 135, 4); }
    static bool IsInk(showtest::Rgb c) { return c.r > 240 && c.g > 240 && c.b > 240; }
    // Top of line i's bar.
    static int LineTop(int i) { return 350 + 36 * i; }
    // First and last column of glyph ink on line i's bar at rest (x 41..294;
    // the atlas's ink rows 14 to 22 land on rows 14 to 22 of the line, as
    // every texel of the 2D layer lands on its own pixel).
    static std::pair<int, int> InkSpan(const showtest::Frame& f, int i) {
        int first = -1, last = -1;
        for (int x = 41; x <= 294; ++x) {
            for (int y = LineTop(i) + 14; y <= LineTop(i) + 22; ++y) {
                if (!IsInk(f.At(x, y))) continue;
                if (first < 0) first = x;
                last = x;
            }
        }
        return {first, last};
    }
};

TEST_F(OverlayDrawing, EmptyPageShowsOnlyTheTintAndThePicture) {
    const showtest::Frame f = Draw(0, kOverlayPhaseMax);
    showtest::SavePng(f, "overlay_page0");
    int bar = 0;
    for (int y = 350; y < 562; ++y)
        for (int x = 0; x < kPanelRight; ++x) bar += IsBar(f.At(x, y));
    EXPECT_EQ(bar, 0);
    // The round window is clear: half of the gradient's middle over white.
    EXPECT_TRUE(Near(f.At(680, 384), 236, 226, 218, 3)) << f.At(680, 384);
    // The panel is the picture's own white, opaque, out to the screen's
    // left and top edges: no line of the tint along column 0 or row 0.
    EXPECT_EQ(f.At(20, 600), (showtest::Rgb{255, 255, 255}));
    EXPECT_EQ(f.At(0, 400), (showtest::Rgb{255, 255, 255}));
    EXPECT_EQ(f.At(0, 0), (showtest::Rgb{255, 255, 255}));
    EXPECT_EQ(f.At(200, 0), (showtest::Rgb{255, 255, 255}));
}

TEST_F(OverlayDrawing, FullyInPageHasSixBarsWithCentredText) {
    const showtest::Frame f = Draw(1, kOverlayPhaseMax);
    showtest::SavePng(f, "overlay_page1");
    for (int i = 0; i < kTextLines; ++i) {
        // At rest (x 40), a bar's texels 1..254 (inside its white margin)
        // cover x 41..294.
        EXPECT_FALSE(IsBar(f.At(40, LineTop(i) + 16))) << "line " << i;
        EXPECT_TRUE(IsBar(f.At(41, LineTop(i) + 16))) << "line " << i << ": " << f.At(41, LineTop(i) + 16);
        EXPECT_TRUE(IsBar(f.At(294, LineTop(i) + 16))) << "line " << i;
        EXPECT_FALSE(IsBar(f.At(295, LineTop(i) + 16))) << "line " << i;
    }
    EXPECT_EQ(InkSpan(f, 2).first, -1) << "the empty line has a bar and no letters";
    // "KELO 2008": 68 pixels wide, the pen starts at 40 + 94 = 134; the
    // white ink runs from K's first column to 8's sixth (its seventh is
    // shadow): 134 to 194 + 5.
    EXPECT_EQ(InkSpan(f, 3), (std::pair<int, int>(134, 199)));
}

TEST_F(OverlayDrawing, ACharacterOutsideTheFontIsSkippedButCountsForCentring) {
    // "WE'LL KEEP THE FIRE GOING": 175 pixels counting the apostrophe's 8,
    // so the pen starts at 80.5; the apostrophe is neither drawn nor
    // advanced over, so the last G's pen is 80.5 + 175 - 8 - 8 and its
    // white ink ends at 239 + 5 (pens snap down to whole pixels).
    const showtest::Frame f = Draw(6, kOverlayPhaseMax);
    ASSERT_STREQ(g_InvitationText[6][5], "WE'LL KEEP THE FIRE GOING");
    EXPECT_EQ(InkSpan(f, 5), (std::pair<int, int>(80, 244)));
}

TEST_F(OverlayDrawing, BarsSlideInTopLineFirstEachHalfARadianBehind) {
    const float phase = 2.6f;
    const showtest::Frame f = Draw(3, phase);
    showtest::SavePng(f, "overlay_sliding");
    for (int i = 0; i < kTextLines; ++i) {
        const float angle = std::clamp(phase - 0.5f * i, 0.0f, 3.1415927f);
        const float x = 40.0f - 150.0f * (std::cos(angle) + 1.0f);
        int right = -1;
        for (int px = 0; px < kPanelRight; ++px)
            if (IsBar(f.At(px, LineTop(i) + 16))) right = px;
        if (x + 256.0f < 1.0f) {
            EXPECT_EQ(right, -1) << "line " << i << " should still be off screen";
        } else {
            EXPECT_NEAR(right, x + 255.0f, 2.0f) << "line " << i;
        }
    }
}

}  // namespace
