// Screen text: PrintText's box and rectangle, glyphs on whole pixels,
// clipping, lines, colours, state restore, and the formatting bound.
#include "platform/text/font.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/device.h"
#include "app/print_text.h"
#include "platform/text/raster.h"
#include "tests/support/show_test_util.h"

using namespace plat::gfx;
using namespace showtest;

namespace {

constexpr Rgb kBlack{0, 0, 0};

// The bounding box of every pixel that is not black.
struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // inclusive
    int count = 0;
};
Box Ink(const Frame& f) {
    Box b;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x)
            if (!(f.At(x, y) == kBlack)) {
                b.x0 = std::min(b.x0, x);
                b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x);
                b.y1 = std::max(b.y1, y);
                ++b.count;
            }
    return b;
}

// The same text rasterised on the CPU by the same face, white on opaque
// black: what the screen must show if every glyph sits on whole pixels.
struct Reference {
    int w, h;
    std::vector<uint8_t> px;
    Reference(int w, int h) : w(w), h(h), px(static_cast<size_t>(w) * h * 4, 0) {
        for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;
    }
    plat::RgbaView View() { return {px.data(), w, h, w * 4}; }
    uint8_t Grey(int x, int y) const { return px[(static_cast<size_t>(y) * w + x) * 4]; }
};

class FontText : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ShowDevice(), nullptr);
        ASSERT_NE(GetFont(), nullptr) << "InitDevice made no font";
        BeginFrame(0xFF000000);
    }
    void TearDown() override { EndFrame(); }
    Frame Finish(const char* png_name = nullptr) {
        EndFrame();
        Frame f = ReadFrame();
        if (png_name) SavePng(f, png_name);
        BeginFrame(0xFF000000);
        return f;
    }
};

TEST_F(FontText, PrintTextLightsItsBoxAndMatchesTheRasteriserPixelForPixel) {
    const char* text = "Party 2008: kelo, V.E.X.A.";
    // Positions are truncated to whole pixels: (100.9, 200.7) draws at (100, 200).
    PrintText(CVector2(100.9f, 200.7f), 0xFFFFFFFF, "Party %d: %s", 2008, "kelo, V.E.X.A.");
    EXPECT_STREQ(LastPrintedText(), text);
    const Frame f = Finish("font_print_text");

    plat::TextFace face;
    ASSERT_TRUE(face.OpenCell(plat::kFontBold, 24));
    const int width = face.TextWidth(text);
    EXPECT_EQ(GetFont()->TextWidth(text), width);
    EXPECT_EQ(GetFont()->CellHeight(), 24);

    // The ink lies in the cell row from (100, 200), as wide as the text.
    const Box ink = Ink(f);
    ASSERT_GT(ink.count, 0);
    EXPECT_GE(ink.x0, 100);
    EXPECT_LE(ink.x0, 103);
    EXPECT_GE(ink.y0, 200);
    EXPECT_LT(ink.y1, 224);
    EXPECT_LE(ink.x1, 100 + width + 1);
    EXPECT_GE(ink.x1, 100 + width - 4);

    // Whole pixels, no smear: every pixel equals the CPU rasterisation.
    Reference ref(width + 8, 24);
    face.DrawText(ref.View(), 0, 0, text, 0xFFFFFFFF);
    int differ = 0;
    for (int y = 0; y < ref.h; ++y)
        for (int x = 0; x < ref.w; ++x) differ += f.At(100 + x, 200 + y).g != ref.Grey(x, y);
    EXPECT_EQ(differ, 0);
}

