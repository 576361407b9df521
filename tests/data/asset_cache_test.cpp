// The asset cache on the show's own device: the order assets load in, the
// progress it reports, what release leaves behind, the null entries the
// getters add, and the records LoadMeshFromResource makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "data/asset_cache.h"
#include "data/creators.h"
#include "data/data_files.h"
#include "data/mesh_record.h"
#include "data/resource_ids.h"
#include "data/texture.h"
#include "platform/os/log.h"
#include "tests/support/show_test_util.h"

namespace {

// Every entry of the three maps: kind ('M', 'E', 'T'), id, object.
using Entry = std::tuple<char, uint32_t, const void*>;

std::set<Entry> Entries() {
    const AssetCache& c = GetAssetCache();
    std::set<Entry> out;
    for (const auto& [id, p] : c.m_Meshes) out.emplace('M', id, p);
    for (const auto& [id, p] : c.m_Effects) out.emplace('E', id, p);
    for (const auto& [id, p] : c.m_Textures) out.emplace('T', id, p);
    return out;
}

const char* NameOf(uint32_t id) {
    for (const DataFile& f : g_DataFiles) {
        if (f.m_nId == id) return f.m_pName;
    }
    return "";
}

class AssetCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(showtest::ShowDevice(), nullptr);
        ResetAssetCacheForTests();
    }
    void TearDown() override { ResetAssetCacheForTests(); }
};

TEST_F(AssetCacheTest, TheTableIsEmbeddedInTheOrderTheLoaderWalks) {
    std::set<uint32_t> ids;
    for (int i = 0; i < kDataFileCount; ++i) {
        const std::string name = g_DataFiles[i].m_pName;
        const std::string ext = name.substr(name.rfind('.'));
        SCOPED_TRACE(name);
        EXPECT_EQ(name.rfind("Data\\", 0), 0u);
        EXPECT_TRUE(ids.insert(g_DataFiles[i].m_nId).second) << "id twice";
        // The loader takes entries by index range: pictures, meshes, effects.
        if (i < kFirstMeshFile) {
            EXPECT_TRUE(ext == ".png" || ext == ".jpg");
        } else if (i < kFirstEffectFile) {
            EXPECT_EQ(ext, ".x");
        } else {
            EXPECT_EQ(ext, ".fx");
        }
        if (i < kFirstEffectFile) {
            size_t size = 0;
            const unsigned char* bytes = LoadResourceBytes(g_DataFiles[i].m_nId, RT_RCDATA, &size);
            ASSERT_NE(bytes, nullptr) << "not embedded";
            if (ext == ".x") {
                ASSERT_GE(size, 16u);
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 16), "xof 0302bin 0032");
            }
        }
    }
    // The two the cache never holds are embedded all the same.
    EXPECT_EQ(ids.count(217u) + ids.count(225u), 0u);
    EXPECT_NE(LoadResourceBytes(k2DEffectId, RT_RCDATA, nullptr), nullptr);
    EXPECT_NE(LoadResourceBytes(kLoadingPictureId, RT_RCDATA, nullptr), nullptr);
}

