// fx2d/kelo_overlay.h - the 2D layer over the cube tower: a translucent
// gradient, the overlay picture with its round window, and the invitation
// text, a page of up to six lines at a time, each line on its own bar that
// slides in from the left edge.
//
// Pages: each slides in (its lines half a radian apart, top line first),
// stays Text_Display_Time seconds, slides out (bottom line first), and the
// next one comes; after the last page the empty page 0 comes round again,
// so the text pauses for one page's time before it repeats. With the
// default 12 s a page takes about 18.1 s and a round of nine about 163 s.
//
// Letters come from the font atlas "Data\font.png": 45 cells of 9 x 32
// pixels in the order of kFontCharacters, drawn over a copy of the bar's
// shading so a letter quad blends into the bar under it. Characters the
// atlas lacks are skipped (not drawn, the pen stays) but still count 8
// pixels toward the width a line is centred by.
//
// Textures come from the cache on every draw: 224 the overlay picture,
// 236 the text bar, 227 the font.
#pragma once

#include <cstdint>

#include "engine/effect.h"
#include "render/math.h"

// The atlas's cells, left to right. '<', '(', '>' and the space are empty
// cells; '<' sits in cell 0, which reads as "not in the font".
inline constexpr char kFontCharacters[] = "<(ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!?.-@> ";

// Both indexed by the character's unsigned code (0..255), filled by
// InitGlyphTables (the overlay's constructor calls it).
extern float g_GlyphU[256];        // left edge of the glyph's cell, atlas pixels; 0: not drawn
extern float g_GlyphAdvance[256];  // pen advance, pixels
extern const CVector2 g_vGlyphCell;  // (9, 32) pixels
extern const float g_fLineStep;      // 36 pixels from one line's top to the next

// Seconds a page stays fully shown ("Text_Display_Time"; F1 panel).
extern float g_fTextDisplayTime;

inline constexpr int kTextPages = 9;
inline constexpr int kTextLines = 6;  // per page
inline constexpr int kTextLineChars = 257;  // a slot: 256 characters and the terminator
// The invitation: page 0 is empty, so every round begins with a pause.
extern const char g_InvitationText[kTextPages][kTextLines][kTextLineChars];

// The largest phase, radians: pi for one bar's whole slide plus 3 for the
// lines below the first (five lags of half a radian, and half a radian to
// spare). The phase moves 2 per second, so a page slides in, and out, in
// about 3.07 s.
inline constexpr float kOverlayPhaseMax = 6.141593f;

void InitGlyphTables();
// Pixels the line takes when set: every character's advance, drawn or not.
float TextLineWidth(const char* line);

class CKeloOverlay : public CEffect {
public:
    CKeloOverlay();

    void Update(float dt) override;
    void Render() override;

    float m_fPhase = 0.0f;    // radians, 0 .. kOverlayPhaseMax
    float m_fHold = 0.0f;     // seconds fully shown
    bool m_bShowing = true;   // sliding in or held; false: sliding out
    int32_t m_nPage = 0;      // 0 .. kTextPages - 1
};
