// platform/capture/png_encode.h - RGB8 pictures to PNG bytes, for capture.
//
// Offers: EncodePng, which appends a whole PNG file (8-bit RGB, no
// interlace) to a buffer that the caller keeps from frame to frame, so a
// capture allocates nothing per frame once the first one is done.
//
// libpng does the work and reports every failure, a failed allocation
// included, so a capture that runs out of memory stops with a message
// instead of the process aborting. Rows get libpng's adaptive filter choice;
// deflate runs at level 1: speed over size, as a few percent smaller files
// cost several times the encoding time.
// Does not: write alpha, palettes, or metadata chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// `rgb` holds height rows of width * 3 bytes, top row first. False (and the
// buffer left short) only when memory ran out.
bool EncodePng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* png);

}  // namespace plat
