// The whole show, run as a person would run it headless: one capture at ten
// frames a second from the loading screen to the exit screen's own end,
// with the tuning panels opened, the show fast-forwarded and Escape pressed
// at 30 s. The tests below look at what that one run left: its frames at
// known places, its audio.wav and its log.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/gfx/picture.h"
#include "tests/support/exe_test_util.h"

namespace {

using namespace exetest;

constexpr int kFps = 10;
constexpr int kSamplesPerFrame = 44100 / kFps;
// Clock times of the keys: F1 and F2 once the tower has started, the space
// bar held between them, both panels shut again, Escape at 30 s.
constexpr const char* kKeys = "26.6:F1,27.2:F2,27.6-28.8:Space,29.1:F1,29.3:F2,30:Escape";
constexpr int kEscapeFrame = 300;

struct ShowRun {
    ExeRun exe;
    fs::path dir;
    std::vector<fs::path> frames;
    Wav wav;
    std::map<int, plat::PicturePixels> cache;

    const plat::PicturePixels& Frame(int k) {
        auto it = cache.find(k);
        if (it == cache.end()) {
            plat::PicturePixels p;
            if (k < 0 || k >= static_cast<int>(frames.size()) || !plat::ReadPictureFile(frames[k].string(), &p)) {
                ADD_FAILURE() << "no frame " << k;
                p.width = 1024;
                p.height = 768;
                p.rgba.assign(1024 * 768 * 4, 0);
            }
            it = cache.emplace(k, std::move(p)).first;
        }
        return it->second;
    }
};

// RMS of the mix's left and right over [from, to) seconds.
double Rms(const Wav& wav, double from, double to) {
    const size_t a = static_cast<size_t>(from * 44100) * 2, b = std::min(wav.samples.size(), static_cast<size_t>(to * 44100) * 2);
    if (a >= b) return 0.0;
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += static_cast<double>(wav.samples[i]) * wav.samples[i];
    return std::sqrt(sum / static_cast<double>(b - a));
}

void RunWholeShow(ShowRun* run) {
    run->dir = TempDir("whole_show");
    run->exe = RunKelo(std::string("KELO_LOG=1 ") + kHeadless,
                       "--capture " + run->dir.string() + " --fps " + std::to_string(kFps) + " --keys " + kKeys);
    run->frames = Frames(run->dir);
    ReadWav(run->dir / "audio.wav", &run->wav);
}

void EndsByItselfAfterTheExitScreenWithACleanLog(ShowRun& r) {
    // The exit screen takes about 14 s of show time after Escape.
    EXPECT_GE(r.frames.size(), static_cast<size_t>(kEscapeFrame + 130));
    EXPECT_LE(r.frames.size(), static_cast<size_t>(kEscapeFrame + 150));
    EXPECT_EQ(r.wav.samples.size(), r.frames.size() * kSamplesPerFrame * 2);
    ExpectCleanLog(r.exe.output);
    // Every scripted key reached the show, Escape on its frame.
    EXPECT_EQ(Lines(r.exe.output, "pressed 27"), std::vector<std::string>{"kelo: keys: frame 300: pressed 27"});
    EXPECT_EQ(Lines(r.exe.output, "pressed 112").size(), 2u);
    EXPECT_EQ(Lines(r.exe.output, "pressed 113").size(), 2u);
    EXPECT_EQ(Lines(r.exe.output, "pressed 32").size(), 1u);
}

void LoadingBarGrowsOneAssetPerFrameAndTheMusicStartsWhenItIsFull(ShowRun& r) {
    // The bar's row: 23 assets, 578 pixels from x = 224, a 25-pixel step.
    for (int k = 0; k <= 22; ++k) {
        const plat::PicturePixels& f = r.Frame(k);
        int black = 0;
        for (int x = 200; x < 840; ++x) black += Pixel(f, x, 378).Sum() == 0;
        EXPECT_NEAR(black, 578.0 * (k + 1) / 23.0, 1.5) << "frame " << k;
    }
    // Loading completes on frame 23: silence up to its first sample, the
    // music from there.
    const size_t start = 23 * kSamplesPerFrame * 2;
    ASSERT_GT(r.wav.samples.size(), start + 44100 * 2);
    int loudest_before = 0;
    for (size_t i = 0; i < start; ++i) loudest_before = std::max(loudest_before, std::abs(r.wav.samples[i]));
    EXPECT_EQ(loudest_before, 0);
    EXPECT_GT(Rms(r.wav, 2.3, 3.3), 1000.0);
}

void LogoFadesInUndistortedThenTheIntroPictureComesThroughTheWater(ShowRun& r) {
    // A pixel of the logo's lettering, at 0.2, 2.7, 4.7 and 6 s of show time:
    // darker each time, never anything but a blend of white and its colour.
    const Rgb letter = Pixel(r.Frame(83), 300, 545);
    EXPECT_TRUE(Near(letter, {116, 123, 118}, 24)) << letter.r << " " << letter.g << " " << letter.b;
    int previous = 3 * 255 + 1;
    for (int k : {25, 50, 70, 83}) {
        const Rgb p = Pixel(r.Frame(k), 300, 545);
        EXPECT_LT(p.Sum(), previous) << "frame " << k;
        previous = p.Sum();
    }
    // Without distortion: halfway in, every pixel of the logo's area is the
    // same mix of white and its final colour.
    const plat::PicturePixels& half = r.Frame(50);
    const plat::PicturePixels& full = r.Frame(83);
    double lo = 1, hi = 0;
    for (int y = 100; y < 700; y += 3) {
        for (int x = 200; x < 824; x += 3) {
            const int depth = 3 * 255 - Pixel(full, x, y).Sum();
            if (depth < 150) continue;  // too pale to measure a ratio on
            const double mix = (3 * 255 - Pixel(half, x, y).Sum()) / static_cast<double>(depth);
            lo = std::min(lo, mix);
            hi = std::max(hi, mix);
        }
    }
    EXPECT_GT(lo, 0.05);
    EXPECT_LT(hi - lo, 0.06) << "the fade-in moved pixels";

    // The intro picture's "K": nothing at 5 s, rippling in by 15.7 s, solid
    // by 20 s and held there.
    EXPECT_EQ(Pixel(r.Frame(73), 230, 192).Sum(), 3 * 255);
    EXPECT_TRUE(Near(Pixel(r.Frame(223), 230, 192), {38, 48, 40}, 16));
    EXPECT_TRUE(Near(Pixel(r.Frame(260), 230, 192), {38, 48, 40}, 16));
    // While it comes in, the water moves its pixels: between two frames a
    // tenth of a second apart, much of the picture changes.
    const plat::PicturePixels& a = r.Frame(180);
    const plat::PicturePixels& b = r.Frame(181);
    int changed = 0, total = 0;
    for (int y = 0; y < 768; y += 4) {
        for (int x = 0; x < 1024; x += 4) {
            ++total;
            changed += std::abs(Pixel(a, x, y).Sum() - Pixel(b, x, y).Sum()) > 30;
        }
    }
    EXPECT_GT(changed, total / 50);
}

void PanelsOpenOnTheirKeysAndTheTowerSpinsInTheOverlaysWindow(ShowRun& r) {
    // F1 at frame 266 until 291: the grey panel along the bottom left.
    EXPECT_TRUE(Near(Pixel(r.Frame(270), 5, 760), {128, 128, 128}, 2));
    EXPECT_FALSE(Near(Pixel(r.Frame(296), 5, 760), {128, 128, 128}, 2));
    // F2 at frame 272 until 293: magenta markers of the sync panel.
    auto magenta = [&](int k) {
        const plat::PicturePixels& f = r.Frame(k);
        int n = 0;
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x) {
                const Rgb p = Pixel(f, x, y);
                n += p.r > 200 && p.g < 60 && p.b > 200;
            }
        return n;
    };
    EXPECT_GT(magenta(275), 100);
    EXPECT_EQ(magenta(296), 0);
    // Just before Escape: the overlay's "KELO" and its ring of the round
    // window, and the tower turning inside it.
    const plat::PicturePixels& f = r.Frame(298);
    EXPECT_LT(Pixel(f, 75, 80).Sum(), 3 * 110);
    const Rgb ring = Pixel(f, 676, 80);
    EXPECT_TRUE(ring.g > ring.r && ring.g > ring.b && ring.Sum() < 3 * 200) << ring.r << " " << ring.g << " " << ring.b;
    const plat::PicturePixels& g = r.Frame(299);
    int inside = 0, points = 0;
    for (int y = 250; y < 520; y += 3) {
        for (int x = 560; x < 800; x += 3) {
            ++points;
            inside += std::abs(Pixel(f, x, y).Sum() - Pixel(g, x, y).Sum()) > 20;
        }
    }
    EXPECT_GT(inside, points / 10);
}

