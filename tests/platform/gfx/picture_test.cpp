// Pictures decoded into device textures: formats with and without alpha,
// sizes, the mip chain, and bytes that are not a picture.
#include "platform/gfx/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "app/device.h"
#include "platform/os/log.h"
#include "tests/support/show_test_util.h"

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
constexpr const char* kJpegHex =
    "ffd8ffe000104a46494600010100000100010000ffdb0084000201010101010201010102020202020403020202020504"
    "040304060506060605060606070908060709070606080b08090a0a0a0a0a06080b0c0b0a0c090a0a0a01020202020202"
    "050303050a0706070a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a0a"
    "0a0a0a0a0a0a0a0a0a0affc00011080008001003011100021101031101ffc401a2000001050101010101010000000000"
    "0000000102030405060708090a0b100002010303020403050504040000017d0102030004110512213141061351610722"
    "7114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a3435363738393a434445464748494a"
    "535455565758595a636465666768696a737475767778797a838485868788898a92939495969798999aa2a3a4a5a6a7a8"
    "a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9"
    "fa0100030101010101010101010000000000000102030405060708090a0b110002010204040304070504040001027700"
    "0102031104052131061241510761711322328108144291a1b1c109233352f0156272d10a162434e125f11718191a2627"
    "28292a35363738393a434445464748494a535455565758595a636465666768696a737475767778797a82838485868788"
    "898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2"
    "e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9faffda000c03010002110311003f00f9cabf9c8ff5acf976bfdda3fc383fffd9";

std::vector<uint8_t> FromHex(const char* hex) {
    std::vector<uint8_t> out;
    for (; hex[0] && hex[1]; hex += 2) out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex, 2), nullptr, 16)));
    return out;
}

// ---- Reading a texture level back through the device.

struct Rgba {
    uint8_t r, g, b, a;
};

// Texels of one level, fetched by index (no filtering) onto the back
// buffer: colour in rows 0..h-1, alpha as grey in rows h..2h-1 below it.
std::vector<Rgba> ReadLevel(Texture* texture, uint32_t level) {
    static Shader* fetch = [] {
        std::string log;
        Shader* s = ShowDevice()->CreateShader(ShaderStage::Pixel, R"(
            layout(location = 2) in vec2 v_uv;
            layout(binding = 0) uniform sampler2D s0;
            uniform int u_level;
            layout(location = 0) out vec4 o_color;
            void main() {
                ivec2 size = textureSize(s0, u_level);
                ivec2 at = ivec2(v_uv * vec2(size.x, 2 * size.y));
                vec4 t = texelFetch(s0, ivec2(at.x, at.y % size.y), u_level);
                o_color = at.y < size.y ? vec4(t.rgb, 1.0) : vec4(t.aaa, 1.0);
            })",
                                               "o_color", &log);
        EXPECT_NE(s, nullptr) << log;
        return s;
    }();
    SurfaceDesc desc;
    if (!fetch || !texture->GetLevelDesc(level, &desc)) return {};
    Device* d = ShowDevice();
    BeginFrame(0xFF000000);
    d->SetRenderState(RS::ZEnable, 0);
    d->SetRenderState(RS::CullMode, CULL_NONE);
    d->SetVertexDeclaration(GetVertexDecl(VD_PosTColTex));
    d->SetPixelShader(fetch);
    d->SetTexture(0, texture);
    fetch->SetInt("u_level", static_cast<int>(level));
    // Pixels 0..w-1 exactly: edges half a pixel outside their centres.
    const float w = static_cast<float>(desc.width) - 0.5f, h = 2.f * static_cast<float>(desc.height) - 0.5f;
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
    std::vector<Rgba> texels;
    for (int y = 0; y < static_cast<int>(desc.height); ++y)
        for (int x = 0; x < static_cast<int>(desc.width); ++x) {
            const Rgb c = f.At(x, y);
            texels.push_back({c.r, c.g, c.b, f.At(x, y + static_cast<int>(desc.height)).r});
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
    Texture* t = Make(FromHex(kJpegHex), "test.jpg");
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

TEST_F(Picture, MipsLaterLeavesTheChainToTheCallerAndBuildsTheSameLevels) {
    // The loading picture's way: level 0 filled at once, the chain built by
    // the caller afterwards, ending as a picture made with its mips at once.
    PngSpec s{8, 2, 8, 2, {}, {}, {}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x) s.rows.insert(s.rows.end(), 3, x < 4 ? 255 : 0);
    const std::vector<uint8_t> png = EncodePng(s);
    Texture* later = plat::CreatePictureTexture(ShowDevice(), png.data(), png.size(), "later.png",
                                                plat::PictureMips::Later);
    ASSERT_NE(later, nullptr);
    made.push_back(later);
    ASSERT_EQ(later->LevelCount(), 4u);
    const std::vector<Rgba> level0 = ReadLevel(later, 0);
    ASSERT_EQ(level0.size(), 16u);
    EXPECT_EQ(level0[3].g, 255);
    EXPECT_EQ(level0[4].g, 0);
    later->GenerateMips();
    Texture* now = Make(png);
    ASSERT_NE(now, nullptr);
    for (uint32_t level = 1; level < 4; ++level) {
        const std::vector<Rgba> a = ReadLevel(later, level), b = ReadLevel(now, level);
        ASSERT_EQ(a.size(), b.size()) << level;
        for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].g, b[i].g) << "level " << level << " texel " << i;
    }
}

TEST_F(Picture, DecodedAheadIsTheSamePictureAndTheSameRefusal) {
    // The loading picture's start: decoded on the worker while the device is
    // made, then taken by CreatePictureTexture as if it had decoded it.
    PngSpec s{3, 2, 8, 4, {}, {}, {}};  // grey + alpha: the format must say alpha
    s.rows = {10, 255, 20, 128, 30, 0, 40, 255, 50, 64, 60, 255};
    const std::vector<uint8_t> png = EncodePng(s);
    plat::DecodePictureAhead(png.data(), png.size());
    Texture* ahead = plat::CreatePictureTexture(ShowDevice(), png.data(), png.size(), "ahead.png");
    ASSERT_NE(ahead, nullptr);
    made.push_back(ahead);
    Texture* alone = Make(png);
    ASSERT_NE(alone, nullptr);
    SurfaceDesc a{}, b{};
    ASSERT_TRUE(ahead->GetLevelDesc(0, &a) && alone->GetLevelDesc(0, &b));
    EXPECT_EQ(a.format, b.format);
    EXPECT_EQ(a.width, 3u);
    const std::vector<Rgba> pa = ReadLevel(ahead, 0), pb = ReadLevel(alone, 0);
    ASSERT_EQ(pa.size(), 6u);
    for (size_t i = 0; i < pa.size(); ++i) {
        EXPECT_EQ(pa[i].r, pb[i].r) << i;
        EXPECT_EQ(pa[i].a, pb[i].a) << i;
    }

    // Bytes that do not decode: the same null and the same line, given when
    // the texture is asked for, not when the worker found out.
    std::vector<uint8_t> noise(300, 0xAB);
    plat::DecodePictureAhead(noise.data(), noise.size());
    plat::ClearLog();
    EXPECT_EQ(plat::CreatePictureTexture(ShowDevice(), noise.data(), noise.size(), "Data\\noise.png"), nullptr);
    const std::vector<std::string> lines = plat::LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("tex: Data\\noise.png: cannot decode the picture ("), std::string::npos) << lines[0];
}
