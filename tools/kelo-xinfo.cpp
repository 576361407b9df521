// kelo-xinfo - reads X mesh files the way kelo does and tells what it got:
// the header, the meshes, vertices, faces, subsets with their materials'
// colours, and the bounding box; or why a file was refused.
//
//   kelo-xinfo FILE.x...
//
// Exit status 0 only when every file loaded. Needs no display and no GL:
// parsing is all that runs.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os/file_read.h"
#include "platform/mesh/mesh.h"

namespace {

// The show's meshes are a few hundred kilobytes; anything near this is not one.
constexpr size_t kMaxFileBytes = 64u * 1024 * 1024;

const char* Usage() {
    return "usage: kelo-xinfo FILE.x...\n";
}

std::string Describe(const std::string& header) {
    const std::string format = header.substr(8, 4), floats = header.substr(12, 4);
    const bool text = format == "txt " || format == "tzip";
    const bool compressed = format == "tzip" || format == "bzip";
    return std::string(text ? "text" : "binary") + (compressed ? ", MSZIP-compressed" : "") + ", " +
           (floats == "0064" ? "64" : "32") + "-bit floats";
}

// Vertices as Direct3D would count them: distinct (position, normal) pairs.
size_t DistinctVertices(const std::vector<plat::MeshVertex>& vertices) {
    std::vector<std::array<float, 6>> keys(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i) std::memcpy(keys[i].data(), &vertices[i], sizeof(keys[i]));
    std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) < 0; });
    auto end = std::unique(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; });
    return static_cast<size_t>(end - keys.begin());
}

void Print(const plat::MeshData& m) {
    std::printf("  format:    %s (%s)\n", m.header.c_str(), Describe(m.header).c_str());
    std::printf("  meshes:    %u\n", m.meshes);
    std::printf("  vertices:  %u in the file; %zu distinct (position, normal) pairs; %zu as drawn\n", m.file_vertices,
                DistinctVertices(m.vertices), m.vertices.size());
    std::printf("  faces:     %u polygons, %u triangles\n", m.polygons, m.TriangleCount());
    std::printf("  normals:   %s\n", m.made_normals ? "some faces had none; flat normals made for them" : "from the file");
    std::printf("  subsets:   %zu, one per material\n", m.subsets.size());
    for (size_t k = 0; k < m.subsets.size(); ++k) {
        const plat::Material& mat = m.materials[k];
        std::printf("    subset %zu: %u triangles; diffuse (%g, %g, %g, %g) specular (%g, %g, %g) emissive (%g, %g, %g) power %g\n",
                    k, m.subsets[k].triangle_count, mat.Diffuse.r, mat.Diffuse.g, mat.Diffuse.b, mat.Diffuse.a,
                    mat.Specular.r, mat.Specular.g, mat.Specular.b, mat.Emissive.r, mat.Emissive.g, mat.Emissive.b,
                    mat.Power);
    }
    std::printf("  materials: %zu\n", m.materials.size());
    const float* lo = m.bounds_min;
    const float* hi = m.bounds_max;
    std::printf("  bounds:    min (%g, %g, %g) max (%g, %g, %g) size (%g, %g, %g)\n", lo[0], lo[1], lo[2], hi[0], hi[1],
                hi[2], hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s"
                        "Reads each X mesh file as kelo does (left-handed coordinates kept, every mesh\n"
                        "merged through its frames, one subset per material) and prints its format,\n"
                        "meshes, vertices, faces, subsets with the materials' colours, and bounding\n"
                        "box, or why it was refused.\n"
                        "Exit status: 0 when every file loaded, 1 otherwise, 2 on bad usage.\n",
                        Usage());
            return 0;
        }
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "kelo-xinfo: unknown option %s\n%s", argv[i], Usage());
            return 2;
        }
        files.push_back(argv[i]);
    }
    if (files.empty()) {
        std::fprintf(stderr, "%s", Usage());
        return 2;
    }
    int failed = 0;
    for (const std::string& file : files) {
        std::string bytes, why;
        if (!plat::ReadWholeFile(file, kMaxFileBytes, &bytes, &why)) {
            std::printf("%s: error: cannot read: %s\n", file.c_str(), why.c_str());
            ++failed;
            continue;
        }
        plat::MeshData mesh;
        std::string error;
        if (!plat::ReadXFile(bytes.data(), bytes.size(), &mesh, &error)) {
            std::printf("%s: error: %s\n", file.c_str(), error.c_str());
            ++failed;
            continue;
        }
        std::printf("%s\n", file.c_str());
        Print(mesh);
    }
    return failed ? 1 : 0;
}
