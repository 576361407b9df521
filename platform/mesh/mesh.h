// platform/mesh/mesh.h - X file meshes, used the way ID3DXMesh was.
//
// Offers, in two steps so that tools can read meshes without a device:
//   - ReadXFile parses an X file held in memory (text or binary, either
//     one MSZIP-compressed or not, 32- or 64-bit floats) into MeshData: one triangle list of position + normal
//     vertices, grouped into one subset per material, the materials'
//     colours, and what the file said about itself;
//   - Mesh::Create / Mesh::CreateFromX make the drawable object, and
//     DrawSubset(k) sets the mesh's own POSITION float3 + NORMAL float3
//     declaration on the device and draws subset k's triangles.
//
// What is kept from the file, as D3DX kept it:
//   - coordinates exactly as written: X files are left-handed and D3DX did
//     not convert them; nor is the winding changed (clockwise is the front);
//   - every Mesh of the file (at the top or inside Frames) merged into one,
//     each moved by its frames' FrameTransformMatrix (row vectors: a child's
//     matrix applies first, then its parents'); normals follow through the
//     inverse transpose and are renormalised, unless every frame on the way
//     is absent or identity, which leaves the file's numbers bit for bit;
//   - one subset per material: the first mesh's materials in its list's
//     order, then the next mesh's, and so on, even when no face uses a
//     material (its subset is empty). A material given by reference
//     ({ name }) is the named Material found anywhere in the file. A mesh
//     without a material list gets one subset of its own with a white
//     material, so it still draws;
//   - a material list with fewer face indexes than faces applies its last
//     index to the remaining faces;
//   - polygons are cut into fans (0, i, i + 1) as D3DX cut them; faces of
//     fewer than three corners are dropped;
//   - materials: Diffuse (with alpha), Specular and Emissive (alpha 1) and
//     Power from the file; Ambient is zero, since X files carry none.
// What is not: texture coordinates, texture file names, vertex colours,
// skinning, animation and a frame's reference to a mesh defined elsewhere
// ({ name } inside a Frame) are read past and dropped. A mesh without
// normals gets flat face normals, pointing to the side from which its
// corners run clockwise (Direct3D's front side).
//
// Errors: bytes that are not an X file, a truncated or corrupt file, or a
// file without triangles give false / null with a one-line reason; Mesh
// logs it as "mesh: <name>: <reason>". Every count and index in the file is
// checked, so no input reads outside the buffer; memory grows with the
// input only (a fan of k corners, about 4k bytes, becomes k - 2 triangles
// of 72 bytes); for a compressed file, with the inflated bytes, which
// grow only as its blocks really inflate. Nothing is thrown.
//
// Lifecycle: Mesh::Create -> DrawSubset* -> Release (reference counted like
// the device's objects; released before the device). The vertices stay in
// memory and stream through the device on each draw: there are no vertex
// buffers, and a draw allocates nothing. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/device.h"

namespace plat {

// D3DCOLORVALUE: one colour as four floats.
struct ColorValue {
    float r, g, b, a;
};

// D3DMATERIAL9: the colours of one material.
struct Material {
    ColorValue Diffuse;
    ColorValue Ambient;
    ColorValue Specular;
    ColorValue Emissive;
    float Power;  // specular exponent
};

// The layout DrawSubset declares: float3 POSITION at 0, float3 NORMAL at 12.
struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
};
static_assert(sizeof(MeshVertex) == 24);

// A run of `triangle_count` triangles starting at vertex `first_vertex`.
struct MeshSubset {
    uint32_t first_vertex = 0;
    uint32_t triangle_count = 0;
};

struct MeshData {
    std::string header;   // the first 16 bytes, e.g. "xof 0302bin 0032"
    uint32_t meshes = 0;         // Mesh objects in the file, merged into this one
    uint32_t file_vertices = 0;  // vertices as the file's meshes list them
    uint32_t polygons = 0;       // faces of three or more corners, before cutting into triangles
    bool made_normals = false; // some faces had no normals in the file
    std::vector<MeshVertex> vertices;  // a triangle list, subset after subset
    std::vector<MeshSubset> subsets;   // one per material, in material order
    std::vector<Material> materials;
    float bounds_min[3] = {0.f, 0.f, 0.f};  // over every vertex position
    float bounds_max[3] = {0.f, 0.f, 0.f};

    uint32_t TriangleCount() const { return static_cast<uint32_t>(vertices.size() / 3); }
};

// Parses the X file in bytes[0, size). On failure returns false and, when
// `error` is not null, one line saying why. Needs no device.
bool ReadXFile(const void* bytes, size_t size, MeshData* out, std::string* error);

class Mesh : public gfx::RefCounted {
public:
    // Takes the data over. Null (and a "mesh:" log line) when the device
    // cannot make the vertex declaration or there is no device.
    static Mesh* Create(gfx::Device* device, MeshData&& data, std::string_view name);
    // ReadXFile, then Create. `name` is used in log lines only.
    static Mesh* CreateFromX(gfx::Device* device, const void* bytes, size_t size, std::string_view name);

    uint32_t GetNumSubsets() const { return static_cast<uint32_t>(data_.subsets.size()); }
    uint32_t GetNumFaces() const { return data_.TriangleCount(); }
    const MeshData& Data() const { return data_; }

    // Subset k, 0 <= k < GetNumSubsets(): sets the mesh's declaration and
    // draws its triangles with whatever shaders and states are current.
    // Returns false (drawing nothing) for any other k; an empty subset draws
    // nothing and returns true.
    bool DrawSubset(uint32_t subset);

private:
    Mesh(gfx::Device* device, gfx::VertexDecl* decl, MeshData&& data);
    ~Mesh() override;
    gfx::Device* device_;
    gfx::VertexDecl* decl_;
    MeshData data_;
};

}  // namespace plat
