// X file meshes: what the reader keeps (the file's own numbers, winding and
// materials), how it merges frames and meshes, what it refuses, and what
// DrawSubset puts on the screen. The files are written here, in both
// encodings, so every expected number is known.
#include <gtest/gtest.h>

#include "tests/support/run_command.h"
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/fx/effect.h"
#include "platform/os/log.h"
#include "platform/mesh/mesh.h"
#include "platform/mesh/xfile_zip.h"
#include "tests/support/gfx_test_util.h"

using namespace plat;

namespace {

// Two triangles, three materials (the middle one unused), normals of their
// own indexing, and what the reader must walk past: a comment, a template
// declaration, a Header, a texture file name, texture coordinates.
const char kText[] = R"(xof 0302txt 0032
// written by hand
template Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }
Header { 1; 0; 1; }
Mesh tri {
 4;
 0.0;0.0;1.0;,
 0.0;1.0;2.0;,
 1.0;0.0;3.0;,
 1.0;1.0;4.0;;
 2;
 3;0,1,2;,
 3;2,1,3;;
 MeshNormals { 2; 0.0;0.0;-1.0;, 0.6;0.8;0.0;; 2; 3;0,0,0;, 3;1,1,0;; }
 MeshMaterialList { 3; 2; 2, 0;;
  Material red { 1.0;0.0;0.0;0.5;; 8.0; 0.1;0.2;0.3;; 0.4;0.5;0.6;; TextureFilename { "red.png"; } }
  Material green { 0.0;1.0;0.0;1.0;; 2.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }
  Material blue { 0.0;0.0;1.0;1.0;; 2.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }
 }
 MeshTextureCoords { 4; 0.0;0.0;, 0.0;1.0;, 1.0;0.0;, 1.0;1.0;; }
}
)";

// The binary encoding, token by token (16-bit tokens, little-endian).
class BinaryX {
public:
    explicit BinaryX(bool doubles) : doubles_(doubles) { bytes += doubles ? "xof 0302bin 0064" : "xof 0302bin 0032"; }
    BinaryX& Tok(uint16_t t) { return Raw(&t, 2); }
    BinaryX& Name(const std::string& s) {
        Tok(1);
        Dword(static_cast<uint32_t>(s.size()));
        return Raw(s.data(), s.size());
    }
    BinaryX& Str(const std::string& s) {
        Tok(2);
        Dword(static_cast<uint32_t>(s.size()));
        Raw(s.data(), s.size());
        return Tok(20);
    }
    BinaryX& Guid() {
        Tok(5);
        const char g[16] = {};
        return Raw(g, 16);
    }
    BinaryX& Ints(const std::vector<uint32_t>& v) {
        Tok(6);
        Dword(static_cast<uint32_t>(v.size()));
        for (uint32_t x : v) Dword(x);
        return *this;
    }
    BinaryX& Floats(const std::vector<double>& v) {
        Tok(7);
        Dword(static_cast<uint32_t>(v.size()));
        for (double x : v) {
            if (doubles_) {
                Raw(&x, 8);
            } else {
                const float f = static_cast<float>(x);
                Raw(&f, 4);
            }
        }
        return *this;
    }
    BinaryX& Open(const std::string& type, const std::string& name = "") {
        Name(type);
        if (!name.empty()) Name(name);
        return Tok(10);
    }
    BinaryX& Close() { return Tok(11); }
    std::string bytes;

private:
    BinaryX& Dword(uint32_t v) { return Raw(&v, 4); }
    BinaryX& Raw(const void* p, size_t n) {
        bytes.append(static_cast<const char*>(p), n);
        return *this;
    }
    bool doubles_;
};

