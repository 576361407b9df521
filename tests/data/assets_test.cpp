// tests/data/assets_test.cpp - the generated asset files, read as bytes.
//
// The show trusts that every picture has the size and channels its effects
// were laid out for (the loading box, the overlay's window, the 9 x 32 font
// cells) and that every mesh is a binary X file with 32-bit floats. These
// tests read the headers by hand from data/assets/ so that a regenerated
// asset with the wrong size, mode or encoding fails here, before anyone
// looks at a frame. No image library is used: the decoders belong to
// platform/, and a header check needs none.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> ReadAsset(const std::string& rel) {
    std::ifstream f(std::string(KELO_SOURCE_DIR) + "/data/assets/" + rel, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f),
                                      std::istreambuf_iterator<char>());
}

uint32_t Be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint16_t Be16(const unsigned char* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }

struct ImageInfo {
    bool ok = false;
    uint32_t width = 0, height = 0, channels = 0;
    std::string error;
};

// PNG: signature, IHDR first, then chunks up to IEND with nothing after it
// (a cut-off file fails here). Colour type 2 is RGB, 6 is RGBA. Text and
// time chunks would make the generator's output differ from run to run.
ImageInfo ReadPngHeader(const std::vector<unsigned char>& b) {
    ImageInfo info;
    static const unsigned char kSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (b.size() < 33 || std::memcmp(b.data(), kSig, 8) != 0) {
        info.error = "not a PNG";
        return info;
    }
    if (Be32(&b[8]) != 13 || std::memcmp(&b[12], "IHDR", 4) != 0) {
        info.error = "IHDR is not the first chunk";
        return info;
    }
    info.width = Be32(&b[16]);
    info.height = Be32(&b[20]);
    const unsigned depth = b[24], colour = b[25], interlace = b[28];
    if (depth != 8 || interlace != 0 || (colour != 2 && colour != 6)) {
        info.error = "not 8-bit, non-interlaced RGB or RGBA";
        return info;
    }
    info.channels = colour == 6 ? 4 : 3;
    size_t pos = 8;
    while (pos + 12 <= b.size()) {
        const uint32_t len = Be32(&b[pos]);
        const std::string type(reinterpret_cast<const char*>(&b[pos + 4]), 4);
        if (type == "tIME" || type == "tEXt" || type == "zTXt" || type == "iTXt") {
            info.error = "metadata chunk " + type;
            return info;
        }
        pos += 12 + size_t(len);
        if (type == "IEND") {
            info.ok = pos == b.size();
            if (!info.ok) info.error = "bytes after IEND";
            return info;
        }
    }
    info.error = "no IEND (truncated)";
    return info;
}

// JPEG: walk the marker segments from SOI to the first start-of-frame.
// Only baseline (SOF0) is accepted: every decoder the port might use reads
// it, and the generator never writes progressive files.
ImageInfo ReadJpegHeader(const std::vector<unsigned char>& b) {
    ImageInfo info;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) {
        info.error = "not a JPEG";
        return info;
    }
    size_t pos = 2;
    while (pos + 4 <= b.size()) {
        if (b[pos] != 0xFF) {
            info.error = "marker expected";
            return info;
        }
        const unsigned marker = b[pos + 1];
        const uint16_t len = Be16(&b[pos + 2]);
        const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                         marker != 0xCC;
        if (sof) {
            if (marker != 0xC0 || pos + 10 > b.size()) {
                info.error = "not baseline";
                return info;
            }
            info.height = Be16(&b[pos + 5]);
            info.width = Be16(&b[pos + 7]);
            info.channels = b[pos + 9];
            // The file must also end where a JPEG ends.
            info.ok = b[b.size() - 2] == 0xFF && b[b.size() - 1] == 0xD9;
            if (!info.ok) info.error = "no EOI (truncated)";
            return info;
        }
        pos += 2 + size_t(len);
    }
    info.error = "no start-of-frame";
    return info;
}

