// The cube tower: its random generator and preset sequence, the geometry
// of one frame (positions, normals, which spectrum bins each segment reads,
// finite output for any spectrum), the clocks of Update (transitions at
// their boundaries, the mesh cycle and its strict top), and the drawing on
// the real device (what each switch draws, where the tower and the mesh
// land).
#include "tower/cube_tower.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/device.h"
#include "data/asset_cache.h"
#include "data/texture.h"
#include "engine/demo.h"
#include "engine/params.h"
#include "render/camera.h"
#include "render/scene_renderer.h"
#include "data/music.h"
#include "data/resource_ids.h"
#include "platform/sound/sound.h"
#include "tests/support/show_test_util.h"
#include "tests/support/sound_test_util.h"

namespace {

constexpr uint32_t kStartSeed = 0x19730918u;

// Saves and restores everything program-wide a tower touches, so the tests
// neither see nor leave each other's tuning.
class TowerState : public ::testing::Test {
protected:
    void SetUp() override {
        params_ = CCubeTower::s_Params;
        start_ = CCubeTower::s_ModelStartPos;
        for (int k = 0; k < kTowerShapeParams; ++k) shape_[k] = CCubeTower::s_Shape[k];
        preset_ = CCubeTower::s_nPreset;
        prev_ = CCubeTower::s_nPrevPreset;
        seed_ = CCubeTower::s_nRandomSeed;
        registered_ = g_Params.size();
        CCubeTower::s_nRandomSeed = kStartSeed;
        CCubeTower::s_nPreset = CCubeTower::s_nPrevPreset = 0;
    }
    void TearDown() override {
        CCubeTower::s_Params = params_;
        CCubeTower::s_ModelStartPos = start_;
        for (int k = 0; k < kTowerShapeParams; ++k) CCubeTower::s_Shape[k] = shape_[k];
        CCubeTower::s_nPreset = preset_;
        CCubeTower::s_nPrevPreset = prev_;
        CCubeTower::s_nRandomSeed = seed_;
        g_Params.resize(registered_);
    }

    CubeTowerParams params_;
    CVector3 start_{};
    float shape_[kTowerShapeParams] = {};
    int32_t preset_ = 0, prev_ = 0;
    uint32_t seed_ = 0;
    size_t registered_ = 0;
};

// Geometry fixtures: a spectrum and a vertex array of the tower's size.
struct Geometry {
    std::vector<float> spectrum = std::vector<float>(512, 0.0f);
    std::vector<TowerVertex> v = std::vector<TowerVertex>(kTowerVertices);
    const float* shape = CCubeTower::s_ShapePresets[0];
    float time = 0.0f, phase = 0.0f;

