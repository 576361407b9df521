// render/math.h - float vectors and the 4x4 matrix of the 3D and 2D code.
//
// Offers: CVector2, CVector3, CVector4 and CMatrix as plain values whose
// memory is exactly the float array the shaders and vertex layouts read
// (checked by the static_asserts at the end), the shared constants g_vZero,
// g_vUnitX/Y/Z and g_mIdentity, and the two D3DX helpers the show calls,
// MatrixOrthoOffCenterRH and MatrixMultiply.
//
// Conventions, the same for every function here:
//   - Row vectors: a point p is transformed as p x M, so the translation sits
//     in row 3, columns 0-2, and A x B applies A first, then B. Rows 0, 1, 2
//     of a rotation are the images of the X, Y and Z axes.
//   - CMatrix is row-major, m[row][col], which is Direct3D's _11 ... _44
//     order: the 16 floats go to an effect's float4x4 unchanged.
//   - Builders are members of the result: `r.Cross(a, b)` overwrites r with
//     a x b and returns r. Any input may be the result itself
//     (`v.RotateX(v, a)`, `m.Inverse3x3(m)`): inputs are read before the
//     result is written.
//   - In-place operations (`v += w`, `v.Normalize()`, `m.Multiply(b)`) change
//     the object and return it (Normalize returns the old length instead).
//   - Every value is stored as a 32-bit float. cos, sin and sqrt are taken in
//     double and rounded to float once, so results repeat bit for bit on any
//     machine whose float arithmetic is IEEE (no fused multiply-add).
//   - Angles of the rotations are radians; the field of view of Perspective
//     is degrees.
//   - A default-constructed value is uninitialised, as a float is: the
//     types stay trivial so arrays of vertices cost nothing to create.
//
// Does not: allocate, throw, log, or check its inputs. A degenerate input
// gives a degenerate (but finite) result, never an error: see Normalize,
// Inverse3x3 and LookAt.
#pragma once

#include <type_traits>

// Pi as a float (the nearest one), for the angles of the show's own code.
inline constexpr float kPi = 3.1415927f;

// ---------------------------------------------------------------------------
// CVector2: screen positions and texture coordinates.
struct CVector2 {
    float x, y;

    CVector2() = default;
    constexpr CVector2(float fx, float fy) : x(fx), y(fy) {}

    // this := a + b
    CVector2& Add(const CVector2& a, const CVector2& b);
    // this := (a.x * b.x, a.y * b.y), e.g. a size in reference pixels
    // times the screen scale.
    CVector2& Modulate(const CVector2& a, const CVector2& b);

    const float* Data() const { return &x; }
};

// ---------------------------------------------------------------------------
// CVector3: positions, directions, the light direction.
struct CVector3 {
    float x, y, z;

    CVector3() = default;
    constexpr CVector3(float fx, float fy, float fz) : x(fx), y(fy), z(fz) {}

    // this := -v
    CVector3& Negate(const CVector3& v);
    // this := a - b
    CVector3& Subtract(const CVector3& a, const CVector3& b);
    // Component-wise, in place.
    CVector3& operator+=(const CVector3& b);
    CVector3& operator-=(const CVector3& b);
    // Scale in place by s.
    CVector3& operator*=(float s);

    float LengthSq() const;  // x*x + y*y + z*z, in float
    float Length() const;    // sqrt(LengthSq())

    // In place. If Length() is above the smallest normal float
    // (1.17549435e-38), divides by it and returns it; otherwise leaves the
    // vector as it is and returns 0. Because LengthSq is a float, a vector
    // shorter than about 4e-23 squares to 0 and counts as zero-length.
    float Normalize();
    // this := v, then Normalize().
    CVector3& Normalized(const CVector3& v);

    // this := a x b (right-handed: X x Y = Z).
    CVector3& Cross(const CVector3& a, const CVector3& b);
    // this := a x b, then Normalize(): (0, 0, 0) when a and b are parallel.
    CVector3& CrossNormalized(const CVector3& a, const CVector3& b);

    // this := v turned by angle radians about X, Y or Z. A positive angle
    // turns against the right-hand rule: RotateY(+90 deg) takes X to +Z,
    // RotateX(+90 deg) takes Y to -Z, RotateZ(+90 deg) takes X to -Y.
    // With c = cos(angle), s = sin(angle):
    //   RotateX: (x, c*y + s*z, c*z - s*y)
    //   RotateY: (c*x - s*z, y, s*x + c*z)
    //   RotateZ: (c*x + s*y, c*y - s*x, z)
    CVector3& RotateX(const CVector3& v, float angle);
    CVector3& RotateY(const CVector3& v, float angle);
    CVector3& RotateZ(const CVector3& v, float angle);

    const float* Data() const { return &x; }
};

// ---------------------------------------------------------------------------
// CVector4: colours and homogeneous positions for effect parameters and
// pre-transformed vertices.
struct CVector4 {
    float x, y, z, w;

    CVector4() = default;
    constexpr CVector4(float fx, float fy, float fz, float fw) : x(fx), y(fy), z(fz), w(fw) {}

    const float* Data() const { return &x; }
};

// ---------------------------------------------------------------------------
// CMatrix: 4x4, row-major, row vectors (see the conventions above).
struct CMatrix {
    float m[4][4];