std::string Binary(bool doubles) {
    BinaryX x(doubles);
    // template Vector { <guid> FLOAT x; FLOAT y; FLOAT z; }
    x.Tok(31).Name("Vector").Tok(10).Guid();
    for (const char* m : {"x", "y", "z"}) x.Tok(42).Name(m).Tok(20);
    x.Tok(11);
    x.Open("Header").Ints({1, 0, 1}).Close();
    x.Open("Mesh", "tri").Ints({4}).Floats({0, 0, 1, 0, 1, 2, 1, 0, 3, 1, 1, 4}).Ints({2, 3, 0, 1, 2, 3, 2, 1, 3});
    x.Open("MeshNormals").Ints({2}).Floats({0, 0, -1, 0.6, 0.8, 0}).Ints({2, 3, 0, 0, 0, 3, 1, 1, 0}).Close();
    x.Open("MeshMaterialList").Ints({3, 2, 2, 0});
    x.Open("Material", "red").Floats({1, 0, 0, 0.5, 8, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    x.Open("TextureFilename").Str("red.png").Close().Close();
    x.Open("Material", "green").Floats({0, 1, 0, 1, 2, 0, 0, 0, 0, 0, 0}).Close();
    x.Open("Material", "blue").Floats({0, 0, 1, 1, 2, 0, 0, 0, 0, 0, 0}).Close();
    x.Close();
    x.Open("MeshTextureCoords").Ints({4}).Floats({0, 0, 0, 1, 1, 0, 1, 1}).Close();
    x.Close();
    return x.bytes;
}

MeshData Read(const std::string& bytes) {
    MeshData m;
    std::string error;
    EXPECT_TRUE(ReadXFile(bytes.data(), bytes.size(), &m, &error)) << error;
    return m;
}

std::string Refusal(const std::string& bytes) {
    MeshData m;
    std::string error;
    EXPECT_FALSE(ReadXFile(bytes.data(), bytes.size(), &m, &error)) << "loaded: " << bytes.substr(0, 60);
    EXPECT_TRUE(m.vertices.empty() && m.subsets.empty());
    return error;
}

void ExpectVertex(const MeshVertex& v, float x, float y, float z, float nx, float ny, float nz) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
    EXPECT_NEAR(v.nx, nx, 1e-6f);
    EXPECT_NEAR(v.ny, ny, 1e-6f);
    EXPECT_NEAR(v.nz, nz, 1e-6f);
}

void ExpectColor(const ColorValue& c, float r, float g, float b, float a) {
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
    EXPECT_FLOAT_EQ(c.a, a);
}

TEST(XFileRead, KeepsTheFilesNumbersWindingAndMaterials) {
    const MeshData m = Read(kText);
    EXPECT_EQ(m.header, "xof 0302txt 0032");
    EXPECT_EQ(m.meshes, 1u);
    EXPECT_EQ(m.file_vertices, 4u);
    EXPECT_EQ(m.polygons, 2u);
    EXPECT_FALSE(m.made_normals);
    ASSERT_EQ(m.subsets.size(), 3u);
    ASSERT_EQ(m.materials.size(), 3u);
    ASSERT_EQ(m.vertices.size(), 6u);
    // Subset k holds the faces of material k: red has face 1, green none,
    // blue face 0. Corners in the file's order, z not negated: left-handed
    // coordinates and clockwise fronts, as Direct3D read them.
    EXPECT_EQ(m.subsets[0].first_vertex, 0u);
    EXPECT_EQ(m.subsets[0].triangle_count, 1u);
    EXPECT_EQ(m.subsets[1].triangle_count, 0u);
    EXPECT_EQ(m.subsets[2].first_vertex, 3u);
    EXPECT_EQ(m.subsets[2].triangle_count, 1u);
    ExpectVertex(m.vertices[0], 1, 0, 3, 0.6f, 0.8f, 0);
    ExpectVertex(m.vertices[1], 0, 1, 2, 0.6f, 0.8f, 0);
    ExpectVertex(m.vertices[2], 1, 1, 4, 0, 0, -1);
    ExpectVertex(m.vertices[3], 0, 0, 1, 0, 0, -1);
    ExpectVertex(m.vertices[4], 0, 1, 2, 0, 0, -1);
    ExpectVertex(m.vertices[5], 1, 0, 3, 0, 0, -1);
    const Material& red = m.materials[0];
    ExpectColor(red.Diffuse, 1, 0, 0, 0.5f);
    ExpectColor(red.Specular, 0.1f, 0.2f, 0.3f, 1);
    ExpectColor(red.Emissive, 0.4f, 0.5f, 0.6f, 1);
    ExpectColor(red.Ambient, 0, 0, 0, 0);
    EXPECT_FLOAT_EQ(red.Power, 8.f);
    ExpectColor(m.materials[1].Diffuse, 0, 1, 0, 1);
    ExpectColor(m.materials[2].Diffuse, 0, 0, 1, 1);
    const float lo[3] = {0, 0, 1}, hi[3] = {1, 1, 4};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.bounds_min[i], lo[i]);
        EXPECT_EQ(m.bounds_max[i], hi[i]);
    }
}

TEST(XFileRead, BinaryEncodingsGiveWhatTheTextGives) {
    const MeshData text = Read(kText);
    for (bool doubles : {false, true}) {
        SCOPED_TRACE(doubles ? "64-bit floats" : "32-bit floats");
        const MeshData bin = Read(Binary(doubles));
        EXPECT_EQ(bin.header, doubles ? "xof 0302bin 0064" : "xof 0302bin 0032");
        ASSERT_EQ(bin.vertices.size(), text.vertices.size());
        EXPECT_EQ(std::memcmp(bin.vertices.data(), text.vertices.data(), text.vertices.size() * sizeof(MeshVertex)), 0);
        ASSERT_EQ(bin.subsets.size(), text.subsets.size());
        for (size_t k = 0; k < text.subsets.size(); ++k) {
            EXPECT_EQ(bin.subsets[k].first_vertex, text.subsets[k].first_vertex);
            EXPECT_EQ(bin.subsets[k].triangle_count, text.subsets[k].triangle_count);
            EXPECT_EQ(std::memcmp(&bin.materials[k], &text.materials[k], sizeof(Material)), 0);
        }
    }
}

