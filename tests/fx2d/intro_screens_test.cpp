// The intro and exit screens: which picture an instance shows, the fade at
// known times, the exit screen's volume fade (heard in the offline mix),
// the clearing away of everything else and the quit; and the water filter
// on the real device: no distortion at full fade or for the logo, a plain
// cross-fade in between.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/device.h"
#include "app/frame_timer.h"
#include "app/keys.h"
#include "app/quit_request.h"
#include "data/asset_cache.h"
#include "data/music.h"
#include "data/resource_ids.h"
#include "data/texture.h"
#include "engine/demo.h"
#include "fx2d/draw2d.h"
#include "fx2d/intro_screens.h"
#include "platform/fx/effect.h"
#include "tests/support/show_test_util.h"
#include "tests/support/sound_test_util.h"

namespace {

// Seconds per frame: exact in binary, so the clock and the exit screen's
// fade steps (0.0625) are exact; the others (0.025) are not quite.
constexpr float kStep = 0.25f;

// Something else on screen, to be cleared away by the exit screen.
struct Bystander : CEffect {
    static inline int deaths = 0;
    ~Bystander() override { ++deaths; }
};

class IntroScreens : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(showtest::ShowDevice(), nullptr);
        showtest::ResetRunState(kStep);
        g_fFadeSpeed = 0.1f;
        CIntroScreens::s_nNextPicture = 0;
        Bystander::deaths = 0;
        // No loading screen and no timeline: the test adds what runs.
        demo = new CDemo(BareDemoScript());
        SetDemo(demo);
    }
    void TearDown() override {
        SetDemo(nullptr);
        delete demo;
        g_bExitRequested = false;
        g_bQuit = false;
    }
    // An intro screen started as the timeline or the sequencer would.
    CIntroScreens* Start(uint32_t layer, float duration) {
        auto* e = dynamic_cast<CIntroScreens*>(CreateEffect(1, layer, duration));
        if (e) demo->AddEffect(e);
        return e;
    }
    bool Running(const CEffect* e) const {
        const auto& list = demo->ActiveEffects();
        return std::find(list.begin(), list.end(), e) != list.end();
    }
    // Runs frames until `e` is gone; the fade after each frame it survived,
    // and the number of the frame at whose end it went.
    std::vector<float> RunUntilGone(const CIntroScreens* e, int* gone_after, int limit = 400) {
        std::vector<float> fades;
        *gone_after = -1;
        for (int frame = 1; frame <= limit; ++frame) {
            const float time_before = e->m_fTime;
            demo->Frame();
            if (!Running(e)) {
                *gone_after = frame;
                break;
            }
            EXPECT_FLOAT_EQ(e->m_fTime, time_before + kStep);
            fades.push_back(e->m_fFade);
        }
        return fades;
    }
    CDemo* demo = nullptr;
};

TEST_F(IntroScreens, PictureCounterCyclesAndEscapeForcesTheExitPicture) {
    std::vector<CIntroScreens*> made;
    auto make = [&](bool exit) {
        g_bExitRequested = exit;
        made.push_back(new CIntroScreens);
        return made.back()->m_nPicture;
    };
    EXPECT_EQ(make(false), 0);  // the logo
    EXPECT_EQ(make(false), 1);  // the event's picture
    EXPECT_EQ(make(false), 2);
    EXPECT_EQ(make(false), 0) << "the counter wraps after the exit picture";
    EXPECT_EQ(make(true), 2) << "after Escape every new screen is the exit screen";
    EXPECT_EQ(CIntroScreens::s_nNextPicture, 2) << "the counter moves on for a forced picture too";
    EXPECT_EQ(make(true), 2);
    EXPECT_EQ(make(false), 0);
    for (CIntroScreens* e : made) delete e;
}