// BMP: file header, then a BITMAPINFOHEADER (40 bytes) for an uncompressed
// bottom-up picture.
ImageInfo ReadBmpHeader(const std::vector<unsigned char>& b) {
    ImageInfo info;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        info.error = "not a BMP";
        return info;
    }
    if (Le32(&b[2]) != b.size() || Le32(&b[14]) != 40 || Le16(&b[26]) != 1 || Le32(&b[30]) != 0) {
        info.error = "unexpected BMP header";
        return info;
    }
    info.width = Le32(&b[18]);
    const int32_t h = int32_t(Le32(&b[22]));
    info.height = uint32_t(h < 0 ? -h : h);
    info.channels = Le16(&b[28]) / 8;
    // Rows are padded to 4 bytes; the pixels must all be there.
    const size_t row = (size_t(info.width) * info.channels + 3) / 4 * 4;
    info.ok = h > 0 && Le32(&b[10]) + row * info.height <= b.size();
    if (!info.ok) info.error = "top-down or short pixel data";
    return info;
}

struct ExpectedPicture {
    const char* file;
    char kind;  // 'P' PNG, 'J' JPEG, 'B' BMP
    uint32_t width, height, channels;
};

// The table the show's effects were laid out for.
const ExpectedPicture kPictures[] = {
    {"pictures/kelo_overlay.png", 'P', 1024, 1024, 4},
    {"pictures/back_logo.png", 'P', 1024, 1024, 4},
    {"pictures/font.png", 'P', 512, 32, 3},
    {"pictures/kelo_intro.jpg", 'J', 1024, 1024, 3},
    {"pictures/WaterNormal.jpg", 'J', 512, 512, 3},
    {"pictures/vexa_logo.jpg", 'J', 1024, 1024, 3},
    {"pictures/text_bar.png", 'P', 256, 32, 3},
    {"pictures/exit_screen.jpg", 'J', 1024, 1024, 3},
    {"pictures/loading_screen.png", 'P', 1024, 1024, 3},
    {"dialog/bitmap201.bmp", 'B', 320, 210, 3},
    {"icon/kelo.png", 'P', 64, 64, 4},
};

// --- binary X -------------------------------------------------------------------
// Tokens are little-endian 16-bit words; names, integer lists and float
// lists carry a 32-bit count. Enough is read here to find the data objects
// and their nesting, not their meaning (the mesh loader owns that).
enum : uint16_t {
    kTokName = 1, kTokString = 2, kTokInteger = 3, kTokGuid = 5, kTokIntList = 6,
    kTokFloatList = 7, kTokOBrace = 10, kTokCBrace = 11, kTokTemplate = 31,
};

struct XSummary {
    bool ok = false;
    int meshes = 0;         // Mesh data objects
    int materials = 0;      // Material data objects
    int normals = 0;        // MeshNormals data objects
    uint32_t vertices = 0;  // first integer of the Mesh object
};

XSummary WalkX(const std::vector<unsigned char>& b) {
    XSummary s;
    if (b.size() < 16 || std::memcmp(b.data(), "xof 0302bin 0032", 16) != 0) return s;
    size_t pos = 16;
    int depth = 0;
    bool inTemplate = false;
    std::string lastName, pendingObject;
    bool meshCountPending = false;
    while (pos + 2 <= b.size()) {
        const uint16_t tok = Le16(&b[pos]);
        pos += 2;
        auto count = [&](size_t unit) -> bool {
            if (pos + 4 > b.size()) return false;
            const size_t n = Le32(&b[pos]);
            if (meshCountPending && tok == kTokIntList && n > 0 && pos + 8 <= b.size()) {
                s.vertices = Le32(&b[pos + 4]);
                meshCountPending = false;
            }
            pos += 4 + n * unit;
            return pos <= b.size();
        };
        switch (tok) {
        case kTokName: {
            if (pos + 4 > b.size()) return s;
            const size_t n = Le32(&b[pos]);
            if (pos + 4 + n > b.size()) return s;
            const std::string name(reinterpret_cast<const char*>(&b[pos + 4]), n);
            // The first name after a brace or at top level names the template.
            if (!inTemplate && pendingObject.empty()) pendingObject = name;
            lastName = name;
            pos += 4 + n;
            break;
        }
        case kTokString:
            if (!count(1) || pos + 2 > b.size()) return s;
            pos += 2;  // terminator token
            break;
        case kTokInteger: pos += 4; break;
        case kTokGuid: pos += 16; break;
        case kTokIntList: if (!count(4)) return s; break;
        case kTokFloatList: if (!count(4)) return s; break;
        case kTokTemplate: inTemplate = true; break;
        case kTokOBrace:
            ++depth;
            if (!inTemplate) {
                if (pendingObject == "Mesh") { ++s.meshes; meshCountPending = true; }
                if (pendingObject == "Material") ++s.materials;
                if (pendingObject == "MeshNormals") ++s.normals;
            }
            pendingObject.clear();
            break;
        case kTokCBrace:
            if (--depth < 0) return s;
            if (depth == 0) inTemplate = false;
            pendingObject.clear();
            break;
        default:
            break;  // stand-alone punctuation and type tokens
        }
        if (pos > b.size()) return s;
    }
    s.ok = pos == b.size() && depth == 0;
    return s;
}

}  // namespace

