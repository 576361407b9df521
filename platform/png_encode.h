// platform/png_encode.h - RGB8 pictures to PNG bytes, for capture.
//
// Offers: EncodePng, which appends a whole PNG file (8-bit RGB, no
// interlace) to a buffer that the caller keeps from frame to frame, so a
// capture allocates nothing per frame once the first one is done.
//
// Why our own few lines over zlib: a capture must survive running out of
// memory (it reports and stops); the encoder we used before asserted and
// aborted the process when an allocation failed. zlib reports Z_MEM_ERROR,
// and our buffers report std::bad_alloc, both turned into a false return.
//
// Each row gets the PNG filter whose output has the smallest sum of
// absolute values (the heuristic the PNG specification suggests); deflate
// runs at level 1: speed over size, as a few percent smaller files cost
// several times the encoding time.
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
