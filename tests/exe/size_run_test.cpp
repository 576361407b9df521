// The executable at sizes other than 1024 x 768: a capture's frames have the
// size asked for; a size it cannot draw at is refused before anything
// starts; and where the picture is made of pictures (the loading screen,
// the logo, the event's picture), a 2048 x 1536 capture boxed down by 2 is
// the 1024 x 768 capture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/exe_test_util.h"

namespace {

using namespace exetest;

TEST(SizeRun, CaptureFramesHaveTheSizeAskedFor) {
    for (const char* size : {"2048x1536", "640x480"}) {
        const fs::path dir = TempDir("size");
        const ExeRun r = RunKelo(kHeadless, "--capture " + dir.string() + " --frames 2 --size " + size);
        ASSERT_EQ(r.status, 0) << r.output;
        ExpectCleanLog(r.output);
        const std::vector<fs::path> frames = Frames(dir);
        ASSERT_EQ(frames.size(), 2u);
        plat::PicturePixels p;
        ASSERT_TRUE(plat::ReadPictureFile(frames.back().string(), &p));
        EXPECT_EQ(std::to_string(p.width) + "x" + std::to_string(p.height), size);
        fs::remove_all(dir);
    }
}

TEST(SizeRun, AShapeItCannotDrawIsRefusedWithStatusTwo) {
    const fs::path dir = TempDir("size_bad");
    const ExeRun r = RunKelo(kHeadless, "--capture " + dir.string() + " --size 1920x1080");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("kelo: --size: '1920x1080' is not 4:3"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir)) << "refused before the capture began";
}

struct Difference {
    double mean[3] = {};  // per channel, over the frame
    int max[3] = {};
    int pixels_off = 0;   // pixels with any channel more than 2 apart
};

// `big` (2W x 2H) averaged over 2 x 2 blocks, against `small` (W x H).
Difference BoxedDown(const plat::PicturePixels& small, const plat::PicturePixels& big) {
    Difference d;
    const size_t w = static_cast<size_t>(small.width), h = static_cast<size_t>(small.height);
    double sum[3] = {};
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            bool off = false;
            for (size_t c = 0; c < 3; ++c) {
                auto at = [&](size_t bx, size_t by) { return int(big.rgba[(by * 2 * w + bx) * 4 + c]); };
                const int boxed = (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) +
                                   at(2 * x + 1, 2 * y + 1) + 2) / 4;
                const int diff = std::abs(boxed - int(small.rgba[(y * w + x) * 4 + c]));
                sum[c] += diff;
                d.max[c] = std::max(d.max[c], diff);
                off = off || diff > 2;
            }
            d.pixels_off += off;
        }
    }
    for (int c = 0; c < 3; ++c) d.mean[c] = sum[c] / static_cast<double>(w * h);
    return d;
}

// The sharp enlargement of the 2D layer and the water fade puts all four
// pixels of a 2 x 2 block on the texel the 1024 x 768 pixel shows, so the
// block's mean is that pixel; 2 levels leave room for the last bit of a
// blend, no more (a bilinear enlargement is 30 to 127 levels off at the
// loading screen's box lines, a picture one pixel out far more). The one
// place allowed to differ is the loading bar's end: a rectangle edge that
// is not snapped, at a fraction of a pixel, half covers one pixel column
// of the 2x frame (16 rows high) where it covers or misses the 1x pixel.
TEST(SizeRun, TwiceTheSizeBoxedDownIsTheOriginalPicture) {
    // Space held from the start: the logo is in full view at frame 32, the
    // event's picture at frame 50 (5 frames a second).
    const std::string args = " --fps 5 --frames 51 --keys 0-12:Space";
    const fs::path dir1 = TempDir("size_1x"), dir2 = TempDir("size_2x");
    const ExeRun r1 = RunKelo(kHeadless, "--capture " + dir1.string() + args);
    ASSERT_EQ(r1.status, 0) << r1.output;
    const ExeRun r2 = RunKelo(kHeadless, "--capture " + dir2.string() + " --size 2048x1536" + args);
    ASSERT_EQ(r2.status, 0) << r2.output;
    ExpectCleanLog(r2.output);

    const struct {
        const char* what;
        const char* frame;
        int pixels_off;
    } cases[] = {{"loading screen", "frame_000000.png", 16},
                 {"logo", "frame_000032.png", 0},
                 {"event picture", "frame_000050.png", 0}};
    for (const auto& c : cases) {
        plat::PicturePixels small, big;
        ASSERT_TRUE(plat::ReadPictureFile((dir1 / c.frame).string(), &small)) << c.frame;
        ASSERT_TRUE(plat::ReadPictureFile((dir2 / c.frame).string(), &big)) << c.frame;
        ASSERT_EQ(big.width, 2 * small.width);
        ASSERT_EQ(big.height, 2 * small.height);
        const Difference d = BoxedDown(small, big);
        EXPECT_LE(d.pixels_off, c.pixels_off) << c.what;
        for (int ch = 0; ch < 3; ++ch) EXPECT_LT(d.mean[ch], 0.05) << c.what << " channel " << ch;
    }
    fs::remove_all(dir1);
    fs::remove_all(dir2);
}

}  // namespace