TEST_F(IntroScreens, LogoFadesToSevenTenthsBySevenSecondsAndIsGoneAtFourteen) {
    CIntroScreens* logo = Start(2, 7.0f);
    ASSERT_NE(logo, nullptr);
    ASSERT_EQ(logo->m_nPicture, 0);
    int gone = 0;
    const std::vector<float> fade = RunUntilGone(logo, &gone);
    ASSERT_GE(fade.size(), 42u);
    EXPECT_NEAR(fade[13], 0.35f, 1e-5f);  // after 3.5 s
    EXPECT_NEAR(fade[27], 0.70f, 1e-5f);  // 7 s: the lifetime is used up, not yet exceeded
    EXPECT_NEAR(fade[28], 0.675f, 1e-5f) << "turns round in the frame that passes 7 s";
    EXPECT_NEAR(fade[41], 0.35f, 1e-5f);  // 10.5 s
    // 0.7 down by 0.025 a frame: 28 frames; float rounding may leave a
    // crumb for one more.
    EXPECT_GE(gone, 56);
    EXPECT_LE(gone, 57);
    EXPECT_FALSE(g_bQuit) << "only the exit screen ends the program";
}

TEST_F(IntroScreens, IntroPictureIsFullyShownAtTenSecondsHoldsAndFadesOutForTen) {
    Start(2, 7.0f);  // uses picture 0
    CIntroScreens* intro = Start(2, 14.0f);
    ASSERT_NE(intro, nullptr);
    ASSERT_EQ(intro->m_nPicture, 1);
    int gone = 0;
    const std::vector<float> fade = RunUntilGone(intro, &gone);
    ASSERT_GE(fade.size(), 60u);
    EXPECT_NEAR(fade[38], 0.975f, 1e-5f);
    // Fully shown after 10 s (20 s into the show); 40 float steps of 0.025
    // fall a few ulps short, so the clamp to 1 comes one frame later.
    EXPECT_NEAR(fade[39], 1.0f, 1e-5f);
    EXPECT_EQ(fade[40], 1.0f);
    EXPECT_EQ(fade[55], 1.0f) << "held until its 14 s are over";
    EXPECT_NEAR(fade[56], 0.975f, 1e-5f);
    EXPECT_GE(gone, 96);  // 10 s of fade-out: 34 s into the show
    EXPECT_LE(gone, 97);
}

TEST_F(IntroScreens, WithFadeSpeedZeroItStaysInvisibleAndGoesOnTheFirstUpdateAfterExpiry) {
    g_fFadeSpeed = 0.0f;
    CIntroScreens* e = Start(2, 1.0f);
    int gone = 0;
    const std::vector<float> fade = RunUntilGone(e, &gone);
    EXPECT_EQ(gone, 5);  // 4 x 0.25 s leave exactly 0, which is not yet past the end
    for (float f : fade) EXPECT_EQ(f, 0.0f);
    g_fFadeSpeed = 0.1f;
}

