// Pictures decoded into device textures: formats with and without alpha,
// sizes, the mip chain, and bytes that are not a picture.
#include "platform/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "app/device.h"
#include "platform/log.h"
#include "tests/show_test_util.h"

using namespace plat::gfx;
using namespace showtest;

namespace {

// ---- A PNG writer for test pictures: stored (uncompressed) deflate
// blocks, so every byte of the picture is the test's own choice.

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void Be32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    Be32(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Be32(png, Crc32(png.data() + start, png.size() - start));
}

struct PngSpec {
    int width = 0, height = 0;
    int depth = 8;
    int colour_type = 6;        // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    std::vector<uint8_t> rows;  // height rows of packed samples, no filter bytes
    std::vector<uint8_t> palette, transparency;
};

std::vector<uint8_t> EncodePng(const PngSpec& s) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    Be32(ihdr, static_cast<uint32_t>(s.width));
    Be32(ihdr, static_cast<uint32_t>(s.height));
    ihdr.insert(ihdr.end(), {static_cast<uint8_t>(s.depth), static_cast<uint8_t>(s.colour_type), 0, 0, 0});
    Chunk(png, "IHDR", ihdr);
    if (!s.palette.empty()) Chunk(png, "PLTE", s.palette);
    if (!s.transparency.empty()) Chunk(png, "tRNS", s.transparency);

    std::vector<uint8_t> raw;  // filter type 0 before every row
    const size_t row_bytes = s.rows.size() / static_cast<size_t>(s.height);
    for (int y = 0; y < s.height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), s.rows.begin() + y * row_bytes, s.rows.begin() + (y + 1) * row_bytes);
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n >= raw.size() ? 1 : 0);
        z.insert(z.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
                           static_cast<uint8_t>(~n >> 8)});
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        if (raw.empty()) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    Be32(z, b << 16 | a);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

// 16 x 8 pixels, red 220 / green 40 / blue 30 on the left half and
// 20 / 40 / 200 on the right, written by stb_image_write at quality 95.
constexpr uint8_t kJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x84, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
    0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04,
    0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06,
    0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0b, 0x08, 0x09, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x06, 0x08,
    0x0b, 0x0c, 0x0b, 0x0a, 0x0c, 0x09, 0x0a, 0x0a, 0x0a, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02,
    0x05, 0x03, 0x03, 0x05, 0x0a, 0x07, 0x06, 0x07, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0xff, 0xc0, 0x00, 0x11, 0x08, 0x00,
    0x08, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xff, 0xc4, 0x01,
    0xa2, 0x00, 0x00, 0x01, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x10, 0x00,
    0x02, 0x01, 0x03, 0x03, 0x02, 0x04, 0x03, 0x05, 0x05, 0x04, 0x04, 0x00, 0x00, 0x01, 0x7d, 0x01,
    0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22,
    0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24,
    0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29,
    0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a,
    0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a,
    0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a,
    0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8,
    0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6,
    0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3,
    0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9,
    0xfa, 0x01, 0x00, 0x03, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x11, 0x00,
    0x02, 0x01, 0x02, 0x04, 0x04, 0x03, 0x04, 0x07, 0x05, 0x04, 0x04, 0x00, 0x01, 0x02, 0x77, 0x00,
    0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13,
    0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15,
    0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27,
    0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88,
    0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6,
    0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4,
    0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9,
    0xfa, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0xf9,
    0xca, 0xbf, 0x9c, 0x8f, 0xf5, 0xac, 0xf9, 0x76, 0xbf, 0xdd, 0xa3, 0xfc, 0x38, 0x3f, 0xff, 0xd9,
};

// ---- Reading a texture level back through the device.

struct Rgba {
    uint8_t r, g, b, a;
};

