// platform/gfx/device.h - the graphics device: Direct3D 9's behaviour on
// OpenGL 4.5 core.
//
// Offers the device calls the program makes (BeginScene, Clear, render and
// sampler states, vertex declarations, DrawPrimitiveUP, textures, render
// targets, Present) with the Direct3D 9 rules it depends on, each written
// down where it is implemented:
//   - the back buffer is an off-screen RGBA8 target of DeviceParams' size
//     (1024 x 768 unless the show asks for another) with a 24-bit depth
//     buffer that every render target shares; Present scales it into the
//     window, letterboxed, and honours vsync. Capture reads it (ReadBackBuffer);
//   - pixel centres sit at integer coordinates: a pre-transformed (POSITIONT)
//     vertex at pixel (x, y) lands at GL window (x + 0.5, y + 0.5), and
//     clip-space geometry is shifted by the same half pixel;
//   - a declaration with POSITIONT bypasses the vertex shader: a pass-through
//     made by the device feeds the pixel shader, which still runs;
//   - top-left origin for the screen, textures and targets alike (v = 0 is the
//     top row; a pixel centre on a top or left edge is filled, on a bottom or
//     right edge not), clip depth 0..1, culling named by winding with y down;
//   - alpha test as a discard in the pixel stage; the blend factors apply to
//     alpha too; Clear clears depth even while depth writes are off; binding a
//     render target resets the viewport to its size; D3DCOLOR vertex colours
//     are BGRA bytes.
// Objects (Texture, Surface, VertexDecl, Shader) are reference counted like
// COM objects: the creator holds one reference; Release at zero frees them.
// Only the main thread may call any of this.
//
// Lifecycle: plat::CreateMainWindow -> Device::Create -> ... -> every object
// released -> Device::Release (frees what is still alive and the GL context).
//
// Does not: offer vertex or index buffers (everything is drawn from memory
// through one streaming buffer), multiple render targets, stencil, MSAA, or
// device reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/types.h"