TEST(XFileRead, MergesFramesAndMeshesAsD3DXDid) {
    // Integers where floats are expected, as some exporters write them.
    const MeshData m = Read(R"(xof 0303txt 0032
Material shared { 1.0;1.0;0.0;1.0;; 4.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }
Frame outer {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,20,30,1;; }
 Frame inner {
  FrameTransformMatrix { 0,1,0,0, -1,0,0,0, 0,0,1,0, 0,0,0,1;; }
  Mesh turned {
   3; 1;0;5;, 0;1;5;, 0;0;5;;
   1; 3;0,1,2;;
   MeshNormals { 1; 1;0;0;; 1; 3;0,0,0;; }
   MeshMaterialList { 1; 1; 0;; { shared } }
  }
 }
}
Frame stretched {
 FrameTransformMatrix { 2,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
 Mesh slanted { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0.70710678;0.70710678;0;; 1; 3;0,0,0;; } }
}
Mesh square {
 4; 0;0;0;, 0;1;0;, 1;1;0;, 1;0;0;;
 2; 4;0,1,2,3;, 3;0,1,2;;
 MeshMaterialList { 2; 1; 1;;
  Material a { 0.5;0.5;0.5;1;; 1; 0;0;0;; 0;0;0;; }
  Material b { 0.25;0.5;0.75;1;; 1; 0;0;0;; 0;0;0;; }
 }
}
)");
    EXPECT_EQ(m.meshes, 3u);
    EXPECT_EQ(m.file_vertices, 10u);
    EXPECT_EQ(m.polygons, 4u);
    EXPECT_TRUE(m.made_normals);
    // Subsets: the first mesh's one material (a reference), the second's
    // white stand-in, the third's two.
    ASSERT_EQ(m.subsets.size(), 4u);
    ExpectColor(m.materials[0].Diffuse, 1, 1, 0, 1);
    ExpectColor(m.materials[1].Diffuse, 1, 1, 1, 1);
    ExpectColor(m.materials[2].Diffuse, 0.5f, 0.5f, 0.5f, 1);
    ExpectColor(m.materials[3].Diffuse, 0.25f, 0.5f, 0.75f, 1);
    EXPECT_EQ(m.subsets[0].triangle_count, 1u);
    EXPECT_EQ(m.subsets[1].triangle_count, 1u);
    // One index for two faces: the last index holds for the rest, so "a"
    // stays empty and "b" takes the quad's two triangles and the triangle.
    EXPECT_EQ(m.subsets[2].triangle_count, 0u);
    EXPECT_EQ(m.subsets[3].triangle_count, 3u);

    // The inner frame's quarter turn applies first, then the outer move;
    // the normal turns with it.
    const MeshVertex* t = &m.vertices[m.subsets[0].first_vertex];
    ExpectVertex(t[0], 10, 21, 35, 0, 1, 0);
    ExpectVertex(t[1], 9, 20, 35, 0, 1, 0);
    ExpectVertex(t[2], 10, 20, 35, 0, 1, 0);
    // Stretched along x: the 45-degree normal leans towards y (inverse
    // transpose), unit length again.
    const MeshVertex* s = &m.vertices[m.subsets[1].first_vertex];
    ExpectVertex(s[1], 2, 0, 0, 1 / std::sqrt(5.f), 2 / std::sqrt(5.f), 0);
    // The quad as a fan from its first corner; no normals in the file, so
    // flat ones towards the side the corners run clockwise from (-z).
    const MeshVertex* q = &m.vertices[m.subsets[3].first_vertex];
    ExpectVertex(q[0], 0, 0, 0, 0, 0, -1);
    ExpectVertex(q[1], 0, 1, 0, 0, 0, -1);
    ExpectVertex(q[2], 1, 1, 0, 0, 0, -1);
    ExpectVertex(q[3], 0, 0, 0, 0, 0, -1);
    ExpectVertex(q[4], 1, 1, 0, 0, 0, -1);
    ExpectVertex(q[5], 1, 0, 0, 0, 0, -1);
}

