#include "platform/gfx/picture.h"

#include <stb_image.h>

#include <climits>
#include <map>
#include <memory>

#include "platform/os/ahead.h"
#include "platform/os/log.h"

namespace plat {
namespace {

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

// Pictures being decoded on the start-up worker, by their bytes. Main
// thread only; the worker sees nothing of it but its job.
struct Decoded {
    DecodedPicture picture;
    bool ok = false;
    std::string why;
};
using DecodingKey = std::pair<const void*, size_t>;
std::map<DecodingKey, std::future<Decoded>>& DecodingAhead() {
    static std::map<DecodingKey, std::future<Decoded>> pending;
    return pending;
}

}  // namespace

void DecodePictureAhead(const void* bytes, size_t size) {
    const DecodingKey key{bytes, size};
    if (!bytes || DecodingAhead().count(key)) return;
    DecodingAhead()[key] = RunAheadFor<Decoded>([bytes, size] {
        Decoded d;
        d.ok = DecodePicture(bytes, size, &d.picture, &d.why);
        return d;
    });
}

void DecodedPicture::Free::operator()(unsigned char* p) const { stbi_image_free(p); }

bool DecodePicture(const void* bytes, size_t size, DecodedPicture* out, std::string* why) {
    *out = DecodedPicture{};
    if (!bytes || size == 0 || size > static_cast<size_t>(INT_MAX)) {
        if (why) *why = "no picture bytes (" + std::to_string(size) + ")";
        return false;
    }
    // Always four channels out, R G B A per pixel, top row first: the layout
    // Texture::Upload takes for both 8-bit formats.
    out->rgba.reset(stbi_load_from_memory(static_cast<const stbi_uc*>(bytes), static_cast<int>(size), &out->width,
                                          &out->height, &out->channels_in_file, 4));
    if (!out->rgba) {
        if (why) *why = std::string("cannot decode the picture (") + stbi_failure_reason() + ")";
        *out = DecodedPicture{};
        return false;
    }
    return true;
}

gfx::Texture* CreatePictureTexture(gfx::Device* device, const void* bytes, size_t size, std::string_view name,
                                   PictureMips mips) {
    const int name_len = static_cast<int>(name.size());
    if (!device) {
        LogWarning("tex", "%.*s: no device", name_len, name.data());
        return nullptr;
    }
    DecodedPicture picture;
    std::string why;
    bool decoded = false;
    if (auto ahead = DecodingAhead().find({bytes, size}); ahead != DecodingAhead().end()) {
        // Waits for the worker if it is not done; what it threw is thrown here.
        std::future<Decoded> pending = std::move(ahead->second);
        DecodingAhead().erase(ahead);
        Decoded d = pending.get();
        picture = std::move(d.picture);
        why = std::move(d.why);
        decoded = d.ok;
    } else {
        decoded = DecodePicture(bytes, size, &picture, &why);
    }
    if (!decoded) {
        LogWarning("tex", "%.*s: %s", name_len, name.data(), why.c_str());
        return nullptr;
    }
    const int width = picture.width, height = picture.height;
    unsigned char* rgba = picture.rgba.get();
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    const gfx::Format format =
        HasAlpha(picture.channels_in_file, rgba, pixels) ? gfx::Format::A8R8G8B8 : gfx::Format::X8R8G8B8;

    // Levels 0: the whole chain down to 1 x 1, as D3DX made for pictures.
    gfx::Texture* texture = device->CreateTexture(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 0,
                                                  gfx::USAGE_NONE, format);
    if (!texture) {
        LogWarning("tex", "%.*s: the device refuses a %dx%d texture", name_len, name.data(), width, height);
        return nullptr;
    }
    texture->Upload(0, rgba);
    if (mips == PictureMips::Now) texture->GenerateMips();
    Log("tex", "%.*s: %dx%d %s, %u levels", name_len, name.data(), width, height,
        format == gfx::Format::A8R8G8B8 ? "A8R8G8B8" : "X8R8G8B8", texture->LevelCount());
    return texture;
}

bool ReadPictureFile(const std::string& path, PicturePixels* out) {
    *out = PicturePixels{};
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<unsigned char, DecodedPicture::Free> rgba(stbi_load(path.c_str(), &width, &height, &channels, 4));
    if (!rgba) return false;
    out->width = width;
    out->height = height;
    out->rgba.assign(rgba.get(), rgba.get() + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    return true;
}

}  // namespace plat