TEST_F(IntroScreens, ExitScreenTakesTheMusicDownWithItsFadeClearsEverythingAndQuits) {
    const std::vector<float>& track = soundtest::DecodedTrack();
    ASSERT_FALSE(track.empty());
    soundtest::OfflineSound sound;
    // Declared after the sound system, so the demo closes its music before
    // the sound system goes, however the test ends.
    struct DemoGoesFirst {
        CDemo*& demo;
        ~DemoGoesFirst() {
            SetDemo(nullptr);
            delete demo;
            demo = nullptr;
        }
    } demo_goes_first{demo};
    demo->StartMusic();
    SetMasterVolume(255);
    size_t heard = 0;  // interleaved samples mixed so far
    // The level of the next stretch of the mix against the decoded track:
    // the first block carries the ramp to a new volume, the second is
    // steady at it.
    auto level_is = [&](int volume) {
        heard += soundtest::Mix(2048).size();
        const std::vector<int16_t> steady = soundtest::Mix(1024);
        int worst = 0;
        for (size_t i = 0; i < steady.size(); ++i) {
            const float v = track[heard + i] * static_cast<float>(volume) / 255.0f;
            worst = std::max(worst, std::abs(steady[i] - soundtest::Pcm16(v)));
        }
        heard += steady.size();
        return worst <= 1;
    };

    auto* bystander = new Bystander;
    bystander->m_nLayer = 0;
    bystander->SetDuration(1000.0f);
    demo->AddEffect(bystander);
    g_bExitRequested = true;  // as the sequencer sets it before making the screen
    CIntroScreens* exit = Start(8, 10.0f);
    ASSERT_NE(exit, nullptr);
    ASSERT_EQ(exit->m_nPicture, 2);

    // 2.5 times the speed: 0.0625 a frame, fully shown after 16 frames (4 s);
    // held to 10 s, then 16 frames of fade-out, each setting the volume from
    // the fade as it stood before that frame.
    for (int frame = 1; frame <= 40; ++frame) {
        demo->Frame();
        EXPECT_EQ(exit->m_fFade, std::min(1.0f, 0.0625f * frame)) << "frame " << frame;
        ASSERT_TRUE(level_is(255)) << "frame " << frame << ": the music is not at full volume";
    }
    EXPECT_EQ(demo->ActiveEffects().size(), 2u);
    EXPECT_EQ(Bystander::deaths, 0);
    for (int frame = 41; frame <= 56; ++frame) {
        ASSERT_FALSE(g_bQuit) << "quit before the fade ended, frame " << frame;
        demo->Frame();
        const int k = frame - 41;  // fade-out frames before this one
        const int volume = static_cast<int>((1.0f - 0.0625f * static_cast<float>(k)) * 255.0f);
        EXPECT_TRUE(level_is(volume)) << "frame " << frame << ": expected volume " << volume;
        EXPECT_EQ(Bystander::deaths, 1) << "frame " << frame << ": the rest must go in the first fade-out frame";
        if (frame < 56) {
            EXPECT_EQ(exit->m_fFade, 1.0f - 0.0625f * static_cast<float>(k + 1));
            EXPECT_EQ(demo->ActiveEffects().size(), 1u);
        }
    }
    // Frame 56 brought the fade to 0: the screen is gone and the program
    // asked to end; the last volume set was 15, and nothing lowered it more.
    EXPECT_TRUE(g_bQuit);
    EXPECT_TRUE(demo->ActiveEffects().empty());
    EXPECT_TRUE(level_is(15));
}

// --- on the device: the water filter ----------------------------------------

class WaterFade : public IntroScreens {
protected:
    static void SetUpTestSuite() {
        if (showtest::ShowDevice()) LoadAllAssets();
    }
    static void TearDownTestSuite() { ResetAssetCacheForTests(); }

    // The screen drawn alone over white.
    showtest::Frame Draw(int picture, float fade, float time) {
        CIntroScreens e;
        e.m_nPicture = picture;
        e.m_fFade = fade;
        e.m_fTime = time;
        showtest::BeginFrame(0xFFFFFFFF);
        e.Render();
        showtest::EndFrame();
        return showtest::ReadFrame();
    }
    // The picture as the plain 2D layer draws it, over white.
    showtest::Frame Plain(int picture) {
        const CTexture* t = GetTexture(g_IntroPictures[picture]);
        showtest::BeginFrame(0xFFFFFFFF);
        if (t) DrawTexture(t, CVector2(0.0f, 0.0f), t->GetSize(), 0xFFFFFFFF);
        showtest::EndFrame();
        return showtest::ReadFrame();
    }
    // Largest channel difference between b and (a blended over white by
    // alpha), away from the screen's edge, and how many pixels differ by more
    // than 8.
    static std::pair<int, int> Compare(const showtest::Frame& a, float alpha, const showtest::Frame& b) {
        int worst = 0, many = 0;
        for (int y = 4; y < 764; ++y) {
            for (int x = 4; x < 1020; ++x) {
                const showtest::Rgb pa = a.At(x, y), pb = b.At(x, y);
                const uint8_t ca[3] = {pa.r, pa.g, pa.b}, cb[3] = {pb.r, pb.g, pb.b};
                int d = 0;
                for (int c = 0; c < 3; ++c) {
                    const float expect = ca[c] * alpha + 255.0f * (1.0f - alpha);
                    d = std::max(d, static_cast<int>(std::lround(std::fabs(cb[c] - expect))));
                }
                worst = std::max(worst, d);
                many += d > 8;
            }
        }
        return {worst, many};
    }
};

