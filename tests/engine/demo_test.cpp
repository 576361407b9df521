// The sequencer: layer order, the timeline, removal at the end of the frame,
// Escape, the natural end and shutdown. Runs on the show's own device so
// the frame's scene begins as in the show.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/quit_request.h"
#include "data/music.h"
#include "engine/demo.h"
#include "engine/effect.h"
#include "tests/support/show_test_util.h"

namespace {

// Test effects record what happens to them.
struct Probe : CEffect {
    static inline std::vector<const Probe*> updates;
    static inline int deaths = 0;
    static inline bool remove_twice = false;
    ~Probe() override { ++deaths; }
    void Update(float dt) override {
        CEffect::Update(dt);
        updates.push_back(this);
        if (remove_twice) {
            // Expiring and being cleared away by the exit screen in the same frame.
            GetDemo()->RemoveEffect(this);
            GetDemo()->RemoveAllExcept(nullptr);
        }
    }
};

constexpr int kProbeClass = 90;
constexpr int kLoaderClass = 91;
constexpr int kExitClass = 92;
constexpr int kUnregistered = 93;

struct CCProbe : CEffectClassImpl<Probe> {
    int32_t GetId() override { return kProbeClass; }
    char* GetName(char* b) override { return CopyName(b, "Probe"); }
} g_ccProbe;

// A loading screen that stays until told to go.
struct Loader : Probe {
    static inline bool done = false;
    void Update(float dt) override {
        Probe::Update(dt);
        if (done) GetDemo()->RemoveEffect(this);
    }
};
struct CCLoader : CEffectClassImpl<Loader> {
    int32_t GetId() override { return kLoaderClass; }
    char* GetName(char* b) override { return CopyName(b, "Loader"); }
} g_ccLoader;

struct CCExit : CEffectClassImpl<Probe> {
    int32_t GetId() override { return kExitClass; }
    char* GetName(char* b) override { return CopyName(b, "Exit"); }
} g_ccExit;

// Installs a demo as the program's demo for the test's duration.
class Sequencer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(showtest::ShowDevice(), nullptr);
        Probe::updates.clear();
        Probe::deaths = 0;
        Probe::remove_twice = false;
        Loader::done = false;
        showtest::ResetRunState(0.25f);
    }
    void TearDown() override {
        SetDemo(nullptr);
        delete demo;
    }
    void Make(const std::vector<TimelineEvent>& events, int loading_class = 5) {
        timeline = events;
        DemoScript script;
        script.pEvents = timeline.data();
        script.nEvents = static_cast<int32_t>(timeline.size());
        script.nLoadingClass = loading_class;
        script.nExitClass = kExitClass;
        demo = new CDemo(script);
        SetDemo(demo);
    }
    std::vector<uint32_t> Layers() const {
        std::vector<uint32_t> out;
        for (const CEffect* e : demo->ActiveEffects()) out.push_back(e->GetLayer());
        return out;
    }
    std::vector<TimelineEvent> timeline;
    CDemo* demo = nullptr;
};

TEST_F(Sequencer, EffectsRunInUnsignedLayerOrderStableForEqualLayers) {
    Make({{kUnregistered, 0, 0.0f, 1.0f}});
    CEffect* a = CreateEffect(kProbeClass, 2, 100.0f);
    CEffect* b = CreateEffect(kProbeClass, 0, 100.0f);
    CEffect* c = CreateEffect(kProbeClass, 2, 100.0f);
    CEffect* top = CreateEffect(kProbeClass, 8, 100.0f);
    CEffect* huge = CreateEffect(kProbeClass, 0xFFFFFFFFu, 100.0f);
    for (CEffect* e : {huge, a, top, b, c}) demo->AddEffect(e);
    EXPECT_EQ(Layers(), (std::vector<uint32_t>{0, 2, 2, 8, 0xFFFFFFFFu}));
    demo->Frame();
    ASSERT_EQ(Probe::updates.size(), 5u);
    EXPECT_EQ(Probe::updates[1], a) << "equal layers keep the order they were added in";
    EXPECT_EQ(Probe::updates[2], c);
}

