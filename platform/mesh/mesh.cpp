// X file meshes as D3DX loaded them. The file's objects come from
// platform/mesh/xfile_reader.h; this file gives the standard templates their
// meaning. See platform/mesh/mesh.h for the rules kept.
//
// Index of this file:
// [SECTION] Reading a data object's numbers
// [SECTION] Frame matrices
// [SECTION] From the file's objects to vertices, faces and subsets
// [SECTION] Reading without a device
// [SECTION] The mesh object

#include "platform/mesh/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

#include "platform/os/log.h"
#include "platform/mesh/xfile_reader.h"

namespace plat {
namespace {

using xfile::Node;

constexpr int kMaxFrameDepth = 64;
constexpr size_t kMaterialValues = 11;  // faceColor RGBA, power, specular RGB, emissive RGB

// ---------------------------------------------------------------------------
// [SECTION] Reading a data object's numbers
// ---------------------------------------------------------------------------

// Reads a data object's numbers in order, checking every count against what
// is left, so a damaged count can neither read past the object nor make us
// allocate for values that are not there.
class Values {
public:
    Values(const Node& node, std::string* error) : v_(node.numbers), what_(node.type.substr(0, 40)), error_(error) {}

    size_t Left() const { return v_.size() - i_; }

    // A count of items of `per_item` values each, all of which must follow.
    bool Count(uint32_t* n, size_t per_item, const char* of) {
        double d = 0.0;
        if (!Next(&d, of)) return false;
        if (!(d >= 0.0 && d <= 4294967295.0 && d == std::floor(d))) return Fail(std::string("the number of ") + of + " is not a count");
        *n = static_cast<uint32_t>(d);
        if (static_cast<uint64_t>(*n) * per_item > Left()) {
            return Fail(std::to_string(*n) + " " + of + " announced, values for fewer follow");
        }
        return true;
    }

    bool Index(uint32_t limit, uint32_t* index, const char* of) {
        double d = 0.0;
        if (!Next(&d, of)) return false;
        if (!(d >= 0.0 && d < static_cast<double>(limit) && d == std::floor(d))) {
            return Fail(std::string("an index past the last of ") + std::to_string(limit) + " " + of);
        }
        *index = static_cast<uint32_t>(d);
        return true;
    }

    bool Float(float* f, const char* of) {
        double d = 0.0;
        if (!Next(&d, of)) return false;
        *f = static_cast<float>(d);
        return true;
    }

private:
    bool Next(double* d, const char* of) {
        if (i_ >= v_.size()) return Fail(std::string("it ends before its ") + of);
        *d = v_[i_++];
        return true;
    }
    bool Fail(const std::string& why) {
        *error_ = std::string(what_) + ": " + why;
        return false;
    }

    const std::vector<double>& v_;
    std::string_view what_;
    std::string* error_;
    size_t i_ = 0;
};

// ---------------------------------------------------------------------------
// [SECTION] Frame matrices
// ---------------------------------------------------------------------------

// A frame's matrix, row-major, row vectors: p' = (x, y, z, 1) x M, as the
// file writes it and Direct3D used it.
struct Matrix {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    bool identity = true;

    // this := a x b (a applies first).
    static Matrix Product(const Matrix& a, const Matrix& b) {
        if (a.identity) return b;
        if (b.identity) return a;
        Matrix r;
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
            }
        }
        r.identity = false;
        return r;
    }

    // Exporters write identity matrices for frames that do not move
    // anything; those leave the vertices alone, bit for bit.
    void SetIdentityFlag() {
        const Matrix one;
        identity = std::equal(&m[0][0], &m[0][0] + 16, &one.m[0][0]);
    }
};

// ---------------------------------------------------------------------------
// [SECTION] From the file's objects to vertices, faces and subsets
// ---------------------------------------------------------------------------

