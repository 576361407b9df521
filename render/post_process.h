// render/post_process.h - the post-processing chain: full-screen effect
// files run one after the other over the scene targets, ping-ponging
// between post targets 0 and 1, and the result blended onto the back buffer.
//
// A chain, after the scene pass and RestoreBackBuffer:
//   BeginPostProcess();                  back buffer saved, scale 1
//   RunPostProcess(GetEffect(id)); ...   one link per call
//   PresentPostProcess();                result over the back buffer
//
// What every link sees: technique "PostProcess"; g_txSceneColor, the
// running image (scene target 0 for the first link, then the last link's
// output); g_txSrcColor, g_txSrcNormal, g_txSrcPosition, the three scene
// targets; g_PixelSize, (1/W, 1/H), the step to the next texel, for
// filters that must read exact texels (the 4 x 4 down filter);
// g_DesignPixelSize, one 1024 x 768 design pixel (g_vDesignPixelSize), the
// step of filters whose reach belongs to the picture (blur, occlusion
// radius), so that they look the same at every screen size. A name a file does not declare is
// ignored. Link n writes post target (n + 1) mod 2, cleared first to
// transparent black; only the depth and alpha-test states the device holds
// (or the pass sets) decide which of its pixels land.
//
// Scaling: a pass annotated `float fScaleX`/`fScaleY` shrinks or grows the
// region it writes by that factor, keeping the top-left corner; the next
// pass reads exactly that region through texture set 0. Texture set 1
// always spans the whole target. A chain must come back to scale 1 before
// PresentPostProcess, which maps the whole texture onto the screen.
//
// The quads are drawn pre-transformed with Direct3D 9's pixel centres:
// the chain's quad and the present quad both run from -0.5 to W - 0.5, so
// each pixel samples its own texel's centre and the present step covers the
// whole screen, as the 2D layer draws a picture at its own size.
#pragma once

namespace plat::fx {
class Effect;
}
struct ScreenQuadVertex;

void BeginPostProcess();
// One link. A null effect, or one without "PostProcess", still counts as a
// link: its output target is cleared and nothing is drawn into it.
void RunPostProcess(plat::fx::Effect* effect);
void PresentPostProcess();

// The chain's quad as the last pass drew it, TL, TR, BL, BR: for tests.
const ScreenQuadVertex* GetPostProcessQuad();