TEST_F(Sequencer, TimelineStartsOneEntryPerFrameAndSkipsUnknownClasses) {
    Make({{kProbeClass, 2, 0.0f, 100.0f},
          {kUnregistered, 0, 0.5f, 100.0f},
          {kProbeClass, 0, 1.0f, 100.0f},
          {kProbeClass, 1, 1.0f, 100.0f}});
    std::vector<size_t> counts;
    for (int frame = 0; frame < 8; ++frame) {
        demo->Frame();
        counts.push_back(demo->ActiveEffects().size());
    }
    // Frame n sees the clock at (n - 1) * 0.25. The unknown class (due at
    // 0.5, frame 3) only advances the index; the two entries due at 1.0
    // start in frames 5 and 6.
    EXPECT_EQ(counts, (std::vector<size_t>{1, 1, 1, 1, 2, 3, 3, 3}));
    EXPECT_EQ(Layers(), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(demo->NextEvent(), 4);
}

TEST_F(Sequencer, ShowEndsWhenTheTimelineIsDoneAndNothingIsLeft) {
    Make({{kProbeClass, 0, 0.0f, 0.3f}});
    demo->Frame();  // starts it and runs it: 0.05 s left
    EXPECT_EQ(demo->ActiveEffects().size(), 1u);
    demo->Frame();  // expires and is removed at the end of this frame
    EXPECT_TRUE(demo->ActiveEffects().empty());
    EXPECT_EQ(Probe::deaths, 1);
    EXPECT_FALSE(g_bQuit);
    demo->Frame();  // the next frame's timeline step asks to quit
    EXPECT_TRUE(g_bQuit);
}

TEST_F(Sequencer, AnEffectRemovedTwiceInOneFrameIsDeletedOnce) {
    Make({{kProbeClass, 0, 0.0f, 100.0f}});
    demo->Frame();
    Probe::remove_twice = true;
    demo->Frame();
    EXPECT_EQ(Probe::deaths, 1);
    EXPECT_TRUE(demo->ActiveEffects().empty());
}

TEST_F(Sequencer, LoadingHoldsTheClockAndEscapeActsOnceAfterIt) {
    Make({{kProbeClass, 0, 0.0f, 100.0f}}, kLoaderClass);
    g_KeyState[kVkEscape] = 1;  // held from the start
    demo->Frame();
    demo->Frame();
    EXPECT_EQ(demo->Clock(), 0.0f);
    EXPECT_FALSE(g_bExitRequested) << "Escape waits for the loading screen";
    Loader::done = true;
    demo->Frame();  // the loader retires; the clock already moves in this frame
    EXPECT_EQ(demo->Loading(), nullptr);
    EXPECT_EQ(demo->Clock(), 0.25f);
    demo->Frame();  // timeline entry 0 starts, and the held Escape acts
    EXPECT_TRUE(g_bExitRequested);
    EXPECT_EQ(Layers(), (std::vector<uint32_t>{0, 8}));
    for (int i = 0; i < 5; ++i) demo->Frame();
    EXPECT_EQ(Layers(), (std::vector<uint32_t>{0, 8})) << "never a second exit screen";
}

TEST_F(Sequencer, ShutdownDestroysEveryRemainingEffectOnce) {
    Make({{kProbeClass, 0, 0.0f, 100.0f}, {kProbeClass, 1, 0.0f, 100.0f}}, kLoaderClass);
    demo->Frame();
    SetDemo(nullptr);
    delete demo;
    demo = nullptr;
    EXPECT_EQ(Probe::deaths, 1) << "the loading screen, the only effect started";
}

// The show's own tables, as the program ships them: what starts when, on
// which layer, for how long, and which spectrum bins drive the tower.
TEST(ShowTables, TimelineAndSyncChannelsAreTheShows) {
    ASSERT_EQ(g_nTimelineEvents, 4);
    struct Want {
        int32_t cls;
        uint32_t layer;
        float start, duration;
    };
    const Want want[] = {
        {1, 2, 0.0f, 7.0f},       // the group's logo
        {1, 2, 10.0f, 14.0f},     // the event's picture through the water
        {3, 0, 24.0f, 10000.0f},  // the tower, under...
        {4, 1, 24.0f, 10000.0f},  // ...the overlay
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(g_Timeline[i].nClassId, want[i].cls) << "entry " << i;
        EXPECT_EQ(g_Timeline[i].nLayer, want[i].layer) << "entry " << i;
        EXPECT_EQ(g_Timeline[i].fStart, want[i].start) << "entry " << i;
        EXPECT_EQ(g_Timeline[i].fDuration, want[i].duration) << "entry " << i;
    }
    const DemoScript script;
    EXPECT_EQ(script.pEvents, g_Timeline);
    EXPECT_EQ(script.nEvents, 4);
    EXPECT_EQ(script.nLoadingClass, 0);
    EXPECT_EQ(script.nExitClass, 1);

    const char* names[] = {"SYNC_TOWER_ONE", "SYNC_TOWER_TWO", "SYNC_TOWER_THREE"};
    for (int c = 0; c < 3; ++c) {
        EXPECT_STREQ(g_SyncChannels[c].szName, names[c]);
        EXPECT_EQ(g_SyncChannels[c].nBin, c) << "the three lowest bands";
        EXPECT_EQ(g_SyncChannels[c].fScale, 1.0f);
    }
}

TEST_F(Sequencer, SyncValueIsTheSpectrumAtTheChannelsBin) {
    Make({{kUnregistered, 0, 0.0f, 1.0f}});
    const float* spectrum = GetSpectrum();
    ASSERT_NE(spectrum, nullptr);
    EXPECT_EQ(demo->GetSyncValue(0), spectrum[g_SyncChannels[0].nBin] * g_SyncChannels[0].fScale);
    EXPECT_EQ(demo->GetSyncValue(7), 0.0f);
}

}  // namespace
