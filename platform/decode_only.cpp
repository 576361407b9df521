#include "platform/decode_only.h"

#include <stb_image.h>

#include <climits>

namespace plat {

bool DecodePictureOnly(const void* bytes, size_t size, int* width, int* height) {
    if (!bytes || size == 0 || size > static_cast<size_t>(INT_MAX)) return false;
    int w = 0, h = 0, channels = 0;
    unsigned char* rgba =
        stbi_load_from_memory(static_cast<const stbi_uc*>(bytes), static_cast<int>(size), &w, &h, &channels, 4);
    if (!rgba) return false;
    stbi_image_free(rgba);
    if (width) *width = w;
    if (height) *height = h;
    return true;
}

}  // namespace plat