namespace plat::gfx {

class Device;
class VertexDecl;
class Shader;

// The one reference count of the platform's objects (COM's AddRef and
// Release): made with one reference, deleted by the Release that takes the
// count to zero. Devices, textures, surfaces, declarations, shaders,
// meshes, effects and fonts all count this way.
class RefCounted {
public:
    uint32_t AddRef() { return ++refs_; }
    uint32_t Release();
    uint32_t RefCount() const { return refs_; }

protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

private:
    uint32_t refs_ = 1;
};

class Texture;

// A colour surface that can be render target 0: the back buffer, or level 0
// of a render-target texture. A texture's surface keeps its texture alive.
class Surface : public RefCounted {
public:
    const SurfaceDesc& Desc() const { return desc_; }
    Texture* Container() const { return container_; }

private:
    friend class Device;
    friend class Texture;
    Surface(Device* device, Texture* container, const SurfaceDesc& desc);
    ~Surface() override;
    Device* device_;
    Texture* container_;  // null for the back buffer
    SurfaceDesc desc_;
    uint32_t gl_texture_ = 0;  // colour attachment
    uint32_t gl_fbo_ = 0;      // made on first bind; shares the device's depth buffer
};

class Texture : public RefCounted {
public:
    uint32_t LevelCount() const { return levels_; }
    bool GetLevelDesc(uint32_t level, SurfaceDesc* desc) const;
    // Render targets only, level 0 only: adds a reference to the surface.
    bool GetSurfaceLevel(uint32_t level, Surface** surface);
    // Replaces one level's pixels: rows top first, 4 bytes per pixel in
    // R, G, B, A order (A ignored for X8R8G8B8); for float textures 4 floats.
    bool Upload(uint32_t level, const void* pixels);
    // Builds levels 1.. from level 0.
    void GenerateMips();
    uint32_t GlName() const { return gl_texture_; }

private:
    friend class Device;
    friend class Surface;
    Texture(Device* device, const SurfaceDesc& desc, uint32_t levels);
    ~Texture() override;
    Device* device_;
    SurfaceDesc desc_;
    uint32_t levels_;
    uint32_t gl_texture_ = 0;
    Surface* surface0_ = nullptr;  // render targets: created on first GetSurfaceLevel
};

class VertexDecl : public RefCounted {
public:
    std::span<const VertexElement> Elements() const { return elements_; }
    bool IsPreTransformed() const { return pretransformed_; }

private:
    friend class Device;
    VertexDecl(Device* device, std::span<const VertexElement> elements);
    ~VertexDecl() override;
    Device* device_;
    std::vector<VertexElement> elements_;
    bool pretransformed_ = false;
    uint32_t gl_vao_ = 0;
};

// One compiled stage (a separable GL program). Its inputs, outputs and
// samplers follow the semantic locations of types.h; sampler N reads the
// texture and sampler state of stage N. Uniforms are set by name.
class Shader : public RefCounted {
public:
    ShaderStage Stage() const { return stage_; }
    // Set a uniform by its GLSL name; returns false when the program has none
    // of that name (nothing changes). Matrices are 16 floats in the
    // program's row-vector convention: the value reaches the shader so that
    // mul(v, M) in HLSL terms is v x M.
    bool SetFloats(std::string_view name, const float* values, size_t count);
    bool SetMatrix(std::string_view name, const float* m16);
    bool SetInt(std::string_view name, int value);
    uint32_t GlName() const { return gl_program_; }

private:
    friend class Device;
    friend uint32_t DevicePipelineFor(Device&, VertexDecl*, Shader*, Shader*, bool, Shader**);
    Shader(Device* device, ShaderStage stage, uint32_t program, uint32_t program_without_alpha_test = 0);
    ~Shader() override;
    struct Locations {
        std::string name;
        int with_test, without_test;
    };
    const Locations& Location(std::string_view name);
    Device* device_;
    ShaderStage stage_;
    uint32_t gl_program_;
    // Pixel stages only: the same program without the alpha test's discard,
    // drawn with while the test is off. A shader that can discard makes
    // llvmpipe (and many GPUs) test depth only after shading; the tower and
    // the meshes, which never use the test, keep the early depth test this
    // way. 0 when the stage has no colour output to test.
    uint32_t gl_program_no_test_ = 0;
    std::vector<Locations> locations_;
    int pixel_shift_location_ = -1;
    float pixel_shift_[2] = {0.f, 0.f};
    int alpha_test_location_ = -1;
    float alpha_test_[3] = {0.f, 0.f, 0.f};
};

struct DeviceParams {
    int back_buffer_width = 1024;
    int back_buffer_height = 768;
    bool vsync = false;
    bool debug = false;  // GL debug output; errors are counted and logged
};

class Device {
public:
    // Needs plat::CreateMainWindow first. On failure returns null and fills
    // *error with one line (for example "OpenGL 4.5 core is not available").
    static Device* Create(const DeviceParams& params, std::string* error);
    void Release();

    bool BeginScene();
    void EndScene();
    // D3D9 Clear of the whole target: colour as 0xAARRGGBB, depth to z.
    void Clear(uint32_t flags, uint32_t argb, float z);
    // Scales the back buffer into the window (letterboxed) and swaps.
    void Present();

    void SetRenderState(RS state, uint32_t value);
    uint32_t GetRenderState(RS state) const { return rs_[static_cast<int>(state)]; }
    void SetSamplerState(unsigned stage, SS state, uint32_t value);
    uint32_t GetSamplerState(unsigned stage, SS state) const;
    void SetTexture(unsigned stage, Texture* texture);
    Texture* GetTexture(unsigned stage) const;

    // Null when the element list cannot be expressed.
    VertexDecl* CreateVertexDeclaration(std::span<const VertexElement> elements);
    void SetVertexDeclaration(VertexDecl* decl);
    VertexDecl* GetVertexDeclaration() const { return decl_; }

