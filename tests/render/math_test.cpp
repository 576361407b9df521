// Vector and matrix helpers: the thresholds, the rotation directions, the
// projection numbers the scene depends on, and aliasing of results.
#include "render/math.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace {

constexpr float kQuarterTurn = 1.5707963f;

// p x M for the point (p, 1), summed in the order a row-vector transform
// would: x*row0 + y*row1 + z*row2 + row3.
CVector4 TransformPoint(const CVector3& p, const CMatrix& mat) {
    const auto& m = mat.m;
    return CVector4(p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
                    p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
                    p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2],
                    p.x * m[0][3] + p.y * m[1][3] + p.z * m[2][3] + m[3][3]);
}

void ExpectVecNear(const CVector3& v, float x, float y, float z, float tol = 1e-6f) {
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

// Bit-for-bit equal, not merely close.
void ExpectSamePoint(const CVector4& t, const CVector3& e) {
    EXPECT_EQ(t.x, e.x);
    EXPECT_EQ(t.y, e.y);
    EXPECT_EQ(t.z, e.z);
    EXPECT_EQ(t.w, 1.0f);
}

void ExpectMatrixEq(const CMatrix& a, const CMatrix& b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(a.m[i][j], b.m[i][j]) << "element (" << i << "," << j << ")";
}

}  // namespace

// --- Normalize and the normalised cross ------------------------------------

TEST(MathVector, NormalizeZeroAndUnderflowLeaveVectorAlone) {
    CVector3 v = g_vZero;
    EXPECT_EQ(v.Normalize(), 0.0f);
    ExpectVecNear(v, 0, 0, 0, 0);

    // FLT_MIN squared underflows to 0 in float, so this counts as zero-length
    // and must come back untouched rather than as inf or NaN.
    CVector3 tiny(FLT_MIN, -FLT_MIN, 0.0f);
    EXPECT_EQ(tiny.Normalize(), 0.0f);
    EXPECT_EQ(tiny.x, FLT_MIN);
    EXPECT_EQ(tiny.y, -FLT_MIN);

    // A NaN vector is not "long enough" either.
    CVector3 bad(NAN, 1.0f, 0.0f);
    EXPECT_EQ(bad.Normalize(), 0.0f);
    EXPECT_EQ(bad.y, 1.0f);
}

TEST(MathVector, NormalizeSmallButRepresentableVector) {
    // The squares are subnormal floats but still carry ~6 digits.
    CVector3 v(3e-20f, 4e-20f, 0.0f);
    const float len = v.Normalize();
    EXPECT_NEAR(len, 5e-20f, 1e-25f);
    ExpectVecNear(v, 0.6f, 0.8f, 0.0f, 1e-5f);

    CVector3 n;
    n.Normalized(CVector3(0.0f, -7.0f, 0.0f));
    ExpectVecNear(n, 0, -1, 0, 0);
}

TEST(MathVector, CrossNormalizedOfParallelVectorsIsZero) {
    CVector3 c;
    c.CrossNormalized(CVector3(1, 2, 3), CVector3(-2, -4, -6));
    ExpectVecNear(c, 0, 0, 0, 0);

    c.CrossNormalized(g_vUnitX, CVector3(0, 5, 0));
    ExpectVecNear(c, 0, 0, 1, 0);  // right-handed: X x Y = Z
}

// --- Rotations ---------------------------------------------------------------

TEST(MathRotation, PositiveAnglesTurnAgainstRightHandRule) {
    CVector3 r;
    ExpectVecNear(r.RotateY(g_vUnitX, kQuarterTurn), 0, 0, 1);
    ExpectVecNear(r.RotateX(g_vUnitY, kQuarterTurn), 0, 0, -1);
    ExpectVecNear(r.RotateZ(g_vUnitX, kQuarterTurn), 0, -1, 0);

    // The result may be the input.
    CVector3 v(1, 2, 3);
    v.RotateZ(v, kQuarterTurn);
    ExpectVecNear(v, 2, -1, 3, 1e-6f);
}

TEST(MathRotation, MatricesMatchVectorRotationsExactly) {
    const float angles[] = {0.3f, -1.1f, 2.5f, 3.8f, 0.13f};
    const CVector3 points[] = {{1.5f, -2.25f, 3.0f}, {-0.1f, 0.7f, 180.0f}, {1e3f, 1e-3f, -7.0f}};
    for (float a : angles) {
        CMatrix mx, my, mz;
        mx.RotationX(a);
        my.RotationY(a);
        mz.RotationZ(a);
        for (const CVector3& p : points) {
            CVector3 e;
            ExpectSamePoint(TransformPoint(p, mx), e.RotateX(p, a));
            ExpectSamePoint(TransformPoint(p, my), e.RotateY(p, a));
            ExpectSamePoint(TransformPoint(p, mz), e.RotateZ(p, a));
        }
    }
}

