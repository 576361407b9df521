// The post-processing chain and its eight effect files on the real device:
// each file on known pictures uploaded into the scene targets, the quad
// arithmetic of the scale annotations, the ping-pong order, and the present
// step over the back buffer.
#include "render/post_process.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "app/device.h"
#include "data/resource_ids.h"
#include "data/creators.h"
#include "data/texture.h"
#include "platform/fx/effect.h"
#include "render/scene_renderer.h"
#include "tests/support/show_test_util.h"

using namespace plat::gfx;
using namespace showtest;

namespace {

constexpr int kW = 1024, kH = 768;
using Texel = std::array<float, 4>;

// Ids of the embedded files.
enum : uint32_t {
    kSsao = kSsaoEffectId, kSsaoCombine = kSsaoCombineEffectId, kCombine = kColorCombineEffectId,
    kCombine4 = kColorCombine4EffectId, kBlurH = kColorBlurHEffectId, kBlurV = kColorBlurVEffectId,
    kDownFilter4 = kColorDownFilter4EffectId, kBrightPass = kColorBrightPassEffectId
};

// The blur's weights for offsets 0..6.
constexpr float kBlurWeights[7] = {0.199471f, 0.176033f, 0.120985f, 0.064759f, 0.026995f, 0.008764f, 0.002216f};
constexpr float kBlurSum = 0.998975f;

void Fill(const CTexture* t, const std::function<Texel(int, int)>& texel) {
    std::vector<float> rgba(size_t{kW} * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const Texel v = texel(x, y);
            std::copy(v.begin(), v.end(), &rgba[(static_cast<size_t>(y) * kW + static_cast<size_t>(x)) * 4]);
        }
    ASSERT_TRUE(t && t->m_pTexture && t->m_pTexture->Upload(0, rgba.data()));
}

struct Image {
    std::vector<float> rgba;
    Texel At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * kW + static_cast<size_t>(x)) * 4;
        return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
    }
    float R(int x, int y) const { return At(x, y)[0]; }
};

Image Read(const CTexture* t) {
    Image img;
    EXPECT_TRUE(t && t->m_pSurface && ShowDevice()->ReadSurface(t->m_pSurface, img.rgba));
    if (img.rgba.size() != size_t{kW} * kH * 4) img.rgba.assign(size_t{kW} * kH * 4, -1.f);
    return img;
}

// Pixels of `img` in [x0, x1) x [y0, y1) whose channels are not within tol of want.
int CountOff(const Image& img, int x0, int y0, int x1, int y1, Texel want, float tol) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Texel v = img.At(x, y);
            for (int c = 0; c < 4; ++c) {
                if (!(std::fabs(v[c] - want[c]) <= tol)) {
                    ++n;
                    break;
                }
            }
        }
    return n;
}

// The distance between neighbouring 16-bit floats around `v`.
float Step(float v) {
    int e = 0;
    std::frexp(v, &e);
    return std::ldexp(1.f, e - 11);
}

// The value an uploaded `v` has in a target of four 16-bit floats.
float Half(float v) { return std::round(v / Step(v)) * Step(v); }

class PostProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ShowDevice(), nullptr);
        errors_before = ShowDevice()->GlErrorCount();
        InitSceneRenderer();
        ASSERT_NE(GetSceneEffect(), nullptr);
        for (uint32_t id : {kSsao, kSsaoCombine, kCombine, kCombine4, kBlurH, kBlurV, kDownFilter4, kBrightPass}) {
            effects[id] = CreateEffectFromResource(id, "test");
            ASSERT_NE(effects[id], nullptr) << "effect " << id << " did not compile";
        }
        BeginFrame(0xFF102030);
        // Alpha 1 unless a test says otherwise; depth and normal as after a
        // scene pass that drew nothing.
        Fill(GetSceneTarget(1), [](int, int) { return Texel{0, 0, 1, 1}; });
        Fill(GetSceneTarget(2), [](int, int) { return Texel{1, 1, 1, 0}; });
    }
    void TearDown() override {
        EndFrame();
        for (plat::fx::Effect*& e : effects)
            if (e) e->Release(), e = nullptr;
        ReleaseSceneRenderer();
        if (ShowDevice()) {
            EXPECT_EQ(ShowDevice()->GlErrorCount(), errors_before) << "GL errors during the test";
        }
    }
    // One chain of the given links over scene target 0 = `picture`; returns
    // the chain's last output.
    Image Chain(std::initializer_list<uint32_t> links) {
        BeginPostProcess();
        for (uint32_t id : links) RunPostProcess(effects[id]);
        const Image out = Read(GetPostTarget(links.size() % 2));
        PresentPostProcess();
        return out;
    }
    plat::fx::Effect* effects[256] = {};
    uint32_t errors_before = 0;
};

