#include "data/mesh_record.h"

#include "app/device.h"
#include "data/creators.h"
#include "platform/os/log.h"

void CMesh::Release() {
    delete[] m_pMaterials;
    m_pMaterials = nullptr;
    m_nMaterials = 0;
    if (m_pMesh) {
        m_pMesh->Release();
        m_pMesh = nullptr;
    }
}

CMesh* LoadMeshFromResource(uint32_t id, const char* name) {
    size_t size = 0;
    const unsigned char* bytes = LoadResourceBytes(id, RT_RCDATA, &size);
    if (!bytes) {
        plat::LogWarning("mesh", "%s: no RCDATA resource %u", name, id);
        return nullptr;
    }
    plat::Mesh* mesh = plat::Mesh::CreateFromX(GetDevice(), bytes, size, name);
    if (!mesh) return nullptr;

    CMesh* record = new CMesh;
    record->m_pMesh = mesh;
    record->m_nMaterials = mesh->GetNumSubsets();
    record->m_pMaterials = new plat::Material[record->m_nMaterials];
    for (uint32_t i = 0; i < record->m_nMaterials; ++i) {
        record->m_pMaterials[i] = mesh->Data().materials[i];
        // X files carry no ambient colour; the material lights as it is lit.
        record->m_pMaterials[i].Ambient = record->m_pMaterials[i].Diffuse;
    }
    return record;
}
