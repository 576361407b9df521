// platform/decode_only.h - the picture decoder alone, with no device, for
// benchmarks that want to tell decoding apart from upload and mip building.
//
// Offers: DecodePictureOnly runs the same library call as
// CreatePictureTexture (platform/picture.h) on the same bytes - four
// channels out - and throws the pixels away. The X file reader needs no
// helper: ReadXFile (platform/mesh.h) already runs without a device.
//
// Does not: make textures, log, or keep anything.
#pragma once

#include <cstddef>

namespace plat {

// True when the bytes decode; *width and *height (when not null) get the
// picture's size.
bool DecodePictureOnly(const void* bytes, size_t size, int* width, int* height);

}  // namespace plat
