#include "fx2d/kelo_overlay.h"

#include <algorithm>
#include <cmath>

#include "app/device.h"
#include "data/asset_cache.h"
#include "data/resource_ids.h"
#include "data/texture.h"
#include "engine/params.h"
#include "fx2d/draw2d.h"

float g_GlyphU[256];
float g_GlyphAdvance[256];
const CVector2 g_vGlyphCell(9.0f, 32.0f);
const float g_fLineStep = 32.0f + 4.0f;  // a cell's height and a 4-pixel gap between bars
float g_fTextDisplayTime = 12.0f;

namespace {


constexpr float kFontWidth = 512.0f;  // atlas pixels; the cells' u is divided by it
constexpr float kBarWidth = 256.0f;   // text_bar.png, should the texture be missing

// The panel the text runs in, kept clear in the overlay picture: bars rest
// with their left edge at x 40, the first line's top at y 350.
constexpr float kTextLeft = 40.0f;
constexpr float kTextTop = 350.0f;
// A bar travels 300 pixels: from x -260 (its right edge 4 pixels off
// screen) to 40, along (cos + 1), so it starts and stops softly.
constexpr float kSlideHalfDistance = 150.0f;
constexpr float kLineLag = 0.5f;  // radians each line trails the one above

// Screen tint behind the picture: a grey-green top to a warm bottom, half
// opaque, so the tower seen through the window takes the page's colours.
constexpr uint32_t kGradientTop = 0x80C0CABC;
constexpr uint32_t kGradientBottom = 0x80F0BFAD;

}  // namespace

void InitGlyphTables() {
    const float cell_width = g_vGlyphCell.x;
    for (int c = 0; c < 256; ++c) {
        g_GlyphU[c] = 0.0f;
        // A cell is 9 pixels wide but the pen moves 8: neighbouring quads
        // overlap by the cell's last column, which the atlas keeps free of ink.
        g_GlyphAdvance[c] = cell_width - 1.0f;
    }
    for (int i = 0; kFontCharacters[i] != '\0'; ++i) {
        g_GlyphU[static_cast<unsigned char>(kFontCharacters[i])] = cell_width * static_cast<float>(i);
    }
    // The narrow and the wide glyphs, as the atlas draws them.
    g_GlyphAdvance[static_cast<unsigned char>(' ')] = 8.0f - 4.0f;
    g_GlyphAdvance[static_cast<unsigned char>('I')] = 8.0f - 5.0f;
    g_GlyphAdvance[static_cast<unsigned char>('1')] = 8.0f - 3.0f;
    g_GlyphAdvance[static_cast<unsigned char>('W')] = 8.0f + 1.0f;
    g_GlyphAdvance[static_cast<unsigned char>('.')] = 8.0f - 4.0f;
}

float TextLineWidth(const char* line) {
    float width = 0.0f;
    for (const char* p = line; *p; ++p) width += g_GlyphAdvance[static_cast<unsigned char>(*p)];
    return width;
}

CKeloOverlay::CKeloOverlay() {
    InitGlyphTables();
    RegisterParam("Text_Display_Time", &g_fTextDisplayTime, 1.0f, 0.0f, kUnbounded, true);
}

void CKeloOverlay::Update(float dt) {
    CEffect::Update(dt);
    if (m_bShowing) {
        m_fPhase = std::min(m_fPhase + 2.0f * dt, kOverlayPhaseMax);
        if (m_fPhase == kOverlayPhaseMax) {
            m_fHold += dt;
            if (m_fHold >= g_fTextDisplayTime) {
                m_bShowing = false;
                m_fHold = 0.0f;
            }
        }
    } else {
        m_fPhase = std::max(m_fPhase - 2.0f * dt, 0.0f);
        if (m_fPhase == 0.0f) {
            m_bShowing = true;
            if (++m_nPage == kTextPages) m_nPage = 0;
        }
    }
}

void CKeloOverlay::Render() {
    DrawGradientRect(CVector2(0.0f, 0.0f), CVector2(kDesignWidth, kDesignHeight), kGradientTop, kGradientTop,
                     kGradientBottom, kGradientBottom);
    if (const CTexture* overlay = GetTexture(kOverlayPictureId)) {
        DrawTexture(overlay, CVector2(0.0f, 0.0f), overlay->GetSize(), 0xFFFFFFFF);
    }
    if (m_nPage == 0) return;

    const CTexture* bar = GetTexture(kTextBarPictureId);
    const CTexture* font = GetTexture(kFontPictureId);
    const CVector2 bar_size = bar ? bar->GetSize() : CVector2(kBarWidth, g_vGlyphCell.y);
    const CVector2 cell_uv(g_vGlyphCell.x / kFontWidth, 1.0f);
    for (int i = 0; i < kTextLines; ++i) {
        const char* line = g_InvitationText[m_nPage][i];
        const float y = kTextTop + g_fLineStep * static_cast<float>(i);
        const float angle = std::clamp(m_fPhase - kLineLag * static_cast<float>(i), 0.0f, kPi);
        const float x = kTextLeft - kSlideHalfDistance * (std::cos(angle) + 1.0f);
        // Empty lines get their bar too: a page keeps its shape.
        DrawTexture(bar, CVector2(x, y), bar_size, 0xFFFFFFFF);

        float pen = x + (bar_size.x - TextLineWidth(line)) / 2.0f;
        for (const char* p = line; *p; ++p) {
            const unsigned char ch = static_cast<unsigned char>(*p);
            if (!(g_GlyphU[ch] > 0.0f)) continue;
            DrawTextureRegion(font, CVector2(pen, y), g_vGlyphCell, CVector2(g_GlyphU[ch] / kFontWidth, 0.0f),
                              cell_uv, 0xFFFFFFFF);
            pen += g_GlyphAdvance[ch];
        }
    }
}
