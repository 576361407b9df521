// render/camera.h - the one camera: eye, focus and up, with the view and
// projection matrices the 3D effects hand to the scene effect.
//
// View space is right-handed: the camera looks down -z, +y up, +x right. The
// projection maps view distance `near` to clip depth -1 and `far` to +1;
// only clip depths 0..1 survive, so the nearest visible distance is
// 2 * near * far / (near + far). The aspect ratio is read from the screen
// size when the projection is rebuilt (construction and SetClipPlanes) only.
#pragma once

#include "render/math.h"

class CCamera {
public:
    CCamera();

    void SetPosition(const CVector3& position);
    // Stores up and focus, then rebuilds the view.
    void SetFocus(const CVector3& focus, const CVector3& up);
    void SetClipPlanes(float near_plane, float far_plane);
    void UpdateView();
    void UpdateProjection();

    const CMatrix& GetViewMatrix() const { return m_mView; }
    const CMatrix& GetProjMatrix() const { return m_mProjection; }
    // far - near.
    float GetFocalPlaneLength() const { return -(m_fNear - m_fFar); }

    CVector3 m_vPosition{0.f, 0.f, 0.f};
    CVector3 m_vFocus{0.f, 0.f, 0.f};
    CVector3 m_vUp{0.f, 0.f, 0.f};
    CMatrix m_mView = g_mIdentity;
    CMatrix m_mProjection = g_mIdentity;
    float m_fFov = 60.0f;  // degrees, vertical; never changes
    float m_fNear = 0.1f;
    float m_fFar = 2000.0f;
};

// The camera every 3D effect draws with; set by the demo object.
void SetCurrentCamera(CCamera* camera);
CCamera* GetCurrentCamera();