    void Build() { BuildTowerVertices(v.data(), shape, time, phase, spectrum.data()); }
    // Vertex 18 of a segment is the outer face's top corner at A0: it moves
    // with the segment's radius and nothing else.
    CVector3 OuterCorner(int segment) const { return v[kTowerVerticesPerSegment * segment + 18].vPos; }
};

bool Same(const CVector3& a, const CVector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

void ExpectVec(const CVector3& v, float x, float y, float z, const char* what) {
    EXPECT_NEAR(v.x, x, 1e-6f) << what;
    EXPECT_NEAR(v.y, y, 1e-6f) << what;
    EXPECT_NEAR(v.z, z, 1e-6f) << what;
}

// ---------------------------------------------------------------------------

TEST_F(TowerState, RandomGeneratorGivesItsKnownSequenceAndPresets) {
    const uint32_t first[] = {23935, 35460, 31780, 53418, 23703};
    for (uint32_t expected : first) EXPECT_EQ(CCubeTower::NextRandom(), expected);

    CCubeTower::s_nRandomSeed = kStartSeed;
    const int presets[] = {1, 0, 1, 0, 0, 0, 0, 0, 2, 0};
    for (int expected : presets) EXPECT_EQ(static_cast<int>(CCubeTower::NextRandom() % 3), expected);
}

TEST(TowerGeometry, SilentPresetZeroAtRestHasRadiusThreeAndTheLaidDownNormals) {
    Geometry g;
    g.Build();
    // Segment 0 of row 0: radius 2.5 + 0.5 cos 0, no sway in row 0.
    ExpectVec(g.v[0].vPos, 0.f, -11.f, 0.f, "vertex 0 (top centre)");
    ExpectVec(g.v[0].vNormal, 0.f, 1.f, 0.f, "normal 0");
    ExpectVec(g.v[18].vPos, 0.f, -11.f, 3.f, "vertex 18 (outer face, top, A0)");
    ExpectVec(g.v[18].vNormal, 0.f, 0.f, 1.f, "normal 18");
    // The bottom centre and the outer face's far edge, a twelfth of a turn on.
    ExpectVec(g.v[5].vPos, 0.f, -12.f, 0.f, "vertex 5 (bottom centre)");
    const float a1 = 0.2617994f;
    ExpectVec(g.v[19].vNormal, -std::sin(a1), 0.f, std::cos(a1), "normal 19 is R(A1)");
    // The radial sides: up at A1, down at A0, whatever their geometry.
    EXPECT_EQ(g.v[9].vNormal.y, 1.f);
    EXPECT_EQ(g.v[15].vNormal.y, -1.f);
    // The top row spans 11..12 and sways by (sin 4.6 - sin 1.38, cos 4.6 - cos 1.38).
    const TowerVertex& top = g.v[kTowerVerticesPerSegment * (kTowerSegments - 1)];
    ExpectVec(top.vPos, std::sin(4.6f) - std::sin(1.38f), 12.f, std::cos(4.6f) - std::cos(1.38f), "top row's centre");
}

TEST(TowerGeometry, EachSegmentReadsItsOwnFiveBinsModulo256) {
    // One full band at a time: the segments whose radius moves are those
    // that read it. Bands 256..511 are never read.
    Geometry g;
    g.Build();
    const std::vector<TowerVertex> silent = g.v;
    std::set<int> reads0, reads256, reads575;
    for (int bin = 0; bin < 512; ++bin) {
        std::fill(g.spectrum.begin(), g.spectrum.end(), 0.0f);
        g.spectrum[bin] = 1.0f;
        g.Build();
        if (!Same(g.OuterCorner(0), silent[18].vPos)) reads0.insert(bin);
        if (!Same(g.OuterCorner(256), silent[24 * 256 + 18].vPos)) reads256.insert(bin);
        if (!Same(g.OuterCorner(575), silent[24 * 575 + 18].vPos)) reads575.insert(bin);
    }
    EXPECT_EQ(reads0, (std::set<int>{8, 240, 32, 7, 9}));
    EXPECT_EQ(reads256, reads0);
    EXPECT_EQ(reads575, (std::set<int>{71, 47, 95, 70, 72}));

    // Five full bands swell by a quarter of their sum times d0: 3 + 8 x 1.25.
    std::fill(g.spectrum.begin(), g.spectrum.end(), 1.0f);
    g.Build();
    EXPECT_NEAR(g.OuterCorner(0).z, 13.0f, 1e-5f);
}

// With the real soundtrack, frame by frame as the show hears it: the wedges
// that read bands 0 to 2 (segment 249 of row 10 reads 1, 233, 25, 0 and 2)
// swell and shrink with each kick, far more closely than a segment reading
// only the mids; and in the drop every row, whatever part of the spectrum
// it reads, is pushed out by the music by a visible amount (0.1 units is
// about 5 pixels at the tower's side at the show's camera).
TEST(TowerGeometry, WithTheSoundtrackTheBassWedgesSwellOnEveryKickAndEveryRowBreathes) {
    soundtest::OfflineSound sound;
    CMusic* music = OpenMusic(kMusicId);
    ASSERT_NE(music, nullptr);
    PlayMusic(music, true);
    soundtest::Mix(44100 * 20);  // into the drop, where the kick runs

    Geometry g;
    auto radius = [&](int segment) {
        const CVector3 outer = g.OuterCorner(segment);
        const CVector3 axis = g.v[kTowerVerticesPerSegment * segment].vPos;  // T, the row's centre
        return std::hypot(outer.x - axis.x, outer.z - axis.z);
    };
    std::vector<double> bass, bass_wedge, mid_wedge;
    std::vector<std::vector<double>> row_swell(kTowerRows);
    Geometry silent;
    for (int frame = 0; frame < 480; ++frame) {  // four seconds at 60 fps, twice
        if (frame == 240) soundtest::Mix(44100 * 53);  // on to the drop (bar 40, 76.8 s)
        soundtest::Mix(735);
        plat::AdvanceSoundFrame();
        std::copy_n(GetSpectrum(), 512, g.spectrum.begin());
        g.time += 1.0f / 60.0f;
        g.phase += (1.0f + g.spectrum[0] + g.spectrum[1] + g.spectrum[2]) / 60.0f;
        g.Build();
        if (frame < 240) {
            bass.push_back(g.spectrum[0] + g.spectrum[1] + g.spectrum[2]);
            bass_wedge.push_back(radius(249));
            mid_wedge.push_back(radius(100));
            continue;
        }
        // The spectrum's share of each row's radius: the same frame built
        // with a silent spectrum, outer corners compared.
        silent.time = g.time;
        silent.phase = g.phase;
        silent.Build();
        for (int m = 0; m < kTowerRows; ++m) {
            double sum = 0.0;
            for (int j = 0; j < kTowerSegmentsPerRow; ++j) {
                const int n = kTowerSegmentsPerRow * m + j;
                const CVector3 a = g.OuterCorner(n), b = silent.OuterCorner(n);
                sum += std::hypot(a.x - b.x, a.z - b.z);
            }
            row_swell[static_cast<size_t>(m)].push_back(sum / kTowerSegmentsPerRow);
        }
    }
    CloseMusic(music);

    // On a typical frame (the median), every row, mids and highs included.
    for (int m = 0; m < kTowerRows; ++m) {
        std::vector<double>& v = row_swell[static_cast<size_t>(m)];
        std::nth_element(v.begin(), v.begin() + 120, v.end());
        EXPECT_GT(v[120], 0.1) << "row " << m << " hardly moves with the music";
    }

    // Frame-to-frame changes, so the slow waves drop out.
    auto correlation = [](const std::vector<double>& a, const std::vector<double>& b) {
        std::vector<double> da, db;
        for (size_t i = 1; i < a.size(); ++i) {
            da.push_back(a[i] - a[i - 1]);
            db.push_back(b[i] - b[i - 1]);
        }
        const double n = static_cast<double>(da.size());
        double ma = 0, mb = 0;
        for (size_t i = 0; i < da.size(); ++i) {
            ma += da[i] / n;
            mb += db[i] / n;
        }
        double sab = 0, saa = 0, sbb = 0;
        for (size_t i = 0; i < da.size(); ++i) {
            sab += (da[i] - ma) * (db[i] - mb);
            saa += (da[i] - ma) * (da[i] - ma);
            sbb += (db[i] - mb) * (db[i] - mb);
        }
        return sab / std::sqrt(saa * sbb);
    };
    const auto [lo, hi] = std::minmax_element(bass.begin(), bass.end());
    EXPECT_GT(*hi - *lo, 0.4) << "bands 0-2 do not pulse";
    EXPECT_GT(correlation(bass_wedge, bass), 0.8);
    EXPECT_LT(std::abs(correlation(mid_wedge, bass)), 0.5);
    const auto [rlo, rhi] = std::minmax_element(bass_wedge.begin(), bass_wedge.end());
    EXPECT_GT(*rhi - *rlo, 0.8) << "the swell is too small to see";
}

TEST(TowerGeometry, NoSpectrumValueOrLongRunPutsInfinityOrNanIntoTheVertices) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float cases[] = {FLT_MAX, -FLT_MAX, inf, -inf, nan, 1e30f, -1.0f};
    for (float value : cases) {
        for (int shape = 0; shape < kTowerPresets; ++shape) {
            Geometry g;
            std::fill(g.spectrum.begin(), g.spectrum.end(), value);
            g.shape = CCubeTower::s_ShapePresets[shape];
            // Ten thousand seconds in: the tower's whole life.
            g.time = 10000.0f;
            g.phase = 40000.0f;
            g.Build();
            int bad = 0;
            for (const TowerVertex& t : g.v) {
                const float* f = t.vPos.Data();
                for (int c = 0; c < 6; ++c) bad += std::isfinite(f[c]) ? 0 : 1;
            }
            EXPECT_EQ(bad, 0) << "spectrum " << value << ", preset " << shape;
        }
    }
}

// ---------------------------------------------------------------------------

// The 18 registrations, in the panel's order: a renamed, reordered or
// retuned parameter changes what the F1 panel offers and how a key moves it.
TEST_F(TowerState, RegistersItsEighteenParametersInOrderWithTheirStepsAndLimits) {
    const size_t before = g_Params.size();
    auto tower = std::make_unique<CCubeTower>();
    ASSERT_EQ(g_Params.size(), before + 18);
    CubeTowerParams& p = CCubeTower::s_Params;
    CVector3& start = CCubeTower::s_ModelStartPos;
    const float big = FLT_MAX;
    struct Want {
        const char* name;
        float* target;
        float step, min, max;
        bool on_press;
    };
    const Want want[18] = {
        {"post_process", &p.fPostProcess, 1.0f, 0.0f, 1.0f, true},
        {"render_tower", &p.fRenderTower, 1.0f, 0.0f, 1.0f, true},
        {"render_models", &p.fRenderModels, 1.0f, 0.0f, 1.0f, true},
        {"cam_pos_x", &p.vCamPos.x, 0.01f, -big, big, false},
        {"cam_pos_y", &p.vCamPos.y, 0.01f, -big, big, false},
        {"cam_pos_z", &p.vCamPos.z, 0.01f, -big, big, false},
        {"cam_focus_x", &p.vCamFocus.x, 0.01f, -big, big, false},
        {"cam_focus_y", &p.vCamFocus.y, 0.01f, -big, big, false},
        {"cam_focus_z", &p.vCamFocus.z, 0.01f, -big, big, false},
        {"s_ModelStartPos_x", &start.x, 0.01f, -big, big, false},
        {"s_ModelStartPos_y", &start.y, 0.01f, -big, big, false},
        {"s_ModelStartPos_z", &start.z, 0.01f, -big, big, false},
        {"light_rot_x", &p.fLightRotX, 0.01f, -big, big, false},
        {"light_rot_y", &p.fLightRotY, 0.01f, -big, big, false},
        {"logo_rot_y", &p.fLogoRotY, 0.01f, -big, big, false},
        {"logo_brightness", &p.fLogoBrightness, 0.001f, -big, big, false},
        {"tower_brightness", &p.fTowerBrightness, 0.001f, -big, big, false},
        {"transition_time", &p.fTransitionTime, 0.001f, -big, big, false},
    };
    for (int i = 0; i < 18; ++i) {
        const TweakParam& got = *g_Params[before + static_cast<size_t>(i)];
        SCOPED_TRACE(want[i].name);
        EXPECT_STREQ(got.szName, want[i].name);
        EXPECT_EQ(got.pTarget, want[i].target);
        EXPECT_EQ(got.fStep, want[i].step);
        EXPECT_EQ(got.fMin, want[i].min);
        EXPECT_EQ(got.fMax, want[i].max);
        EXPECT_EQ(got.bStepOnPress, want[i].on_press);
    }
    // The values the program starts with.
    const CubeTowerParams fresh;
    EXPECT_EQ(fresh.fPostProcess, 0.0f);
    EXPECT_EQ(fresh.fRenderTower, 1.0f);
    EXPECT_EQ(fresh.fRenderModels, 1.0f);
    EXPECT_TRUE(Same(fresh.vCamPos, CVector3(3.5f, 5.0f, -12.5f)));
    EXPECT_TRUE(Same(fresh.vCamFocus, CVector3(3.5f, 0.0f, 0.0f)));
    EXPECT_EQ(fresh.fLightRotX, 3.8f);
    EXPECT_EQ(fresh.fLightRotY, 0.13f);
    EXPECT_EQ(fresh.fLogoRotY, 0.0f);
    EXPECT_EQ(fresh.fLogoBrightness, 0.769f);
    EXPECT_EQ(fresh.fTowerBrightness, 0.517f);
    EXPECT_EQ(fresh.fTransitionTime, 0.05f);
}

// The phase runs at 1 a second plus the three sync channels, each the
// spectrum at its bin times its scale, read through the demo object; with
// the show's channels on the soundtrack's drop that is a sensible pace
// (the waves neither stand still nor race).
TEST_F(TowerState, PhaseRunsWithTheThreeSyncChannelsOfTheDemo) {
    soundtest::OfflineSound sound;
    CMusic* music = OpenMusic(kMusicId);
    PlayMusic(music, true);
    soundtest::Mix(77 * 44100);
    CDemo demo(BareDemoScript());
    SetDemo(&demo);
    // The show's channels (another test's sync panel may have retuned them),
    // and everything put back however the test ends.
    struct Restore {
        SyncChannel saved[3] = {g_SyncChannels[0], g_SyncChannels[1], g_SyncChannels[2]};
        ~Restore() {
            for (int c = 0; c < 3; ++c) g_SyncChannels[c] = saved[c];
            SetDemo(nullptr);
        }
    } restore;
    for (int c = 0; c < 3; ++c) {
        g_SyncChannels[c].nBin = c;
        g_SyncChannels[c].fScale = 1.0f;
    }
    const SyncChannel show[3] = {g_SyncChannels[0], g_SyncChannels[1], g_SyncChannels[2]};

    auto tower = std::make_unique<CCubeTower>();
    const float dt = 1.0f / 60.0f;
    plat::AdvanceSoundFrame();
    const float* S = GetSpectrum();
    ASSERT_GT(S[0] + S[1] + S[2], 0.05f);
    tower->Update(dt);
    EXPECT_NEAR(tower->m_fPhase, dt * (1.0f + S[0] + S[1] + S[2]), 1e-6f);

    // Retuned, as the sync panel does: other bins, other scales.
    g_SyncChannels[0].nBin = 40;
    g_SyncChannels[1].nBin = 41;
    g_SyncChannels[2].nBin = 3;
    g_SyncChannels[0].fScale = 2.0f;
    g_SyncChannels[1].fScale = 3.0f;
    g_SyncChannels[2].fScale = 0.0f;
    const float before = tower->m_fPhase;
    tower->Update(dt);
    EXPECT_NEAR(tower->m_fPhase - before, dt * (1.0f + 2.0f * S[40] + 3.0f * S[41]), 1e-6f);
    for (int c = 0; c < 3; ++c) g_SyncChannels[c] = show[c];

    // Four seconds of the drop at 60 frames a second.
    const float start = tower->m_fPhase;
    for (int frame = 0; frame < 240; ++frame) {
        soundtest::Mix(735);
        plat::AdvanceSoundFrame();
        tower->Update(dt);
    }
    const float rate = (tower->m_fPhase - start) / 4.0f;
    EXPECT_GT(rate, 1.2f);
    EXPECT_LT(rate, 2.5f);

    CloseMusic(music);
}

TEST_F(TowerState, TransitionFiresWhenProgressReachesExactlyOne) {
    CCubeTower::s_Params.fTransitionTime = 0.25f;  // exact in binary: 4 steps of 1 s reach 1.0 exactly
    auto tower = std::make_unique<CCubeTower>();
    for (int i = 0; i < 3; ++i) tower->Update(1.0f);
    EXPECT_EQ(tower->m_fTransition, 0.75f);
    EXPECT_EQ(CCubeTower::s_nRandomSeed, kStartSeed) << "no draw before 1.0";

    tower->Update(1.0f);
    EXPECT_EQ(tower->m_fTransition, 0.0f);
    EXPECT_EQ(CCubeTower::s_nPrevPreset, 0);
    EXPECT_EQ(CCubeTower::s_nPreset, 1) << "the first draw, 23935 mod 3";
    // The blend restarts at the previous preset.
    for (int k = 0; k < kTowerShapeParams; ++k) EXPECT_EQ(CCubeTower::s_Shape[k], CCubeTower::s_ShapePresets[0][k]);
}

TEST_F(TowerState, HugeStepFiresOneTransitionAndOvershoots) {
    auto tower = std::make_unique<CCubeTower>();  // transition_time 0.05
    tower->Update(100.0f);                        // five transitions' worth
    EXPECT_EQ(CCubeTower::s_nRandomSeed, kStartSeed * 214013u + 2531011u) << "exactly one draw";
    EXPECT_EQ(tower->m_fTransition, 4.0f);
    EXPECT_EQ(CCubeTower::s_nPreset, 1);
    // d6 of preset 0 is 0.5, of preset 1 1.809999: four times past preset 1.
    const float p = CCubeTower::s_ShapePresets[0][6], q = CCubeTower::s_ShapePresets[1][6];
    EXPECT_FLOAT_EQ(CCubeTower::s_Shape[6], p + (q - p) * 4.0f);

    // Later frames catch up one transition at a time.
    tower->Update(0.0f);
    EXPECT_EQ(tower->m_fTransition, 3.0f);
    EXPECT_EQ(CCubeTower::s_nPrevPreset, 1);
    EXPECT_EQ(CCubeTower::s_nPreset, 0) << "the second draw, 35460 mod 3";

    // A negative speed runs the progress below 0 and never draws.
    CCubeTower::s_Params.fTransitionTime = -1.0f;
    tower->m_fTransition = 0.0f;
    const uint32_t seed = CCubeTower::s_nRandomSeed;
    for (int i = 0; i < 10; ++i) tower->Update(1.0f);
    EXPECT_EQ(CCubeTower::s_nRandomSeed, seed);
    EXPECT_EQ(tower->m_fTransition, -10.0f);
}

TEST_F(TowerState, MeshesRiseInTurnAndSwitchOnlyAboveTheTop) {
    // Started above the top, every update moves on to the next mesh.
    CCubeTower::s_ModelStartPos.y = 10.5f;
    auto tower = std::make_unique<CCubeTower>();
    std::vector<uint32_t> order;
    for (int i = 0; i < 6; ++i) {
        order.push_back(CCubeTower::s_ModelIds[tower->m_nModel]);
        tower->Update(0.01f);
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{237, 229, 230, 231, 232, 237}));

