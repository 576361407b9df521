// tower/cube_tower.h - the cube tower: the show's main 3D scene from 24 s on.
//
// A tower of 24 rings by 24 wedge segments, rebuilt on the CPU every frame:
// each segment's outer radius swells with the spectrum around its own bin
// and with two sine waves whose phase runs faster with the three sync
// channels; the rings sway and the whole tower spins in front of a
// background picture. Beside it one of five meshes rises, bloomed, then the
// next one. The shape drifts between three presets, one random transition
// at a time.
//
// Files, one job each:
//   cube_tower.cpp      construction, the parameters, Update (clocks,
//                       transitions, the rising mesh), NextRandom
//   tower_geometry.cpp  BuildTower: the vertex array of one frame
//   tower_render.cpp    Render, RenderTower, RenderModel
// The class object (CCCubeTower, id 3) lives with the others in
// main/effect_classes.cpp.
//
// State: the instance holds the clocks and the vertex array; everything a
// second tower would continue from (parameters, shape, presets, random seed)
// is program-wide, in CCubeTower's static members. Main thread only.
//
// Lifecycle: made by CreateEffect(kClassCubeTower, ...) on the heap (the vertex array
// makes it 330 KB); every frame Update(dt) then Render(); it owns nothing:
// meshes, pictures and effect files are borrowed from the asset cache.
#pragma once

#include <cstdint>

#include "data/resource_ids.h"
#include "engine/effect.h"
#include "render/math.h"

// One tower vertex, laid out as the VD_PosNorm declaration reads it. Aligned
// to 8 so the geometry can write it in aligned 8-byte halves.
struct alignas(8) TowerVertex {
    CVector3 vPos;     // offset 0, world units before the tower's spin
    CVector3 vNormal;  // offset 12
};
static_assert(sizeof(TowerVertex) == 24);

inline constexpr int kTowerRows = 24;
inline constexpr int kTowerSegmentsPerRow = 24;
inline constexpr int kTowerSegments = kTowerRows * kTowerSegmentsPerRow;  // 576
inline constexpr int kTowerVerticesPerSegment = 24;                       // 8 triangles
inline constexpr int kTowerVertices = kTowerSegments * kTowerVerticesPerSegment;  // 13824
inline constexpr int kTowerTriangles = kTowerVertices / 3;                        // 4608
inline constexpr int kTowerShapeParams = 12;
inline constexpr int kTowerPresets = 3;
inline constexpr int kTowerModels = 5;

// Process-wide values of the 18 registered parameters (see the constructor
// for steps, limits and modes). The three switches count as on only when
// exactly 1.0.
struct CubeTowerParams {
    float fPostProcess = 0.0f;     // 1: tower through the scene targets and ambient occlusion
    float fRenderTower = 1.0f;     // 1: background picture and tower
    float fRenderModels = 1.0f;    // 1: rising mesh with the bloom chain
    CVector3 vCamPos{3.5f, 5.0f, -12.5f};   // eye, world units
    CVector3 vCamFocus{3.5f, 0.0f, 0.0f};   // point looked at
    float fLightRotX = 3.8f;       // radians, light direction about X (after Y)
    float fLightRotY = 0.13f;      // radians, light direction about Y
    float fLogoRotY = 0.0f;        // radians per second: the mesh swings about the tower's axis
    float fLogoBrightness = 0.769f;   // ambient level of the mesh
    float fTowerBrightness = 0.517f;  // ambient level of the tower
    float fTransitionTime = 0.05f;    // transition progress per second (20 s each)
};

class CCubeTower : public CEffect {
public:
    CCubeTower();

    void Update(float dt) override;
    void Render() override;

    // Rewrites all of m_Vertices from the shape, the clocks and the current
    // spectrum.
    void BuildTower();
    // The s_bCheckVertices check of the vertices BuildTower just wrote.
    void CheckVertices();
    void RenderTower();
    void RenderModel();

    // 0..65535; the effect's own generator (multiply 214013, add 2531011,
    // modulo 2^32, top 16 bits), never reseeded.
    static uint32_t NextRandom();

    float m_fTime = 0.0f;   // seconds: the sum of the steps
    float m_fPhase = 0.0f;  // wave phase: 1 per second plus the three sync values
    TowerVertex m_Vertices[kTowerVertices];  // not initialised: Update writes all before Render reads
    int32_t m_nModel = 4;      // index into s_ModelIds of the rising mesh
    float m_fModelTime = 0.0f;  // seconds since that mesh started
    CVector3 m_vModelPos = s_ModelStartPos;
    float m_fTransition = 0.0f;  // progress of the running transition, [0, 1) in normal use

    // Program-wide state.
    static inline CubeTowerParams s_Params;
    // Where each mesh starts rising; the parameters s_ModelStartPos_x/y/z.
    static inline CVector3 s_ModelStartPos{1.83f, -10.0f, -6.5f};
    // d0..d11 blended between two presets by the last Update.
    static inline float s_Shape[kTowerShapeParams] = {};
    static inline int32_t s_nPreset = 0;      // blended towards
    static inline int32_t s_nPrevPreset = 0;  // blended away from
    static inline uint32_t s_nRandomSeed = 0x19730918u;
    // Long unattended runs (capture) set this: every frame's vertices are
    // then checked, and the first one that is not a finite number is logged
    // as a warning, counted in s_nNonFiniteFrames.
    static inline bool s_bCheckVertices = false;
    static inline uint64_t s_nNonFiniteFrames = 0;
    static const float s_ShapePresets[kTowerPresets][kTowerShapeParams];
    // Resource ids of the rising meshes, indexed by m_nModel: the four logo
    // letters, then the invader, which rises first (m_nModel starts at 4).
    static constexpr uint32_t s_ModelIds[kTowerModels] = {kKelo3d1MeshId, kKelo3d2MeshId, kKelo3d3MeshId,
                                                          kKelo3d4MeshId, kSpaceInvaderMeshId};
};

// The geometry alone, for BuildTower and the tests: the 13824 vertices of
// one frame into `out`, from d0..d11 in `shape`, the effect time and phase,
// and a spectrum of which bands 0..255 are read.
void BuildTowerVertices(TowerVertex* out, const float* shape, float time, float phase, const float* spectrum);