// Texels of one level, fetched by index (no filtering) onto the back buffer
// twice: colour, then alpha as grey.
std::vector<Rgba> ReadLevel(Texture* texture, uint32_t level) {
    static Shader* fetch = [] {
        std::string log;
        Shader* s = ShowDevice()->CreateShader(ShaderStage::Pixel, R"(
            layout(location = 2) in vec2 v_uv;
            layout(binding = 0) uniform sampler2D s0;
            uniform int u_level;
            uniform int u_alpha;
            layout(location = 0) out vec4 o_color;
            void main() {
                vec4 t = texelFetch(s0, ivec2(v_uv * vec2(textureSize(s0, u_level))), u_level);
                o_color = u_alpha != 0 ? vec4(t.aaa, 1.0) : vec4(t.rgb, 1.0);
            })",
                                               "o_color", &log);
        EXPECT_NE(s, nullptr) << log;
        return s;
    }();
    SurfaceDesc desc;
    if (!fetch || !texture->GetLevelDesc(level, &desc)) return {};
    Device* d = ShowDevice();
    std::vector<Rgba> texels(static_cast<size_t>(desc.width) * desc.height);
    for (int alpha = 0; alpha < 2; ++alpha) {
        BeginFrame(0xFF000000);
        d->SetRenderState(RS::ZEnable, 0);
        d->SetRenderState(RS::CullMode, CULL_NONE);
        d->SetVertexDeclaration(GetVertexDecl(VD_PosTColTex));
        d->SetPixelShader(fetch);
        d->SetTexture(0, texture);
        fetch->SetInt("u_level", static_cast<int>(level));
        fetch->SetInt("u_alpha", alpha);
        // Pixels 0..w-1 exactly: edges half a pixel outside their centres.
        const float w = static_cast<float>(desc.width) - 0.5f, h = static_cast<float>(desc.height) - 0.5f;
        struct V {
            float x, y, z, rhw;
            uint32_t c;
            float u, v;
        } q[4] = {{-0.5f, -0.5f, 0, 1, ~0u, 0, 0}, {w, -0.5f, 0, 1, ~0u, 1, 0},
                  {-0.5f, h, 0, 1, ~0u, 0, 1}, {w, h, 0, 1, ~0u, 1, 1}};
        d->DrawPrimitiveUP(PrimType::TriangleStrip, 2, q, sizeof(V));
        d->SetTexture(0, nullptr);
        d->SetPixelShader(nullptr);
        EndFrame();
        const Frame f = ReadFrame();
        for (uint32_t y = 0; y < desc.height; ++y)
            for (uint32_t x = 0; x < desc.width; ++x) {
                const Rgb c = f.At(static_cast<int>(x), static_cast<int>(y));
                Rgba& t = texels[y * desc.width + x];
                if (alpha) t.a = c.r;
                else t = {c.r, c.g, c.b, 0};
            }
    }
    return texels;
}

class Picture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(ShowDevice(), nullptr); }
    void TearDown() override {
        for (Texture* t : made) t->Release();
    }
    Texture* Make(const std::vector<uint8_t>& bytes, const char* name = "test.png") {
        Texture* t = plat::CreatePictureTexture(ShowDevice(), bytes.data(), bytes.size(), name);
        if (t) made.push_back(t);
        return t;
    }
    static Format FormatOf(Texture* t) {
        SurfaceDesc desc{};
        t->GetLevelDesc(0, &desc);
        return desc.format;
    }
    std::vector<Texture*> made;
};

TEST_F(Picture, RgbaKeepsEveryChannelAndItsSize) {
    // 5 x 3: odd sizes, so level 0 is the picture's own, not a power of two.
    PngSpec s{5, 3, 8, 6, {}, {}, {}};
    for (int i = 0; i < 15; ++i) s.rows.insert(s.rows.end(), {uint8_t(i * 17), uint8_t(255 - i), uint8_t(i), uint8_t(i * 18)});
    Texture* t = Make(EncodePng(s));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(FormatOf(t), Format::A8R8G8B8);
    SurfaceDesc desc{};
    ASSERT_TRUE(t->GetLevelDesc(0, &desc));
    EXPECT_EQ(desc.width, 5u);
    EXPECT_EQ(desc.height, 3u);
    std::vector<Rgba> texels = ReadLevel(t, 0);
    ASSERT_EQ(texels.size(), 15u);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(texels[i].r, i * 17) << i;
        EXPECT_EQ(texels[i].g, 255 - i) << i;
        EXPECT_EQ(texels[i].b, i) << i;
        EXPECT_EQ(texels[i].a, i * 18) << i;
    }
}

TEST_F(Picture, WithoutAlphaSamplesOpaque) {
    PngSpec rgb{2, 1, 8, 2, {10, 20, 30, 40, 50, 60}, {}, {}};
    PngSpec grey{2, 1, 8, 0, {7, 250}, {}, {}};
    PngSpec palette{2, 1, 8, 3, {1, 0}, {1, 2, 3, 200, 100, 50}, {}};
    PngSpec grey16{1, 1, 16, 0, {0x80, 0x00}, {}, {}};
    for (const PngSpec* s : {&rgb, &grey, &palette, &grey16}) {
        Texture* t = Make(EncodePng(*s));
        ASSERT_NE(t, nullptr) << s->colour_type;
        EXPECT_EQ(FormatOf(t), Format::X8R8G8B8) << s->colour_type;
        for (const Rgba& texel : ReadLevel(t, 0)) EXPECT_EQ(texel.a, 255) << s->colour_type;
    }
    std::vector<Rgba> p = ReadLevel(made[2], 0);
    EXPECT_EQ(p[0].r, 200);  // palette entry 1
    EXPECT_EQ(p[1].b, 3);    // palette entry 0
    EXPECT_EQ(ReadLevel(made[1], 0)[1].g, 250);
    EXPECT_EQ(ReadLevel(made[3], 0)[0].g, 128);  // 16 bits cut to 8
}

