// app/device.h - the device set-up and the drawing services every effect
// shares: the start-up dialog's answers turned into a window and a device,
// the shared render states, the screen-size values, the orthographic matrix
// and the eight vertex declarations.
//
// Lifecycle: InitDevice once at start-up (it runs the dialog unless the run
// configuration answers it), ShutdownDevice once at the end; ShutdownDevice
// is safe after a failed or partial InitDevice.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gfx/device.h"
#include "render/math.h"

struct CTexture;
namespace plat {
class Font;
}
namespace plat::fx {
class Effect;
}

// Indices into the vertex declaration table.
enum VertexDeclIndex {
    VD_PosCol = 0,          // float3 POSITION; D3DCOLOR COLOR
    VD_PosTCol = 1,         // float4 POSITIONT; D3DCOLOR COLOR               (2D layer)
    VD_PosColNorm = 2,      // float3 POSITION; D3DCOLOR COLOR; float3 NORMAL
    VD_PosColTex = 3,       // float3 POSITION; D3DCOLOR COLOR; float2 TEXCOORD
    VD_PosTColTex = 4,      // float4 POSITIONT; D3DCOLOR COLOR; float2 TEXCOORD (2D layer)
    VD_PosColNormTex = 5,   // float3 POSITION; D3DCOLOR COLOR; float3 NORMAL; float2 TEXCOORD
    VD_PosNorm = 6,         // float3 POSITION; float3 NORMAL                  (cube tower)
    VD_PosNormTex = 7,      // float3 POSITION; float3 NORMAL; float2 TEXCOORD
    VD_Count = 8
};

extern bool g_bVsync;     // dialog answer: present on the vertical retrace
extern bool g_bWindowed;  // dialog answer: "Fullscreen" was unchecked

// The 2D layer, the panels and the effects are laid out in this space,
// whatever the back buffer's size; g_vScreenScale takes it to pixels.
inline constexpr float kDesignWidth = 1024.f;
inline constexpr float kDesignHeight = 768.f;

extern float g_fScreenWidth;   // back buffer, pixels (1024 unless --size or full screen chose another)
extern float g_fScreenHeight;  // back buffer, pixels (768 likewise)
extern CVector2 g_vPixelSize;   // (1 / width, 1 / height)
extern CVector2 g_vScreenScale; // back buffer / 1024 x 768 design space
// One design pixel in the texture coordinates of a screen-sized target,
// g_vScreenScale * g_vPixelSize: the step of filters whose reach is part of
// the picture (blur spread, occlusion radius), so that it covers the same
// share of the screen at any size. Equal to g_vPixelSize at 1024 x 768.
extern CVector2 g_vDesignPixelSize;
extern CMatrix g_mOrtho;        // pixels, origin top left, y down, depth 0..1000
extern plat::fx::Effect* g_p2DEffect; // "Data\2d.fx", the 2D layer's effect (fx2d/draw2d.h); null if it failed

// How this run answers what the dialog would ask, and how it presents.
struct RunConfig {
    bool skip_dialog = false;  // answer with `windowed` and `vsync` below
    bool windowed = false;
    bool vsync = false;
    bool offscreen = false;    // capture: no visible window is needed
    bool gl_debug = false;     // count and log every GL error
    // Back buffer size (app/screen_size.h); 0 x 0 picks the mode's
    // default: 1024 x 768 in a window, FullScreenSize of the display in
    // full screen.
    int width = 0;
    int height = 0;
};
extern RunConfig g_RunConfig;

// True when the device and everything below exist. False either because the
// viewer declined ("Pooper", Escape, closed the dialog: GetStartError() is
// empty) or because something could not be made (GetStartError() says what).
bool InitDevice();

void ShutdownDevice();
const std::string& GetStartError();

// Starts the video subsystem, the first step of InitDevice; the entry point
// calls it early so that a run with no display to show on ends with that one
// message before the sound device is opened. False with GetStartError().
bool StartVideo();

// Starts translating the 2D effect on the start-up worker (platform/os/
// ahead.h) while the video driver, the window and the context are made;
// InitDevice takes it from there. Optional: without it InitDevice makes it
// all itself, and the same.
void PrepareDeviceObjectsAhead();

plat::gfx::Device* GetDevice();
// The bold 24-pixel text (PrintText, app/print_text.h), made at its first
// use after InitDevice or by PrepareFont when a loading frame has time for
// it; null without a device or when it cannot be made (tried once).
plat::Font* GetFont();
void PrepareFont();
const CVector2* GetPixelSize();
plat::gfx::VertexDecl* GetVertexDecl(int index);
bool BeginDeviceScene();
void EndDeviceScene();
void ClearColor(uint32_t argb);
void ClearDepth(float z);
void PresentFrame();
void BindRenderTarget(const CTexture* target);
