// data/texture.h - CTexture, the record of every texture the show uses:
// pictures loaded from the executable and render targets alike.
//
// A record owns one reference to its texture and, for render targets, one to
// the texture's level-0 surface (what BindRenderTarget binds). Release drops
// both; the owner deletes the record afterwards.
#pragma once

#include <cstdint>

#include "platform/gfx/device.h"
#include "render/math.h"

struct CTexture {
    uint32_t m_nWidth = 0;   // pixels
    uint32_t m_nHeight = 0;  // pixels
    plat::gfx::Texture* m_pTexture = nullptr;
    plat::gfx::Surface* m_pSurface = nullptr;  // level 0; render targets only

    // Width and height as floats (converted as unsigned values).
    CVector2 GetSize() const;
    // Surface first, then texture, each set to null.
    void Release();
};
