// data/asset_cache.h - the assets every effect shares, loaded one per frame
// while the loading screen runs and released once at shutdown.
//
// Three maps from resource id to object (meshes, effects, pictures) and a
// load cursor counting the assets loaded so far (0..23). An id that is
// absent and an id that maps to null both mean "not loaded". The cache owns
// what it holds; effects borrow by id, on every use, and never release.
//
// Order matters and is fixed: LoadNextAsset takes the five meshes first
// (table entries 8-12), then the ten effect files (13-22), then the eight
// pictures (0-7), one per call; ReleaseAssets runs meshes, effects, then
// pictures, each in table order, and leaves every table id in its map,
// holding null.
//
// Main thread only. Needs the device (app/device.h) for everything it loads.
#pragma once

#include <cstdint>
#include <map>

#include "data/mesh_record.h"  // what GetMesh returns is ready to draw

struct CTexture;
namespace plat::fx {
class Effect;
}

struct AssetCache {
    std::map<uint32_t, CMesh*> m_Meshes;
    std::map<uint32_t, plat::fx::Effect*> m_Effects;
    std::map<uint32_t, CTexture*> m_Textures;
    int m_nLoadCursor = 0;  // assets loaded so far
};

// Loads the next asset into its map (null when it fails) and adds 1/23 to
// fProgress; returns false. Once all 23 are in, returns true and changes
// nothing, on this call and every later one.
bool LoadNextAsset(float& fProgress);

// Tests and benchmarks: everything LoadNextAsset has still to load, at once.
void LoadAllAssets();

// The cached object for `id`, or null when it is not loaded. Asking for an
// id the map does not hold adds a null entry for it, which a later load of
// that id fills.
CMesh* GetMesh(uint32_t id);
plat::fx::Effect* GetEffect(uint32_t id);
CTexture* GetTexture(uint32_t id);

// Releases and deletes every cached object of the table and sets its entry
// to null. Safe to call again.
void ReleaseAssets();

// The cache as it stands, for tests and tools.
const AssetCache& GetAssetCache();

// Tests only: ReleaseAssets, then empty the maps and put the cursor back to
// 0, as at start-up.
void ResetAssetCacheForTests();