TEST(XFileRead, RefusesWhatIsNotAWholeMeshAndSaysWhy) {
    const std::string t = "xof 0302txt 0032\n";
    const std::string tri = "3; 0;0;0;, 1;0;0;, 0;1;0;; ";
    std::string deep = t;
    for (int i = 0; i < 100; ++i) deep += "Frame f {";
    const struct {
        std::string bytes;
        const char* says;
    } cases[] = {
        {"", "too short"},
        {"xof 0302txt", "too short"},
        {"PK\x03\x04 not an X file at all", "not an X file"},
        {std::string("xof 0302tzip0032\x10\x00\x00\x00", 20), "no mesh"},
        {"xof 0302foo 0032", "unknown X file format"},
        {"xof 0302txt 0016", "float size"},
        {t + "Frame empty { }", "no mesh"},
        {t + "Mesh m { 0;; 0;; }", "no triangles"},
        {t + "Mesh m { 1000000; 0;0;0;; 0;; }", "announced"},
        {t + "Mesh m { " + tri + "1; 3;0,1,3;; }", "index past"},
        {t + "Mesh m { " + tri + "1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }", "MeshNormals"},
        {t + "Mesh m { " + tri + "1; 3;0,1,2;; MeshMaterialList { 1; 1; 1;; { nowhere } } }", "index past"},
        {t + "Mesh m { " + tri + "1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; { nowhere } } }", "nowhere"},
        {t + "Mesh m { " + tri + "1; 3;0,1,2;; MeshMaterialList { 1; 1; 0;; Material { 1; } } }", "11 needed"},
        {t + "Mesh m { " + tri + "1; -3;0,1,2;; }", "not a count"},
        {t + "Mesh m { " + tri + "1; 3;0,1,2;;", "ends inside"},
        {t + "Mesh m { \"unclosed", "never closed"},
        {deep, "nested too deep"},
        {std::string("xof 0302bin 0032\x63\x00", 18), "unknown binary token"},
        {"xof 0302bin 0032\x63", "ends inside a token"},
        {std::string("xof 0302bin 0032\x01\x00\xff\xff\xff\x7f", 22) + "Mesh", "runs past the end"},
        {std::string("xof 0302bin 0032\x06\x00\x00\x00\x00\x40", 22), "runs past the end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 48));
        const std::string error = Refusal(c.bytes);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }
    MeshData m;
    EXPECT_FALSE(ReadXFile(nullptr, 0, &m, nullptr));
}

TEST(XFileRead, EveryTruncationIsRefusedWithoutHarm) {
    // Binary: only the whole file is whole. Text: the file is whole from its
    // last brace on; anything shorter is refused.
    const std::string bin = Binary(false);
    for (size_t n = 0; n <= bin.size(); ++n) {
        MeshData m;
        std::string error;
        const bool ok = ReadXFile(bin.data(), n, &m, &error);
        ASSERT_EQ(ok, n == bin.size()) << "cut at " << n << ": " << error;
        if (!ok) {
            ASSERT_FALSE(error.empty());
        }
    }
    const std::string text = kText;
    const size_t whole = text.rfind('}') + 1;
    for (size_t n = 0; n <= text.size(); ++n) {
        MeshData m;
        std::string error;
        ASSERT_EQ(ReadXFile(text.data(), n, &m, &error), n >= whole) << "cut at " << n << ": " << error;
    }
}

TEST(XFileRead, DamagedBytesAreReadOrRefusedNeverFollowed) {
    // Bytes changed at random all through a binary file: every result is a
    // clean load or a refusal, and a load never reaches outside the file's
    // vertices (indices were checked).
    const std::string bin = Binary(false);
    std::mt19937 rng(2008);
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = bin;
        const int changes = 1 + static_cast<int>(rng() % 4);
        for (int c = 0; c < changes; ++c) bytes[16 + rng() % (bytes.size() - 16)] = static_cast<char>(rng());
        MeshData m;
        std::string error;
        if (ReadXFile(bytes.data(), bytes.size(), &m, &error)) {
            ++loaded;
            ASSERT_EQ(m.vertices.size() % 3, 0u);
            size_t total = 0;
            for (const MeshSubset& s : m.subsets) {
                ASSERT_LE(s.first_vertex + s.triangle_count * 3u, m.vertices.size());
                total += s.triangle_count * 3u;
            }
            ASSERT_EQ(total, m.vertices.size());
        } else {
            ASSERT_FALSE(error.empty());
        }
    }
    EXPECT_GT(loaded, 0);  // changed colours and coordinates still load
}

TEST(MeshObject, AFailureIsALogLineAndNull) {
    ClearLog();
    const std::string cut = Binary(false).substr(0, 100);
    EXPECT_EQ(Mesh::CreateFromX(nullptr, cut.data(), cut.size(), "cut.x"), nullptr);
    EXPECT_EQ(Mesh::CreateFromX(nullptr, kText, sizeof kText - 1, "nodevice.x"), nullptr);
    const std::vector<std::string> lines = LogLines();
    int found = 0;
    for (const std::string& l : lines) {
        found += l.find("mesh: cut.x: ") != std::string::npos;
        found += l.find("mesh: nodevice.x: no device") != std::string::npos;
    }
    EXPECT_EQ(found, 2);
}

// ---------------------------------------------------------------------------
// Compressed files ("tzip", "bzip"), written here by the project's own
// writer from the files above: the same mesh in four encodings, and every
// kind of damage a block can carry.

using xfile::DeflateXFile;

