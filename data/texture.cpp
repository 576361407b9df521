#include "data/texture.h"

CVector2 CTexture::GetSize() const {
    return CVector2(static_cast<float>(m_nWidth), static_cast<float>(m_nHeight));
}

void CTexture::Release() {
    if (m_pSurface) {
        m_pSurface->Release();
        m_pSurface = nullptr;
    }
    if (m_pTexture) {
        m_pTexture->Release();
        m_pTexture = nullptr;
    }
}
