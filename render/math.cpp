// render/math.cpp - see math.h for the conventions (row vectors, builders
// write into the object they are called on, inputs may alias the result).
#include "render/math.h"

#include <cmath>

namespace {

// Smallest normal float: below this a length is treated as zero.
constexpr float kMinLength = 1.17549435e-38f;
// Inverse3x3 scales by 1/det only above this |det|.
constexpr float kMinDeterminant = 0.00001f;
// Degrees to radians, to the precision the projection has always used.
constexpr float kDegToRad = 0.017453292f;

// cos and sin in double, each rounded to float once. The rotations of a
// vector and the rotation matrices use the same pair, which is what makes
// p x RotationY(a) equal RotateY(p, a) to the bit.
struct SinCos {
    float c, s;
};
SinCos SinCosOf(float angle) {
    const double a = angle;
    return {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
}

}  // namespace

// ---------------------------------------------------------------------------
// CVector2

CVector2& CVector2::Add(const CVector2& a, const CVector2& b) {
    const float nx = a.x + b.x, ny = a.y + b.y;
    x = nx;
    y = ny;
    return *this;
}

CVector2& CVector2::Modulate(const CVector2& a, const CVector2& b) {
    const float nx = a.x * b.x, ny = a.y * b.y;
    x = nx;
    y = ny;
    return *this;
}

// ---------------------------------------------------------------------------
// CVector3

CVector3& CVector3::Negate(const CVector3& v) {
    *this = CVector3(-v.x, -v.y, -v.z);
    return *this;
}

CVector3& CVector3::Subtract(const CVector3& a, const CVector3& b) {
    *this = CVector3(a.x - b.x, a.y - b.y, a.z - b.z);
    return *this;
}

CVector3& CVector3::operator+=(const CVector3& b) {
    x += b.x;
    y += b.y;
    z += b.z;
    return *this;
}

CVector3& CVector3::operator-=(const CVector3& b) {
    x -= b.x;
    y -= b.y;
    z -= b.z;
    return *this;
}

CVector3& CVector3::operator*=(float s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

float CVector3::LengthSq() const {
    return x * x + y * y + z * z;
}

float CVector3::Length() const {
    return static_cast<float>(std::sqrt(static_cast<double>(LengthSq())));
}

float CVector3::Normalize() {
    const float len = Length();
    // Not "len != 0": a NaN length also fails this test, so a broken vector
    // stays as it is instead of spreading NaN further.
    if (!(len > kMinLength))
        return 0.0f;
    *this *= 1.0f / len;
    return len;
}

CVector3& CVector3::Normalized(const CVector3& v) {
    *this = v;
    Normalize();
    return *this;
}

CVector3& CVector3::Cross(const CVector3& a, const CVector3& b) {
    *this = CVector3(a.y * b.z - a.z * b.y,
                     a.z * b.x - a.x * b.z,
                     a.x * b.y - a.y * b.x);
    return *this;
}

CVector3& CVector3::CrossNormalized(const CVector3& a, const CVector3& b) {
    Cross(a, b);
    Normalize();
    return *this;
}

CVector3& CVector3::RotateX(const CVector3& v, float angle) {
    const SinCos t = SinCosOf(angle);
    *this = CVector3(v.x, t.c * v.y + t.s * v.z, t.c * v.z - t.s * v.y);
    return *this;
}

CVector3& CVector3::RotateY(const CVector3& v, float angle) {
    const SinCos t = SinCosOf(angle);
    *this = CVector3(t.c * v.x - t.s * v.z, v.y, t.s * v.x + t.c * v.z);
    return *this;
}

CVector3& CVector3::RotateZ(const CVector3& v, float angle) {
    const SinCos t = SinCosOf(angle);
    *this = CVector3(t.c * v.x + t.s * v.y, t.c * v.y - t.s * v.x, v.z);
    return *this;
}

// ---------------------------------------------------------------------------
// CMatrix

CMatrix& CMatrix::Identity() {
    *this = g_mIdentity;
    return *this;
}

CMatrix& CMatrix::Scaling(float sx, float sy, float sz) {
    *this = CMatrix(sx, 0.0f, 0.0f, 0.0f,
                    0.0f, sy, 0.0f, 0.0f,
                    0.0f, 0.0f, sz, 0.0f,
                    0.0f, 0.0f, 0.0f, 1.0f);
    return *this;
}

CMatrix& CMatrix::SetTranslation(const CVector3& v) {
    m[3][0] = v.x;
    m[3][1] = v.y;
    m[3][2] = v.z;
    m[3][3] = 1.0f;
    return *this;
}

CMatrix& CMatrix::SetAxisRow(int row, const CVector3& v) {
    m[row][0] = v.x;
    m[row][1] = v.y;
    m[row][2] = v.z;
    m[row][3] = 0.0f;
    return *this;
}

CMatrix& CMatrix::Multiply(const CMatrix& b) {
    return MatrixMultiply(*this, *this, b);
}

CMatrix& CMatrix::Inverse3x3(const CMatrix& src, float* pDet) {
    const float (&s)[4][4] = src.m;
    // Cofactors C(r,c) of the source's 3x3 block; the inverse is their
    // transpose (the adjugate) over the determinant.
    const float c00 = s[1][1] * s[2][2] - s[1][2] * s[2][1];
    const float c01 = s[1][2] * s[2][0] - s[1][0] * s[2][2];
    const float c02 = s[1][0] * s[2][1] - s[1][1] * s[2][0];
    const float c10 = s[0][2] * s[2][1] - s[0][1] * s[2][2];
    const float c11 = s[0][0] * s[2][2] - s[0][2] * s[2][0];
    const float c12 = s[0][1] * s[2][0] - s[0][0] * s[2][1];
    const float c20 = s[0][1] * s[1][2] - s[0][2] * s[1][1];
    const float c21 = s[0][2] * s[1][0] - s[0][0] * s[1][2];
    const float c22 = s[0][0] * s[1][1] - s[0][1] * s[1][0];
    const float det = s[0][0] * c00 + s[0][1] * c01 + s[0][2] * c02;

    CMatrix r(c00, c10, c20, 0.0f,
              c01, c11, c21, 0.0f,
              c02, c12, c22, 0.0f,
              0.0f, 0.0f, 0.0f, 1.0f);
    if (std::fabs(det) > kMinDeterminant) {
        const float inv = 1.0f / det;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r.m[i][j] *= inv;
    }
    if (pDet)
        *pDet = det;
    *this = r;
    return *this;
}

CMatrix& CMatrix::RotationX(float angle) {
    CVector3 ax, ay, az;
    ax.RotateX(g_vUnitX, angle);
    ay.RotateX(g_vUnitY, angle);
    az.RotateX(g_vUnitZ, angle);
    return Identity().SetAxisRow(0, ax).SetAxisRow(1, ay).SetAxisRow(2, az);
}

CMatrix& CMatrix::RotationY(float angle) {
    CVector3 ax, ay, az;
    ax.RotateY(g_vUnitX, angle);
    ay.RotateY(g_vUnitY, angle);
    az.RotateY(g_vUnitZ, angle);
    return Identity().SetAxisRow(0, ax).SetAxisRow(1, ay).SetAxisRow(2, az);
}

CMatrix& CMatrix::RotationZ(float angle) {
    CVector3 ax, ay, az;
    ax.RotateZ(g_vUnitX, angle);
    ay.RotateZ(g_vUnitY, angle);
    az.RotateZ(g_vUnitZ, angle);
    return Identity().SetAxisRow(0, ax).SetAxisRow(1, ay).SetAxisRow(2, az);
}

CMatrix& CMatrix::Perspective(float fovDeg, float aspect, float zNear, float zFar) {
    const float half = fovDeg * 0.5f * kDegToRad;
    const double h = half;
    const float g = static_cast<float>(std::cos(h) / std::sin(h));
    Identity();
    m[0][0] = g / aspect;
    m[1][1] = g;
    // GL-style depth row (-zNear -> -1, -zFar -> +1) on a device that clips
    // at depth 0: the show was made with this projection, so the nearest
    // visible distance is about 2 * zNear, not zNear. Kept as it is.
    m[2][2] = (zNear + zFar) / (zNear - zFar);
    m[2][3] = -1.0f;
    m[3][2] = 2.0f * zNear * zFar / (zNear - zFar);
    m[3][3] = 0.0f;
    return *this;
}

CMatrix& CMatrix::LookAt(const CVector3& eye, const CVector3& focus, const CVector3& up) {
    CVector3 z, x, y, diff;
    z.Normalized(diff.Subtract(eye, focus));
    // With up parallel to z (or zero) x stays (0, 0, 0), and so does y; the
    // inverse below then meets det = 0 and keeps the (zero) adjugate, so the
    // result is singular but finite.
    x.CrossNormalized(up, z);
    y.CrossNormalized(z, x);

    CMatrix rot = g_mIdentity;
    rot.SetAxisRow(0, x).SetAxisRow(1, y).SetAxisRow(2, z);
    // Orthonormal rows, so this is the transpose: world axes into camera axes.
    rot.Inverse3x3(rot);

    CVector3 negEye;
    Identity().SetTranslation(negEye.Negate(eye));
    // Move the eye to the origin first, then turn.
    return Multiply(rot);
}

// ---------------------------------------------------------------------------
// D3DX stand-ins

CMatrix& MatrixMultiply(CMatrix& out, const CMatrix& a, const CMatrix& b) {
    // Into a temporary first: out may be a or b.
    CMatrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] +
                        a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    out = r;
    return out;
}

CMatrix& MatrixOrthoOffCenterRH(CMatrix& out, float l, float r, float b, float t,
                                float zn, float zf) {
    out = CMatrix(2.0f / (r - l), 0.0f, 0.0f, 0.0f,
                  0.0f, 2.0f / (t - b), 0.0f, 0.0f,
                  0.0f, 0.0f, 1.0f / (zn - zf), 0.0f,
                  (l + r) / (l - r), (t + b) / (b - t), zn / (zn - zf), 1.0f);
    return out;
}