TEST_F(AssetCacheTest, LoadsMeshesThenEffectsThenPicturesOnePerCall) {
    const std::vector<std::pair<char, uint32_t>> expected = {
        {'M', kKelo3d1MeshId},         {'M', kKelo3d2MeshId},           {'M', kKelo3d3MeshId},
        {'M', kKelo3d4MeshId},         {'M', kSpaceInvaderMeshId},      {'E', kSceneEffectId},
        {'E', kSsaoEffectId},          {'E', kSsaoCombineEffectId},     {'E', kColorCombineEffectId},
        {'E', kColorCombine4EffectId}, {'E', kColorBlurHEffectId},      {'E', kColorBlurVEffectId},
        {'E', kColorDownFilter4EffectId}, {'E', kWaterFadeEffectId},    {'E', kColorBrightPassEffectId},
        {'T', kOverlayPictureId},      {'T', kBackLogoPictureId},       {'T', kFontPictureId},
        {'T', kIntroPictureId},        {'T', kWaterNormalPictureId},    {'T', kVexaLogoPictureId},
        {'T', kTextBarPictureId},      {'T', kExitScreenPictureId},
    };
    float progress = 0.f;
    std::set<Entry> before = Entries();
    for (int call = 0; call < 23; ++call) {
        SCOPED_TRACE("call " + std::to_string(call));
        ASSERT_FALSE(LoadNextAsset(progress));
        const std::set<Entry> after = Entries();
        ASSERT_EQ(after.size(), before.size() + 1) << "one asset per call";
        Entry added{};
        for (const Entry& e : after) {
            if (!before.count(e)) added = e;
        }
        EXPECT_EQ(std::get<0>(added), expected[call].first);
        EXPECT_EQ(std::get<1>(added), expected[call].second);
        EXPECT_EQ(GetAssetCache().m_nLoadCursor, call + 1);
        // Meshes and pictures are embedded and must load; effect files load
        // when they compile, which is the effect files' business.
        if (std::get<0>(added) != 'E') {
            EXPECT_NE(std::get<2>(added), nullptr);
        }
        before = after;
    }
    EXPECT_STREQ(NameOf(expected.front().second), "Data\\kelo_3d1.x");
    EXPECT_STREQ(NameOf(expected.back().second), "Data\\exit_screen.jpg");
    // 23 steps of the float nearest 1/23, each added in double and rounded
    // back: just short of one.
    EXPECT_EQ(progress, 0.99999982f);
    EXPECT_LT(progress, 1.f);

    // Done: every later call says so and changes nothing.
    for (int extra = 0; extra < 2; ++extra) {
        EXPECT_TRUE(LoadNextAsset(progress));
        EXPECT_EQ(progress, 0.99999982f);
        EXPECT_EQ(GetAssetCache().m_nLoadCursor, 23);
        EXPECT_EQ(Entries(), before);
    }

    // 217 and 225 were never loaded into the cache; asking adds null entries.
    EXPECT_EQ(GetAssetCache().m_Effects.count(k2DEffectId), 0u);
    EXPECT_EQ(GetAssetCache().m_Textures.count(kLoadingPictureId), 0u);
    EXPECT_EQ(GetEffect(k2DEffectId), nullptr);
    EXPECT_EQ(GetTexture(kLoadingPictureId), nullptr);
    EXPECT_EQ(GetAssetCache().m_Effects.count(k2DEffectId), 1u);
    EXPECT_EQ(GetAssetCache().m_Textures.count(kLoadingPictureId), 1u);

    // What was loaded is what the getters give; pictures keep their size.
    EXPECT_EQ(GetMesh(kSpaceInvaderMeshId), GetAssetCache().m_Meshes.at(kSpaceInvaderMeshId));
    const CTexture* font = GetTexture(kFontPictureId);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->m_nWidth, 512u);
    EXPECT_EQ(font->m_nHeight, 32u);
}

TEST_F(AssetCacheTest, ReleaseAfterAPartialLoadLeavesNullInEveryEntry) {
    float progress = 0.f;
    for (int i = 0; i < 7; ++i) ASSERT_FALSE(LoadNextAsset(progress));  // five meshes, two effects
    ASSERT_NE(GetAssetCache().m_Meshes.at(kKelo3d1MeshId), nullptr);
    for (int round = 0; round < 2; ++round) {  // and a second release is harmless
        ReleaseAssets();
        const AssetCache& c = GetAssetCache();
        EXPECT_EQ(c.m_Meshes.size(), 5u);
        EXPECT_EQ(c.m_Effects.size(), 10u);
        EXPECT_EQ(c.m_Textures.size(), 8u);
        for (int i = 0; i < kDataFileCount; ++i) {
            const uint32_t id = g_DataFiles[i].m_nId;
            SCOPED_TRACE(g_DataFiles[i].m_pName);
            if (i < kFirstMeshFile) {
                ASSERT_EQ(c.m_Textures.count(id), 1u);
                EXPECT_EQ(c.m_Textures.at(id), nullptr);
            } else if (i < kFirstEffectFile) {
                ASSERT_EQ(c.m_Meshes.count(id), 1u);
                EXPECT_EQ(c.m_Meshes.at(id), nullptr);
            } else {
                ASSERT_EQ(c.m_Effects.count(id), 1u);
                EXPECT_EQ(c.m_Effects.at(id), nullptr);
            }
        }
    }
    // Loading goes on from where it stopped, into the same entries.
    ASSERT_FALSE(LoadNextAsset(progress));
    EXPECT_EQ(GetAssetCache().m_nLoadCursor, 8);
    EXPECT_EQ(GetAssetCache().m_Effects.size(), 10u);
}

