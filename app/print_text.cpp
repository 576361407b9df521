#include "app/print_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/device.h"
#include "platform/text/font.h"

namespace {

char g_szTextBuffer[kPrintTextBufferSize];

}  // namespace

void PrintText(const CVector2& pos, uint32_t argb, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    // Bounded where the Windows build's vsprintf was not: a long name or
    // value in a panel row cuts the row instead of the stack.
    const int wanted = std::vsnprintf(g_szTextBuffer, sizeof g_szTextBuffer, fmt, args);
    va_end(args);
    if (wanted < 0) g_szTextBuffer[0] = '\0';
    plat::Font* font = GetFont();
    if (!font) return;
    // Design pixels to back-buffer pixels, as the 2D layer places its quads;
    // the font's cell grew with the height already.
    font->DrawText(static_cast<int>(pos.x * g_vScreenScale.x), static_cast<int>(pos.y * g_vScreenScale.y),
                      static_cast<int>(g_fScreenWidth),
                      static_cast<int>(g_fScreenHeight), std::string_view(g_szTextBuffer, std::strlen(g_szTextBuffer)),
                      argb);
}

const char* LastPrintedText() { return g_szTextBuffer; }
