// fuzz/xfile_fuzz.cpp - libFuzzer target for X files (platform/mesh/mesh.h
// ReadXFile, and through it platform/mesh/xfile_reader.h): the step that needs
// no device.
//
// On success the MeshData must be what DrawSubset relies on: a whole
// triangle list, one subset per material, and every subset's run inside
// the vertices, laid end to end in order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/mesh/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    plat::MeshData mesh;
    std::string error;
    if (!plat::ReadXFile(data, size, &mesh, &error)) {
        if (error.empty() || !mesh.vertices.empty() || !mesh.subsets.empty()) std::abort();
        return 0;
    }
    if (mesh.vertices.empty() || mesh.vertices.size() % 3 != 0) std::abort();
    if (mesh.subsets.size() != mesh.materials.size()) std::abort();
    size_t next = 0;
    for (const plat::MeshSubset& s : mesh.subsets) {
        if (s.first_vertex != next) std::abort();
        next += static_cast<size_t>(s.triangle_count) * 3;
    }
    if (next != mesh.vertices.size()) std::abort();
    return 0;
}
