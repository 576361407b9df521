// tower/tower_geometry.cpp - the tower's vertex array, rebuilt every frame.
//
// 24 rows from the bottom (m), 24 segments around the axis (j); segment
// n = 24 m + j is a wedge one unit high from the row's centre out to radius
// r between the angles A0 = j pi/12 and A1 = (j + 1) pi/12:
//   r = 2.5 + d6 sin u + d7 sin(d10 u) + d8 sin v + d9 cos(d11 v) + d0 s
//   u = d1 A0 + d3 phase        (the same for every row)
//   v = d2 m + d4 phase         (the same for every segment of a row)
//   s = (S[n+8] + S[n-16] + S[n+32] + S[n+7] + S[n+9]) / 4, indices mod 256
// Each row is moved sideways by (sin a - sin b, 0, cos a - cos b) with
// a = time + 0.2 m and b = time + 0.06 m, so row 0 stays on the axis and
// higher rows sway further.
//
// Speed: the waves depend on j or on m alone, the radial directions on j
// alone and the spectrum level on n mod 256 alone, so each is computed once
// per column, row or level instead of once per segment (192 sines a frame
// instead of 4,700, 1,280 band reads instead of 2,880); the sums keep the
// order of the formula above, so the floats are bit for bit those of the
// plain evaluation. What is left is writing 331,776 bytes, and how they are
// written decides the time: see PutVertex.
#include "tower/cube_tower.h"

#include <cmath>
#include <cstring>

#include "data/music.h"
#include "platform/os/log.h"

namespace {

// pi/12 as the float the angles are built from; 24 of them are 6.2831855,
// not exactly 2 pi, so the last wedge's far side has its own direction.
constexpr float kWedgeAngle = 0.2617994f;

constexpr float kTowerBottomY = -12.0f;  // row 0's bottom; rows are one unit high
constexpr float kBaseRadius = 2.5f;
// The five bands are summed but divided by four: a full spectrum swells a
// segment by 1.25 d0.
constexpr float kSpectrumGain = 0.25f;

constexpr CVector3 kUp(0.0f, 1.0f, 0.0f);
constexpr CVector3 kDown(0.0f, -1.0f, 0.0f);

// R(A) = RotateY((0, 0, 1), A) = (-sin A, 0, cos A) for A = j pi/12,
// j = 0..24: the outward direction at each wedge side, and the outer face's
// normal there.
struct RadialTable {
    CVector3 dir[kTowerSegmentsPerRow + 1];
    RadialTable() {
        for (int j = 0; j <= kTowerSegmentsPerRow; ++j) dir[j].RotateY(g_vUnitZ, static_cast<float>(j) * kWedgeAngle);
    }
};
const RadialTable& Radials() {
    static const RadialTable table;
    return table;
}

// The sound layer promises bands in 0..1. A value outside that (a broken
// stream, a test) is held to it, NaN counting as 0, so one bad band cannot
// put an infinity or NaN into the vertex array and from there into depth.
inline float Band(const float* spectrum, int index) {
    const float b = spectrum[index & 255];
    if (!(b >= 0.0f)) return 0.0f;
    return b <= 1.0f ? b : 1.0f;
}

// Two floats that reach memory as one 8-byte store.
struct FloatPair {
    float a, b;
};

// Vertex v written as its three 8-byte halves, (x, y), (z, nx), (ny, nz).
// Vertices start on multiples of 24 bytes, so every half is aligned and
// stays within one cache line; written as two 12-byte vectors, a vertex
// becomes 8 + 4-byte stores of which some straddle lines, which made this
// function take twice as long.
inline void PutVertex(TowerVertex* v, FloatPair xy, FloatPair z_nx, FloatPair ny_nz) {
    auto* bytes = reinterpret_cast<unsigned char*>(v);
    std::memcpy(bytes, &xy, sizeof xy);
    std::memcpy(bytes + 8, &z_nx, sizeof z_nx);
    std::memcpy(bytes + 16, &ny_nz, sizeof ny_nz);
}

}  // namespace