TEST_F(AssetCacheTest, ALookupBeforeTheLoadIsFilledByIt) {
    EXPECT_EQ(GetMesh(kKelo3d1MeshId), nullptr);
    EXPECT_EQ(GetTexture(kOverlayPictureId), nullptr);
    ASSERT_EQ(GetAssetCache().m_Meshes.size(), 1u);
    EXPECT_EQ(GetAssetCache().m_Meshes.at(kKelo3d1MeshId), nullptr);
    float progress = 0.f;
    ASSERT_FALSE(LoadNextAsset(progress));
    EXPECT_EQ(GetAssetCache().m_Meshes.size(), 1u);
    CMesh* mesh = GetMesh(kKelo3d1MeshId);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh, GetAssetCache().m_Meshes.at(kKelo3d1MeshId));
    EXPECT_EQ(GetAssetCache().m_Textures.size(), 1u);  // still only the null one asked for
    EXPECT_EQ(GetTexture(kOverlayPictureId), nullptr);
}

TEST(MeshRecord, MaterialsPerSubsetWithAmbientFromDiffuse) {
    ASSERT_NE(showtest::ShowDevice(), nullptr);
    for (const DataFile& f : g_DataFiles) {
        const std::string name = f.m_pName;
        if (name.substr(name.size() - 2) != ".x") continue;
        SCOPED_TRACE(name);
        CMesh* mesh = LoadMeshFromResource(f.m_nId, f.m_pName);
        ASSERT_NE(mesh, nullptr);
        ASSERT_NE(mesh->m_pMesh, nullptr);
        EXPECT_GE(mesh->m_nMaterials, 1u);
        EXPECT_EQ(mesh->m_nMaterials, mesh->m_pMesh->GetNumSubsets());
        EXPECT_GT(mesh->m_pMesh->GetNumFaces(), 0u);
        for (uint32_t k = 0; k < mesh->m_nMaterials; ++k) {
            const plat::Material& m = mesh->m_pMaterials[k];
            const plat::Material& file = mesh->m_pMesh->Data().materials[k];
            EXPECT_EQ(m.Ambient.r, m.Diffuse.r);
            EXPECT_EQ(m.Ambient.g, m.Diffuse.g);
            EXPECT_EQ(m.Ambient.b, m.Diffuse.b);
            EXPECT_EQ(m.Ambient.a, m.Diffuse.a);
            EXPECT_EQ(m.Diffuse.r, file.Diffuse.r);
            EXPECT_EQ(m.Power, file.Power);
        }
        // At the show's scale of 0.005 every mesh is 2 to 3 world units.
        const plat::MeshData& d = mesh->m_pMesh->Data();
        float extent = 0.f;
        for (int i = 0; i < 3; ++i) extent = std::max(extent, d.bounds_max[i] - d.bounds_min[i]);
        EXPECT_GE(extent * 0.005f, 2.f);
        EXPECT_LE(extent * 0.005f, 3.f);
        mesh->Release();
        EXPECT_EQ(mesh->m_pMesh, nullptr);
        EXPECT_EQ(mesh->m_pMaterials, nullptr);
        delete mesh;
    }

    // Not a mesh, and no resource at all: null, and a line saying which.
    plat::ClearLog();
    EXPECT_EQ(LoadMeshFromResource(kOverlayPictureId, "Data\\kelo_overlay.png"), nullptr);
    EXPECT_EQ(LoadMeshFromResource(9999, "Data\\nothing.x"), nullptr);
    int said = 0;
    for (const std::string& line : plat::LogLines()) {
        said += line.find("mesh: Data\\kelo_overlay.png: not an X file") != std::string::npos;
        said += line.find("mesh: Data\\nothing.x: no RCDATA resource 9999") != std::string::npos;
    }
    EXPECT_EQ(said, 2);
}

}  // namespace