struct Builder {
    MeshData* out;
    std::string* error;
    std::map<std::string_view, const Node*> materials;  // every named Material of the file
    std::vector<std::vector<MeshVertex>> triangles;     // per subset, 3 vertices each

    void CollectMaterials(const Node& n, int depth) {
        if (depth > kMaxFrameDepth) return;
        if (!n.reference && n.type == "Material" && !n.name.empty()) materials.emplace(n.name, &n);
        for (const Node& c : n.children) CollectMaterials(c, depth + 1);
    }

    bool Walk(const Node& n, const Matrix& parent, int depth) {
        if (n.reference || depth > kMaxFrameDepth) return true;
        if (n.type == "Mesh") return AddMesh(n, parent);
        if (n.type != "Frame") return true;  // materials, headers, animations: not geometry
        Matrix local;
        for (const Node& c : n.children) {
            if (c.reference || c.type != "FrameTransformMatrix") continue;
            if (c.numbers.size() < 16) {
                *error = "FrameTransformMatrix: fewer than 16 values";
                return false;
            }
            for (int i = 0; i < 16; ++i) local.m[i / 4][i % 4] = static_cast<float>(c.numbers[i]);
            local.SetIdentityFlag();
            break;
        }
        // A child frame's transform applies first, then its parents'.
        const Matrix global = Matrix::Product(local, parent);
        for (const Node& c : n.children) {
            if (!Walk(c, global, depth + 1)) return false;
        }
        return true;
    }

    bool ReadMaterial(const Node& n, Material* m) {
        if (n.numbers.size() < kMaterialValues) {
            char buf[120];
            std::snprintf(buf, sizeof buf, "Material \"%.40s\": %zu values, %zu needed", std::string(n.name).c_str(),
                          n.numbers.size(), kMaterialValues);
            *error = buf;
            return false;
        }
        const auto f = [&](size_t i) { return static_cast<float>(n.numbers[i]); };
        m->Diffuse = {f(0), f(1), f(2), f(3)};
        m->Power = f(4);
        m->Specular = {f(5), f(6), f(7), 1.f};
        m->Emissive = {f(8), f(9), f(10), 1.f};
        m->Ambient = {0.f, 0.f, 0.f, 0.f};  // X files carry no ambient colour
        return true;
    }