    // Exactly at the top: still rising.
    CCubeTower::s_ModelStartPos = CVector3(1.0f, 10.0f, 2.0f);
    auto at_top = std::make_unique<CCubeTower>();
    at_top->Update(0.0f);
    EXPECT_EQ(at_top->m_nModel, 4);
    EXPECT_EQ(at_top->m_vModelPos.y, 10.0f);
    at_top->Update(0.001f);
    EXPECT_EQ(at_top->m_nModel, 0);
    EXPECT_EQ(at_top->m_fModelTime, 0.0f);

    // From the start height, at 60 frames a second: 2 t + 2 (1 - cos t)
    // reaches 20 after about 8.4 s, and the next climb starts from the
    // position as tuned now.
    CCubeTower::s_ModelStartPos = CVector3(1.83f, -10.0f, -6.5f);
    auto climb = std::make_unique<CCubeTower>();
    CCubeTower::s_ModelStartPos.x = 4.0f;
    int frames = 0;
    while (climb->m_nModel == 4 && frames < 1000) {
        climb->Update(1.0f / 60.0f);
        ++frames;
    }
    EXPECT_GT(frames, 8.3 * 60);
    EXPECT_LT(frames, 8.5 * 60);
    EXPECT_EQ(climb->m_vModelPos.x, 4.0f);
    EXPECT_EQ(climb->m_vModelPos.y, -10.0f);
}