TEST_F(FontText, NothingOutsideTheRectangle) {
    plat::TextFace face;
    ASSERT_TRUE(face.OpenCell(plat::kFontBold, 24));
    // A glyph whose ink starts left of its pen position, so the left edge
    // of the rectangle really cuts it.
    std::string overhang;
    for (char c : std::string("jJ/_(yf")) {
        if (face.Glyph(static_cast<unsigned char>(c))->left < 0) overhang += c;
    }
    ASSERT_FALSE(overhang.empty()) << "no glyph reaches left of its pen";

    // PrintText's rectangle runs from the position to the screen's corner.
    PrintText(CVector2(300.f, 100.f), 0xFFFFFFFF, "%s%s", overhang.c_str(), overhang.c_str());
    // An explicit rectangle cuts the glyphs at its right and bottom edges:
    // rows 0..15 of the cell (the descenders go), 30 pixels across.
    EXPECT_EQ(GetFont()->DrawText(500, 400, 530, 416, "WWWWgg", 0xFFFFFFFF), 24);
    const Frame f = Finish("font_clip");

    int left_of_300 = 0, in_rect = 0, around_rect = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            if (f.At(x, y) == kBlack) continue;
            if (y < 300 && x < 300 && y >= 100) ++left_of_300;
            if (y >= 300) (x >= 500 && x < 530 && y >= 400 && y < 416 ? in_rect : around_rect)++;
        }
    EXPECT_EQ(left_of_300, 0);
    EXPECT_EQ(around_rect, 0);
    EXPECT_GT(in_rect, 30);
    EXPECT_EQ(f.CountNot(0, 0, 1024, 100, kBlack), 0);  // above PrintText's top

    // Inside, the cut glyphs are the rasteriser's pixels, not shifted.
    Reference ref(40, 24);
    face.DrawText(ref.View(), 0, 0, "WWWWgg", 0xFFFFFFFF);
    int differ = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 30; ++x) differ += f.At(500 + x, 400 + y).g != ref.Grey(x, y);
    EXPECT_EQ(differ, 0);
}

TEST_F(FontText, LinesColoursAndCharactersBeyondLatin1) {
    // A new line is one cell lower; '\r' takes no room.
    EXPECT_EQ(GetFont()->DrawText(50, 50, 1024, 768, "Hi\r\nHo", 0xFF00FF00), 48);
    // Alpha 0 draws nothing; half alpha blends over the green.
    EXPECT_EQ(GetFont()->DrawText(50, 50, 1024, 768, "Hi", 0x00FF0000), 24);
    EXPECT_EQ(GetFont()->DrawText(50, 400, 1024, 768, "\xCE\xA9\xE2\x82\xAC", 0xFFFFFFFF), 24);  // Omega, euro
    EXPECT_EQ(GetFont()->DrawText(50, 400, 40, 768, "empty", 0xFFFFFFFF), 0);
    EXPECT_EQ(GetFont()->DrawText(50, 400, 1024, 768, "", 0xFFFFFFFF), 0);
    const Frame f = Finish("font_lines");

    const int first = f.CountNot(40, 50, 200, 74, kBlack), second = f.CountNot(40, 74, 200, 98, kBlack);
    EXPECT_GT(first, 50);
    EXPECT_GT(second, 50);
    for (int y = 50; y < 98; ++y)
        for (int x = 40; x < 200; ++x) {
            const Rgb c = f.At(x, y);
            ASSERT_EQ(c.r, 0) << x << "," << y;  // the red text left no trace
            ASSERT_EQ(c.b, 0);
        }
    EXPECT_GT(f.CountNot(40, 400, 200, 424, kBlack), 50);
}

