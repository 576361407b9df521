#include "platform/picture.h"

#include <stb_image.h>

#include <climits>
#include <memory>

#include "platform/log.h"

namespace plat {
namespace {

struct StbFree {
    void operator()(unsigned char* p) const { stbi_image_free(p); }
};

// The file declares an alpha channel (grey + alpha, RGBA, or a palette that
// stb expands to RGBA because of its transparency chunk), or a colour key
// made some pixels transparent: a grey or RGB PNG with a tRNS chunk decodes
// to fewer channels in the header's count but with alpha 0 where the key
// matched, so the decoded bytes have the last word.
bool HasAlpha(int channels_in_file, const unsigned char* rgba, size_t pixels) {
    if (channels_in_file == 2 || channels_in_file == 4) return true;
    for (size_t i = 0; i < pixels; ++i) {
        if (rgba[i * 4 + 3] != 255) return true;
    }
    return false;
}

}  // namespace

gfx::Texture* CreatePictureTexture(gfx::Device* device, const void* bytes, size_t size, std::string_view name) {
    const int name_len = static_cast<int>(name.size());
    if (!device) {
        LogWarning("tex", "%.*s: no device", name_len, name.data());
        return nullptr;
    }
    if (!bytes || size == 0 || size > static_cast<size_t>(INT_MAX)) {
        LogWarning("tex", "%.*s: no picture bytes (%zu)", name_len, name.data(), size);
        return nullptr;
    }
    int width = 0, height = 0, channels = 0;
    // Always four channels out, R G B A per pixel, top row first: the layout
    // Texture::Upload takes for both 8-bit formats.
    std::unique_ptr<unsigned char, StbFree> rgba(stbi_load_from_memory(
        static_cast<const stbi_uc*>(bytes), static_cast<int>(size), &width, &height, &channels, 4));
    if (!rgba) {
        LogWarning("tex", "%.*s: cannot decode the picture (%s)", name_len, name.data(), stbi_failure_reason());
        return nullptr;
    }
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    const gfx::Format format =
        HasAlpha(channels, rgba.get(), pixels) ? gfx::Format::A8R8G8B8 : gfx::Format::X8R8G8B8;

    // Levels 0: the whole chain down to 1 x 1, as D3DX made for pictures.
    gfx::Texture* texture = device->CreateTexture(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0,
                                                  gfx::USAGE_NONE, format);
    if (!texture) {
        LogWarning("tex", "%.*s: the device refuses a %dx%d texture", name_len, name.data(), width, height);
        return nullptr;
    }
    texture->Upload(0, rgba.get());
    texture->GenerateMips();
    Log("tex", "%.*s: %dx%d %s, %u levels", name_len, name.data(), width, height,
        format == gfx::Format::A8R8G8B8 ? "A8R8G8B8" : "X8R8G8B8", texture->LevelCount());
    return texture;
}

bool ReadPictureFile(const std::string& path, PicturePixels* out) {
    *out = PicturePixels{};
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<unsigned char, StbFree> rgba(stbi_load(path.c_str(), &width, &height, &channels, 4));
    if (!rgba) return false;
    out->width = width;
    out->height = height;
    out->rgba.assign(rgba.get(), rgba.get() + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    return true;
}

}  // namespace plat