// ---------------------------------------------------------------------------
// Drawing, through the show's device with every asset loaded.

class TowerRender : public TowerState {
protected:
    static void SetUpTestSuite() {
        if (showtest::ShowDevice()) LoadAllAssets();
    }
    static void TearDownTestSuite() { ResetAssetCacheForTests(); }

    void SetUp() override {
        TowerState::SetUp();
        ASSERT_NE(showtest::ShowDevice(), nullptr);
        ASSERT_NE(GetEffect(kSceneEffectId), nullptr) << "Scene.fx did not load";
        errors_ = showtest::ShowDevice()->GlErrorCount();
        InitSceneRenderer();
        camera_.SetClipPlanes(0.1f, 2000.0f);
        SetCurrentCamera(&camera_);
        // A black tower: an ambient far below zero outweighs any light, so
        // its pixels are (0, 0, 0) whatever the background holds.
        CCubeTower::s_Params.fTowerBrightness = -10.0f;
        tower_ = std::make_unique<CCubeTower>();
        tower_->Update(0.0f);  // preset 0, time 0: the geometry at rest
        showtest::BeginFrame(kClear);
    }
    void TearDown() override {
        showtest::EndFrame();
        SetCurrentCamera(nullptr);
        ReleaseSceneRenderer();
        if (showtest::ShowDevice()) {
            EXPECT_EQ(showtest::ShowDevice()->GlErrorCount(), errors_) << "GL errors";
        }
        TowerState::TearDown();
    }

