// app/screen_size.h - the sizes the back buffer may take, and the one full
// screen picks. Header-only: the command line checks --size with it before
// anything else is linked in (the command-line fuzz target has nothing more).
//
// The limits and their reasons:
//   - 4:3 exactly: the 1024 x 768 design space is stretched by one scale,
//     so another shape would stretch the picture;
//   - width a multiple of 16, so the height is one of 12 and both divide by
//     4: the bloom chain works on a quarter of the target in whole pixels;
//   - 320 x 240 to 4096 x 3072: below, the panels' text (24 px at 768
//     lines) is too small to read; above, the five half-float targets alone
//     pass 600 MB.
#pragma once

#include <algorithm>
#include <cstdint>

// The window's size, and a capture's, unless --size gives another.
inline constexpr int kConfiguredWidth = 1024;
inline constexpr int kConfiguredHeight = 768;
inline constexpr int kMinScreenWidth = 320;
inline constexpr int kMaxScreenWidth = 4096;

// Null when w x h may be used, else why not, as a phrase that follows the
// size in a message ("'1280x720' is not 4:3 ...").
inline const char* ScreenSizeProblem(int w, int h) {
    if (w < kMinScreenWidth || w > kMaxScreenWidth || h <= 0) return "is not from 320x240 to 4096x3072";
    // 64-bit: no product may wrap into a match.
    if (int64_t{w} * 3 != int64_t{h} * 4) return "is not 4:3 (other shapes are refused, not letterboxed)";
    if (w % 16 != 0) return "has a width that is not a multiple of 16 (nor a height of 12)";
    return nullptr;
}

// The full-screen back buffer for a display of display_w x display_h: the
// largest allowed size that fits, so the picture reaches the screen pixel
// for pixel (1440 x 1080 on 1920 x 1080, 1280 x 960 on 1280 x 1024, capped
// at 4096 x 3072); 1024 x 768 when the display is unknown (0 x 0) or has
// no room for 320 x 240, and the device scales that down.
inline void FullScreenSize(int display_w, int display_h, int* w, int* h) {
    // In units of 16 x 12 pixels: the largest count that fits both ways.
    const int units = std::min(std::min(display_w / 16, display_h / 12), kMaxScreenWidth / 16);
    if (units * 16 < kMinScreenWidth) {
        *w = kConfiguredWidth;
        *h = kConfiguredHeight;
        return;
    }
    *w = units * 16;
    *h = units * 12;
}