TEST_F(PostProcess, BlurKeepsAConstantAtTheWeightSumAndSpreadsALineAlongItsOwnAxis) {
    Fill(GetSceneTarget(0), [](int, int) { return Texel{0.75f, 0.75f, 0.75f, 1.f}; });
    const Texel flat{0.75f * kBlurSum, 0.75f * kBlurSum, 0.75f * kBlurSum, kBlurSum};
    // One step of the target's precision: llvmpipe truncates when it writes
    // 16-bit floats. Weights normalised to 1 would be two steps away.
    const float tol = Step(0.75f);
    EXPECT_EQ(CountOff(Chain({kBlurH}), 0, 0, kW, kH, flat, tol), 0);
    EXPECT_EQ(CountOff(Chain({kBlurV}), 0, 0, kW, kH, flat, tol), 0);

    // A one-pixel vertical line: the horizontal blur draws the weights out
    // beside it; the vertical one leaves it a line (it runs along it).
    Fill(GetSceneTarget(0), [](int x, int) { return Texel{x == 500 ? 1.f : 0.f, 0, 0, 1}; });
    const Image h = Chain({kBlurH});
    for (int k = -7; k <= 7; ++k) {
        const float want = std::abs(k) <= 6 ? kBlurWeights[std::abs(k)] : 0.f;
        EXPECT_NEAR(h.R(500 + k, 300), want, 2e-4f) << k;
    }
    const Image v = Chain({kBlurV});
    EXPECT_NEAR(v.R(500, 300), kBlurSum, 5e-4f);
    EXPECT_EQ(v.R(499, 300), 0.f);
    EXPECT_EQ(v.R(501, 300), 0.f);
}

TEST_F(PostProcess, DownFilterAveragesFourByFourBlocksIntoTheTopLeftQuarter) {
    Fill(GetSceneTarget(0), [](int, int) { return Texel{0.6f, 0.3f, 0.9f, 1.f}; });
    const Texel c{Half(0.6f), Half(0.3f), Half(0.9f), 1.f};
    BeginPostProcess();
    RunPostProcess(effects[kDownFilter4]);
    // The annotations pull the far edges in to 255.5 and 191.5; the near
    // ones stay at -0.5, and set 0 still spans the whole source.
    const ScreenQuadVertex* q = GetPostProcessQuad();
    EXPECT_EQ(q[0].x, -0.5f);
    EXPECT_EQ(q[0].y, -0.5f);
    EXPECT_EQ(q[1].x, 255.5f);
    EXPECT_EQ(q[3].x, 255.5f);
    EXPECT_EQ(q[2].y, 191.5f);
    EXPECT_EQ(q[3].y, 191.5f);
    EXPECT_EQ(q[3].u0, 1.f);
    EXPECT_EQ(q[3].v0, 1.f);
    const Image out = Read(GetPostTarget(1));
    PresentPostProcess();
    EXPECT_EQ(CountOff(out, 0, 0, 256, 192, c, 1e-3f), 0);
    // Pixels 0-255 by 0-191 exactly; the rest keeps the clear.
    EXPECT_EQ(CountOff(out, 256, 0, kW, kH, Texel{0, 0, 0, 0}, 0.f), 0);
    EXPECT_EQ(CountOff(out, 0, 192, 256, kH, Texel{0, 0, 0, 0}, 0.f), 0);

    // One lit 4 x 4 block, screen pixels 8-11 by 4-7, is quarter pixel (2, 1)
    // and nothing else: each output reads exactly its own block.
    Fill(GetSceneTarget(0), [](int x, int y) { return Texel{x >= 8 && x < 12 && y >= 4 && y < 8 ? 1.f : 0.f, 0, 0, 1}; });
    const Image block = Chain({kDownFilter4});
    EXPECT_NEAR(block.R(2, 1), 1.f, 1e-3f);
    for (auto [x, y] : {std::pair{1, 1}, {3, 1}, {2, 0}, {2, 2}}) EXPECT_NEAR(block.R(x, y), 0.f, 1e-5f) << x << "," << y;
}