TEST_F(FontText, EveryStateItChangesIsPutBack) {
    Device* d = ShowDevice();
    // Settings that would each hide the text if the font kept them: depth
    // test against a depth of 0, alpha test passing nothing, a foreign
    // texture, declaration and pixel stage.
    d->Clear(CLEAR_ZBUFFER, 0, 0.f);
    const std::pair<RS, uint32_t> states[] = {
        {RS::ZEnable, 1},          {RS::ZWriteEnable, 1},         {RS::ZFunc, CMP_LESS},
        {RS::CullMode, CULL_CW},   {RS::AlphaTestEnable, 1},      {RS::AlphaRef, 255},
        {RS::AlphaFunc, CMP_NEVER}, {RS::AlphaBlendEnable, 0},    {RS::SrcBlend, BLEND_ONE},
        {RS::DestBlend, BLEND_ONE}, {RS::BlendOp, BLENDOP_REVSUBTRACT}};
    // The device is shared with the tests that run after this one in the
    // same process: the states this test sets are put back at its end
    // (drawing sets its own declaration, so that one needs no putting back).
    std::vector<std::pair<RS, uint32_t>> before;
    for (auto [s, v] : states) before.emplace_back(s, d->GetRenderState(s));
    const uint32_t mag_before = d->GetSamplerState(0, SS::MagFilter);
    for (auto [s, v] : states) d->SetRenderState(s, v);
    Texture* foreign = d->CreateTexture(4, 4, 1, USAGE_NONE, Format::X8R8G8B8);
    ASSERT_NE(foreign, nullptr);
    std::string log;
    Shader* ps = d->CreateShader(ShaderStage::Pixel, "layout(location = 0) out vec4 o; void main() { o = vec4(1); }",
                                 "o", &log);
    ASSERT_NE(ps, nullptr) << log;
    d->SetTexture(0, foreign);
    d->SetSamplerState(0, SS::MagFilter, TEXF_POINT);
    d->SetSamplerState(0, SS::AddressU, TADDRESS_MIRROR);
    d->SetVertexDeclaration(GetVertexDecl(VD_PosNorm));
    d->SetPixelShader(ps);
    // Only the device holds them now: the font must keep them alive.
    foreign->Release();
    ps->Release();

    EXPECT_EQ(GetFont()->DrawText(10, 10, 1024, 768, "state", 0xFFFFFFFF), 24);

    for (auto [s, v] : states) EXPECT_EQ(d->GetRenderState(s), v) << static_cast<int>(s);
    EXPECT_EQ(d->GetTexture(0), foreign);
    EXPECT_EQ(d->GetSamplerState(0, SS::MagFilter), TEXF_POINT);
    EXPECT_EQ(d->GetSamplerState(0, SS::AddressU), TADDRESS_MIRROR);
    EXPECT_EQ(d->GetVertexDeclaration(), GetVertexDecl(VD_PosNorm));
    EXPECT_EQ(d->GetPixelShader(), ps);
    EXPECT_EQ(foreign->RefCount(), 1u);
    EXPECT_EQ(ps->RefCount(), 1u);
    d->SetTexture(0, nullptr);
    d->SetPixelShader(nullptr);
    d->SetSamplerState(0, SS::AddressU, TADDRESS_WRAP);
    d->SetSamplerState(0, SS::MagFilter, mag_before);
    for (auto [s, v] : before) d->SetRenderState(s, v);
    const Frame f = Finish();
    EXPECT_GT(f.CountNot(10, 10, 80, 34, kBlack), 30);  // drawn despite all of the above
}

TEST(PrintTextFormat, LongExpansionsAreCutAtTheBuffer) {
    const std::string long_arg(5000, 'x');
    PrintText(CVector2(0.f, 0.f), 0xFFFFFFFF, "%s|%s", long_arg.c_str(), long_arg.c_str());
    const std::string out = LastPrintedText();
    EXPECT_EQ(out.size(), kPrintTextBufferSize - 1);
    EXPECT_EQ(out, long_arg.substr(0, kPrintTextBufferSize - 1));
    // Exactly at the limit nothing is cut; one more character is.
    const std::string fits(kPrintTextBufferSize - 1, 'y');
    PrintText(CVector2(0.f, 0.f), 0xFFFFFFFF, "%s", fits.c_str());
    EXPECT_EQ(std::string(LastPrintedText()), fits);
    PrintText(CVector2(0.f, 0.f), 0xFFFFFFFF, "%sz", fits.c_str());
    EXPECT_EQ(std::string(LastPrintedText()), fits);
    PrintText(CVector2(0.f, 0.f), 0xFFFFFFFF, "%s %.4f", "cam_pos_x", 1.5);
    EXPECT_STREQ(LastPrintedText(), "cam_pos_x 1.5000");
}

TEST(FontLifecycle, FailedCreateAndReleaseToZero) {
    Device* d = ShowDevice();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(plat::Font::Create(nullptr, 24, 700), nullptr);
    EXPECT_EQ(plat::Font::Create(d, 0, 700), nullptr);
    plat::Font* regular = plat::Font::Create(d, -20, 400);  // an em of 20 pixels
    ASSERT_NE(regular, nullptr);
    EXPECT_GT(regular->CellHeight(), 20);
    EXPECT_LT(regular->TextWidth("Party"), GetFont()->TextWidth("Party"));  // regular is narrower than bold
    EXPECT_EQ(regular->AddRef(), 2u);
    EXPECT_EQ(regular->Release(), 1u);
    EXPECT_EQ(regular->Release(), 0u);
}

}  // namespace
