#include "render/camera.h"

#include "app/device.h"

namespace {
CCamera* g_pCurrentCamera = nullptr;
}

CCamera::CCamera() { UpdateProjection(); }

void CCamera::SetPosition(const CVector3& position) {
    m_vPosition = position;
    UpdateView();
}

void CCamera::SetFocus(const CVector3& focus, const CVector3& up) {
    m_vUp = up;
    m_vFocus = focus;
    UpdateView();
}

void CCamera::SetClipPlanes(float near_plane, float far_plane) {
    m_fNear = near_plane;
    m_fFar = far_plane;
    UpdateProjection();
}

void CCamera::UpdateView() { m_mView.LookAt(m_vPosition, m_vFocus, m_vUp); }

void CCamera::UpdateProjection() {
    m_mProjection.Perspective(m_fFov, g_fScreenWidth / g_fScreenHeight, m_fNear, m_fFar);
}

void SetCurrentCamera(CCamera* camera) { g_pCurrentCamera = camera; }
CCamera* GetCurrentCamera() { return g_pCurrentCamera; }