void BuildTowerVertices(TowerVertex* out, const float* shape, float time, float phase, const float* spectrum) {
    const float* d = shape;
    const CVector3* R = Radials().dir;

    // Per column: the first wave, already summed onto the base radius in
    // the formula's order.
    float column_radius[kTowerSegmentsPerRow];
    for (int j = 0; j < kTowerSegmentsPerRow; ++j) {
        const float a0 = static_cast<float>(j) * kWedgeAngle;
        const float u = d[1] * a0 + d[3] * phase;
        column_radius[j] = kBaseRadius + d[6] * std::sin(u) + d[7] * std::sin(d[10] * u);
    }

    // The spectrum level of segment n depends on n mod 256 alone: its own
    // bin (n + 8), the bins either side, and the bins of the segments
    // directly below (n - 24 + 8) and above (n + 24 + 8). Row 0's "below"
    // wraps to bins 240..255; segments 256 on read what 0 on read.
    float level[256];
    for (int n = 0; n < 256; ++n) {
        level[n] = kSpectrumGain * (Band(spectrum, n + 8) + Band(spectrum, n - 16) + Band(spectrum, n + 32) +
                                    Band(spectrum, n + 7) + Band(spectrum, n + 9));
    }

    TowerVertex* v = out;
    for (int m = 0; m < kTowerRows; ++m) {
        const float y_bottom = kTowerBottomY + static_cast<float>(m);
        const float y_top = y_bottom + 1.0f;
        const float a = time + 0.2f * static_cast<float>(m);
        const float b = time + 0.06f * static_cast<float>(m);
        const float off_x = std::sin(a) - std::sin(b);
        const float off_z = std::cos(a) - std::cos(b);

        const float wave_v = d[2] * static_cast<float>(m) + d[4] * phase;
        const float row_sin = d[8] * std::sin(wave_v);
        const float row_cos = d[9] * std::cos(d[11] * wave_v);

        // The row's centre at top and bottom, and its z with the x of a
        // vertical normal (0).
        const FloatPair t_xy{off_x, y_top}, b_xy{off_x, y_bottom};
        const FloatPair centre_z{off_z, kUp.x};

        for (int j = 0; j < kTowerSegmentsPerRow; ++j) {
            const int n = kTowerSegmentsPerRow * m + j;
            const float r = column_radius[j] + row_sin + row_cos + d[0] * level[n & 255];

            // The outer corners, r R(A) moved by the sway: top and bottom
            // share x and z.
            const CVector3& r0 = R[j];
            const CVector3& r1 = R[j + 1];
            const float p0_x = r * r0.x + off_x, p0_z = r * r0.z + off_z;
            const float p1_x = r * r1.x + off_x, p1_z = r * r1.z + off_z;
            const FloatPair p0t_xy{p0_x, y_top}, p1t_xy{p1_x, y_top};
            const FloatPair p0b_xy{p0_x, y_bottom}, p1b_xy{p1_x, y_bottom};
            // z of a corner with the x of its normal: vertical, or radial
            // on the outer face.
            const FloatPair p0_z_flat{p0_z, kUp.x}, p1_z_flat{p1_z, kUp.x};
            const FloatPair p0_z_out{p0_z, r0.x}, p1_z_out{p1_z, r1.x};
            // y and z of the normals.
            const FloatPair up{kUp.y, kUp.z}, down{kDown.y, kDown.z};
            const FloatPair out0{r0.y, r0.z}, out1{r1.y, r1.z};

            // k: position, normal
            // Top and bottom caps.
            PutVertex(v + 0, t_xy, centre_z, up);          // T, up
            PutVertex(v + 1, p1t_xy, p1_z_flat, up);       // P1t, up
            PutVertex(v + 2, p0t_xy, p0_z_flat, up);       // P0t, up
            PutVertex(v + 3, p1b_xy, p1_z_flat, down);     // P1b, down
            PutVertex(v + 4, p0b_xy, p0_z_flat, down);     // P0b, down
            PutVertex(v + 5, b_xy, centre_z, down);        // B, down
            // The radial sides carry vertical normals, not their own: up at
            // A1, down at A0, so they light like the caps.
            PutVertex(v + 6, t_xy, centre_z, up);          // T, up
            PutVertex(v + 7, b_xy, centre_z, up);          // B, up
            PutVertex(v + 8, p1t_xy, p1_z_flat, up);       // P1t, up
            PutVertex(v + 9, p1t_xy, p1_z_flat, up);       // P1t, up
            PutVertex(v + 10, b_xy, centre_z, up);         // B, up
            PutVertex(v + 11, p1b_xy, p1_z_flat, up);      // P1b, up
            PutVertex(v + 12, t_xy, centre_z, down);       // T, down
            PutVertex(v + 13, p0t_xy, p0_z_flat, down);    // P0t, down
            PutVertex(v + 14, b_xy, centre_z, down);       // B, down
            PutVertex(v + 15, p0t_xy, p0_z_flat, down);    // P0t, down
            PutVertex(v + 16, p0b_xy, p0_z_flat, down);    // P0b, down
            PutVertex(v + 17, b_xy, centre_z, down);       // B, down
            // Outer face: the normal of each edge's own angle, so the ring
            // shades smoothly around the tower.
            PutVertex(v + 18, p0t_xy, p0_z_out, out0);     // P0t, R(A0)
            PutVertex(v + 19, p1t_xy, p1_z_out, out1);     // P1t, R(A1)
            PutVertex(v + 20, p0b_xy, p0_z_out, out0);     // P0b, R(A0)
            PutVertex(v + 21, p1t_xy, p1_z_out, out1);     // P1t, R(A1)
            PutVertex(v + 22, p1b_xy, p1_z_out, out1);     // P1b, R(A1)
            PutVertex(v + 23, p0b_xy, p0_z_out, out0);     // P0b, R(A0)
            v += kTowerVerticesPerSegment;
        }
    }
}

void CCubeTower::BuildTower() { BuildTowerVertices(m_Vertices, s_Shape, m_fTime, m_fPhase, GetSpectrum()); }

void CCubeTower::CheckVertices() {
    const float* f = reinterpret_cast<const float*>(m_Vertices);
    const int count = kTowerVertices * static_cast<int>(sizeof(TowerVertex) / sizeof(float));
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(f[i])) {
            if (s_nNonFiniteFrames++ == 0) {
                plat::LogWarning("tower", "vertex %d is not a finite number (%g) at %.3f s of tower time",
                                 i * static_cast<int>(sizeof(float)) / static_cast<int>(sizeof(TowerVertex)),
                                 static_cast<double>(f[i]), static_cast<double>(m_fTime));
            }
            return;
        }
    }
}