    // levels 0 means a full mip chain. Render targets have one level.
    Texture* CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format format);

    // Adds a reference to the returned surface, as Direct3D does.
    bool GetRenderTarget(unsigned index, Surface** surface);
    // Also resets the viewport to the surface's size.
    bool SetRenderTarget(unsigned index, Surface* surface);
    Surface* BackBuffer() const { return back_buffer_; }

    // GLSL 4.50 source of one stage, without a #version line. The device adds
    // its own prelude (the pixel-centre shift for vertex stages, the alpha
    // test for pixel stages). Returns null and fills *log on a compile error.
    // `color_output` names the pixel stage's colour output (location 0).
    Shader* CreateShader(ShaderStage stage, std::string_view glsl, std::string_view color_output,
                         std::string* log);
    void SetVertexShader(Shader* shader);
    void SetPixelShader(Shader* shader);
    Shader* GetVertexShader() const { return vs_; }
    Shader* GetPixelShader() const { return ps_; }

    // The uniform block of a stage's globals (block binding 0 for the vertex
    // stage, 1 for the pixel stage): copied now into the streaming buffer and
    // used by every later draw until set again.
    void SetConstants(ShaderStage stage, const void* data, size_t size);

    // Draws from caller memory through the streaming buffer.
    void DrawPrimitiveUP(PrimType type, uint32_t primitive_count, const void* vertices, uint32_t stride);

    // The back buffer as RGB8 rows, top row first (for capture and tests).
    bool ReadBackBuffer(std::vector<uint8_t>& rgb);
    // Any RGBA surface as 4 floats per pixel, top row first (for tests).
    bool ReadSurface(Surface* surface, std::vector<float>& rgba);

    const FrameStats& LastFrameStats() const { return last_stats_; }
    const FrameStats& CurrentStats() const { return stats_; }
    // GL errors seen so far (checked after each draw and present in debug mode).
    uint32_t GlErrorCount() const { return gl_errors_; }
    // GL_OUT_OF_MEMORY was seen: what the driver was asked for since may be
    // missing or undefined (a frame read back then is not to be trusted).
    bool OutOfMemory() const { return out_of_memory_; }
    void NoteOutOfMemory() { out_of_memory_ = true; }
    // After an allocation in the driver: GL_OUT_OF_MEMORY throws
    // std::bad_alloc, as a failed allocation of ours does. Mesa's software
    // driver crashes on the next shader it compiles after one, so the run
    // must not go on drawing.
    void ThrowIfOutOfMemory(const char* where);
    void CheckGlErrors(const char* where);

    // Internals shared with the objects above.
    struct Impl;
    Impl& impl() { return *impl_; }
    FrameStats& stats() { return stats_; }

private:
    Device();
    ~Device();
    bool Init(const DeviceParams& params, std::string* error);
    void ApplyDrawState();
    void BindFramebufferFor(Surface* surface);
    // Present's copy into the window's (x, y, w, h); false when its program
    // cannot be made, and a blit does it instead.
    bool DrawBackBufferToWindow(int x, int y, int w, int h);

    std::unique_ptr<Impl> impl_;
    DeviceParams params_;
    uint32_t rs_[static_cast<int>(RS::Count)] = {};
    uint32_t ss_[kMaxSamplers][static_cast<int>(SS::Count)] = {};
    Texture* textures_[kMaxSamplers] = {};
    VertexDecl* decl_ = nullptr;
    Shader* vs_ = nullptr;
    Shader* ps_ = nullptr;
    Surface* back_buffer_ = nullptr;
    Surface* target_ = nullptr;
    bool in_scene_ = false;
    FrameStats stats_;
    FrameStats last_stats_;
    uint32_t gl_errors_ = 0;
    bool out_of_memory_ = false;
};

}  // namespace plat::gfx
