// platform/gfx/picture.h - PNG and JPEG bytes turned into device textures, as
// D3DXCreateTextureFromResource did for the show's pictures.
//
// Offers: CreatePictureTexture decodes a PNG (grey, grey + alpha, RGB, RGBA,
// palette, 8 or 16 bits, with or without a transparency chunk) or a JPEG
// (baseline or progressive) held in memory and makes a texture of the
// picture's own size with a full mip chain: level 0 holds the picture,
// levels 1.. are built from it by the device.
//   - a picture that carries alpha (an alpha channel or a transparency chunk)
//     becomes A8R8G8B8 and keeps it;
//   - any other picture becomes X8R8G8B8, which samples alpha 1, so an RGB
//     picture is opaque whatever the decoder put in the fourth byte.
// The size is the picture's: unlike D3DX's defaults nothing is stretched to
// a power of two (every picture the show carries already is one).
//
// Errors: bytes that do not decode, or a picture the device cannot hold,
// give null and one "tex:" log line naming the picture; nothing is thrown.
//
// Lifecycle: the texture belongs to the caller (one reference) and must be
// released before the device. The bytes are only read during the call.
//
// Does not: read files, keep the decoded pixels, or handle GIF, BMP or DDS
// (the show has none).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/device.h"

namespace plat {

// A picture decoded in memory, as the decoder left it: R G B A per pixel,
// top row first, and how many channels the file itself declared (2 or 4
// mean it carries alpha). The pixels are the decoder's own buffer, handed
// on without a copy.
struct DecodedPicture {
    struct Free {
        void operator()(unsigned char* p) const;
    };
    int width = 0, height = 0, channels_in_file = 0;
    std::unique_ptr<unsigned char, Free> rgba;
};
// False, with the decoder's reason in `why` (when given), for bytes that do
// not decode. The decoding step of CreatePictureTexture, on its own so that
// it can be timed apart from the upload and the mip chain.
bool DecodePicture(const void* bytes, size_t size, DecodedPicture* out, std::string* why = nullptr);

// Starts DecodePicture of these bytes on the start-up worker
// (platform/os/ahead.h); the next CreatePictureTexture of the same bytes
// takes the pixels, waiting for them if it must. The bytes must stay where
// they are until then (an embedded resource does).
void DecodePictureAhead(const void* bytes, size_t size);

// When the levels below the picture are built. Later: the whole chain is
// allocated but only level 0 is filled; the caller calls GenerateMips before
// the picture is first drawn smaller than its own size. A picture drawn at
// exactly its size samples level 0 alone (its level of detail is 0), so it
// can be on screen before the chain exists: the loading picture is, and the
// chain is the slowest part of making it (the driver's first mip build).
enum class PictureMips { Now, Later };

// `name` is used in log lines only.
gfx::Texture* CreatePictureTexture(gfx::Device* device, const void* bytes, size_t size, std::string_view name,
                                   PictureMips mips = PictureMips::Now);

// A picture file's pixels without a device (for the tests and tools that look
// at captured frames): R G B A per pixel, top row first. False, with `rgba`
// emptied, when the file cannot be read or decoded.
struct PicturePixels {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};
bool ReadPictureFile(const std::string& path, PicturePixels* out);

}  // namespace plat