    bool AddMesh(const Node& mesh, const Matrix& frame) {
        Values v(mesh, error);
        uint32_t nv = 0, nf = 0;
        if (!v.Count(&nv, 3, "vertices")) return false;
        std::vector<float> pos(static_cast<size_t>(nv) * 3);
        for (float& c : pos) {
            if (!v.Float(&c, "vertices")) return false;
        }
        // Each face is a corner count followed by that many indices.
        if (!v.Count(&nf, 1, "faces")) return false;
        std::vector<uint32_t> corners;  // per face: count, then indices
        corners.reserve(std::min<size_t>(v.Left(), static_cast<size_t>(nf) * 4));
        for (uint32_t f = 0; f < nf; ++f) {
            uint32_t k = 0;
            if (!v.Count(&k, 1, "face corners")) return false;
            corners.push_back(k);
            for (uint32_t j = 0; j < k; ++j) {
                uint32_t index = 0;
                if (!v.Index(nv, &index, "vertices")) return false;
                corners.push_back(index);
            }
        }
        out->file_vertices += nv;
        out->meshes += 1;

        const Node* normals_node = nullptr;
        const Node* list_node = nullptr;
        for (const Node& c : mesh.children) {
            if (c.reference) continue;
            if (c.type == "MeshNormals" && !normals_node) normals_node = &c;
            if (c.type == "MeshMaterialList" && !list_node) list_node = &c;
        }

        // Normals: their own array and their own faces, corner for corner.
        std::vector<float> normals;
        std::vector<uint32_t> normal_corners;
        if (normals_node) {
            Values n(*normals_node, error);
            uint32_t nn = 0, nfn = 0;
            if (!n.Count(&nn, 3, "normals")) return false;
            normals.resize(static_cast<size_t>(nn) * 3);
            for (float& c : normals) {
                if (!n.Float(&c, "normals")) return false;
            }
            if (!n.Count(&nfn, 1, "faces")) return false;
            if (nfn != nf) {
                *error = "MeshNormals: " + std::to_string(nfn) + " faces, the mesh has " + std::to_string(nf);
                return false;
            }
            normal_corners.reserve(corners.size());
            size_t at = 0;
            for (uint32_t f = 0; f < nf; ++f) {
                uint32_t k = 0;
                if (!n.Count(&k, 1, "face corners")) return false;
                if (k != corners[at]) {
                    *error = "MeshNormals: face " + std::to_string(f) + " has " + std::to_string(k) + " corners, the mesh's has " +
                             std::to_string(corners[at]);
                    return false;
                }
                normal_corners.push_back(k);
                for (uint32_t j = 0; j < k; ++j) {
                    uint32_t index = 0;
                    if (!n.Index(nn, &index, "normals")) return false;
                    normal_corners.push_back(index);
                }
                at += 1 + k;
            }
        }

        // Materials: this mesh's subsets follow those of the meshes before it.
        const uint32_t base = static_cast<uint32_t>(out->materials.size());
        std::vector<uint32_t> face_material(nf, 0);
        if (list_node) {
            Values l(*list_node, error);
            uint32_t nm = 0, nfi = 0;
            if (!l.Count(&nm, 0, "materials") || !l.Count(&nfi, 1, "face indexes")) return false;
            for (uint32_t f = 0; f < nfi; ++f) {
                uint32_t m = 0;
                if (!l.Index(nm, &m, "materials")) return false;
                if (f < nf) face_material[f] = m;
            }
            // Fewer indexes than faces: the last one holds for the rest.
            for (uint32_t f = nfi; f < nf && nfi > 0; ++f) face_material[f] = face_material[nfi - 1];
            uint32_t found = 0;
            for (const Node& c : list_node->children) {
                if (found == nm) break;
                const Node* mat = nullptr;
                if (c.reference) {
                    auto it = materials.find(c.name);
                    if (it == materials.end()) {
                        *error = "MeshMaterialList: no material named \"" + std::string(c.name.substr(0, 40)) + "\"";
                        return false;
                    }
                    mat = it->second;
                } else if (c.type == "Material") {
                    mat = &c;
                } else {
                    continue;
                }
                Material m{};
                if (!ReadMaterial(*mat, &m)) return false;
                out->materials.push_back(m);
                ++found;
            }
            if (found < nm) {
                *error = "MeshMaterialList: " + std::to_string(nm) + " materials announced, " + std::to_string(found) + " given";
                return false;
            }
            if (nm == 0 && nf > 0) {
                *error = "MeshMaterialList: no materials for the mesh's faces";
                return false;
            }
        } else {
            // No material list: one white subset, so the mesh still draws.
            out->materials.push_back({{1.f, 1.f, 1.f, 1.f}, {0.f, 0.f, 0.f, 0.f}, {0.f, 0.f, 0.f, 1.f}, {0.f, 0.f, 0.f, 1.f}, 0.f});
        }
        triangles.resize(out->materials.size());

        // Faces into fans from their first corner, as D3DX cut polygons.
        const NormalMatrix nm(frame);
        size_t at = 0;
        for (uint32_t f = 0; f < nf; ++f) {
            const uint32_t k = corners[at];
            const uint32_t* pi = &corners[at + 1];
            const uint32_t* ni = normals_node ? &normal_corners[at + 1] : nullptr;
            at += 1 + k;
            if (k < 3) continue;
            out->polygons += 1;
            std::vector<MeshVertex>& dst = triangles[base + face_material[f]];
            for (uint32_t j = 1; j + 1 < k; ++j) {
                const uint32_t c[3] = {0, j, j + 1};
                MeshVertex tri[3];
                for (int e = 0; e < 3; ++e) {
                    const float* p = &pos[static_cast<size_t>(pi[c[e]]) * 3];
                    MeshVertex& vtx = tri[e];
                    if (frame.identity) {
                        vtx.x = p[0], vtx.y = p[1], vtx.z = p[2];
                    } else {
                        const auto& m = frame.m;
                        vtx.x = p[0] * m[0][0] + p[1] * m[1][0] + p[2] * m[2][0] + m[3][0];
                        vtx.y = p[0] * m[0][1] + p[1] * m[1][1] + p[2] * m[2][1] + m[3][1];
                        vtx.z = p[0] * m[0][2] + p[1] * m[1][2] + p[2] * m[2][2] + m[3][2];
                    }
                    if (ni) {
                        const float* n = &normals[static_cast<size_t>(ni[c[e]]) * 3];
                        vtx.nx = n[0], vtx.ny = n[1], vtx.nz = n[2];
                        nm.Apply(vtx);
                    }
                }
                if (!ni) FlatNormal(tri);
                dst.insert(dst.end(), tri, tri + 3);
            }
        }
        if (!normals_node && nf > 0) out->made_normals = true;
        return true;
    }