// --- Inverse3x3 ----------------------------------------------------------------

TEST(MathInverse, DeterminantThresholdIsExclusive) {
    const float limit = 0.00001f;
    const float above = std::nextafter(limit, 1.0f);
    for (float sign : {1.0f, -1.0f}) {
        // At the threshold: the adjugate diag(1, d, d) comes back unscaled.
        CMatrix m;
        m.Scaling(sign * limit, 1.0f, 1.0f);
        float det = 0.0f;
        m.Inverse3x3(m, &det);
        EXPECT_EQ(det, sign * limit);
        EXPECT_EQ(m.m[0][0], 1.0f);
        EXPECT_EQ(m.m[1][1], sign * limit);
        EXPECT_EQ(m.m[2][2], sign * limit);

        // Just above: a true inverse.
        m.Scaling(sign * above, 1.0f, 1.0f);
        det = 0.0f;
        m.Inverse3x3(m, &det);
        EXPECT_EQ(det, sign * above);
        EXPECT_NEAR(m.m[0][0], 1.0f / (sign * above), 1.0f);
        EXPECT_NEAR(m.m[1][1], 1.0f, 1e-6f);
        EXPECT_NEAR(m.m[2][2], 1.0f, 1e-6f);
    }
}

TEST(MathInverse, InvertsRotationScaleAndDropsTranslation) {
    CMatrix a, scale, rz;
    a.RotationX(0.7f).Multiply(scale.Scaling(2.0f, 3.0f, 0.5f)).Multiply(rz.RotationZ(-0.4f));
    a.SetTranslation(CVector3(5, 6, 7));
    a.m[0][3] = 9.0f;  // garbage in column 3 must not leak into the inverse

    CMatrix inv;
    float det = 0.0f;
    inv.Inverse3x3(a, &det);
    EXPECT_NEAR(det, 3.0f, 1e-5f);
    EXPECT_EQ(inv.m[0][3], 0.0f);
    EXPECT_EQ(inv.m[1][3], 0.0f);
    EXPECT_EQ(inv.m[2][3], 0.0f);
    EXPECT_EQ(inv.m[3][0], 0.0f);
    EXPECT_EQ(inv.m[3][1], 0.0f);
    EXPECT_EQ(inv.m[3][2], 0.0f);
    EXPECT_EQ(inv.m[3][3], 1.0f);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 3; ++k)
                s += a.m[i][k] * inv.m[k][j];
            EXPECT_NEAR(s, i == j ? 1.0f : 0.0f, 1e-5f) << i << "," << j;
        }
}

// --- Perspective and LookAt ------------------------------------------------------

TEST(MathProjection, PerspectiveOfTheShowCamera) {
    CMatrix p;
    p.Perspective(60.0f, 4.0f / 3.0f, 0.1f, 2000.0f);
    EXPECT_NEAR(p.m[0][0], 1.299038f, 1e-6f);
    EXPECT_NEAR(p.m[1][1], 1.732051f, 1e-6f);
    EXPECT_NEAR(p.m[2][2], -1.0001f, 1e-6f);
    EXPECT_NEAR(p.m[3][2], -0.20001f, 1e-6f);
    EXPECT_EQ(p.m[2][3], -1.0f);
    EXPECT_EQ(p.m[3][3], 0.0f);
    EXPECT_EQ(p.m[0][1], 0.0f);
    EXPECT_EQ(p.m[3][0], 0.0f);

    // Depth: view distance near -> -1, far -> +1 after the divide.
    CVector4 n = TransformPoint(CVector3(0, 0, -0.1f), p);
    CVector4 f = TransformPoint(CVector3(0, 0, -2000.0f), p);
    EXPECT_NEAR(n.z / n.w, -1.0f, 1e-5f);
    EXPECT_NEAR(f.z / f.w, 1.0f, 1e-5f);
}