// --- pictures --------------------------------------------------------------------

TEST(AssetsPictures, EveryPictureHasTheFormatSizeAndChannelsTheShowUses) {
    for (const ExpectedPicture& want : kPictures) {
        SCOPED_TRACE(want.file);
        const std::vector<unsigned char> bytes = ReadAsset(want.file);
        ASSERT_FALSE(bytes.empty()) << "missing";
        ImageInfo info = want.kind == 'P'   ? ReadPngHeader(bytes)
                         : want.kind == 'J' ? ReadJpegHeader(bytes)
                                            : ReadBmpHeader(bytes);
        EXPECT_TRUE(info.ok) << info.error;
        EXPECT_EQ(info.width, want.width);
        EXPECT_EQ(info.height, want.height);
        EXPECT_EQ(info.channels, want.channels);
    }
}

TEST(AssetsPictures, HeaderReadersRefuseDamagedFiles) {
    // A truncated PNG loses its IEND; a JPEG cut short loses its EOI; a BMP
    // whose pixels are missing is refused. Guards the checks above.
    std::vector<unsigned char> png = ReadAsset("pictures/text_bar.png");
    ASSERT_TRUE(ReadPngHeader(png).ok);
    png.resize(png.size() - 6);
    EXPECT_FALSE(ReadPngHeader(png).ok);

    std::vector<unsigned char> jpg = ReadAsset("pictures/WaterNormal.jpg");
    ASSERT_TRUE(ReadJpegHeader(jpg).ok);
    jpg.resize(jpg.size() / 2);
    EXPECT_FALSE(ReadJpegHeader(jpg).ok);
    EXPECT_FALSE(ReadPngHeader(jpg).ok);

    std::vector<unsigned char> bmp = ReadAsset("dialog/bitmap201.bmp");
    ASSERT_TRUE(ReadBmpHeader(bmp).ok);
    bmp.resize(bmp.size() - 640);
    EXPECT_FALSE(ReadBmpHeader(bmp).ok);
}

// --- meshes ----------------------------------------------------------------------

TEST(AssetsMeshes, EveryMeshIsABinaryXFileWithOneMeshNormalsAndMaterials) {
    struct ExpectedMesh {
        const char* file;
        int materials;
    };
    // The invader has two materials (body and eyes) so that "one subset per
    // material" is exercised by the show's own data.
    const ExpectedMesh kMeshes[] = {{"meshes/kelo_3d1.x", 1}, {"meshes/kelo_3d2.x", 1},
                                {"meshes/kelo_3d3.x", 1}, {"meshes/kelo_3d4.x", 1},
                                {"meshes/spaceinvader.x", 2}};
    for (const ExpectedMesh& want : kMeshes) {
        SCOPED_TRACE(want.file);
        const std::vector<unsigned char> bytes = ReadAsset(want.file);
        ASSERT_GE(bytes.size(), 16u) << "missing";
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 16), "xof 0302bin 0032");
        const XSummary s = WalkX(bytes);
        EXPECT_TRUE(s.ok) << "token stream is cut or unbalanced";
        EXPECT_EQ(s.meshes, 1);
        EXPECT_EQ(s.normals, 1);
        EXPECT_EQ(s.materials, want.materials);
        EXPECT_GE(s.vertices, 24u);
    }
}

TEST(AssetsMeshes, WalkerRefusesACutStream) {
    std::vector<unsigned char> x = ReadAsset("meshes/kelo_3d3.x");
    ASSERT_TRUE(WalkX(x).ok);
    x.resize(x.size() - 3);  // inside the last closing braces
    EXPECT_FALSE(WalkX(x).ok);
    x = ReadAsset("meshes/kelo_3d3.x");
    x[12] = 't';  // "xof 0302txt 0032" is another format
    x[13] = 'x';
    x[14] = 't';
    EXPECT_FALSE(WalkX(x).ok);
}