void ExpectSameMesh(const MeshData& a, const MeshData& b) {
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    EXPECT_EQ(std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(MeshVertex)), 0);
    ASSERT_EQ(a.subsets.size(), b.subsets.size());
    for (size_t k = 0; k < a.subsets.size(); ++k) {
        EXPECT_EQ(a.subsets[k].first_vertex, b.subsets[k].first_vertex);
        EXPECT_EQ(a.subsets[k].triangle_count, b.subsets[k].triangle_count);
        EXPECT_EQ(std::memcmp(&a.materials[k], &b.materials[k], sizeof(Material)), 0);
    }
    EXPECT_EQ(a.file_vertices, b.file_vertices);
    EXPECT_EQ(a.polygons, b.polygons);
}

// An n x n grid of quads with normals, big enough (n = 48: about 140 KB of
// text, 60 KB binary) to take several 32 KB blocks, and repetitive enough
// that each block's matches reach back into the block before.
std::string Grid(int n, bool binary) {
    std::vector<double> positions, normals;
    std::vector<uint32_t> faces{static_cast<uint32_t>((n - 1) * (n - 1))}, normal_faces = faces;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            positions.insert(positions.end(), {x * 0.25, y * 0.5, (x + y) % 7 * 0.125});
            normals.insert(normals.end(), {0.0, (x % 3) * 0.6, (x % 3) ? 0.8 : 1.0});
        }
    }
    for (int y = 0; y + 1 < n; ++y) {
        for (int x = 0; x + 1 < n; ++x) {
            const uint32_t a = static_cast<uint32_t>(y * n + x), b = a + 1, c = a + static_cast<uint32_t>(n);
            faces.insert(faces.end(), {4, a, c, c + 1, b});
            normal_faces.insert(normal_faces.end(), {4, a, c, c + 1, b});
        }
    }
    const uint32_t count = static_cast<uint32_t>(n * n);
    if (binary) {
        BinaryX x(false);
        x.Open("Mesh", "grid").Ints({count}).Floats(positions).Ints(faces);
        x.Open("MeshNormals").Ints({count}).Floats(normals).Ints(normal_faces).Close();
        return x.Close().bytes;
    }
    std::string t = "xof 0303txt 0032\nMesh grid {\n" + std::to_string(count) + ";\n";
    char buf[64];
    auto list = [&](const std::vector<double>& v) {
        for (size_t i = 0; i < v.size(); i += 3) {
            std::snprintf(buf, sizeof buf, "%g;%g;%g;%s\n", v[i], v[i + 1], v[i + 2], i + 3 < v.size() ? "," : ";");
            t += buf;
        }
    };
    auto indexes = [&](const std::vector<uint32_t>& f) {
        t += std::to_string(f[0]) + ";\n";
        for (size_t i = 1; i < f.size(); i += 5) {
            std::snprintf(buf, sizeof buf, "4;%u,%u,%u,%u;%s\n", f[i + 1], f[i + 2], f[i + 3], f[i + 4],
                          i + 5 < f.size() ? "," : ";");
            t += buf;
        }
    };
    list(positions);
    indexes(faces);
    t += "MeshNormals {\n" + std::to_string(count) + ";\n";
    list(normals);
    indexes(normal_faces);
    return t + "}\n}\n";
}

// The blocks of a compressed file: where each starts, and its two sizes.
struct Block {
    size_t at, inflated, packed;
};
std::vector<Block> Blocks(const std::string& z) {
    std::vector<Block> out;
    auto word = [&](size_t p) { return static_cast<size_t>(static_cast<uint8_t>(z[p]) | static_cast<uint8_t>(z[p + 1]) << 8); };
    for (size_t p = 20; p + 4 <= z.size(); p += 4 + word(p + 2)) out.push_back({p, word(p), word(p + 2)});
    return out;
}
void PutWord(std::string* z, size_t at, size_t v) {
    (*z)[at] = static_cast<char>(v & 0xff);
    (*z)[at + 1] = static_cast<char>(v >> 8);
}
size_t Dword(const std::string& z, size_t at) {
    size_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(z[at + i]);
    return v;
}
void PutDword(std::string* z, size_t at, size_t v) {
    for (int i = 0; i < 4; ++i) (*z)[at + i] = static_cast<char>(v >> (8 * i));
}