    CMatrix() = default;
    // The 16 elements in row order: _11 _12 _13 _14, _21 ..., _41 ... _44.
    constexpr CMatrix(float f11, float f12, float f13, float f14,
                      float f21, float f22, float f23, float f24,
                      float f31, float f32, float f33, float f34,
                      float f41, float f42, float f43, float f44)
        : m{{f11, f12, f13, f14}, {f21, f22, f23, f24},
            {f31, f32, f33, f34}, {f41, f42, f43, f44}} {}

    // this := identity
    CMatrix& Identity();
    // this := diag(sx, sy, sz, 1), zero elsewhere.
    CMatrix& Scaling(float sx, float sy, float sz);
    // Row 3 := (v.x, v.y, v.z, 1); rows 0-2 untouched.
    CMatrix& SetTranslation(const CVector3& v);
    // Row `row` (0, 1 or 2) := (v.x, v.y, v.z, 0); other rows untouched.
    CMatrix& SetAxisRow(int row, const CVector3& v);
    // In place: this := this x b (this applied first, then b).
    CMatrix& Multiply(const CMatrix& b);

    // this := inverse of the upper-left 3x3 block of src (rotation and scale);
    // src's translation is dropped: column 3 of rows 0-2 is 0, row 3 is
    // (0, 0, 0, 1). The block is the adjugate divided by the determinant, but
    // only if |det| > 0.00001; otherwise the adjugate is left unscaled, so a
    // singular or near-singular source gives finite (wrongly scaled) numbers
    // instead of inf or NaN. pDet, if given, receives det in both cases.
    CMatrix& Inverse3x3(const CMatrix& src, float* pDet = nullptr);

    // this := rotation by angle radians whose rows 0, 1, 2 are
    // RotateX/Y/Z applied to the unit X, Y, Z axes, so p x RotationY(a)
    // gives exactly the floats of RotateY(p, a).
    CMatrix& RotationX(float angle);
    CMatrix& RotationY(float angle);
    CMatrix& RotationZ(float angle);

    // this := right-handed perspective projection. fovDeg is the vertical
    // field of view in degrees. The camera looks down -z; view distance
    // zNear maps to clip depth -1 and zFar to +1 (not 0 and 1: only depths
    // 0..1 survive clipping, so the nearest visible distance is
    // 2*zNear*zFar / (zNear + zFar), about twice zNear).
    CMatrix& Perspective(float fovDeg, float aspect, float zNear, float zFar);

    // this := right-handed view matrix: eye goes to the origin and focus onto
    // -z, up leans towards +y. If up is parallel to eye - focus (or zero) the
    // x axis is zero and the result is singular, with no error and no NaN.
    CMatrix& LookAt(const CVector3& eye, const CVector3& focus, const CVector3& up);

    const float* Data() const { return &m[0][0]; }
};

// ---------------------------------------------------------------------------
// The two D3DX matrix functions the show relies on. Both return out.

// out := a x b, correct when out is a, b or both.
CMatrix& MatrixMultiply(CMatrix& out, const CMatrix& a, const CMatrix& b);

// out := right-handed off-centre orthographic projection that maps x = l..r
// to clip -1..1, y = b..t to -1..1 and view depth z = -zn..-zf to 0..1.
// With l = 0, r = 1024, b = 768, t = 0 it maps pixel coordinates (origin top
// left, y down) to clip space.
CMatrix& MatrixOrthoOffCenterRH(CMatrix& out, float l, float r, float b, float t,
                                float zn, float zf);

// ---------------------------------------------------------------------------
// Shared constants: constant-initialised, so they hold their values before
// any other static object's constructor can read them.
inline constexpr CVector3 g_vZero(0.0f, 0.0f, 0.0f);
inline constexpr CVector3 g_vUnitX(1.0f, 0.0f, 0.0f);
inline constexpr CVector3 g_vUnitY(0.0f, 1.0f, 0.0f);
inline constexpr CVector3 g_vUnitZ(0.0f, 0.0f, 1.0f);
inline constexpr CMatrix g_mIdentity(1.0f, 0.0f, 0.0f, 0.0f,
                                     0.0f, 1.0f, 0.0f, 0.0f,
                                     0.0f, 0.0f, 1.0f, 0.0f,
                                     0.0f, 0.0f, 0.0f, 1.0f);

// ---------------------------------------------------------------------------
// These go to the GPU and into vertex buffers as bare float arrays: no
// padding, no hidden members, and copying or creating them is a memcpy.
static_assert(sizeof(CVector2) == 8 && sizeof(CVector3) == 12 &&
              sizeof(CVector4) == 16 && sizeof(CMatrix) == 64);
static_assert(std::is_standard_layout_v<CVector2> && std::is_standard_layout_v<CVector3> &&
              std::is_standard_layout_v<CVector4> && std::is_standard_layout_v<CMatrix>);
static_assert(std::is_trivially_default_constructible_v<CVector2> &&
              std::is_trivially_default_constructible_v<CVector3> &&
              std::is_trivially_default_constructible_v<CVector4> &&
              std::is_trivially_default_constructible_v<CMatrix>);
static_assert(std::is_trivially_copyable_v<CVector2> && std::is_trivially_copyable_v<CVector3> &&
              std::is_trivially_copyable_v<CVector4> && std::is_trivially_copyable_v<CMatrix>);
