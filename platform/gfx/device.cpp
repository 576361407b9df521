// The graphics device: creation, states, clears, draws and presentation.
//
// Index of this file:
// [SECTION] Direct3D 9 values in GL terms
// [SECTION] Creation and release
// [SECTION] Scenes, GL errors and memory
// [SECTION] Render targets and clears
// [SECTION] States and bindings
// [SECTION] Drawing
// [SECTION] Presentation and read-back

#include <SDL.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gfx/internal.h"
#include "platform/os/log.h"
#include "platform/os/window_internal.h"

namespace plat::gfx {

// ---------------------------------------------------------------------------
// [SECTION] Direct3D 9 values in GL terms
// ---------------------------------------------------------------------------

GLenum GlCompare(uint32_t cmp) {
    switch (cmp) {
        case CMP_NEVER: return GL_NEVER;
        case CMP_LESS: return GL_LESS;
        case CMP_EQUAL: return GL_EQUAL;
        case CMP_LESSEQUAL: return GL_LEQUAL;
        case CMP_GREATER: return GL_GREATER;
        case CMP_NOTEQUAL: return GL_NOTEQUAL;
        case CMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

GLenum GlBlend(uint32_t blend) {
    switch (blend) {
        case BLEND_ZERO: return GL_ZERO;
        case BLEND_ONE: return GL_ONE;
        case BLEND_SRCCOLOR: return GL_SRC_COLOR;
        case BLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case BLEND_SRCALPHA: return GL_SRC_ALPHA;
        case BLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case BLEND_DESTALPHA: return GL_DST_ALPHA;
        case BLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case BLEND_DESTCOLOR: return GL_DST_COLOR;
        case BLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case BLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        default: return GL_ONE;
    }
}

namespace {

GLenum GlBlendEquation(uint32_t op) {
    switch (op) {
        case BLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case BLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case BLENDOP_MIN: return GL_MIN;
        case BLENDOP_MAX: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

GLint GlAddress(uint32_t mode) {
    switch (mode) {
        case TADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case TADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case TADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        default: return GL_REPEAT;
    }
}

GLint GlMinFilter(uint32_t min, uint32_t mip) {
    bool lin = min >= TEXF_LINEAR;
    switch (mip) {
        case TEXF_NONE: return lin ? GL_LINEAR : GL_NEAREST;
        case TEXF_POINT: return lin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        default: return lin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
}

void GLAPIENTRY DebugCallback(GLenum, GLenum type, GLuint, GLenum severity, GLsizei, const GLchar* message,
                              const void* user) {
    if (type == GL_DEBUG_TYPE_ERROR) {
        auto* device = static_cast<Device*>(const_cast<void*>(user));
        LogError("gfx", "GL error: %s", message);
        // Mesa names the error in its message; CheckGlErrors below may find
        // the flag already taken.
        if (std::strstr(message, "GL_OUT_OF_MEMORY") || std::strstr(message, "out of memory")) device->NoteOutOfMemory();
        device->CheckGlErrors(nullptr);
    } else if (severity == GL_DEBUG_SEVERITY_HIGH) {
        Log("gfx", "GL: %s", message);
    }
}

}  // namespace

Device::Device() : impl_(std::make_unique<Impl>()) {}
Device::~Device() = default;

// ---------------------------------------------------------------------------
// [SECTION] Creation and release
// ---------------------------------------------------------------------------

Device* Device::Create(const DeviceParams& params, std::string* error) {
    Device* d = new Device;
    if (!d->Init(params, error)) {
        d->Release();
        return nullptr;
    }
    return d;
}

bool Device::Init(const DeviceParams& params, std::string* error) {
    params_ = params;
    SDL_Window* window = detail::MainSdlWindow();
    if (!window) {
        if (error) *error = "no window to draw into";
        return false;
    }
    // Mesa's software driver maps a few hundred megabytes while it makes a
    // context, and crashes when one of those allocations fails.
    RequireAddressSpace(320u << 20);
    impl_->context = SDL_GL_CreateContext(window);
    if (!impl_->context) {
        if (error) *error = std::string("OpenGL 4.5 core is not available (") + SDL_GetError() + ")";
        return false;
    }
    SDL_GL_MakeCurrent(window, impl_->context);
    if (epoxy_gl_version() < 45) {
        if (error) *error = "OpenGL 4.5 core is not available (the driver offers " +
                            std::to_string(epoxy_gl_version() / 10) + "." + std::to_string(epoxy_gl_version() % 10) + ")";
        return false;
    }
    Log("gfx", "%s on %s", reinterpret_cast<const char*>(glGetString(GL_VERSION)),
        reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    impl_->swap_interval = params.vsync ? 1 : 0;
    // Strict vsync: every frame waits for the retrace. Adaptive vsync would
    // show a late frame at once, torn, and "present on the retrace" means
    // never torn.
    if (SDL_GL_SetSwapInterval(impl_->swap_interval) != 0 && params.vsync)
        Log("gfx", "vsync is not available here (%s)", SDL_GetError());

    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback(DebugCallback, this);

    // Depth 0..1 in clip space, as Direct3D. The origin stays GL's: vertex
    // stages flip y themselves (see shaders.cpp), so row 0 is the top.
    glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);

    const int w = params.back_buffer_width, h = params.back_buffer_height;
    glCreateRenderbuffers(1, &impl_->depth_buffer);
    glNamedRenderbufferStorage(impl_->depth_buffer, GL_DEPTH_COMPONENT24, w, h);
    impl_->depth_width = w;
    impl_->depth_height = h;

    SurfaceDesc bb{Format::A8R8G8B8, USAGE_RENDERTARGET, static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
    back_buffer_ = new Surface(this, nullptr, bb);
    glCreateTextures(GL_TEXTURE_2D, 1, &back_buffer_->gl_texture_);
    glTextureStorage2D(back_buffer_->gl_texture_, 1, GL_RGBA8, w, h);
    ThrowIfOutOfMemory("the back buffer's storage");

    if (!impl_->stream.Init()) {
        ThrowIfOutOfMemory("the streaming vertex buffer");
        if (error) *error = "cannot create the streaming vertex buffer";
        return false;
    }
    glCreateSamplers(kMaxSamplers, impl_->samplers);
    GLint ubo_align = 256;
    glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &ubo_align);
    impl_->ubo_alignment = static_cast<size_t>(std::clamp(ubo_align, 16, 256));

    // Direct3D 9's defaults, then the GL state made to match them.
    rs_[static_cast<int>(RS::ZEnable)] = 1;
    rs_[static_cast<int>(RS::ZWriteEnable)] = 1;
    rs_[static_cast<int>(RS::ZFunc)] = CMP_LESSEQUAL;
    rs_[static_cast<int>(RS::CullMode)] = CULL_CCW;
    rs_[static_cast<int>(RS::Lighting)] = 1;
    rs_[static_cast<int>(RS::AlphaTestEnable)] = 0;
    rs_[static_cast<int>(RS::AlphaRef)] = 0;
    rs_[static_cast<int>(RS::AlphaFunc)] = CMP_ALWAYS;
    rs_[static_cast<int>(RS::AlphaBlendEnable)] = 0;
    rs_[static_cast<int>(RS::SrcBlend)] = BLEND_ONE;
    rs_[static_cast<int>(RS::DestBlend)] = BLEND_ZERO;
    rs_[static_cast<int>(RS::BlendOp)] = BLENDOP_ADD;
    for (int s = 0; s < kMaxSamplers; ++s) {
        ss_[s][static_cast<int>(SS::AddressU)] = TADDRESS_WRAP;
        ss_[s][static_cast<int>(SS::AddressV)] = TADDRESS_WRAP;
        ss_[s][static_cast<int>(SS::MagFilter)] = TEXF_POINT;
        ss_[s][static_cast<int>(SS::MinFilter)] = TEXF_POINT;
        ss_[s][static_cast<int>(SS::MipFilter)] = TEXF_NONE;
        impl_->sampler_dirty[s] = true;
    }
    // The vertex colour a declaration lacks reads as white, as in Direct3D.
    glVertexAttrib4f(static_cast<GLuint>(AttributeLocation(DeclUsage::Color, 0)), 1.f, 1.f, 1.f, 1.f);

    SetRenderTarget(0, back_buffer_);
    return true;
}

void Device::Release() {
    if (impl_->context) {
        SDL_GL_MakeCurrent(detail::MainSdlWindow(), impl_->context);
        // Drop the device's own references, then orphan whatever the caller
        // still holds: its GL names go with the context, and a later Release
        // of it only frees memory.
        SetVertexDeclaration(nullptr);
        SetVertexShader(nullptr);
        SetPixelShader(nullptr);
        for (unsigned s = 0; s < kMaxSamplers; ++s) SetTexture(s, nullptr);
        if (target_) target_->Release();
        target_ = nullptr;
        for (auto& [key, shader] : impl_->passthrough) shader->Release();
        impl_->passthrough.clear();
        if (back_buffer_) back_buffer_->Release();
        back_buffer_ = nullptr;
        for (auto& [key, pipeline] : impl_->pipelines) glDeleteProgramPipelines(1, &pipeline);
        impl_->pipelines.clear();
        if (!impl_->live.empty()) Log("gfx", "%zu objects outlive the device", impl_->live.size());
        for (RefCounted* obj : std::set<RefCounted*>(impl_->live)) {
            if (auto* s = dynamic_cast<Surface*>(obj)) {
                if (s->gl_fbo_) glDeleteFramebuffers(1, &s->gl_fbo_);
                if (!s->container_ && s->gl_texture_) glDeleteTextures(1, &s->gl_texture_);
                s->device_ = nullptr;
            } else if (auto* t = dynamic_cast<Texture*>(obj)) {
                glDeleteTextures(1, &t->gl_texture_);
                t->device_ = nullptr;
            } else if (auto* d = dynamic_cast<VertexDecl*>(obj)) {
                glDeleteVertexArrays(1, &d->gl_vao_);
                d->device_ = nullptr;
            } else if (auto* sh = dynamic_cast<Shader*>(obj)) {
                glDeleteProgram(sh->gl_program_);
                if (sh->gl_program_no_test_) glDeleteProgram(sh->gl_program_no_test_);
                sh->device_ = nullptr;
            }
        }
        impl_->live.clear();
        glDeleteSamplers(kMaxSamplers, impl_->samplers);
        if (impl_->presenter.program) glDeleteProgram(impl_->presenter.program);
        if (impl_->presenter.vao) glDeleteVertexArrays(1, &impl_->presenter.vao);
        if (impl_->presenter.sampler) glDeleteSamplers(1, &impl_->presenter.sampler);
        impl_->stream.Shutdown();
        if (impl_->depth_buffer) glDeleteRenderbuffers(1, &impl_->depth_buffer);
        glDisable(GL_DEBUG_OUTPUT);
        SDL_GL_DeleteContext(impl_->context);
        impl_->context = nullptr;
    }
    delete this;
}

// ---------------------------------------------------------------------------
// [SECTION] Scenes, GL errors and memory
// ---------------------------------------------------------------------------

bool Device::BeginScene() {
    if (in_scene_) return false;  // Direct3D refuses a nested BeginScene
    in_scene_ = true;
    return true;
}

void Device::EndScene() { in_scene_ = false; }

void Device::CheckGlErrors(const char* where) {
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError()) {
        ++gl_errors_;
        if (e == GL_OUT_OF_MEMORY) out_of_memory_ = true;
        if (where) LogError("gfx", "GL error 0x%04x after %s", e, where);
    }
    if (!where) ++gl_errors_;  // reported through the debug callback
}

void RequireAddressSpace(size_t bytes) {
    // Reserved without being touched (PROT_NONE, no swap reserved): it costs
    // nothing but counts against an address-space limit (ulimit -v), which
    // is where the driver's own allocations would fail.
    void* probe = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (probe == MAP_FAILED) throw std::bad_alloc();
    munmap(probe, bytes);
}

void Device::ThrowIfOutOfMemory(const char* where) {
    CheckGlErrors(where);
    if (out_of_memory_) throw std::bad_alloc();
}

// ---------------------------------------------------------------------------
// [SECTION] Render targets and clears
// ---------------------------------------------------------------------------

void Device::BindFramebufferFor(Surface* surface) {
    if (!surface->gl_fbo_) {
        glCreateFramebuffers(1, &surface->gl_fbo_);
        glNamedFramebufferTexture(surface->gl_fbo_, GL_COLOR_ATTACHMENT0, surface->gl_texture_, 0);
        // Every target draws against the one depth buffer of the back buffer.
        glNamedFramebufferRenderbuffer(surface->gl_fbo_, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, impl_->depth_buffer);
    }
    if (impl_->cache.fbo != surface->gl_fbo_) {
        glBindFramebuffer(GL_FRAMEBUFFER, surface->gl_fbo_);
        impl_->cache.fbo = surface->gl_fbo_;
        ++stats_.target_binds;
    }
    // Binding a target resets the viewport to the whole target.
    const int w = static_cast<int>(surface->desc_.width), h = static_cast<int>(surface->desc_.height);
    if (impl_->cache.viewport_w != w || impl_->cache.viewport_h != h) {
        glViewport(0, 0, w, h);
        impl_->cache.viewport_w = w;
        impl_->cache.viewport_h = h;
    }
}

bool Device::GetRenderTarget(unsigned index, Surface** surface) {
    if (!surface) return false;
    *surface = nullptr;
    if (index != 0 || !target_) return false;
    target_->AddRef();
    *surface = target_;
    return true;
}

bool Device::SetRenderTarget(unsigned index, Surface* surface) {
    // Target 0 can never be empty in Direct3D 9.
    if (index != 0 || !surface || !surface->device_) return false;
    surface->AddRef();
    if (target_) target_->Release();
    target_ = surface;
    BindFramebufferFor(surface);
    return true;
}

void Device::Clear(uint32_t flags, uint32_t argb, float z) {
    if (!target_) return;
    BindFramebufferFor(target_);
    if (flags & CLEAR_TARGET) {
        const float c[4] = {((argb >> 16) & 0xFF) / 255.f, ((argb >> 8) & 0xFF) / 255.f, (argb & 0xFF) / 255.f,
                            ((argb >> 24) & 0xFF) / 255.f};
        glClearNamedFramebufferfv(target_->gl_fbo_, GL_COLOR, 0, c);
    }
    if (flags & CLEAR_ZBUFFER) {
        // Direct3D clears depth whatever the depth-write state; GL obeys the
        // depth mask even in a clear, so it is opened for the clear alone.
        if (impl_->cache.depth_write != 1) glDepthMask(GL_TRUE);
        const float depth = std::clamp(z, 0.f, 1.f);
        glClearNamedFramebufferfv(target_->gl_fbo_, GL_DEPTH, 0, &depth);
        if (impl_->cache.depth_write == 0) glDepthMask(GL_FALSE);
        if (impl_->cache.depth_write == -1) impl_->cache.depth_write = 1;
    }
}

// ---------------------------------------------------------------------------
// [SECTION] States and bindings
// ---------------------------------------------------------------------------

void Device::SetRenderState(RS state, uint32_t value) {
    if (state >= RS::Count) return;
    rs_[static_cast<int>(state)] = value;
}

void Device::SetSamplerState(unsigned stage, SS state, uint32_t value) {
    if (stage >= kMaxSamplers || state >= SS::Count) return;
    uint32_t& slot = ss_[stage][static_cast<int>(state)];
    if (slot != value) {
        slot = value;
        impl_->sampler_dirty[stage] = true;
    }
}

uint32_t Device::GetSamplerState(unsigned stage, SS state) const {
    if (stage >= kMaxSamplers || state >= SS::Count) return 0;
    return ss_[stage][static_cast<int>(state)];
}

void Device::SetTexture(unsigned stage, Texture* texture) {
    if (stage >= kMaxSamplers || textures_[stage] == texture) return;
    if (texture) texture->AddRef();
    if (textures_[stage]) textures_[stage]->Release();
    textures_[stage] = texture;
}

Texture* Device::GetTexture(unsigned stage) const { return stage < kMaxSamplers ? textures_[stage] : nullptr; }

void Device::SetVertexDeclaration(VertexDecl* decl) {
    if (decl == decl_) return;
    if (decl) decl->AddRef();
    if (decl_) decl_->Release();
    decl_ = decl;
}

void Device::SetVertexShader(Shader* shader) {
    if (shader == vs_ || (shader && shader->Stage() != ShaderStage::Vertex)) return;
    if (shader) shader->AddRef();
    if (vs_) vs_->Release();
    vs_ = shader;
}

void Device::SetPixelShader(Shader* shader) {
    if (shader == ps_ || (shader && shader->Stage() != ShaderStage::Pixel)) return;
    if (shader) shader->AddRef();
    if (ps_) ps_->Release();
    ps_ = shader;
}

// ---------------------------------------------------------------------------
// [SECTION] Drawing
// ---------------------------------------------------------------------------

void Device::ApplyDrawState() {
    GlStateCache& c = impl_->cache;
    auto rs = [this](RS s) { return rs_[static_cast<int>(s)]; };

    const int depth_test = rs(RS::ZEnable) ? 1 : 0;
    if (c.depth_test != depth_test) {
        depth_test ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
        c.depth_test = depth_test;
        ++stats_.state_changes;
    }
    const int depth_write = rs(RS::ZWriteEnable) ? 1 : 0;
    if (c.depth_write != depth_write) {
        glDepthMask(depth_write ? GL_TRUE : GL_FALSE);
        c.depth_write = depth_write;
        ++stats_.state_changes;
    }
    const GLenum depth_func = GlCompare(rs(RS::ZFunc));
    if (c.depth_func != depth_func) {
        glDepthFunc(depth_func);
        c.depth_func = depth_func;
        ++stats_.state_changes;
    }
    // Direct3D names the winding it culls, as seen on screen with y down:
    // CULL_CW drops clockwise triangles. GL judges winding in its own
    // y-up window space, where the flipped picture turns every clockwise
    // triangle counter-clockwise: a front face to GL. So CULL_CW culls GL's
    // front faces and CULL_CCW its back faces.
    const uint32_t cull_mode = rs(RS::CullMode);
    const int cull = cull_mode == CULL_CW || cull_mode == CULL_CCW;
    if (c.cull != cull) {
        cull ? glEnable(GL_CULL_FACE) : glDisable(GL_CULL_FACE);
        c.cull = cull;
        ++stats_.state_changes;
    }
    const GLenum cull_face = cull_mode == CULL_CW ? GL_FRONT : GL_BACK;
    if (cull && c.cull_face != cull_face) {
        glCullFace(cull_face);
        c.cull_face = cull_face;
        ++stats_.state_changes;
    }
    const int blend = rs(RS::AlphaBlendEnable) ? 1 : 0;
    if (c.blend != blend) {
        blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        c.blend = blend;
        ++stats_.state_changes;
    }
    if (blend) {
        // Direct3D 9 without separate alpha blending uses the colour factors
        // for alpha as well, and so do we.
        const GLenum src = GlBlend(rs(RS::SrcBlend)), dst = GlBlend(rs(RS::DestBlend));
        if (c.blend_src != src || c.blend_dst != dst) {
            glBlendFunc(src, dst);
            c.blend_src = src;
            c.blend_dst = dst;
            ++stats_.state_changes;
        }
        const GLenum eq = GlBlendEquation(rs(RS::BlendOp));
        if (c.blend_eq != eq) {
            glBlendEquation(eq);
            c.blend_eq = eq;
            ++stats_.state_changes;
        }
    }

    for (unsigned s = 0; s < kMaxSamplers; ++s) {
        const GLuint tex = textures_[s] && textures_[s]->device_ ? textures_[s]->gl_texture_ : 0;
        if (c.textures[s] != tex) {
            glBindTextureUnit(s, tex);
            c.textures[s] = tex;
            ++stats_.texture_binds;
        }
        // A texture of one level (every render target) reads the same with
        // or without a mip filter: both levels of a linear mip blend are
        // level 0. Leaving the mip filter out there spares llvmpipe the
        // level-of-detail work and the second fetch on every tap.
        const bool one_level = tex && textures_[s]->LevelCount() == 1;
        if (tex && (impl_->sampler_dirty[s] || impl_->sampler_one_level[s] != one_level)) {
            const uint32_t* st = ss_[s];
            const GLuint smp = impl_->samplers[s];
            const uint32_t mip = one_level ? static_cast<uint32_t>(TEXF_NONE) : st[static_cast<int>(SS::MipFilter)];
            glSamplerParameteri(smp, GL_TEXTURE_WRAP_S, GlAddress(st[static_cast<int>(SS::AddressU)]));
            glSamplerParameteri(smp, GL_TEXTURE_WRAP_T, GlAddress(st[static_cast<int>(SS::AddressV)]));
            glSamplerParameteri(smp, GL_TEXTURE_MAG_FILTER,
                                st[static_cast<int>(SS::MagFilter)] >= TEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
            glSamplerParameteri(smp, GL_TEXTURE_MIN_FILTER,
                                GlMinFilter(st[static_cast<int>(SS::MinFilter)], mip));
            glBindSampler(s, smp);
            impl_->sampler_dirty[s] = false;
            impl_->sampler_one_level[s] = one_level;
            ++stats_.state_changes;
        }
    }
}

void Device::SetConstants(ShaderStage stage, const void* data, size_t size) {
    Impl::Constants& c = impl_->constants[stage == ShaderStage::Vertex ? 0 : 1];
    if (!data || size == 0 || size > StreamBuffer::kCapacity / StreamBuffer::kSegments / 4) {
        c.valid = false;
        return;
    }
    c.offset = impl_->stream.Write(data, size, impl_->ubo_alignment);
    c.size = size;
    c.valid = true;
}

void Device::DrawPrimitiveUP(PrimType type, uint32_t primitive_count, const void* vertices, uint32_t stride) {
    if (!in_scene_ || primitive_count == 0 || !vertices || stride == 0 || !decl_ || !target_) return;
    Shader* vs = nullptr;
    const GLuint pipeline =
        DevicePipelineFor(*this, decl_, vs_, ps_, rs_[static_cast<int>(RS::AlphaTestEnable)] != 0, &vs);
    if (!pipeline) return;

    const uint32_t count = type == PrimType::TriangleList ? primitive_count * 3 : primitive_count + 2;
    const size_t bytes = static_cast<size_t>(count) * stride;
    StreamBuffer& stream = impl_->stream;
    size_t offset = bytes * 2 <= StreamBuffer::kCapacity / StreamBuffer::kSegments ? stream.Write(vertices, bytes)
                                                                                   : stream.WriteBig(vertices, bytes);
    const GLuint buffer = stream.LastWriteWasBig() ? stream.BigBuffer() : stream.Buffer();

    BindFramebufferFor(target_);
    ApplyDrawState();

    GlStateCache& c = impl_->cache;
    const float tw = static_cast<float>(target_->desc_.width), th = static_cast<float>(target_->desc_.height);
    if (vs->pixel_shift_location_ >= 0) {
        const float shift[2] = {1.f / tw, -1.f / th};
        if (std::memcmp(shift, vs->pixel_shift_, sizeof shift) != 0) {
            glProgramUniform2f(vs->gl_program_, vs->pixel_shift_location_, shift[0], shift[1]);
            std::memcpy(vs->pixel_shift_, shift, sizeof shift);
        }
    } else if (decl_->IsPreTransformed()) {
        const float size[2] = {tw, th};
        if (std::memcmp(size, vs->pixel_shift_, sizeof size) != 0) {
            vs->SetFloats("kelo_target_size", size, 2);
            std::memcpy(vs->pixel_shift_, size, sizeof size);
        }
    }
    if (ps_->alpha_test_location_ >= 0) {
        const float at[3] = {rs_[static_cast<int>(RS::AlphaTestEnable)] ? 1.f : 0.f,
                             static_cast<float>(rs_[static_cast<int>(RS::AlphaFunc)]),
                             static_cast<float>(rs_[static_cast<int>(RS::AlphaRef)] & 0xFF)};
        if (std::memcmp(at, ps_->alpha_test_, sizeof at) != 0) {
            glProgramUniform3f(ps_->gl_program_, ps_->alpha_test_location_, at[0], at[1], at[2]);
            std::memcpy(ps_->alpha_test_, at, sizeof at);
        }
    }
    for (unsigned stage = 0; stage < 2; ++stage) {
        Impl::Constants& k = impl_->constants[stage];
        if (k.valid && k.bound_offset != k.offset) {
            glBindBufferRange(GL_UNIFORM_BUFFER, stage, stream.Buffer(), static_cast<GLintptr>(k.offset),
                              static_cast<GLsizeiptr>(k.size));
            k.bound_offset = k.offset;
        }
    }
    if (c.pipeline != pipeline) {
        glBindProgramPipeline(pipeline);
        c.pipeline = pipeline;
        ++stats_.program_binds;
    }
    if (c.vao != decl_->gl_vao_) {
        glBindVertexArray(decl_->gl_vao_);
        c.vao = decl_->gl_vao_;
    }
    glVertexArrayVertexBuffer(decl_->gl_vao_, 0, buffer, static_cast<GLintptr>(offset), static_cast<GLsizei>(stride));
    glDrawArrays(type == PrimType::TriangleList ? GL_TRIANGLES : GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>(count));

    ++stats_.draws;
    stats_.primitives += primitive_count;
    stats_.bytes_streamed += static_cast<uint32_t>(bytes);
    if (params_.debug) CheckGlErrors("DrawPrimitiveUP");
}

// ---------------------------------------------------------------------------
// [SECTION] Presentation and read-back
// ---------------------------------------------------------------------------

namespace {

// The back buffer into the window, as a quad over the viewport. At its own
// size each window pixel fetches its texel (flipped: the back buffer's
// first row is the top of the picture, the window's its bottom), so the
// copy is exact; scaled, it is filtered as a linear blit would be.
constexpr const char* kPresentVs = R"(#version 450 core
void main() {
    vec2 corner = vec2(gl_VertexID & 1, gl_VertexID >> 1);
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";
constexpr const char* kPresentFs = R"(#version 450 core
layout(binding = 16) uniform sampler2D u_picture;
layout(location = 0) uniform ivec4 u_rect;  // where the picture lies in the window
layout(location = 0) out vec4 o_color;
void main() {
    ivec2 size = textureSize(u_picture, 0);
    if (u_rect.zw == size) {
        ivec2 p = ivec2(gl_FragCoord.xy) - u_rect.xy;
        o_color = texelFetch(u_picture, ivec2(p.x, size.y - 1 - p.y), 0);
    } else {
        vec2 uv = (gl_FragCoord.xy - vec2(u_rect.xy)) / vec2(u_rect.zw);
        o_color = texture(u_picture, vec2(uv.x, 1.0 - uv.y));
    }
}
)";
// Past the units the effects' samplers use, so their bindings stay put.
constexpr GLuint kPresentUnit = kMaxSamplers;
static_assert(kMaxSamplers == 16, "kPresentFs binds unit 16");

GLuint CompileStage(GLenum type, const char* source) {
    const GLuint stage = glCreateShader(type);
    glShaderSource(stage, 1, &source, nullptr);
    glCompileShader(stage);
    return stage;
}

}  // namespace

bool Device::DrawBackBufferToWindow(int x, int y, int w, int h) {
    Impl::Presenter& p = impl_->presenter;
    if (!p.tried) {
        p.tried = true;
        const GLuint vs = CompileStage(GL_VERTEX_SHADER, kPresentVs), fs = CompileStage(GL_FRAGMENT_SHADER, kPresentFs);
        p.program = glCreateProgram();
        glAttachShader(p.program, vs);
        glAttachShader(p.program, fs);
        glLinkProgram(p.program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        GLint linked = 0;
        glGetProgramiv(p.program, GL_LINK_STATUS, &linked);
        if (!linked) {
            LogWarning("gfx", "the present program does not link; the window is filled by a blit");
            glDeleteProgram(p.program);
            p.program = 0;
            return false;
        }
        glCreateVertexArrays(1, &p.vao);
        glCreateSamplers(1, &p.sampler);
        glSamplerParameteri(p.sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glSamplerParameteri(p.sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glSamplerParameteri(p.sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glSamplerParameteri(p.sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    if (!p.program) return false;
    // The state the draws keep in the cache is set here through it, so the
    // next draw finds it as it is; the program and the unit are outside it.
    GlStateCache& c = impl_->cache;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    c.fbo = 0;
    glViewport(x, y, w, h);
    c.viewport_w = c.viewport_h = -1;
    if (c.depth_test != 0) glDisable(GL_DEPTH_TEST);
    if (c.cull != 0) glDisable(GL_CULL_FACE);
    if (c.blend != 0) glDisable(GL_BLEND);
    c.depth_test = c.cull = c.blend = 0;
    glBindVertexArray(p.vao);
    c.vao = p.vao;
    glBindTextureUnit(kPresentUnit, back_buffer_->gl_texture_);
    glBindSampler(kPresentUnit, p.sampler);
    glUseProgram(p.program);
    glProgramUniform4i(p.program, 0, x, y, w, h);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    // Back to the bound pipeline for the effects' programs.
    glUseProgram(0);
    return true;
}

void Device::Present() {
    SDL_Window* window = detail::MainSdlWindow();
    if (!window || !back_buffer_) return;
    int ww = 0, wh = 0;
    SDL_GL_GetDrawableSize(window, &ww, &wh);
    const int bw = static_cast<int>(back_buffer_->desc_.width), bh = static_cast<int>(back_buffer_->desc_.height);
    // An unseen window is not worth the copy: on the software driver the
    // first one costs as much as the whole first loading frame.
    if (ww > 0 && wh > 0 && detail::MainWindowCanBeSeen()) {
        // Letterbox: the largest rectangle of the back buffer's aspect that
        // fits, centred; black bars around it.
        int dw = ww, dh = static_cast<int>(static_cast<long long>(ww) * bh / bw);
        if (dh > wh) {
            dh = wh;
            dw = static_cast<int>(static_cast<long long>(wh) * bw / bh);
        }
        const int dx = (ww - dw) / 2, dy = (wh - dh) / 2;
        const float black[4] = {0.f, 0.f, 0.f, 1.f};
        glClearNamedFramebufferfv(0, GL_COLOR, 0, black);
        if (!DrawBackBufferToWindow(dx, dy, dw, dh)) {
            if (!back_buffer_->gl_fbo_) BindFramebufferFor(back_buffer_);
            // The back buffer's first row is the top of the picture; the
            // window's first row is its bottom: the blit flips.
            glBlitNamedFramebuffer(back_buffer_->gl_fbo_, 0, 0, 0, bw, bh, dx, dy + dh, dx + dw, dy,
                                   GL_COLOR_BUFFER_BIT, (dw == bw && dh == bh) ? GL_NEAREST : GL_LINEAR);
        }
    }
    SDL_GL_SwapWindow(window);
    if (params_.debug) CheckGlErrors("Present");
    last_stats_ = stats_;
    stats_ = FrameStats{};
}

bool Device::ReadBackBuffer(std::vector<uint8_t>& rgb) {
    if (!back_buffer_) return false;
    const uint32_t w = back_buffer_->desc_.width, h = back_buffer_->desc_.height;
    rgb.resize(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTextureImage(back_buffer_->gl_texture_, 0, GL_RGB, GL_UNSIGNED_BYTE, static_cast<GLsizei>(rgb.size()),
                      rgb.data());
    // A read that failed leaves the buffer as it was: not a frame.
    const uint32_t errors = gl_errors_;
    CheckGlErrors("ReadBackBuffer");
    return gl_errors_ == errors;
}

bool Device::ReadSurface(Surface* surface, std::vector<float>& rgba) {
    if (!surface || !surface->device_) return false;
    const uint32_t w = surface->desc_.width, h = surface->desc_.height;
    rgba.resize(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTextureImage(surface->gl_texture_, 0, GL_RGBA, GL_FLOAT, static_cast<GLsizei>(rgba.size() * sizeof(float)),
                      rgba.data());
    return true;
}

}  // namespace plat::gfx