void EscapeBringsTheExitPictureAndTakesTheMusicDownToSilence(ShowRun& r) {
    // The exit picture's orange log rings, then white at the very end.
    const plat::PicturePixels& exit = r.Frame(360);
    int orange = 0;
    for (int y = 80; y < 580; y += 2)
        for (int x = 300; x < 720; x += 2) {
            const Rgb p = Pixel(exit, x, y);
            orange += p.r > 180 && p.g < 140 && p.b < 120;
        }
    EXPECT_GT(orange, 1000);
    const plat::PicturePixels& last = r.Frame(static_cast<int>(r.frames.size()) - 1);
    EXPECT_EQ(NonWhite(last, 0, 0, 1024, 768), 0);

    // The music goes down with the exit picture's fade-out: over the last
    // four seconds each second is quieter than the one before, and the last
    // frame's sound is all but silent.
    const double playing = Rms(r.wav, 26.0, 30.0);
    EXPECT_GT(playing, 2000.0);
    const double end = static_cast<double>(r.frames.size()) / kFps;
    double previous = Rms(r.wav, end - 5.0, end - 4.0);
    EXPECT_GT(previous, playing / 2.0) << "the fade started too early";
    for (double t = end - 4.0; t < end - 0.5; t += 1.0) {
        const double level = Rms(r.wav, t, t + 1.0);
        EXPECT_LT(level, previous) << "at " << t << " s";
        previous = level;
    }
    EXPECT_LT(Rms(r.wav, end - 1.0 / kFps, end), playing / 50.0);
}