TEST(XFileCompressed, TextBinaryAndBothCompressedEncodingsGiveTheSameMesh) {
    const MeshData text = Read(kText);
    for (size_t block : {size_t{32768}, size_t{1}, size_t{40}}) {
        SCOPED_TRACE("blocks of " + std::to_string(block));
        const std::string tzip = DeflateXFile(kText, block);
        ASSERT_EQ(tzip.substr(0, 16), "xof 0302tzip0032");
        const MeshData t = Read(tzip);
        EXPECT_EQ(t.header, "xof 0302tzip0032");
        ExpectSameMesh(t, text);
        for (bool doubles : {false, true}) {
            const std::string bzip = DeflateXFile(Binary(doubles), block);
            ASSERT_EQ(bzip.substr(8, 8), doubles ? "bzip0064" : "bzip0032");
            ExpectSameMesh(Read(bzip), text);
        }
    }

    // Several full blocks, each inflated with the one before as its
    // dictionary: the mesh comes out whole, the same from all four files.
    const MeshData grid = Read(Grid(48, false));
    ASSERT_EQ(grid.vertices.size(), 47u * 47 * 6);
    ExpectSameMesh(Read(Grid(48, true)), grid);
    for (bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "bzip" : "tzip");
        const std::string plain = Grid(48, binary);
        const std::string z = DeflateXFile(plain);
        const std::vector<Block> blocks = Blocks(z);
        ASSERT_GE(blocks.size(), 2u);
        EXPECT_EQ(blocks[0].inflated, 32768u);
        EXPECT_EQ(blocks.back().at + 4 + blocks.back().packed, z.size());
        ExpectSameMesh(Read(z), grid);
        // Writers that count only the blocks' output in the declared size
        // are read alike.
        std::string body_only = z;
        PutDword(&body_only, 16, plain.size() - 16);
        ExpectSameMesh(Read(body_only), grid);
    }

    // Letters at random, then the same again from 30000 back (zlib's
    // deflate reaches a little less than 32 KB): the second block is
    // almost nothing but matches into its dictionary, which proves the
    // chain is really used.
    std::string twice = "xof 0303txt 0032";
    std::mt19937 rng(16);
    while (twice.size() < 16 + 32768) twice += static_cast<char>('a' + rng() % 26);
    while (twice.size() < 16 + 65536) twice += twice[twice.size() - 30000];
    const std::vector<Block> blocks = Blocks(DeflateXFile(twice));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_LT(blocks[1].packed * 20, blocks[0].packed) << blocks[1].packed << " of " << blocks[0].packed;
    const std::string refused = Refusal(DeflateXFile(twice));  // it inflates, but letters are no mesh
    EXPECT_EQ(refused.find("block"), std::string::npos) << refused;
}

