#include "render/post_process.h"

#include "app/device.h"
#include "data/texture.h"
#include "platform/fx/effect.h"
#include "render/scene_renderer.h"

using namespace plat::gfx;

namespace {

// Corners of both quads, in strip order.
enum Corner { TL = 0, TR = 1, BL = 2, BR = 3 };

// Samplers the chain resets before every link; a file's own sampler states
// then replace these for the samplers it declares.
constexpr unsigned kChainSamplers = 8;

struct PostProcessState {
    float scale_x = 1.f, scale_y = 1.f;  // fraction of the target the last pass wrote
    unsigned chain_count = 0;            // links run since BeginPostProcess
    bool first_pass = true;              // the next link reads scene target 0
    ScreenQuadVertex present[4] = {};    // the present step's quad
    bool present_built = false;
};
PostProcessState g_pp;

// The last link's output: link n writes post target n mod 2 (counting
// from 1), so after n links it is post target n mod 2.
CTexture* LatestOutput() { return GetPostTarget(g_pp.chain_count % 2); }

void SetTexture(plat::fx::Effect* effect, const char* name, const CTexture* t) {
    effect->SetTexture(name, t ? t->m_pTexture : nullptr);
}

// Where link n writes: the target the running image is not in.
void BindAndClearOutput() {
    const CTexture* out = GetPostTarget((g_pp.chain_count + 1) % 2);
    if (!out || !out->m_pSurface) return;
    BindRenderTarget(out);
    // Transparent black: a pixel the pass discards (alpha test) or does not
    // cover reads as nothing to the next link. Depth stays as the scene
    // left it.
    ClearColor(0x00000000);
}

}  // namespace

const ScreenQuadVertex* GetPostProcessQuad() { return PostProcessQuad(); }

void BeginPostProcess() {
    SaveBackBuffer();
    g_pp.scale_x = 1.f;
    g_pp.chain_count = 0;
    g_pp.scale_y = 1.f;
    g_pp.first_pass = true;
    // Only what a chain changes is reset: set 0's far coordinates and the
    // far edges. Set 1 is never changed.
    ScreenQuadVertex* q = PostProcessQuad();
    q[TR].u0 = q[BR].u0 = 1.f;
    q[BL].v0 = q[BR].v0 = 1.f;
    q[TR].x = q[BR].x = g_fScreenWidth - 0.5f;
    q[BL].y = q[BR].y = g_fScreenHeight - 0.5f;
}

void RunPostProcess(plat::fx::Effect* effect) {
    Device* d = GetDevice();
    if (!d) return;

    d->SetVertexDeclaration(GetScreenQuadDecl());
    d->SetRenderState(RS::CullMode, CULL_NONE);
    d->SetRenderState(RS::AlphaBlendEnable, 0);
    // Clamp by default: a link that keeps these never smears the far edge
    // into the near one.
    for (unsigned s = 0; s < kChainSamplers; ++s) {
        d->SetSamplerState(s, SS::AddressU, TADDRESS_CLAMP);
        d->SetSamplerState(s, SS::AddressV, TADDRESS_CLAMP);
        d->SetSamplerState(s, SS::MagFilter, TEXF_LINEAR);
        d->SetSamplerState(s, SS::MinFilter, TEXF_LINEAR);
        d->SetSamplerState(s, SS::MipFilter, TEXF_LINEAR);
    }

    if (!effect || !effect->SetTechnique("PostProcess")) {
        // A failed file still takes its place in the chain, so the ping-pong
        // order of the links after it stays as planned; its output is empty
        // rather than left over from an earlier frame.
        BindAndClearOutput();
        g_pp.first_pass = false;
        ++g_pp.chain_count;
        return;
    }

    SetTexture(effect, "g_txSceneColor", g_pp.first_pass ? GetSceneTarget(0) : LatestOutput());
    g_pp.first_pass = false;
    SetTexture(effect, "g_txSrcColor", GetSceneTarget(0));
    SetTexture(effect, "g_txSrcNormal", GetSceneTarget(1));
    SetTexture(effect, "g_txSrcPosition", GetSceneTarget(2));
    effect->SetFloatArray("g_PixelSize", GetPixelSize()->Data(), 2);
    effect->SetFloatArray("g_DesignPixelSize", g_vDesignPixelSize.Data(), 2);

    const plat::fx::Handle technique = effect->GetTechniqueByName("PostProcess");
    ScreenQuadVertex* q = PostProcessQuad();
    auto prepare = [&](unsigned p) {
        float sx = 1.f, sy = 1.f;
        // Read exactly the region the previous pass wrote.
        q[TR].u0 = q[BR].u0 = g_pp.scale_x;
        q[BL].v0 = q[BR].v0 = g_pp.scale_y;

        const plat::fx::Handle pass = effect->GetPass(technique, p);
        effect->GetFloat(effect->GetAnnotationByName(pass, "fScaleX"), &sx);
        effect->GetFloat(effect->GetAnnotationByName(pass, "fScaleY"), &sy);

        // Scale the far edges about the target's top-left corner: +0.5
        // brings the edge back to a whole pixel count, -0.5 restores the
        // half-pixel offset. 1023.5 becomes 255.5 at 0.25, and back.
        if (sx != 1.f) q[TR].x = q[BR].x = (q[TR].x + 0.5f) * sx - 0.5f;
        if (sy != 1.f) q[BL].y = q[BR].y = (q[BL].y + 0.5f) * sy - 0.5f;
        g_pp.scale_x *= sx;
        g_pp.scale_y *= sy;

        BindAndClearOutput();
    };
    plat::fx::RunPasses(effect, prepare, [&](unsigned) {
        d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, q, sizeof(ScreenQuadVertex));
    });
    ++g_pp.chain_count;
}

void PresentPostProcess() {
    Device* d = GetDevice();
    if (!d) return;
    RestoreBackBuffer();

    if (!g_pp.present_built) {
        // -0.5, as the 2D layer places a picture drawn at its own size:
        // each pixel of the chain's output lands on the pixel of the scene
        // it came from, and the whole back buffer is covered (a +0.5 quad
        // would shift the image one pixel right and down and leave row and
        // column 0 showing what was beneath). Built once: the screen size
        // never changes.
        FillFullScreenQuad(g_pp.present);
        g_pp.present_built = true;
    }

    d->SetVertexDeclaration(GetScreenQuadDecl());
    d->SetRenderState(RS::CullMode, CULL_NONE);
    // Over what the back buffer holds, with the device's source-alpha
    // factors; the alpha test (on in both chains) skips pixels of alpha 0.
    d->SetRenderState(RS::AlphaBlendEnable, 1);

    plat::fx::Effect* effect = GetSceneEffect();
    if (!effect || !effect->SetTechnique("RenderNoLight")) return;
    SetTexture(effect, "g_txScene", LatestOutput());
    plat::fx::RunPasses(effect, [&](unsigned) {
        d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, g_pp.present, sizeof(ScreenQuadVertex));
    });
}
