#include "data/creators.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "app/device.h"
#include "data/texture.h"
#include "platform/os/log.h"
#include "platform/gfx/picture.h"
#include "platform/os/resources.h"

using namespace plat::gfx;

namespace {

constexpr size_t kFormatBufferSize = 256;  // characters, terminator included

}  // namespace

char* FormatString(char* buffer, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, kFormatBufferSize, fmt, args);
    va_end(args);
    return buffer;
}

const unsigned char* LoadResourceBytes(uint32_t id, std::string_view type, size_t* size) {
    // The Windows build turned the id into a "#id" resource name first; here
    // resources are found by number directly.
    return plat::FindResourceBytes(type, id, size);
}

plat::fx::Effect* CreateEffectFromResource(uint32_t id, const char* name) {
    return plat::fx::Effect::CreateFromResource(GetDevice(), id, name);
}

CTexture* CreateTextureFromResource(uint32_t id, const char* name, plat::PictureMips mips) {
    CTexture* record = new CTexture;
    size_t size = 0;
    const unsigned char* bytes = LoadResourceBytes(id, RT_RCDATA, &size);
    if (!bytes) {
        plat::LogWarning("tex", "%s: no RCDATA resource %u", name, id);
        return record;
    }
    record->m_pTexture = plat::CreatePictureTexture(GetDevice(), bytes, size, name, mips);
    SurfaceDesc desc;
    if (record->m_pTexture && record->m_pTexture->GetLevelDesc(0, &desc)) {
        record->m_nWidth = desc.width;
        record->m_nHeight = desc.height;
    }
    return record;
}

void DecodeTextureFromResourceAhead(uint32_t id) {
    size_t size = 0;
    if (const unsigned char* bytes = LoadResourceBytes(id, RT_RCDATA, &size)) plat::DecodePictureAhead(bytes, size);
}

CTexture* CreateRenderTarget(uint32_t width, uint32_t height, Format format) {
    CTexture* record = new CTexture;
    // The size asked for, whether or not the device can make it.
    record->m_nWidth = width;
    record->m_nHeight = height;
    Device* device = GetDevice();
    if (!device) return record;
    record->m_pTexture = device->CreateTexture(width, height, 1, USAGE_RENDERTARGET, format);
    if (record->m_pTexture) record->m_pTexture->GetSurfaceLevel(0, &record->m_pSurface);
    return record;
}