TEST(MathProjection, LookAtMapsEyeToOriginAndFocusOntoMinusZ) {
    const CVector3 eye(3, 4, 5), focus(-1, 2, 0.5f);
    CMatrix v;
    v.LookAt(eye, focus, g_vUnitY);

    const CVector4 e = TransformPoint(eye, v);
    EXPECT_NEAR(e.x, 0.0f, 1e-5f);
    EXPECT_NEAR(e.y, 0.0f, 1e-5f);
    EXPECT_NEAR(e.z, 0.0f, 1e-5f);
    EXPECT_EQ(e.w, 1.0f);

    CVector3 d;
    const float dist = d.Subtract(eye, focus).Length();
    const CVector4 f = TransformPoint(focus, v);
    EXPECT_NEAR(f.x, 0.0f, 1e-5f);
    EXPECT_NEAR(f.y, 0.0f, 1e-5f);
    EXPECT_NEAR(f.z, -dist, 1e-5f);

    // World up stays up in view space; rotation part stays orthonormal.
    CVector3 above = eye;
    above += g_vUnitY;
    EXPECT_GT(TransformPoint(above, v).y, 0.0f);
    float det = 0.0f;
    CMatrix inv;
    inv.Inverse3x3(v, &det);
    EXPECT_NEAR(det, 1.0f, 1e-5f);
}

TEST(MathProjection, LookAtWithDegenerateUpIsSingularButFinite) {
    // Up along the view direction, and the zero up a fresh camera starts with.
    for (const CVector3& up : {CVector3(0, 0, 1), CVector3(0, 0, -3), g_vZero}) {
        CMatrix v;
        v.LookAt(CVector3(0, 0, 180), g_vZero, up);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                EXPECT_TRUE(std::isfinite(v.m[i][j])) << i << "," << j;
        // No x axis: nothing reaches view-space x.
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(v.m[i][0], 0.0f) << "row " << i;
        EXPECT_EQ(v.m[3][3], 1.0f);
    }
}

// --- D3DX stand-ins --------------------------------------------------------------

TEST(MathD3dx, MatrixMultiplyOrderAndAliasing) {
    const CMatrix a(1, 2, 0, 0, 0, 1, 3, 0, 0, 0, 1, 0, 4, 0, 0, 1);
    const CMatrix b(0, 1, 0, 0, 2, 0, 0, 0, 0, 0, 1, 5, 0, 0, 0, 1);
    const CMatrix ab(4, 1, 0, 0, 2, 0, 3, 15, 0, 0, 1, 5, 0, 4, 0, 1);
    const CMatrix ba(0, 1, 3, 0, 2, 4, 0, 0, 20, 0, 1, 5, 4, 0, 0, 1);
    const CMatrix aa(1, 4, 6, 0, 0, 1, 6, 0, 0, 0, 1, 0, 8, 8, 0, 1);

    CMatrix out;
    ExpectMatrixEq(MatrixMultiply(out, a, b), ab);
    ExpectMatrixEq(MatrixMultiply(out, b, a), ba);

    CMatrix x = a;
    ExpectMatrixEq(MatrixMultiply(x, x, b), ab);  // out is a
    x = b;
    ExpectMatrixEq(MatrixMultiply(x, a, x), ab);  // out is b
    x = a;
    ExpectMatrixEq(MatrixMultiply(x, x, x), aa);  // out is both
    x = a;
    ExpectMatrixEq(x.Multiply(b), ab);
    x = a;
    ExpectMatrixEq(x.Multiply(x), aa);

    // Row vectors: the left factor acts first. Translate, then turn about Z.
    CMatrix t = g_mIdentity, r, tr;
    t.SetTranslation(CVector3(1, 2, 3));
    r.RotationZ(kQuarterTurn);
    const CVector4 p = TransformPoint(g_vZero, MatrixMultiply(tr, t, r));
    EXPECT_NEAR(p.x, 2.0f, 1e-6f);
    EXPECT_NEAR(p.y, -1.0f, 1e-6f);
    EXPECT_NEAR(p.z, 3.0f, 1e-6f);
}

TEST(MathD3dx, OrthoMapsScreenPixelsToClipCorners) {
    CMatrix o;
    MatrixOrthoOffCenterRH(o, 0.0f, 1024.0f, 768.0f, 0.0f, 0.0f, 1.0f);
    CVector4 tl = TransformPoint(CVector3(0, 0, 0), o);
    CVector4 br = TransformPoint(CVector3(1024, 768, 0), o);
    EXPECT_FLOAT_EQ(tl.x, -1.0f);
    EXPECT_FLOAT_EQ(tl.y, 1.0f);
    EXPECT_FLOAT_EQ(br.x, 1.0f);
    EXPECT_FLOAT_EQ(br.y, -1.0f);
    EXPECT_EQ(tl.w, 1.0f);

    // Right-handed depth: view z = -zn -> 0, z = -zf -> 1.
    MatrixOrthoOffCenterRH(o, 0.0f, 1024.0f, 768.0f, 0.0f, 0.5f, 10.0f);
    EXPECT_NEAR(TransformPoint(CVector3(0, 0, -0.5f), o).z, 0.0f, 1e-6f);
    EXPECT_NEAR(TransformPoint(CVector3(0, 0, -10.0f), o).z, 1.0f, 1e-6f);
}
