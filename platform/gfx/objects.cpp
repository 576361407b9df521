// Textures, surfaces and vertex declarations of the graphics device.
#include <algorithm>
#include <cmath>
#include <new>

#include "platform/gfx/internal.h"
#include "platform/os/log.h"

namespace plat::gfx {

uint32_t RefCounted::Release() {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
}

// Inputs: POSITION/POSITIONT 0, NORMAL 1, COLOR0-1 2-3, TEXCOORD0-7 4-11,
// TANGENT 12, BINORMAL 13, BLENDWEIGHT 14, BLENDINDICES 15. Sixteen is
// every GL 4.5 implementation's least GL_MAX_VERTEX_ATTRIBS, so PSIZE and
// FOG, rare as vertex inputs, have no place.
int AttributeLocation(DeclUsage usage, unsigned index) {
    switch (usage) {
        case DeclUsage::Position:
        case DeclUsage::PositionT: return index == 0 ? 0 : -1;
        case DeclUsage::Normal: return index == 0 ? 1 : -1;
        case DeclUsage::Color: return index < 2 ? 2 + static_cast<int>(index) : -1;
        case DeclUsage::TexCoord: return index < kMaxTexCoords ? 4 + static_cast<int>(index) : -1;
        case DeclUsage::Tangent: return index == 0 ? 12 : -1;
        case DeclUsage::Binormal: return index == 0 ? 13 : -1;
        case DeclUsage::BlendWeight: return index == 0 ? 14 : -1;
        case DeclUsage::BlendIndices: return index == 0 ? 15 : -1;
        case DeclUsage::PSize:
        case DeclUsage::Fog: return -1;
    }
    return -1;
}

// Links between stages, as shader model 2/3 has them: COLOR0-1 0-1,
// TEXCOORD0-7 2-9, FOG 10. Position is gl_Position and PSIZE gl_PointSize,
// never links.
int VaryingLocation(DeclUsage usage, unsigned index) {
    switch (usage) {
        case DeclUsage::Color: return index < 2 ? static_cast<int>(index) : -1;
        case DeclUsage::TexCoord: return index < kMaxTexCoords ? 2 + static_cast<int>(index) : -1;
        case DeclUsage::Fog: return index == 0 ? 10 : -1;
        default: return -1;
    }
}

namespace {

struct GlFormat {
    GLenum internal;
    GLenum pixel_type;
};

GlFormat ToGl(Format f) {
    switch (f) {
        case Format::A16B16G16R16F: return {GL_RGBA16F, GL_FLOAT};
        case Format::A8R8G8B8:
        case Format::X8R8G8B8: break;
    }
    return {GL_RGBA8, GL_UNSIGNED_BYTE};
}

uint32_t FullChainLevels(uint32_t w, uint32_t h) {
    uint32_t levels = 1;
    for (uint32_t s = std::max(w, h); s > 1; s >>= 1) ++levels;
    return levels;
}

}  // namespace

// ---- Surface -------------------------------------------------------------

Surface::Surface(Device* device, Texture* container, const SurfaceDesc& desc)
    : device_(device), container_(container), desc_(desc) {
    if (device_) device_->impl().live.insert(this);
}

Surface::~Surface() {
    if (device_) {
        if (gl_fbo_) glDeleteFramebuffers(1, &gl_fbo_);
        // The back buffer owns its colour texture; a texture level does not.
        if (!container_ && gl_texture_) glDeleteTextures(1, &gl_texture_);
        device_->impl().live.erase(this);
    }
    if (container_) {
        container_->surface0_ = nullptr;
        container_->Release();
    }
}

// ---- Texture -------------------------------------------------------------

Texture::Texture(Device* device, const SurfaceDesc& desc, uint32_t levels)
    : device_(device), desc_(desc), levels_(levels) {
    device_->impl().live.insert(this);
}

Texture::~Texture() {
    if (device_) {
        if (gl_texture_) glDeleteTextures(1, &gl_texture_);
        device_->impl().live.erase(this);
    }
}

bool Texture::GetLevelDesc(uint32_t level, SurfaceDesc* desc) const {
    if (level >= levels_ || !desc) return false;
    *desc = desc_;
    desc->width = std::max(1u, desc_.width >> level);
    desc->height = std::max(1u, desc_.height >> level);
    return true;
}

bool Texture::GetSurfaceLevel(uint32_t level, Surface** surface) {
    if (!surface) return false;
    *surface = nullptr;
    if (level != 0 || !(desc_.usage & USAGE_RENDERTARGET) || !device_) return false;
    if (surface0_) {
        surface0_->AddRef();
    } else {
        // The surface holds a reference on its texture, as a D3D9 surface
        // keeps its container alive.
        surface0_ = new Surface(device_, this, desc_);
        surface0_->gl_texture_ = gl_texture_;
        AddRef();
    }
    *surface = surface0_;
    return true;
}

bool Texture::Upload(uint32_t level, const void* pixels) {
    SurfaceDesc d;
    if (!device_ || !pixels || !GetLevelDesc(level, &d)) return false;
    GlFormat f = ToGl(desc_.format);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTextureSubImage2D(gl_texture_, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(d.width),
                        static_cast<GLsizei>(d.height), GL_RGBA, f.pixel_type, pixels);
    return true;
}

void Texture::GenerateMips() {
    if (device_ && levels_ > 1) glGenerateTextureMipmap(gl_texture_);
}

Texture* Device::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format format) {
    if (width == 0 || height == 0 || width > 16384 || height > 16384) {
        LogWarning("gfx", "texture of %ux%u refused", width, height);
        return nullptr;
    }
    if (usage & USAGE_RENDERTARGET) levels = 1;
    uint32_t full = FullChainLevels(width, height);
    if (levels == 0 || levels > full) levels = full;

    SurfaceDesc desc{format, usage, width, height};
    Texture* t = new Texture(this, desc, levels);
    GlFormat f = ToGl(format);
    glCreateTextures(GL_TEXTURE_2D, 1, &t->gl_texture_);
    glTextureStorage2D(t->gl_texture_, static_cast<GLsizei>(levels), f.internal, static_cast<GLsizei>(width),
                       static_cast<GLsizei>(height));
    CheckGlErrors("a texture's storage");
    if (OutOfMemory()) {
        // See ThrowIfOutOfMemory: the driver is not to be used any further.
        t->Release();
        throw std::bad_alloc();
    }
    // A picture without alpha samples alpha 1, whatever its bytes say.
    if (format == Format::X8R8G8B8) glTextureParameteri(t->gl_texture_, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    return t;
}

// ---- Vertex declarations -------------------------------------------------

VertexDecl::VertexDecl(Device* device, std::span<const VertexElement> elements)
    : device_(device), elements_(elements.begin(), elements.end()) {
    device_->impl().live.insert(this);
}

VertexDecl::~VertexDecl() {
    if (device_) {
        if (gl_vao_) glDeleteVertexArrays(1, &gl_vao_);
        auto& pt = device_->impl().passthrough;
        for (auto it = pt.begin(); it != pt.end();) {
            if (it->first.first == this) {
                it->second->Release();
                it = pt.erase(it);
            } else {
                ++it;
            }
        }
        device_->impl().live.erase(this);
    }
}

VertexDecl* Device::CreateVertexDeclaration(std::span<const VertexElement> elements) {
    if (elements.empty()) return nullptr;
    bool has_position = false;
    for (const VertexElement& e : elements) {
        if (AttributeLocation(e.usage, e.usage_index) < 0) {
            LogWarning("gfx", "vertex element with usage %d index %u has no place", static_cast<int>(e.usage),
                       e.usage_index);
            return nullptr;
        }
        if (e.usage == DeclUsage::Position || e.usage == DeclUsage::PositionT) has_position = true;
    }
    if (!has_position) return nullptr;

    VertexDecl* d = new VertexDecl(this, elements);
    glCreateVertexArrays(1, &d->gl_vao_);
    for (const VertexElement& e : elements) {
        GLuint loc = static_cast<GLuint>(AttributeLocation(e.usage, e.usage_index));
        glEnableVertexArrayAttrib(d->gl_vao_, loc);
        glVertexArrayAttribBinding(d->gl_vao_, loc, 0);
        switch (e.type) {
            case DeclType::Float1: glVertexArrayAttribFormat(d->gl_vao_, loc, 1, GL_FLOAT, GL_FALSE, e.offset); break;
            case DeclType::Float2: glVertexArrayAttribFormat(d->gl_vao_, loc, 2, GL_FLOAT, GL_FALSE, e.offset); break;
            case DeclType::Float3: glVertexArrayAttribFormat(d->gl_vao_, loc, 3, GL_FLOAT, GL_FALSE, e.offset); break;
            case DeclType::Float4: glVertexArrayAttribFormat(d->gl_vao_, loc, 4, GL_FLOAT, GL_FALSE, e.offset); break;
            case DeclType::D3DColor:
                // D3DCOLOR is 0xAARRGGBB stored little-endian: bytes B, G, R, A.
                glVertexArrayAttribFormat(d->gl_vao_, loc, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, e.offset);
                break;
        }
        if (e.usage == DeclUsage::PositionT) d->pretransformed_ = true;
    }
    return d;
}

}  // namespace plat::gfx