TEST_F(PostProcess, BrightPassIsZeroUpTo0_5074AndFollowsItsCurveAbove) {
    // Column x holds x / 640: 0 .. 1.6, with 0.5074 at column 0 and 1.0 at
    // column 1 so both land exactly.
    Fill(GetSceneTarget(0), [](int x, int) {
        const float v = x == 0 ? 0.5074f : x == 1 ? 1.f : static_cast<float>(x) / 640.f;
        return Texel{v, v, v, 1.f};
    });
    const Image in = Read(GetSceneTarget(0));
    const Image out = Chain({kBrightPass});
    auto curve = [](double c) {
        c *= 0.18 / (0.06 + 0.001);
        c *= 1.0 + c / (0.8 * 0.8);
        c = std::max(c - 5.0, 0.0);
        return c / (10.0 + c) * 0.25;
    };
    int wrong = 0;
    for (int x = 0; x < kW; ++x) {
        const float input = in.R(x, 100);
        const double want = curve(input);
        const float got = out.R(x, 100);
        if (input <= 0.5074f ? got != 0.f : std::fabs(got - want) > 2e-3 * want + 1e-5) {
            if (++wrong <= 5) ADD_FAILURE() << "input " << input << ": " << got << ", want " << want;
        }
        EXPECT_LT(got, 0.25f);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(out.R(0, 100), 0.f);
    EXPECT_NEAR(out.R(1, 100), 0.134023f, 1.5e-4f);  // curve(1.0)
    EXPECT_NEAR(out.At(1, 100)[3], 0.134023f, 1.5e-4f) << "alpha goes through the curve too";
}

TEST_F(PostProcess, AmbientOcclusionCountsBrighterNeighboursOverItsLopsidedPattern) {
    // Cases 100 pixels apart on row 384 (the pattern reaches 20 pixels):
    //   x = 100  background (z = 1)                         -> white
    //   x = 200  red 1 on geometry                          -> white
    //   x = 300  red 0.5 in a flat field of 0.5              -> 0.75
    //   x = 400  red 0.3 in a brighter field of 0.6          -> 0.75
    //   x = 500  red 0.9, darker all around (0.2)            -> 0.0075: only its own tap
    //   x = 600  as 500, plus a bright pixel 10 to the left  -> 0.015: taps reach -10
    //   x = 700  as 500, plus a bright pixel 10 to the right -> 0.0075: taps stop at +8
    //   x = 800  as 600 at z = -1 with the bright pixel 20 to the left and up -> 0.015
    Fill(GetSceneTarget(0), [](int x, int y) {
        float r = 0.2f;
        if (x < 250) r = 1.f;
        if (x >= 250 && x < 350) r = 0.5f;
        if (x >= 350 && x < 450) r = x == 400 && y == 384 ? 0.3f : 0.6f;
        if (y == 384 && (x == 500 || x == 600 || x == 700)) r = 0.9f;
        if (y == 384 && (x == 590 || x == 710)) r = 1.f;
        if (x == 800 && y == 384) r = 0.9f;
        if (x == 780 && y == 364) r = 1.f;
        return Texel{r, r, r, 1.f};
    });
    Fill(GetSceneTarget(2), [](int x, int) {
        if (x < 150) return Texel{1, 1, 1, 0};
        return Texel{0, 0, x >= 750 ? -1.f : 0.f, 1};
    });
    const Image out = Chain({kSsao});
    const Texel white{1, 1, 1, 1};
    EXPECT_EQ(out.At(100, 384), white);
    EXPECT_EQ(out.At(200, 384), white);
    auto grey = [](float o) { return Texel{o, o, o, 1}; };
    EXPECT_EQ(CountOff(out, 280, 300, 320, 400, grey(0.75f), 1e-3f), 0);
    EXPECT_NEAR(out.R(400, 384), 0.75f, 1e-3f);
    // The pixel's own tap is one of the hundred, so a pixel brighter than
    // every neighbour reads 0.01 * 0.75, not 0.
    EXPECT_NEAR(out.R(500, 384), 0.0075f, 1e-5f);
    EXPECT_NEAR(out.R(600, 384), 0.015f, 1e-5f);
    EXPECT_NEAR(out.R(700, 384), 0.0075f, 1e-5f);
    EXPECT_NEAR(out.R(800, 384), 0.015f, 1e-5f);
}

TEST_F(PostProcess, CombinesMultiplyTheirInputs) {
    // As a first link, the running image is scene target 0 as well.
    Fill(GetSceneTarget(0), [](int, int) { return Texel{0.5f, 0.25f, 0.8f, 1.f}; });
    const float b = Half(0.8f);
    // Ambient-occlusion combine: all four channels times the source's red.
    EXPECT_EQ(CountOff(Chain({kSsaoCombine}), 0, 0, kW, kH, Texel{0.25f, 0.125f, 0.5f * b, 0.5f}, 2e-4f), 0);
    // The unused combine copies the source colour.
    EXPECT_EQ(CountOff(Chain({kCombine}), 0, 0, kW, kH, Texel{0.5f, 0.25f, b, 1.f}, 0.f), 0);

    // The 4x combine after a quarter-size link: quarter image times the
    // source, component-wise, enlarged back to the whole target. The outer
    // two rows and columns mix in the cleared texels past the quarter
    // (wrapping at the near edges).
    BeginPostProcess();
    RunPostProcess(effects[kDownFilter4]);
    RunPostProcess(effects[kCombine4]);
    const ScreenQuadVertex* q = GetPostProcessQuad();
    EXPECT_EQ(q[3].x, 1023.5f);
    EXPECT_EQ(q[3].y, 767.5f);
    EXPECT_EQ(q[1].x, 1023.5f);
    EXPECT_EQ(q[2].y, 767.5f);
    EXPECT_EQ(q[3].u0, 0.25f) << "set 0 reads the quarter the previous link wrote";
    EXPECT_EQ(q[3].v0, 0.25f);
    EXPECT_EQ(q[3].u1, 1.f);
    EXPECT_EQ(q[3].v1, 1.f);
    const Image out = Read(GetPostTarget(0));
    PresentPostProcess();
    EXPECT_EQ(CountOff(out, 2, 2, kW - 2, kH - 2, Texel{0.25f, 0.0625f, b * b, 1.f}, 1e-3f), 0);
    EXPECT_LT(out.R(0, 400), 0.2f);
    EXPECT_LT(out.R(1023, 400), 0.2f);
}

TEST_F(PostProcess, LinksPingPongAndTheFirstAlwaysReadsSceneTargetZero) {
    // An earlier chain leaves 0.8 in both post targets.
    Fill(GetSceneTarget(0), [](int, int) { return Texel{0.8f, 0.8f, 0.8f, 1.f}; });
    Chain({kBlurH, kBlurH});
    // The next chain starts over from scene target 0 and writes post target
    // 1 first, then 0, then 1: two blurs in, the value has lost two weight sums.
    Fill(GetSceneTarget(0), [](int, int) { return Texel{0.4f, 0.4f, 0.4f, 1.f}; });
    BeginPostProcess();
    RunPostProcess(effects[kBlurH]);
    EXPECT_NEAR(Read(GetPostTarget(1)).R(300, 300), Half(0.4f) * kBlurSum, 3e-4f);
    EXPECT_NEAR(Read(GetPostTarget(0)).R(300, 300), 0.8f * kBlurSum * kBlurSum, 1e-3f) << "not written yet";
    RunPostProcess(effects[kBlurV]);
    EXPECT_NEAR(Read(GetPostTarget(0)).R(300, 300), Half(0.4f) * kBlurSum * kBlurSum, 3e-4f);
    // A link whose effect failed still takes its turn: its target is
    // cleared, and the next link reads that.
    RunPostProcess(nullptr);
    EXPECT_EQ(Read(GetPostTarget(1)).At(300, 300), (Texel{0, 0, 0, 0}));
    RunPostProcess(effects[kBlurH]);
    EXPECT_EQ(Read(GetPostTarget(0)).At(300, 300), (Texel{0, 0, 0, 0}));
    PresentPostProcess();
}

TEST_F(PostProcess, PresentBlendsTheResultOverTheWholeBackBufferPixelForPixel) {
    Device* d = ShowDevice();
    Surface* back = d->BackBuffer();
    const uint32_t refs = back->RefCount();
    // Left: opaque red. Right: blue at alpha 0.5. Bottom band: alpha 0,
    // which the alpha test keeps off the back buffer.
    Fill(GetSceneTarget(0), [](int x, int y) {
        if (y >= 600) return Texel{1, 1, 1, 0};
        return x < 512 ? Texel{1, 0, 0, 1} : Texel{0, 0, 1, 0.5f};
    });
    BeginPostProcess();
    EXPECT_EQ(back->RefCount(), refs + 1);
    RunPostProcess(effects[kCombine]);
    Surface* current = nullptr;
    d->GetRenderTarget(0, &current);
    EXPECT_EQ(current, GetPostTarget(1)->m_pSurface);
    if (current) current->Release();
    PresentPostProcess();
    d->GetRenderTarget(0, &current);
    EXPECT_EQ(current, back);
    if (current) current->Release();
    EXPECT_EQ(back->RefCount(), refs);

    EndFrame();
    const Frame f = ReadFrame();
    BeginFrame(0xFF102030);
    const Rgb clear{0x10, 0x20, 0x30};
    // Scene pixel (x, y) lands on screen pixel (x, y), the edges included:
    // row and column 0 are red, not the clear colour showing through.
    EXPECT_EQ(f.CountNot(0, 0, 512, 1, Rgb{255, 0, 0}), 0);
    EXPECT_EQ(f.CountNot(0, 0, 1, 600, Rgb{255, 0, 0}), 0);
    EXPECT_EQ(f.At(511, 300), (Rgb{255, 0, 0})) << "scene column 511";
    for (const Rgb half_blue : {f.At(512, 300), f.At(1023, 0), f.At(1023, 599)}) {
        EXPECT_NEAR(half_blue.r, 0x10 / 2, 1);
        EXPECT_NEAR(half_blue.g, 0x20 / 2, 1);
        EXPECT_NEAR(half_blue.b, (0x30 + 255) / 2, 1);
    }
    EXPECT_EQ(f.CountNot(0, 600, 1024, 768, clear), 0) << "alpha 0 leaves the back buffer alone";
}

}  // namespace
