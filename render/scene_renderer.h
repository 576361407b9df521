// render/scene_renderer.h - the off-screen targets of the 3D pipeline and the
// renderer's own copy of "Data\Scene.fx".
//
// Target plan: five screen-size render targets of four 16-bit floats
// (D3DFMT_A16B16G16R16F), all sharing the device's one depth buffer:
//   scene 0  lit colour, alpha 1 on geometry, the clear colour elsewhere
//   scene 1  world-space normal (-1..1), w = 1
//   scene 2  view x and y, view z / focal plane length, w = 1
//   post 0, post 1  the ping-pong targets of render/post_process.h
// Size: g_fScreenWidth x g_fScreenHeight truncated towards zero.
//
// Protocol of a 3D effect (the cube tower follows it):
//   BeginSceneTargets(0x00FFFFFF)   saves the back buffer, clears the three
//                                   scene targets and depth, binds scene 0
//   ... set states, the scene effect's parameters and technique ...
//   Begin; per pass i: BindSceneTarget(i) (multi-pass technique only),
//   BeginPass, draw, EndPass; End
//   RestoreBackBuffer()             then the post-processing chain
// The 3D effects draw with the cached scene effect (GetEffect(106)); the
// copy made here is the chain's present step's alone.
//
// Lifecycle: InitSceneRenderer once after the device and the demo object
// exist; ReleaseSceneRenderer once after the demo object is gone, before
// the device. Without a device every call here does nothing.
//
// Differs from the Windows build only where that one would crash: binding or
// restoring before InitSceneRenderer, or restoring twice, does nothing; a
// second save before a restore drops the first saved reference instead of
// leaking it.
#pragma once

#include <cstdint>

struct CTexture;
namespace plat::gfx {
class VertexDecl;
}
namespace plat::fx {
class Effect;
}

// The vertex of every full-screen quad of the chains (32 bytes, one stream).
struct ScreenQuadVertex {
    float x, y, z, rhw;  // pre-transformed: pixels, depth, 1 / w (POSITIONT)
    float u0, v0;        // TEXCOORD0: the region the previous pass wrote
    float u1, v1;        // TEXCOORD1: always the whole texture
};
static_assert(sizeof(ScreenQuadVertex) == 32);

// Depth of the chains' quads: inside the 0..1 range, so a pass that keeps
// the depth test on is tested (and, with depth writes on, written) at 0.5.
inline constexpr float kScreenQuadDepth = 0.5f;
// TL, TR, BL, BR from (-0.5, -0.5) to (W - 0.5, H - 0.5), both texture
// sets spanning the whole texture. -0.5: with pixel centres on whole
// numbers, the edges lie on pixel boundaries and each pixel centre samples
// its own texel's centre. W and H are the screen size as it is, not
// truncated like the targets' size.
void FillFullScreenQuad(ScreenQuadVertex quad[4]);

// The post-processing chain's quad (render/post_process.h), corners TL, TR,
// BL, BR. It lives here because InitSceneRenderer fills it for the full
// screen before anything else; the chain then changes it link by link.
ScreenQuadVertex* PostProcessQuad();

void InitSceneRenderer();
// Effect, declaration, post targets 0-1, scene targets 0-2; safe to call
// twice or after a failed init.
void ReleaseSceneRenderer();

// Clears the colour, normal and position targets to `argb` and depth to 1,
// and leaves the colour target bound; the current target 0 is saved for
// RestoreBackBuffer.
void BeginSceneTargets(uint32_t argb);
// 0 colour, 1 normal, 2 position; any other index changes nothing.
void BindSceneTarget(unsigned index);
// Makes the saved target 0 current again and drops the saved reference.
void RestoreBackBuffer();
// Scene target 0, the lit colour (null before InitSceneRenderer).
CTexture* GetSceneColorTarget();

// For the post-processing chain, the tests and the bench.
CTexture* GetSceneTarget(unsigned index);  // 0..2, null otherwise
CTexture* GetPostTarget(unsigned index);   // 0..1, null otherwise
plat::gfx::VertexDecl* GetScreenQuadDecl();
// Its own copy of Data\Scene.fx, compiled at the first call after
// InitSceneRenderer (the first frame does not need it); null before
// InitSceneRenderer, or when it does not compile (tried once).
plat::fx::Effect* GetSceneEffect();
// Compiles that copy now, when a frame has time for it.
void PrepareSceneEffect();
// The five targets are made at their first use after InitSceneRenderer (the
// loading screen draws without them) or here, when a frame has time for
// it; tried once, a target that cannot be made stays null.
void PrepareSceneTargets();
// Saves the current target 0 (one reference held) for RestoreBackBuffer.
void SaveBackBuffer();