    // Where a world point lands on the 1024 x 768 screen, with the camera
    // as the tower placed it.
    void Project(const CVector3& p, int* px, int* py) const {
        CMatrix vp;
        MatrixMultiply(vp, camera_.GetViewMatrix(), camera_.GetProjMatrix());
        float c[4];
        for (int k = 0; k < 4; ++k) c[k] = p.x * vp.m[0][k] + p.y * vp.m[1][k] + p.z * vp.m[2][k] + vp.m[3][k];
        *px = static_cast<int>((c[0] / c[3] + 1.0f) * 0.5f * 1024.0f);
        *py = static_cast<int>((1.0f - c[1] / c[3]) * 0.5f * 768.0f);
    }

    static std::vector<float> ReadTarget(const CTexture* t) {
        std::vector<float> rgba;
        EXPECT_TRUE(t && t->m_pSurface && showtest::ShowDevice()->ReadSurface(t->m_pSurface, rgba));
        rgba.resize(size_t{1024} * 768 * 4, -1.0f);
        return rgba;
    }
    static const float* Texel(const std::vector<float>& rgba, int x, int y) {
        return &rgba[(static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)) * 4];
    }

    static constexpr uint32_t kClear = 0xFF0000FF;  // blue: what nothing drawn looks like
    static constexpr showtest::Rgb kBlue{0, 0, 255};
    static constexpr showtest::Rgb kBlack{0, 0, 0};
    CCamera camera_;
    std::unique_ptr<CCubeTower> tower_;
    uint32_t errors_ = 0;
};

TEST_F(TowerRender, SwitchesOffDrawNothingAndTheDirectPathLeavesTheSceneTargetsAlone) {
    plat::gfx::Device* d = showtest::ShowDevice();
    CCubeTower::s_Params.fRenderTower = 0.0f;
    CCubeTower::s_Params.fRenderModels = 0.5f;  // only exactly 1 is on
    const uint32_t draws = d->CurrentStats().draws;
    tower_->Render();
    EXPECT_EQ(d->CurrentStats().draws, draws);

    // Mark the colour target, then draw the tower alone, straight.
    BindRenderTarget(GetSceneTarget(0));
    ClearColor(0xFF00FF00);
    d->SetRenderTarget(0, d->BackBuffer());
    CCubeTower::s_Params.fRenderTower = 1.0f;
    CCubeTower::s_Params.fRenderModels = 0.0f;
    tower_->Render();
    EXPECT_EQ(d->CurrentStats().draws, draws + 3) << "background rectangle, picture, tower";

    int x = 0, y = 0;
    Project(CVector3(0.0f, 0.0f, 0.0f), &x, &y);
    ASSERT_TRUE(x > 0 && x < 1024 && y > 0 && y < 768) << x << ", " << y;
    const showtest::Frame frame = showtest::ReadFrame();
    showtest::SavePng(frame, "tower_direct");
    EXPECT_EQ(frame.At(x, y), kBlack) << "the tower's axis at " << x << ", " << y;
    // The background covers the screen (its 1024 x 1024 hangs off the bottom).
    EXPECT_GT(frame.CountNot(0, 0, 1024, 768, kBlue), 1024 * 768 * 99 / 100);
    const std::vector<float> colour = ReadTarget(GetSceneTarget(0));
    EXPECT_EQ(Texel(colour, x, y)[1], 1.0f) << "scene target 0 untouched";
}

