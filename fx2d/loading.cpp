#include "fx2d/loading.h"

#include "app/device.h"
#include "app/frame_timer.h"
#include "data/asset_cache.h"
#include "data/creators.h"
#include "data/data_files.h"
#include "data/texture.h"
#include "engine/demo.h"
#include "fx2d/draw2d.h"
#include "platform/gfx/device.h"
#include "render/scene_renderer.h"

// The loading picture is not one of the cached assets: it has to be on
// screen before the first of them is loaded.
CLoading::CLoading() {
    m_pPicture = CreateTextureFromResource(kLoadingPictureId, "Data\\loading_screen.png", plat::PictureMips::Later);
}

void CLoading::PrepareAhead() { DecodeTextureFromResourceAhead(kLoadingPictureId); }

CLoading::~CLoading() {
    if (m_pPicture) {
        m_pPicture->Release();
        delete m_pPicture;
    }
}

void CLoading::OnExpire() {
    m_bExpired = true;
    if (CDemo* demo = GetDemo()) demo->StartMusic();
}

void CLoading::Update(float dt) {
    CEffect::Update(dt);
    // Before this update's asset, so its time is restarted with the rest.
    if (m_nFramesDrawn == 1) {
        if (m_pPicture && m_pPicture->m_pTexture) m_pPicture->m_pTexture->GenerateMips();
        PrepareFont();
    }
    if (m_nFramesDrawn == 2) {
        PrepareSceneEffect();
        PrepareSceneTargets();
    }
    if (!m_bExpired) {
        if (LoadNextAsset(m_fProgress)) OnExpire();
        // Also in the update that finished loading: the next frame's step
        // must not include the time the last asset took.
        ResetFrameTimer();
    } else if (CDemo* demo = GetDemo()) {
        // One frame after the music started (or at once, should the
        // lifetime ever run out first): the timeline may begin.
        demo->RemoveEffect(this);
    }
}

void CLoading::Render() {
    ClearColor(0x00FFFFFF);
    if (m_pPicture) DrawTexture(m_pPicture, CVector2(0.0f, 0.0f), m_pPicture->GetSize(), 0xFFFFFFFF);
    DrawRect(CVector2(kLoadingBarX, kLoadingBarY), CVector2(m_fProgress * kLoadingBarLength, kLoadingBarHeight),
             0xFF000000);
    if (m_nFramesDrawn < 3) ++m_nFramesDrawn;
}