TEST(XFileCompressed, DamagedFilesAreRefusedAndSayWhere) {
    const std::string z = DeflateXFile(Grid(48, false));
    const std::vector<Block> b = Blocks(z);
    ASSERT_GE(b.size(), 3u);
    auto edit = [&](auto change) {
        std::string d = z;
        change(&d);
        return d;
    };
    const struct {
        std::string bytes;
        const char* says;
    } cases[] = {
        {z.substr(0, 18), "ends before its decompressed size"},
        {edit([](std::string* d) { PutDword(d, 16, 0xffffffffu); }), "no mesh is that large"},
        {edit([&](std::string* d) { d->resize(100); PutDword(d, 16, 2'000'000); }), "blocks could hold 327680 at most"},
        {edit([&](std::string* d) { PutWord(d, b[1].at, 0); }), "declares 0 decompressed bytes"},
        {edit([&](std::string* d) { PutWord(d, b[1].at, 32769); }), "a block holds 1 to 32768"},
        {edit([&](std::string* d) { PutWord(d, b[1].at + 2, 0xffff); }), "run past the end of the file"},
        {edit([&](std::string* d) { (*d)[b[2].at + 5] = 'J'; }), "\"CK\" signature"},
        {edit([&](std::string* d) { PutWord(d, b[2].at + 2, 1); }), "\"CK\" signature"},
        // Reserved block type 3 in the first deflate header.
        {edit([&](std::string* d) { (*d)[b[0].at + 6] = '\x07'; }), "damaged deflate data (invalid block type)"},
        {edit([&](std::string* d) { PutWord(d, b[1].at, b[1].inflated - 1); }), "inflates to more than the 32767 bytes"},
        {edit([&](std::string* d) { PutWord(d, b.back().at, b.back().inflated + 1); }), "bytes, not the"},
        {edit([&](std::string* d) { PutWord(d, b.back().at + 2, b.back().packed - 1); d->pop_back(); }), "cut short"},
        {edit([&](std::string* d) { PutWord(d, b.back().at + 2, b.back().packed + 3); *d += "xyz"; }), "ends 3 bytes before"},
        {z.substr(0, b.back().at + 2), "ends inside its sizes"},
        {z.substr(0, b.back().at), "the blocks hold"},
        {edit([&](std::string* d) { PutDword(d, 16, Dword(z, 16) + 1); }), "the blocks hold"},
        {edit([&](std::string* d) { PutDword(d, 16, Dword(z, 16) - 32768 - 16); }), "more than the"},
        // The second block without the first has no dictionary: its
        // matches reach back into nothing.
        {edit([&](std::string* d) { d->erase(b[0].at, b[1].at - b[0].at); PutDword(d, 16, Dword(z, 16) - 32768); }),
         "damaged deflate data (invalid distance too far back)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const std::string error = Refusal(c.bytes);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    }

    // A body that inflates but does not parse says its offset counts in the
    // decompressed file.
    const std::string cut = DeflateXFile(Binary(false).substr(0, 200));
    EXPECT_NE(Refusal(cut).find("in the decompressed file"), std::string::npos) << Refusal(cut);
}

TEST(XFileCompressed, EveryTruncationAndRandomDamageIsRefusedWithoutHarm) {
    const std::string small = DeflateXFile(kText, 40);
    for (size_t n = 0; n <= small.size(); ++n) {
        MeshData m;
        std::string error;
        ASSERT_EQ(ReadXFile(small.data(), n, &m, &error), n == small.size()) << "cut at " << n << ": " << error;
    }
    const std::string big = DeflateXFile(Grid(24, true));
    std::mt19937 rng(2010);
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = round % 2 ? big : small;
        const int changes = 1 + static_cast<int>(rng() % 3);
        for (int c = 0; c < changes; ++c) bytes[16 + rng() % (bytes.size() - 16)] = static_cast<char>(rng());
        MeshData m;
        std::string error;
        if (!ReadXFile(bytes.data(), bytes.size(), &m, &error)) {
            ASSERT_FALSE(error.empty());
            ASSERT_TRUE(m.vertices.empty());
        } else {
            ASSERT_EQ(m.vertices.size() % 3, 0u);
        }
    }
}

// ---------------------------------------------------------------------------
// Drawing, through an effect whose vertex shader takes float4 POSITION and
// float3 NORMAL, as the show's scene effect does.

const char kShadeByNormal[] = R"(
struct VS_OUT { float4 Position : POSITION; float4 Color : COLOR0; };
VS_OUT VS(float4 Position : POSITION, float3 Normal : NORMAL)
{
    VS_OUT o;
    o.Position = Position;
    o.Color = float4(Normal * 0.5 + 0.5, 1);
    return o;
}
float4 PS(float4 Color : COLOR0) : COLOR0 { return Color; }
technique ByNormal { pass p0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
)";

// Clip-space triangles: subset 0 on the left, facing the viewer (clockwise
// on screen), normal +x; subset 1 on the right, also facing, normal +y;
// subset 2 in the middle, wound the other way (a back face).
const char kThreeSubsets[] = R"(xof 0302txt 0032
Mesh m {
 9; -0.8;-0.5;0.5;, -0.5;0.5;0.5;, -0.2;-0.5;0.5;,
     0.2;-0.5;0.5;,  0.5;0.5;0.5;,  0.8;-0.5;0.5;,
    -0.1;0.6;0.5;,   0.0;0.9;0.5;,  0.1;0.6;0.5;;
 3; 3;0,1,2;, 3;3,4,5;, 3;8,7,6;;
 MeshNormals { 3; 1;0;0;, 0;1;0;, 0;0;1;; 3; 3;0,0,0;, 3;1,1,1;, 3;2,2,2;; }
 MeshMaterialList { 3; 3; 0, 1, 2;;
  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }
  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }
  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }
 }
}
)";

class MeshDraw : public ::testing::Test {
protected:
    void SetUp() override {
        d = gfxtest::SharedDevice();
        ASSERT_NE(d, nullptr);
        gfxtest::ResetStates(d);
        std::string log;
        effect = fx::Effect::Create(d, kShadeByNormal, "by_normal.fx", &log);
        ASSERT_NE(effect, nullptr) << log;
        mesh = Mesh::CreateFromX(d, kThreeSubsets, sizeof kThreeSubsets - 1, "three.x");
        ASSERT_NE(mesh, nullptr);
        ASSERT_TRUE(d->BeginScene());
        // Direct3D's default culling: counter-clockwise triangles are backs.
        d->SetRenderState(gfx::RS::CullMode, gfx::CULL_CCW);
    }
    void TearDown() override {
        if (d) {
            d->EndScene();
            gfxtest::ResetStates(d);
        }
        if (mesh) mesh->Release();
        if (effect) effect->Release();
    }
    // Clears to black and draws the given subsets; returns the frame.
    std::vector<uint8_t> Draw(std::initializer_list<uint32_t> subsets) {
        d->Clear(gfx::CLEAR_TARGET | gfx::CLEAR_ZBUFFER, 0xFF000000, 1.f);
        EXPECT_TRUE(effect->SetTechnique("ByNormal"));
        unsigned passes = 0;
        EXPECT_TRUE(effect->Begin(&passes, 0));
        EXPECT_TRUE(effect->BeginPass(0));
        for (uint32_t k : subsets) EXPECT_TRUE(mesh->DrawSubset(k));
        EXPECT_TRUE(effect->EndPass());
        EXPECT_TRUE(effect->End());
        return gfxtest::ReadBack(d);
    }
    gfx::Device* d = nullptr;
    fx::Effect* effect = nullptr;
    Mesh* mesh = nullptr;
};