    // Normals go through the inverse transpose of the frame's 3x3 part. The
    // cofactor matrix is that times the determinant: its sign is put right
    // and the length normalised away.
    struct NormalMatrix {
        float c[3][3];
        bool identity;
        explicit NormalMatrix(const Matrix& f) : identity(f.identity) {
            const auto& a = f.m;
            for (int r = 0; r < 3; ++r)
                for (int k = 0; k < 3; ++k) {
                    const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, k1 = (k + 1) % 3, k2 = (k + 2) % 3;
                    c[r][k] = a[r1][k1] * a[r2][k2] - a[r1][k2] * a[r2][k1];
                }
            const float det = a[0][0] * c[0][0] + a[0][1] * c[0][1] + a[0][2] * c[0][2];
            if (det < 0.f)
                for (auto& row : c)
                    for (float& x : row) x = -x;
        }
        // Row vectors: n' = n x (A^-1)^T = n x C / det, so n'_k = sum_r n_r C[r][k].
        void Apply(MeshVertex& v) const {
            if (identity) return;
            const float x = v.nx * c[0][0] + v.ny * c[1][0] + v.nz * c[2][0];
            const float y = v.nx * c[0][1] + v.ny * c[1][1] + v.nz * c[2][1];
            const float z = v.nx * c[0][2] + v.ny * c[1][2] + v.nz * c[2][2];
            const float len = std::sqrt(x * x + y * y + z * z);
            const float s = len > 0.f ? 1.f / len : 0.f;
            v.nx = x * s, v.ny = y * s, v.nz = z * s;
        }
    };

    // Direct3D's front side is the one from which the corners run clockwise;
    // in left-handed coordinates that is where (b - a) x (c - a) points.
    static void FlatNormal(MeshVertex* t) {
        const float ux = t[1].x - t[0].x, uy = t[1].y - t[0].y, uz = t[1].z - t[0].z;
        const float vx = t[2].x - t[0].x, vy = t[2].y - t[0].y, vz = t[2].z - t[0].z;
        const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        const float s = len > 0.f ? 1.f / len : 0.f;
        for (int i = 0; i < 3; ++i) t[i].nx = nx * s, t[i].ny = ny * s, t[i].nz = nz * s;
    }
};