TEST_F(TowerRender, AmbientOcclusionPathFillsColourNormalAndPositionThenPresentsADarkerTower) {
    // Lit as in the show: the chain darkens by the colour's own red, and a
    // black tower would drop out of the present step altogether.
    CCubeTower::s_Params.fTowerBrightness = params_.fTowerBrightness;
    CCubeTower::s_Params.fRenderModels = 0.0f;
    tower_->Render();
    int x = 0, y = 0;
    Project(CVector3(0.0f, 0.0f, 0.0f), &x, &y);
    const showtest::Rgb direct = showtest::ReadFrame().At(x, y);
    ASSERT_NE(direct, kBlue);

    showtest::EndFrame();
    showtest::BeginFrame(kClear);
    CCubeTower::s_Params.fPostProcess = 1.0f;
    tower_->Render();

    const std::vector<float> colour = ReadTarget(GetSceneTarget(0));
    const std::vector<float> normal = ReadTarget(GetSceneTarget(1));
    const std::vector<float> position = ReadTarget(GetSceneTarget(2));
    // Pass 0: the lit tower, opaque, over the opaque background.
    EXPECT_GT(Texel(colour, x, y)[0], 0.3f);
    EXPECT_EQ(Texel(colour, x, y)[3], 1.0f);
    EXPECT_EQ(Texel(colour, 10, 10)[3], 1.0f) << "the background is in the colour target";
    // Pass 1: a unit normal; pass 2: a view depth in front of the camera.
    const float* n = Texel(normal, x, y);
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 0.05f);
    EXPECT_LT(Texel(position, x, y)[2], 0.0f);
    EXPECT_GT(Texel(position, x, y)[2], -1.0f);
    // Nothing but the tower reaches the normal and position targets.
    EXPECT_EQ(Texel(position, 10, 10)[2], 1.0f);
    EXPECT_EQ(Texel(normal, 10, 10)[3], 0.0f);

    const showtest::Frame frame = showtest::ReadFrame();
    showtest::SavePng(frame, "tower_ambient_occlusion");
    EXPECT_NE(frame.At(x, y), kBlue) << "the chain's result is on the back buffer";
    EXPECT_LT(frame.At(x, y).r, direct.r) << "occluded: at most 3/4 of the colour, times its red";
    EXPECT_NE(frame.At(10, 10), kBlue) << "the background comes through the chain too";
}

TEST_F(TowerRender, RisingMeshGoesThroughSceneTargetZeroAndLandsNearItsPosition) {
    CCubeTower::s_Params.fRenderTower = 0.0f;
    // Move the mesh to the middle of its climb, in front of the tower.
    tower_->m_vModelPos = CVector3(1.83f, 0.0f, -6.5f);
    tower_->Render();

    int x = 0, y = 0;
    Project(tower_->m_vModelPos, &x, &y);
    ASSERT_TRUE(x > 64 && x < 960 && y > 64 && y < 704) << x << ", " << y;
    const std::vector<float> colour = ReadTarget(GetSceneColorTarget());
    // The mesh's pixels (alpha 1) sit around the projection of its position;
    // everything else is the clear, alpha 0.
    int covered = 0, far_away = 0;
    for (int py = 0; py < 768; ++py)
        for (int px = 0; px < 1024; ++px) {
            if (Texel(colour, px, py)[3] != 1.0f) continue;
            ++covered;
            if (std::abs(px - x) > 250 || std::abs(py - y) > 250) ++far_away;
        }
    EXPECT_GT(covered, 500);
    EXPECT_EQ(far_away, 0);

    const showtest::Frame frame = showtest::ReadFrame();
    showtest::SavePng(frame, "tower_mesh");
    // No background with the tower off; the glow and the sharp copy land
    // over the blue around the mesh, nothing reaches the far corner.
    EXPECT_EQ(frame.At(1010, 10), kBlue);
    EXPECT_GT(frame.CountNot(std::max(x - 250, 0), std::max(y - 250, 0), std::min(x + 250, 1024),
                             std::min(y + 250, 768), kBlue),
              covered);
}

// ---------------------------------------------------------------------------
// The look: what the tests above let slip when the lighting, a chain link,
// the spin or the mesh's matrix goes wrong.

// Bilinear sample of a 1024 x 768 float target at texel coordinates
// (tx, ty) of texel centres, clamped at the edges: what a linear sampler
// reads there.
float Sample(const std::vector<float>& rgba, float tx, float ty, int c) {
    const int x0 = static_cast<int>(std::floor(tx)), y0 = static_cast<int>(std::floor(ty));
    const float fx = tx - static_cast<float>(x0), fy = ty - static_cast<float>(y0);
    auto at = [&](int x, int y) {
        x = std::clamp(x, 0, 1023);
        y = std::clamp(y, 0, 767);
        return rgba[(static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)) * 4 + static_cast<size_t>(c)];
    };
    return (at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy) + (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy;
}

// With no ambient light a tower pixel is (0.1 + 0.25) x max(0, N . L): the
// normal target holds each pixel's world normal N, so every pixel of the
// tower checks the light direction L, the parameters turned about Y first
// and then about X. The expected directions are written out by hand.
TEST_F(TowerRender, LightComesFromItsDirectionTurnedAboutYThenAboutX) {
    CCubeTower::s_Params.fTowerBrightness = 0.0f;
    CCubeTower::s_Params.fRenderModels = 0.0f;
    CCubeTower::s_Params.fPostProcess = 1.0f;
    const float half_pi = 1.5707964f;
    struct Case {
        float rot_x, rot_y;
        CVector3 light;
    };
    const Case cases[] = {
        // (0, 0, 1) about Y by 90 degrees is (-1, 0, 0), which turning about
        // X leaves alone. About X first, it would point straight up or down.
        {half_pi, half_pi, CVector3(-1.0f, 0.0f, 0.0f)},
        // About X alone, (0, 0, 1) becomes (0, sin, cos) of the angle.
        {half_pi, 0.0f, CVector3(0.0f, 1.0f, 0.0f)},
        // The show's: (-sin 0.13, 0, cos 0.13) = (-0.129634, 0, 0.991562),
        // then about X by 3.8: y = sin 3.8 x 0.991562, z = cos 3.8 x 0.991562.
        {3.8f, 0.13f, CVector3(-0.129634f, -0.606695f, -0.784294f)},
    };
    int checked_cases = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rot_x);
        CCubeTower::s_Params.fLightRotX = c.rot_x;
        CCubeTower::s_Params.fLightRotY = c.rot_y;
        showtest::EndFrame();
        showtest::BeginFrame(kClear);
        tower_->Render();
        const std::vector<float> colour = ReadTarget(GetSceneTarget(0));
        const std::vector<float> normal = ReadTarget(GetSceneTarget(1));
        int tower = 0, wrong = 0, lit = 0;
        for (int y = 0; y < 768; y += 2)
            for (int x = 0; x < 1024; x += 2) {
                const float* n = Texel(normal, x, y);
                if (n[3] != 1.0f) continue;
                ++tower;
                const float d = std::max(0.0f, n[0] * c.light.x + n[1] * c.light.y + n[2] * c.light.z);
                lit += d > 0.3f;
                if (std::abs(Texel(colour, x, y)[0] - 0.35f * d) > 0.01f) ++wrong;
            }
        ASSERT_GT(tower, 20000);
        EXPECT_LT(wrong, tower / 100) << "of " << tower << " tower pixels";
        EXPECT_GT(lit, 500) << "the light must reach some faces for the case to tell anything";
        ++checked_cases;
    }
    EXPECT_EQ(checked_cases, 3);
}

