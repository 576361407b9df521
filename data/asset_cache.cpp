#include "data/asset_cache.h"

#include "data/creators.h"
#include "data/data_files.h"
#include "data/mesh_record.h"
#include "data/texture.h"
#include "platform/fx/effect.h"

namespace {

AssetCache g_cache;

// The loader's order: meshes, effects, pictures; cursor ranges 0-4, 5-14,
// 15-22.
constexpr int kFirstEffectLoad = kMeshFileCount;                        // 5
constexpr int kFirstTextureLoad = kMeshFileCount + kEffectFileCount;    // 15

}  // namespace

bool LoadNextAsset(float& fProgress) {
    AssetCache& c = g_cache;
    const int n = c.m_nLoadCursor;
    if (n >= kDataFileCount) return true;
    if (n < kFirstEffectLoad) {
        const DataFile& f = g_DataFiles[kFirstMeshFile + n];
        c.m_Meshes[f.m_nId] = LoadMeshFromResource(f.m_nId, f.m_pName);
    } else if (n < kFirstTextureLoad) {
        const DataFile& f = g_DataFiles[kFirstEffectFile + (n - kFirstEffectLoad)];
        c.m_Effects[f.m_nId] = CreateEffectFromResource(f.m_nId, f.m_pName);
    } else {
        const DataFile& f = g_DataFiles[kFirstTextureFile + (n - kFirstTextureLoad)];
        c.m_Textures[f.m_nId] = CreateTextureFromResource(f.m_nId, f.m_pName);
    }
    ++c.m_nLoadCursor;
    // The step is the float nearest 1/23, added in double and rounded back:
    // after 23 steps the bar reads 0.9999998, never quite 1.
    constexpr float kStep = 1.0f / 23.0f;
    fProgress = static_cast<float>(static_cast<double>(fProgress) + static_cast<double>(kStep));
    return false;
}

void LoadAllAssets() {
    float progress = 0.0f;
    while (!LoadNextAsset(progress)) {
    }
}

CMesh* GetMesh(uint32_t id) { return g_cache.m_Meshes[id]; }
plat::fx::Effect* GetEffect(uint32_t id) { return g_cache.m_Effects[id]; }
CTexture* GetTexture(uint32_t id) { return g_cache.m_Textures[id]; }

void ReleaseAssets() {
    AssetCache& c = g_cache;
    for (int i = kFirstMeshFile; i < kFirstMeshFile + kMeshFileCount; ++i) {
        CMesh*& mesh = c.m_Meshes[g_DataFiles[i].m_nId];
        if (mesh) {
            mesh->Release();
            delete mesh;
        }
        mesh = nullptr;
    }
    for (int i = kFirstEffectFile; i < kFirstEffectFile + kEffectFileCount; ++i) {
        plat::fx::Effect*& effect = c.m_Effects[g_DataFiles[i].m_nId];
        if (effect) effect->Release();
        effect = nullptr;
    }
    for (int i = kFirstTextureFile; i < kFirstTextureFile + kTextureFileCount; ++i) {
        CTexture*& texture = c.m_Textures[g_DataFiles[i].m_nId];
        if (texture) {
            texture->Release();
            delete texture;
        }
        texture = nullptr;
    }
}

const AssetCache& GetAssetCache() { return g_cache; }

void ResetAssetCacheForTests() {
    ReleaseAssets();
    g_cache = AssetCache{};
}
