// data/mesh_record.h - CMesh, the record of a mesh loaded from the
// executable, and LoadMeshFromResource, which makes one.
//
// A record owns its mesh (one reference) and its copy of the materials, one
// per subset. The show draws subset k for every k below m_nMaterials with
// its own effect; the colours are kept for whoever wants them, with each
// material's ambient colour set to its diffuse colour.
//
// Lifecycle: LoadMeshFromResource -> draw -> Release -> delete (the owner,
// normally the asset cache, does both).
#pragma once

#include <cstdint>

#include "platform/mesh/mesh.h"

struct CMesh {
    plat::Mesh* m_pMesh = nullptr;
    uint32_t m_nMaterials = 0;                 // one per subset
    plat::Material* m_pMaterials = nullptr;    // owned array of m_nMaterials

    // Frees the materials, releases the mesh; both pointers end up null.
    void Release();
};

// The mesh in RCDATA resource `id` (a binary or text X file), or null when
// the resource is missing or does not load ("mesh:" log line). `name` labels
// log lines only.
CMesh* LoadMeshFromResource(uint32_t id, const char* name);