// Every full-screen picture covers the screen to its edges: the outermost
// rows and columns continue the picture next to them rather than showing a
// line of what lies beneath (the overlay's tint, the clear colour). The
// pictures have detail of their own at the edges (the trees along the
// bottom, the overlay's rings), so a line shows as most of an edge
// differing from its neighbour, not as a few pixels.
void FullScreenPicturesReachEveryEdge(ShowRun& r) {
    // Loading, the logo, the intro picture going out over the tower, the
    // tower in the overlay, the exit picture.
    for (int k : {10, 83, 260, 298, 360}) {
        const plat::PicturePixels& f = r.Frame(k);
        auto differ = [&](int x0, int y0, int x1, int y1, int dx, int dy) {
            int n = 0;
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) n += std::abs(Pixel(f, x, y).Sum() - Pixel(f, x + dx, y + dy).Sum()) > 30;
            return n;
        };
        EXPECT_LT(differ(0, 0, 0, 767, 1, 0), 768 / 4) << "frame " << k << ": a line down the left edge";
        EXPECT_LT(differ(1023, 0, 1023, 767, -1, 0), 768 / 4) << "frame " << k << ": a line down the right edge";
        EXPECT_LT(differ(0, 0, 1023, 0, 0, 1), 1024 / 4) << "frame " << k << ": a line along the top edge";
        EXPECT_LT(differ(0, 767, 1023, 767, 0, -1), 1024 / 4) << "frame " << k << ": a line along the bottom edge";
    }
}

// One run for all the checks: a capture of the whole show takes a minute.
TEST(WholeShow, FromLoadingToTheEndOfTheExitScreen) {
    ShowRun run;
    RunWholeShow(&run);
    ASSERT_EQ(run.exe.status, 0) << run.exe.output;
    for (auto [name, check] : {std::pair{"ending and log", &EndsByItselfAfterTheExitScreenWithACleanLog},
                               std::pair{"loading", &LoadingBarGrowsOneAssetPerFrameAndTheMusicStartsWhenItIsFull},
                               std::pair{"intro", &LogoFadesInUndistortedThenTheIntroPictureComesThroughTheWater},
                               std::pair{"tower and panels", &PanelsOpenOnTheirKeysAndTheTowerSpinsInTheOverlaysWindow},
                               std::pair{"exit", &EscapeBringsTheExitPictureAndTakesTheMusicDownToSilence},
                               std::pair{"edges", &FullScreenPicturesReachEveryEdge}}) {
        SCOPED_TRACE(name);
        check(run);
    }
    fs::remove_all(run.dir);
}

}  // namespace