TEST_F(WaterFade, FadeZeroDrawsNothingAndFullFadeIsThePictureUntouched) {
    ASSERT_NE(GetEffect(kWaterFadeEffectId), nullptr) << "Data\\PP_WaterFade.fx did not compile";
    const showtest::Frame nothing = Draw(1, 0.0f, 3.0f);
    EXPECT_EQ(nothing.CountNot(0, 0, 1024, 768, {255, 255, 255}), 0);
    for (int picture : {0, 1, 2}) {
        const showtest::Frame plain = Plain(picture);
        const showtest::Frame shown = Draw(picture, 1.0f, 7.25f);
        if (picture == 1) showtest::SavePng(shown, "intro_fade1");
        const auto [worst, many] = Compare(plain, 1.0f, shown);
        EXPECT_LE(worst, 1) << "picture " << picture;
        EXPECT_GT(plain.CountNot(0, 0, 1024, 768, {255, 255, 255}), 10000) << "picture " << picture << " is blank";
    }
}

TEST_F(WaterFade, HalfwayTheLogoOnlyCrossFadesWhileTheOthersRipple) {
    // Fade 0.5: alpha 0.5 and, but for the logo, a bend of up to half a
    // texture width.
    const auto [logo_worst, logo_many] = Compare(Plain(0), 0.5f, Draw(0, 0.5f, 4.0f));
    EXPECT_LE(logo_worst, 2);
    const showtest::Frame rippled = Draw(1, 0.5f, 4.0f);
    showtest::SavePng(rippled, "intro_fade_half");
    const auto [worst, many] = Compare(Plain(1), 0.5f, rippled);
    EXPECT_GT(many, 20000) << "no visible distortion at fade 0.5";
    // The ripples move with the time value.
    const showtest::Frame later = Draw(1, 0.5f, 5.0f);
    EXPECT_GT(Compare(rippled, 1.0f, later).second, 20000);
}

// The fade's numbers: the picture's coverage and the water's strength follow
// a cosine ease of the fade, (cos(fade pi) + 1) / 2 from 1 down to 0; the
// two samples of the normal map scroll at their speeds (texture widths a
// second: 0.15 and -0.1 across, 0.26 and 0.1 down); the logo never bends.
TEST_F(WaterFade, CoverageAndBendFollowACosineEaseAndTheWavesScrollAtTheirSpeeds) {
    plat::fx::Effect* water = GetEffect(kWaterFadeEffectId);
    ASSERT_NE(water, nullptr);
    EXPECT_EQ(g_fFadeSpeed, 0.1f);
    EXPECT_EQ(g_fU1Speed, 0.15f);
    EXPECT_EQ(g_fV1Speed, 0.26f);
    EXPECT_EQ(g_fU2Speed, -0.1f);
    EXPECT_EQ(g_fV2Speed, 0.1f);
    auto value = [water](const char* name) {
        float v = -100.0f;
        EXPECT_TRUE(water->GetFloat(water->GetParameterByName(name), &v)) << name;
        return v;
    };
    struct Case {
        int picture;
        float fade, time, alpha, bend;
    };
    const Case cases[] = {
        {1, 0.25f, 4.0f, 0.1464466f, 0.8535534f},
        {1, 0.5f, 2.0f, 0.5f, 0.5f},
        {2, 0.75f, 10.0f, 0.8535534f, 0.1464466f},
        {0, 0.25f, 4.0f, 0.1464466f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fade);
        const showtest::Frame shown = Draw(c.picture, c.fade, c.time);
        EXPECT_NEAR(value("g_Alpha"), c.alpha, 1e-5f);
        EXPECT_NEAR(value("g_UVScale"), c.bend, 1e-5f);
        // The first component of each offset: across.
        EXPECT_NEAR(value("g_UV1Offset"), 0.15f * c.time, 1e-5f);
        EXPECT_NEAR(value("g_UV2Offset"), -0.1f * c.time, 1e-5f);
        if (c.picture == 0) {
            // Unbent, the logo is exactly the plain picture at that coverage.
            const auto [worst, many] = Compare(Plain(0), c.alpha, shown);
            EXPECT_LE(worst, 2);
        }
    }
}

}  // namespace