// The ambient-occlusion chain's first link leaves its term in post target 1:
// grey, a count of a hundred taps times 0.0075 (so never above 0.75, lower
// in the creases), white on the background; the combine then scales that
// term by the lit colour's red, alpha included, and the present step blends
// it over the back buffer. The combine alone would leave the lit colour
// times its red in post target 1, which is no multiple of 0.0075.
TEST_F(TowerRender, AmbientOcclusionTermIsTheFirstLinkAndDarkensTheCreases) {
    CCubeTower::s_Params.fTowerBrightness = params_.fTowerBrightness;
    CCubeTower::s_Params.fRenderModels = 0.0f;
    CCubeTower::s_Params.fPostProcess = 1.0f;
    tower_->Render();
    const std::vector<float> colour = ReadTarget(GetSceneTarget(0));
    const std::vector<float> position = ReadTarget(GetSceneTarget(2));
    const std::vector<float> term = ReadTarget(GetPostTarget(1));
    const showtest::Frame frame = showtest::ReadFrame();
    int tower = 0, counted = 0, open = 0, creased = 0, not_grey = 0, above = 0, background_wrong = 0, composed_wrong = 0;
    for (int y = 20; y < 748; y += 3)
        for (int x = 20; x < 1004; x += 3) {
            const float* o = Texel(term, x, y);
            if (Texel(position, x, y)[2] >= 1.0f) {
                background_wrong += o[0] != 1.0f;
                continue;
            }
            ++tower;
            not_grey += o[0] != o[1] || o[1] != o[2];
            above += o[0] > 0.7501f;
            // Half floats hold 0.0075 steps to within one step of theirs
            // (0.00049 below 1), and the hundred additions of 0.01 come to
            // a hair under 1, which the target rounds down.
            const float taps = o[0] / 0.0075f;
            counted += std::abs(taps - std::round(taps)) * 0.0075f < 0.0005f;
            open += std::abs(o[0] - 0.75f) < 0.0005f;
            creased += o[0] < 0.3f;
            // Present: (term x red) with alpha red, over blue.
            const float r = Texel(colour, x, y)[0];
            const float want[3] = {o[0] * r * r, o[0] * r * r, o[0] * r * r + (1 - r)};
            const showtest::Rgb got = frame.At(x, y);
            const float have[3] = {got.r / 255.f, got.g / 255.f, got.b / 255.f};
            for (int k = 0; k < 3; ++k) composed_wrong += std::abs(have[k] - want[k]) > 0.02f;
        }
    ASSERT_GT(tower, 2000);
    // A background pixel right at the tower's silhouette can read a hair of
    // the tower's depth through the link's linear sampling and be taken
    // for geometry: a dozen of them, never more than a few.
    EXPECT_LT(background_wrong, 40);
    EXPECT_EQ(not_grey, 0);
    EXPECT_EQ(above, 0);
    EXPECT_GT(counted, tower * 95 / 100) << "of " << tower;
    EXPECT_GT(open, tower / 10) << "of " << tower;
    EXPECT_GT(creased, 20) << "of " << tower;
    EXPECT_LT(composed_wrong, tower / 50) << "of " << tower;
}

// The tower turns d5 = 0.2 radians a second about the world's Y axis. Half a
// turn (pi / 0.2 seconds) takes every point (x, y, z) to (-x, y, -z): the
// tower drawn at that time looks exactly like its vertices turned so by hand
// and drawn without a spin, and nothing like them unturned.
TEST_F(TowerRender, TowerSpinsByD5AboutTheWorldsYAxis) {
    CCubeTower::s_Params.fRenderModels = 0.0f;
    tower_ = std::make_unique<CCubeTower>();
    tower_->Update(3.14159265f / 0.2f);
    ASSERT_EQ(CCubeTower::s_Shape[5], 0.2f);
    // Band 46 pushes segment 294 (row 12, j = 6), the two either side and
    // the ones above and below out by 8 x 0.25 = 2 units: a lump on one
    // side, so no turn can pass for another.
    std::vector<float> spectrum(512, 0.0f);
    spectrum[46] = 1.0f;
    BuildTowerVertices(tower_->m_Vertices, CCubeTower::s_Shape, tower_->m_fTime, tower_->m_fPhase, spectrum.data());
    const std::vector<TowerVertex> built(tower_->m_Vertices, tower_->m_Vertices + kTowerVertices);
    auto draw = [&] {
        showtest::EndFrame();
        showtest::BeginFrame(kClear);
        tower_->Render();
        return showtest::ReadFrame();
    };
    const showtest::Frame spun = draw();
    showtest::SavePng(spun, "tower_spin");

    tower_->m_fTime = 0.0f;
    for (int i = 0; i < kTowerVertices; ++i) {
        const TowerVertex& b = built[static_cast<size_t>(i)];
        tower_->m_Vertices[i].vPos = CVector3(-b.vPos.x, b.vPos.y, -b.vPos.z);
        tower_->m_Vertices[i].vNormal = CVector3(-b.vNormal.x, b.vNormal.y, -b.vNormal.z);
    }
    const showtest::Frame by_hand = draw();
    std::copy(built.begin(), built.end(), tower_->m_Vertices);
    const showtest::Frame unturned = draw();

    auto differ = [](const showtest::Frame& a, const showtest::Frame& b) {
        int n = 0;
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x) n += (a.At(x, y) == kBlack) != (b.At(x, y) == kBlack);
        return n;
    };
    // The two ways round the same turn agree but for a few edge pixels.
    EXPECT_LT(differ(spun, by_hand), 300);
    EXPECT_GT(differ(spun, unturned), 10000);
}