// Clip (x, y) to back-buffer pixels: y up in clip space, down on screen.
constexpr int Px(float x) { return static_cast<int>((x + 1.f) * 512.f); }
constexpr int Py(float y) { return static_cast<int>((1.f - y) * 384.f); }

TEST_F(MeshDraw, DrawSubsetDrawsItsOwnTrianglesWithTheirNormals) {
    using gfxtest::PixelAt;
    using gfxtest::Rgb;
    const Rgb black{0, 0, 0}, plus_x{255, 128, 128}, plus_y{128, 255, 128};
    const int left_x = Px(-0.5f), right_x = Px(0.5f), middle_x = Px(0.f), y = Py(-0.2f), top_y = Py(0.7f);

    std::vector<uint8_t> f = Draw({1});
    EXPECT_EQ(PixelAt(f, right_x, y), plus_y);
    EXPECT_EQ(PixelAt(f, left_x, y), black);
    // The mesh set its own position + normal layout, and left it set.
    const auto elements = d->GetVertexDeclaration()->Elements();
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_EQ(elements[0].usage, gfx::DeclUsage::Position);
    EXPECT_EQ(elements[1].usage, gfx::DeclUsage::Normal);
    EXPECT_EQ(elements[1].offset, 12u);

    f = Draw({0, 1, 2});
    EXPECT_EQ(PixelAt(f, left_x, y), plus_x);
    EXPECT_EQ(PixelAt(f, right_x, y), plus_y);
    // The file's winding reaches the device unchanged: the clockwise
    // triangles draw and the counter-clockwise one is culled as a back.
    EXPECT_EQ(PixelAt(f, middle_x, top_y), black);

    d->SetRenderState(gfx::RS::CullMode, gfx::CULL_NONE);
    f = Draw({2});
    EXPECT_EQ(PixelAt(f, middle_x, top_y), (Rgb{128, 128, 255}));

    // A subset past the last draws nothing and says so.
    const uint32_t draws = d->CurrentStats().draws;
    EXPECT_FALSE(mesh->DrawSubset(3));
    EXPECT_EQ(d->CurrentStats().draws, draws);
}

// ---------------------------------------------------------------------------
// kelo-xinfo, run as a person would run it.

std::pair<int, std::string> Xinfo(const std::string& args) { return RunCommand(KELO_XINFO " " + args); }

TEST(KeloXinfo, TellsWhatEachFileHoldsAndFailsTheRunOnABadOne) {
    namespace fs = std::filesystem;
    std::string shipped;
    for (const auto& e : fs::directory_iterator(KELO_SOURCE_DIR "/data/assets/meshes")) {
        if (e.path().extension() == ".x") shipped += " " + e.path().string();
    }
    ASSERT_FALSE(shipped.empty());
    auto [status, out] = Xinfo(shipped);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("error"), std::string::npos) << out;
    EXPECT_NE(out.find("format:    xof 0302bin 0032 (binary, 32-bit floats)"), std::string::npos) << out;

    const fs::path dir = fs::temp_directory_path() / ("kelo_xinfo_" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "good.x", std::ios::binary) << kText;
    std::ofstream(dir / "cut.x", std::ios::binary) << Binary(false).substr(0, 200);
    std::ofstream(dir / "zipped.x", std::ios::binary) << DeflateXFile(Binary(false), 100);
    std::ofstream(dir / "zcut.x", std::ios::binary) << DeflateXFile(kText).substr(0, 40);
    std::tie(status, out) = Xinfo((dir / "zipped.x").string() + " " + (dir / "zcut.x").string());
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("format:    xof 0302bzip0032 (binary, MSZIP-compressed, 32-bit floats)"), std::string::npos) << out;
    EXPECT_NE(out.find("zcut.x: error: block 0 at byte 20: its "), std::string::npos) << out;
    EXPECT_NE(out.find("compressed bytes run past the end of the file"), std::string::npos) << out;

    std::tie(status, out) = Xinfo((dir / "cut.x").string() + " " + (dir / "good.x").string() + " " + (dir / "none.x").string());
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("cut.x: error: "), std::string::npos) << out;
    EXPECT_NE(out.find("none.x: error: cannot read"), std::string::npos) << out;
    // The good file is still described in full.
    for (const char* line : {"meshes:    1", "vertices:  4 in the file", "faces:     2 polygons, 2 triangles",
                             "subsets:   3", "subset 1: 0 triangles", "diffuse (1, 0, 0, 0.5)",
                             "bounds:    min (0, 0, 1) max (1, 1, 4)"}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
    EXPECT_EQ(Xinfo("").first, 2);
    auto [help_status, help] = Xinfo("--help");
    EXPECT_EQ(help_status, 0);
    EXPECT_NE(help.find("usage: kelo-xinfo FILE.x..."), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