TEST_F(Picture, AlphaFromAnyDeclarationOfTransparency) {
    PngSpec grey_alpha{2, 1, 8, 4, {100, 0, 200, 255}, {}, {}};
    // A palette with a transparency chunk, and an RGB colour key: both
    // have no alpha channel in their header, yet they are transparent.
    PngSpec palette{2, 1, 8, 3, {0, 1}, {9, 9, 9, 250, 250, 250}, {64}};
    PngSpec keyed{2, 1, 8, 2, {1, 2, 3, 4, 5, 6}, {}, {0, 4, 0, 5, 0, 6}};
    const uint8_t expected_alpha[3][2] = {{0, 255}, {64, 255}, {255, 0}};
    int i = 0;
    for (const PngSpec* s : {&grey_alpha, &palette, &keyed}) {
        Texture* t = Make(EncodePng(*s));
        ASSERT_NE(t, nullptr) << i;
        EXPECT_EQ(FormatOf(t), Format::A8R8G8B8) << i;
        std::vector<Rgba> texels = ReadLevel(t, 0);
        EXPECT_EQ(texels[0].a, expected_alpha[i][0]) << i;
        EXPECT_EQ(texels[1].a, expected_alpha[i][1]) << i;
        ++i;
    }
}

TEST_F(Picture, JpegIsOpaqueWithItsColours) {
    Texture* t = Make(std::vector<uint8_t>(std::begin(kJpeg), std::end(kJpeg)), "test.jpg");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(FormatOf(t), Format::X8R8G8B8);
    SurfaceDesc desc{};
    ASSERT_TRUE(t->GetLevelDesc(0, &desc));
    EXPECT_EQ(desc.width, 16u);
    EXPECT_EQ(desc.height, 8u);
    std::vector<Rgba> texels = ReadLevel(t, 0);
    ASSERT_EQ(texels.size(), 128u);
    // Lossy: away from the colour edge the halves are within a few steps.
    const Rgba left = texels[4 * 16 + 2], right = texels[4 * 16 + 13];
    EXPECT_NEAR(left.r, 220, 8);
    EXPECT_NEAR(left.b, 30, 8);
    EXPECT_NEAR(right.r, 20, 8);
    EXPECT_NEAR(right.b, 200, 8);
    EXPECT_EQ(left.a, 255);
    EXPECT_EQ(right.a, 255);
}

TEST_F(Picture, FullMipChainAveragesLevelZero) {
    // 8 x 2, left half white, right half black: levels 8x2, 4x1, 2x1, 1x1,
    // and the last one is the mean grey of the whole picture.
    PngSpec s{8, 2, 8, 2, {}, {}, {}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x) s.rows.insert(s.rows.end(), 3, x < 4 ? 255 : 0);
    Texture* t = Make(EncodePng(s));
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->LevelCount(), 4u);
    SurfaceDesc last{};
    ASSERT_TRUE(t->GetLevelDesc(3, &last));
    EXPECT_EQ(last.width, 1u);
    EXPECT_EQ(last.height, 1u);
    std::vector<Rgba> level2 = ReadLevel(t, 2);
    ASSERT_EQ(level2.size(), 2u);
    EXPECT_EQ(level2[0].g, 255);
    EXPECT_EQ(level2[1].g, 0);
    std::vector<Rgba> level3 = ReadLevel(t, 3);
    ASSERT_EQ(level3.size(), 1u);
    EXPECT_NEAR(level3[0].g, 128, 1);
}

TEST_F(Picture, BadBytesGiveNullAndATexLine) {
    PngSpec s{4, 4, 8, 6, std::vector<uint8_t>(64, 77), {}, {}};
    std::vector<uint8_t> png = EncodePng(s);
    std::vector<uint8_t> cut(png.begin(), png.begin() + static_cast<ptrdiff_t>(png.size() / 2));
    std::vector<uint8_t> corrupt = png;
    corrupt[1] = 'Q';  // no longer a PNG signature
    std::vector<uint8_t> noise(300, 0xAB);
    int n = 0;
    for (const std::vector<uint8_t>* bytes : {&cut, &corrupt, &noise}) {
        plat::ClearLog();
        const std::string name = "Data\\bad" + std::to_string(n++) + ".png";
        EXPECT_EQ(plat::CreatePictureTexture(ShowDevice(), bytes->data(), bytes->size(), name), nullptr) << name;
        std::vector<std::string> lines = plat::LogLines();
        ASSERT_FALSE(lines.empty()) << name;
        EXPECT_NE(lines.back().find("tex: " + name + ": "), std::string::npos) << lines.back();
    }
    EXPECT_EQ(plat::CreatePictureTexture(ShowDevice(), nullptr, 10, "null"), nullptr);
    EXPECT_EQ(plat::CreatePictureTexture(ShowDevice(), png.data(), 0, "empty"), nullptr);
    EXPECT_EQ(plat::CreatePictureTexture(nullptr, png.data(), png.size(), "no device"), nullptr);
    // The good bytes still decode after all of that.
    EXPECT_NE(Make(png), nullptr);
}

}  // namespace