// Where the mesh's pixels are, from scene target 0's alpha: their mean
// position and count.
struct Footprint {
    double x = 0, y = 0;
    int count = 0;
};
Footprint MeshFootprint(const std::vector<float>& colour) {
    Footprint f;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            if (colour[(static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)) * 4 + 3] != 1.0f) continue;
            f.x += x;
            f.y += y;
            ++f.count;
        }
    if (f.count) {
        f.x /= f.count;
        f.y /= f.count;
    }
    return f;
}

// The mesh sits at m_vModelPos, whatever its sway has turned (the
// translation is set after the turns, not turned with them), and
// logo_rot_y then swings it about the tower's axis: half a turn takes
// (x, y, z) to (-x, y, -z).
TEST_F(TowerRender, MeshSitsAtItsPositionAndLogoRotYSwingsItAboutTheAxis) {
    CCubeTower::s_Params.fRenderTower = 0.0f;
    for (float rot : {0.0f, 1.0f}) {
        SCOPED_TRACE(rot);
        CCubeTower::s_Params.fLogoRotY = rot;
        tower_ = std::make_unique<CCubeTower>();
        // At 3.14159 s the sway turns the mesh by pi + (pi/5) sin(1.885) and
        // tilts it by (pi/10) sin(1.2566): well away from its rest.
        tower_->Update(3.14159265f);
        tower_->m_vModelPos = CVector3(1.83f, 0.0f, -6.5f);
        showtest::EndFrame();
        showtest::BeginFrame(kClear);
        tower_->Render();
        const Footprint f = MeshFootprint(ReadTarget(GetSceneColorTarget()));
        ASSERT_GT(f.count, 500);
        int x = 0, y = 0;
        const CVector3 p = rot == 0.0f ? tower_->m_vModelPos : CVector3(-1.83f, 0.0f, 6.5f);
        Project(p, &x, &y);
        // The letters' and the invader's own centres are near their origin:
        // within a few tens of pixels of the projected position.
        EXPECT_NEAR(f.x, x, 40.0);
        EXPECT_NEAR(f.y, y, 40.0);
    }
}

// The rising mesh: scene target 0 holds it sharp; the bloom chain puts a
// glow around it on the back buffer, beyond the sharp copy; the sharp copy
// is scene target 0 stretched over (-64, -64) to (1024, 768), so screen
// pixel (x, y) shows the target at ((x + 64.5) 1024 / 1088, (y + 64.5)
// 768 / 832) in pixel units.
TEST_F(TowerRender, MeshGlowsBeyondItsSharpCopyWhichCoversTheOverlayRectangle) {
    CCubeTower::s_Params.fRenderTower = 0.0f;
    tower_->m_vModelPos = CVector3(1.83f, 0.0f, -6.5f);
    tower_->Render();
    const std::vector<float> colour = ReadTarget(GetSceneColorTarget());
    const showtest::Frame frame = showtest::ReadFrame();
    showtest::SavePng(frame, "tower_mesh_glow");

    // Where the sharp copy can put anything: the alpha of the linear sample
    // is above 0 there. Then grown by 4 pixels.
    auto source = [](int x, int y, float* tx, float* ty) {
        *tx = (static_cast<float>(x) + 64.5f) * 1024.f / 1088.f - 0.5f;
        *ty = (static_cast<float>(y) + 64.5f) * 768.f / 832.f - 0.5f;
    };
    std::vector<uint8_t> sharp(size_t{1024} * 768, 0), near_sharp(size_t{1024} * 768, 0);
    int solid = 0, solid_wrong = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            float tx, ty;
            source(x, y, &tx, &ty);
            const float a = Sample(colour, tx, ty, 3);
            if (a <= 0.0f) continue;
            sharp[static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)] = 1;
            if (a < 1.0f) continue;
            // Fully inside the mesh: the sharp copy is opaque here and shows
            // the target's colour, whatever glow is beneath.
            ++solid;
            const showtest::Rgb got = frame.At(x, y);
            const float want[3] = {Sample(colour, tx, ty, 0), Sample(colour, tx, ty, 1), Sample(colour, tx, ty, 2)};
            const float have[3] = {got.r / 255.f, got.g / 255.f, got.b / 255.f};
            bool off = false;
            for (int k = 0; k < 3; ++k) off |= std::abs(have[k] - std::min(want[k], 1.0f)) > 3.0f / 255.0f;
            solid_wrong += off;
        }
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            if (!sharp[static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)]) continue;
            for (int dy = -4; dy <= 4; ++dy)
                for (int dx = -4; dx <= 4; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && nx < 1024 && ny >= 0 && ny < 768) near_sharp[static_cast<size_t>(ny) * 1024 + static_cast<size_t>(nx)] = 1;
                }
        }
    ASSERT_GT(solid, 500);
    EXPECT_LT(solid_wrong, solid / 100) << "of " << solid << " pixels inside the sharp copy";

    // The glow: changed pixels more than 4 pixels from anything the sharp
    // copy draws, all within reach of the blur around the mesh.
    const Footprint mesh = MeshFootprint(colour);
    int glow = 0, stray = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            if (near_sharp[static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)] || frame.At(x, y) == kBlue) continue;
            ++glow;
            stray += std::abs(x - mesh.x) > 300 || std::abs(y - mesh.y) > 300;
        }
    EXPECT_GT(glow, 2000) << "no glow around the mesh";
    EXPECT_EQ(stray, 0);
}

}  // namespace
