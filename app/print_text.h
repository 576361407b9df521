// app/print_text.h - one line of formatted text on the screen, for the
// tuning panels: PrintText formats like printf and draws with GetFont() (bold,
// 24 pixels at 768 lines) left and top aligned in the rectangle from the position to the
// screen's bottom-right corner, in the colour.
//
// Formatting goes into one process-wide buffer of 2048 characters, the
// terminator included; a longer result is cut there rather than written
// past it.
//
// Needs InitDevice; without a font it still formats but draws nothing.
// Main thread only, inside the frame's scene.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/math.h"

inline constexpr size_t kPrintTextBufferSize = 2048;  // characters, terminator included

// pos in the 1024 x 768 design space (times g_vScreenScale, truncated to
// whole pixels); argb 0xAARRGGBB.
void PrintText(const CVector2& pos, uint32_t argb, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// The text of the last PrintText, as formatted (for tests).
const char* LastPrintedText();
