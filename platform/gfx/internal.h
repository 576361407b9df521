// platform/gfx/internal.h - the GL side of the graphics device, shared by
// device.cpp, objects.cpp, shaders.cpp and stream.cpp.
// Private to platform/.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/gfx/device.h"

namespace plat::gfx {

// Throws std::bad_alloc unless `bytes` of address space are free now. Made
// before calls into Mesa's software driver that crash instead of failing
// when an allocation fails (making a context, compiling a shader), so a run
// short of memory ends with one line as any other failed allocation does.
void RequireAddressSpace(size_t bytes);

// One orphan-free ring of vertex memory, persistently mapped. Draws copy their
// vertices in and point the vertex array at the copy. The ring is cut into
// segments; a fence is placed when the writer leaves a segment and waited on
// before it comes back, so the GPU never reads memory being overwritten.
class StreamBuffer {
public:
    // A frame of the show streams at most about half a megabyte (the tower
    // with both panels open), so a segment holds two frames and the fence
    // met on coming back is long signalled. Every byte is the driver's to
    // clear when the ring is made, at start-up: no bigger than it must be.
    static constexpr size_t kCapacity = 4u << 20;
    static constexpr int kSegments = 4;
    bool Init();
    void Shutdown();
    // Copies `size` bytes in and returns their offset in Buffer(), a
    // multiple of `align` (a power of two, at most 256).
    size_t Write(const void* data, size_t size, size_t align = 64);
    GLuint Buffer() const { return buffer_; }

private:
    void EnterSegment(int segment);
    GLuint buffer_ = 0;
    uint8_t* mapped_ = nullptr;
    size_t head_ = 0;
    int segment_ = -1;
    GLsync fences_[kSegments] = {};
    // Draws larger than the ring go through a buffer re-specified each time.
    GLuint big_buffer_ = 0;
    bool last_was_big_ = false;

public:
    bool LastWriteWasBig() const { return last_was_big_; }
    GLuint BigBuffer() const { return big_buffer_; }
    size_t WriteBig(const void* data, size_t size);
};

// The GL state the device last applied, so redundant calls are skipped.
struct GlStateCache {
    int depth_test = -1;
    int depth_write = -1;
    GLenum depth_func = 0;
    int cull = -1;
    GLenum cull_face = 0;
    int blend = -1;
    GLenum blend_src = 0, blend_dst = 0, blend_eq = 0;
    GLuint fbo = ~0u;
    int viewport_w = -1, viewport_h = -1;
    GLuint pipeline = ~0u;
    GLuint vao = ~0u;
    GLuint textures[kMaxSamplers] = {};
};

struct Device::Impl {
    SDL_GLContext context = nullptr;
    GLuint depth_buffer = 0;          // shared by the back buffer and every target
    int depth_width = 0, depth_height = 0;
    GLuint samplers[kMaxSamplers] = {};
    bool sampler_dirty[kMaxSamplers] = {};
    // Whether each sampler's filters were last set for a texture of one
    // level (see ApplyDrawState).
    bool sampler_one_level[kMaxSamplers] = {};
    StreamBuffer stream;
    GlStateCache cache;
    // Separable programs are combined in pipelines, one per (vertex, pixel) pair.
    std::map<std::pair<GLuint, GLuint>, GLuint> pipelines;
    // Pass-through vertex stages for pre-transformed declarations, one per
    // (declaration, pixel shader) pair since the outputs follow the pixel
    // shader's inputs.
    std::map<std::pair<const VertexDecl*, GLuint>, Shader*> passthrough;
    // Every live object, so Release of the device can orphan what is left.
    std::set<RefCounted*> live;
    // Uniform blocks per stage: where SetConstants put them, and what is bound.
    struct Constants {
        size_t offset = 0, size = 0;
        bool valid = false;
        size_t bound_offset = ~size_t{0};
    } constants[2];
    size_t ubo_alignment = 256;
    int swap_interval = 0;
    // What Present draws the back buffer into the window with, made at the
    // first Present to a window that can be seen.
    struct Presenter {
        bool tried = false;
        GLuint program = 0, vao = 0, sampler = 0;
    } presenter;
};

GLenum GlCompare(uint32_t cmp);
GLenum GlBlend(uint32_t blend);

// Chooses the program pair for a draw (shaders.cpp): the vertex stage in
// *used_vs; the pipeline, or 0 when the draw cannot run (no pixel stage, or
// no vertex stage for a transformed declaration).
GLuint DevicePipelineFor(Device& device, VertexDecl* decl, Shader* vs, Shader* ps, bool alpha_test, Shader** used_vs);

}  // namespace plat::gfx
