// bench/gl_floor.h - the bare-GL floor of one tower frame: the targets,
// clears, draws and full-screen passes of that frame issued straight to
// OpenGL by the smallest program that could draw them, so a benchmark can
// hold the device's frame time against what the driver needs for the same
// work and nothing else.
//
// What it issues, post_process 0:
//   clear back buffer colour + depth
//   back buffer:  rectangle (4 vertices, no texture), picture 1024 x 1024
//                 RGBA8 with mips (1 tap), tower (colour pass)
//   then the mesh part below
// post_process 1:
//   clear back buffer colour + depth; clear scene 0, 1, 2 colour (depth
//                 needs no second clear: nothing has written it yet)
//   scene 0:      rectangle, picture; tower colour pass
//   scene 1, 2:   tower normal pass, tower position pass (same upload)
//   post 1:       clear, ambient occlusion (2 + 100 taps, depth off)
//   post 0:       clear, occlusion x colour (2 taps, depth tested + written)
//   back buffer:  present post 0 (1 tap, blended)
//   then the mesh part below
// The mesh part, both values:
//   scene 0:      clear colour + depth; the mesh, one draw per range
//   post 1:       clear, 4 x 4 down-filter into the top-left quarter (16 taps)
//   post 0:       clear, bright pass over the quarter (1 tap)
//   post 1:       clear, vertical blur over the quarter (13 taps, depth off)
//   post 0:       clear, horizontal blur over the quarter (13 taps, depth off)
//   post 1:       clear, glow x colour back to full size (2 taps)
//   back buffer:  present post 1 (1 tap, blended, depth off)
//   back buffer:  scene 0 over it, 64 pixels larger to the top left (1 tap)
// Targets: a 1024 x 768 RGBA8 back buffer, scene 0-2 and post 0-1 RGBA16F of
// the same size, one 24-bit depth buffer shared by all. Tower and mesh
// vertices (float3 position, float3 normal, 24 bytes) are uploaded each
// frame into re-specified buffers; the quads are made once. The picture is
// sampled trilinear; targets, which have one level, bilinear (the effect
// files ask for a linear mip filter there too, which a bare program would
// not); the chain's passes wrap, the 2D quads clamp. Blending is
// source-alpha "over" on the rectangle, the picture, the tower, the mesh,
// the present steps and the last copy. Only passes whose alpha decides what
// lands (blending off) discard alpha below 1/255, as the show's alpha test
// does there; the tower's alpha is always 1, so its passes have no discard
// and keep the driver's early depth test. Depth-tested passes use
// less-or-equal; depth is written by the tower, the mesh and the chain
// passes the show leaves depth writes on for.
//
// Lifecycle: Setup (in the current GL context, which must be the graphics
// device's: depth 0..1 clip control) -> (RenderFrame, Finish)* -> Release.
// Setup twice releases the first set. RenderFrame and Finish leave every GL
// binding and state they touch as they found it, so the device's cache of
// GL state stays true.
//
// Does not: use the device, its shaders, effects or streaming buffer; keep
// the show's exact pictures (the floor's picture is generated, same size
// and format); set the half-pixel shift of the device's 3D draws.
#pragma once

#include <cstdint>
#include <span>

namespace bench::floor {

// A run of vertices drawn by one call.
struct Range {
    uint32_t first = 0;
    uint32_t count = 0;
};

// One frame's geometry and camera. Pointers are read during RenderFrame
// only. Matrices are row-major for row vectors (p x M), as the show's.
struct FrameInput {
    const void* tower = nullptr;  // triangle list, 24-byte vertices
    uint32_t tower_vertices = 0;
    const void* mesh = nullptr;   // 24-byte vertices, uploaded whole
    uint32_t mesh_vertices = 0;
    std::span<const Range> mesh_draws;
    float proj[16] = {};
    float tower_model[16] = {};
    float tower_model_view[16] = {};
    float mesh_model[16] = {};
    float mesh_model_view[16] = {};
    float focal_plane_length = 1.0f;  // far - near: scales the stored view z
};

// What the last RenderFrame issued.
struct Stats {
    uint32_t draws = 0;
    uint32_t quads = 0;           // of the draws, the screen-aligned quads
    uint32_t clears = 0;          // colour and depth counted apart
    uint32_t bytes_uploaded = 0;  // vertices sent this frame
};

// post_process 0 or 1 picks the frame above. False (with a "gfx:" log
// line) when a shader does not compile or there is no GL 4.5 context.
bool Setup(int post_process);
void RenderFrame(const FrameInput& input);
// The frame end the show's frame has: the back buffer scaled into the window
// (letterboxed), the swap, and the whole back buffer read as RGB8, which
// waits for the driver to finish.
void Finish();
void Release();
const Stats& LastFrameStats();
// The back buffer as the last Finish read it: RGB8, top row first.
std::span<const uint8_t> LastImage();

}  // namespace bench::floor