bool Build(const xfile::Document& doc, MeshData* out, std::string* error) {
    Builder b{out, error, {}, {}};
    for (const Node& n : doc.objects) b.CollectMaterials(n, 0);
    for (const Node& n : doc.objects) {
        if (!b.Walk(n, Matrix{}, 0)) return false;
    }
    if (out->meshes == 0) {
        *error = "the file holds no mesh";
        return false;
    }
    size_t total = 0;
    for (const auto& t : b.triangles) total += t.size();
    if (total == 0) {
        *error = "the file's meshes have no triangles";
        return false;
    }
    out->vertices.reserve(total);
    out->subsets.resize(out->materials.size());
    for (size_t s = 0; s < out->materials.size(); ++s) {
        out->subsets[s].first_vertex = static_cast<uint32_t>(out->vertices.size());
        out->subsets[s].triangle_count = s < b.triangles.size() ? static_cast<uint32_t>(b.triangles[s].size() / 3) : 0;
        if (s < b.triangles.size()) out->vertices.insert(out->vertices.end(), b.triangles[s].begin(), b.triangles[s].end());
    }
    const MeshVertex& first = out->vertices.front();
    float lo[3] = {first.x, first.y, first.z}, hi[3] = {first.x, first.y, first.z};
    for (const MeshVertex& v : out->vertices) {
        const float c[3] = {v.x, v.y, v.z};
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], c[i]);
            hi[i] = std::max(hi[i], c[i]);
        }
    }
    std::copy(lo, lo + 3, out->bounds_min);
    std::copy(hi, hi + 3, out->bounds_max);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Reading without a device
// ---------------------------------------------------------------------------

bool ReadXFile(const void* bytes, size_t size, MeshData* out, std::string* error) {
    std::string scratch;
    if (!error) error = &scratch;
    *out = MeshData{};
    xfile::Document doc;
    const bool parsed = xfile::ParseXFile(static_cast<const unsigned char*>(bytes), size, &doc, error);
    out->header = doc.header;
    if (parsed && Build(doc, out, error)) return true;
    // Half-built data would draw garbage: keep only the header.
    std::string header = std::move(out->header);
    *out = MeshData{};
    out->header = std::move(header);
    return false;
}

// ---------------------------------------------------------------------------
// [SECTION] The mesh object
// ---------------------------------------------------------------------------

Mesh* Mesh::Create(gfx::Device* device, MeshData&& data, std::string_view name) {
    const std::string label(name);
    if (!device) {
        LogWarning("mesh", "%s: no device", label.c_str());
        return nullptr;
    }
    static constexpr gfx::VertexElement kElements[] = {
        {0, gfx::DeclType::Float3, gfx::DeclUsage::Position, 0},
        {12, gfx::DeclType::Float3, gfx::DeclUsage::Normal, 0},
    };
    gfx::VertexDecl* decl = device->CreateVertexDeclaration(kElements);
    if (!decl) {
        LogWarning("mesh", "%s: the device cannot make the position + normal declaration", label.c_str());
        return nullptr;
    }
    Log("mesh", "%s: %u triangles in %zu subsets", label.c_str(), data.TriangleCount(), data.subsets.size());
    return new Mesh(device, decl, std::move(data));
}

Mesh* Mesh::CreateFromX(gfx::Device* device, const void* bytes, size_t size, std::string_view name) {
    MeshData data;
    std::string error;
    if (!ReadXFile(bytes, size, &data, &error)) {
        const std::string label(name);
        LogWarning("mesh", "%s: %s", label.c_str(), error.c_str());
        return nullptr;
    }
    return Create(device, std::move(data), name);
}

Mesh::Mesh(gfx::Device* device, gfx::VertexDecl* decl, MeshData&& data)
    : device_(device), decl_(decl), data_(std::move(data)) {}

Mesh::~Mesh() {
    if (decl_) decl_->Release();
}

bool Mesh::DrawSubset(uint32_t subset) {
    if (subset >= data_.subsets.size()) return false;
    const MeshSubset& s = data_.subsets[subset];
    // D3DX set the mesh's own layout before drawing, and left it set.
    device_->SetVertexDeclaration(decl_);
    if (s.triangle_count == 0) return true;
    device_->DrawPrimitiveUP(gfx::PrimType::TriangleList, s.triangle_count, &data_.vertices[s.first_vertex],
                             sizeof(MeshVertex));
    return true;
}

}  // namespace plat
