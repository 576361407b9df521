// The creators: render targets, textures and effects from resources, raw
// resource bytes and bounded formatting.
#include "data/creators.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/device.h"
#include "app/startup_dialog.h"
#include "data/data_files.h"
#include "data/resource_ids.h"
#include "platform/os/resources.h"
#include "platform/text/raster.h"
#include "data/texture.h"
#include "platform/os/log.h"
#include "tests/support/show_test_util.h"

using namespace plat::gfx;
using namespace showtest;

namespace {

bool LogHas(const std::string& text) {
    for (const std::string& line : plat::LogLines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

TEST(Creators, RenderTargetRecordsTheSizeAskedForAndBinds) {
    ASSERT_NE(ShowDevice(), nullptr);
    CTexture* rt = CreateRenderTarget(320, 200, Format::A16B16G16R16F);
    ASSERT_NE(rt, nullptr);
    EXPECT_EQ(rt->m_nWidth, 320u);
    EXPECT_EQ(rt->m_nHeight, 200u);
    EXPECT_EQ(rt->GetSize().x, 320.f);
    EXPECT_EQ(rt->GetSize().y, 200.f);
    ASSERT_NE(rt->m_pTexture, nullptr);
    ASSERT_NE(rt->m_pSurface, nullptr);
    EXPECT_EQ(rt->m_pTexture->LevelCount(), 1u);
    EXPECT_EQ(rt->m_pSurface->Desc().format, Format::A16B16G16R16F);
    EXPECT_EQ(rt->m_pSurface->Desc().width, 320u);

    // Bound as target 0 it takes a clear, and the float value comes back.
    Device* d = ShowDevice();
    BindRenderTarget(rt);
    d->Clear(CLEAR_TARGET, 0xFF336699, 1.f);
    std::vector<float> rgba;
    ASSERT_TRUE(d->ReadSurface(rt->m_pSurface, rgba));
    EXPECT_NEAR(rgba[0], 0x33 / 255.f, 1e-3);
    EXPECT_NEAR(rgba[2], 0x99 / 255.f, 1e-3);
    d->SetRenderTarget(0, d->BackBuffer());

    rt->Release();
    EXPECT_EQ(rt->m_pTexture, nullptr);
    EXPECT_EQ(rt->m_pSurface, nullptr);
    rt->Release();  // twice is harmless
    delete rt;

    // A size the device refuses still gives a record of that size, empty.
    CTexture* huge = CreateRenderTarget(20000, 8, Format::A16B16G16R16F);
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(huge->m_nWidth, 20000u);
    EXPECT_EQ(huge->m_pTexture, nullptr);
    EXPECT_EQ(huge->m_pSurface, nullptr);
    huge->Release();
    delete huge;
}

TEST(Creators, TextureFromResourceRecordsLevelZero) {
    ASSERT_NE(ShowDevice(), nullptr);
    // The loading screen's picture, 1024 x 1024 RGB, once the artwork is in.
    if (!LoadResourceBytes(kLoadingPictureId, RT_RCDATA, nullptr)) GTEST_SKIP() << "picture 225 is not embedded yet";
    CTexture* t = CreateTextureFromResource(kLoadingPictureId, "Data\\loading_screen.png");
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->m_pTexture, nullptr);
    SurfaceDesc desc{};
    ASSERT_TRUE(t->m_pTexture->GetLevelDesc(0, &desc));
    EXPECT_EQ(t->m_nWidth, desc.width);
    EXPECT_EQ(t->m_nHeight, desc.height);
    EXPECT_EQ(t->m_nWidth, 1024u);
    EXPECT_EQ(t->m_pSurface, nullptr);
    EXPECT_EQ(t->m_pTexture->LevelCount(), 11u);
    t->Release();
    delete t;
}

TEST(Creators, FailedTextureIsAnEmptyRecordAndALogLine) {
    ASSERT_NE(ShowDevice(), nullptr);
    plat::ClearLog();
    // No such resource; and a resource that is not a picture (the 2D effect's source).
    for (uint32_t id : {9999u, 217u}) {
        CTexture* t = CreateTextureFromResource(id, "Data\\nothing.png");
        ASSERT_NE(t, nullptr) << id;
        EXPECT_EQ(t->m_pTexture, nullptr) << id;
        EXPECT_EQ(t->GetSize().x, 0.f) << id;
        t->Release();
        delete t;
    }
    EXPECT_TRUE(LogHas("tex: Data\\nothing.png: no RCDATA resource 9999"));
    EXPECT_TRUE(LogHas("tex: Data\\nothing.png: cannot decode"));
}

TEST(Creators, EffectFromResource) {
    ASSERT_NE(ShowDevice(), nullptr);
    plat::fx::Effect* e = CreateEffectFromResource(k2DEffectId, "Data\\2d.fx");
    ASSERT_NE(e, nullptr);
    for (const char* technique : {"PosCol2D", "PosColTex2D", "PosColTex2DAlpha"}) {
        plat::fx::Handle t = e->GetTechniqueByName(technique);
        ASSERT_NE(t, nullptr) << technique;
        EXPECT_NE(e->GetPass(t, 0), nullptr) << technique;
        EXPECT_EQ(e->GetPass(t, 1), nullptr) << technique;
    }
    EXPECT_NE(e->GetParameterByName("g_Texture"), nullptr);
    EXPECT_NE(e->GetParameterByName("g_OrthogonalMatrix"), nullptr);
    e->Release();

    plat::ClearLog();
    EXPECT_EQ(CreateEffectFromResource(9999, "Data\\missing.fx"), nullptr);
    EXPECT_TRUE(LogHas("fx: Data\\missing.fx: no RCDATA resource 9999"));
}

TEST(ResourceBytes, PresentMissingAndWrongType) {
    size_t size = 12345;
    EXPECT_EQ(LoadResourceBytes(9999, RT_RCDATA, &size), nullptr);
    EXPECT_EQ(size, 12345u);  // untouched
    EXPECT_EQ(LoadResourceBytes(k2DEffectId, RT_MUSIC, &size), nullptr);
    EXPECT_EQ(size, 12345u);
    EXPECT_EQ(LoadResourceBytes(9999, RT_RCDATA, nullptr), nullptr);

    // The 2D effect's source, byte for byte, with a zero after its end.
    const unsigned char* bytes = LoadResourceBytes(k2DEffectId, RT_RCDATA, &size);
    ASSERT_NE(bytes, nullptr);
    std::ifstream file(KELO_SOURCE_DIR "/render/shaders/2d.fx", std::ios::binary);
    std::stringstream source;
    source << file.rdbuf();
    ASSERT_EQ(size, source.str().size());
    EXPECT_EQ(std::memcmp(bytes, source.str().data(), size), 0);
    EXPECT_EQ(bytes[size], 0);
    EXPECT_EQ(LoadResourceBytes(k2DEffectId, RT_RCDATA, nullptr), bytes);
}

// Every (type, id) the program asks for must be linked in: a resource the
// list forgets still builds, and shows up only as an empty dialog frame, a
// generic window icon or a missing asset on someone's screen.
TEST(ResourceBytes, EveryResourceTheCodeNamesIsLinkedIn) {
    struct Named {
        std::string_view type;
        uint32_t id;
        std::string what;
    };
    std::vector<Named> named;
    for (const DataFile& f : g_DataFiles) named.push_back({plat::kResRcData, f.m_nId, f.m_pName});
    named.push_back({plat::kResRcData, k2DEffectId, "the 2D effect"});
    named.push_back({plat::kResRcData, kLoadingPictureId, "the loading picture"});
    named.push_back({plat::kResMusic, kMusicId, "the music"});
    named.push_back({plat::kResFont, plat::kFontRegular, "the regular font"});
    named.push_back({plat::kResFont, plat::kFontBold, "the bold font"});
    const plat::DialogTemplate& dlg = StartupDialogTemplate();
    named.push_back({plat::kResIcon, dlg.icon_id, "the dialog's icon"});
    named.push_back({plat::kResIcon, kAppIconId, "the window's icon"});
    int bitmaps = 0;
    for (const plat::DlgItem& item : dlg.items) {
        if (item.kind != plat::DlgKind::StaticBitmap) continue;
        named.push_back({plat::kResBitmap, item.bitmap_id, "the dialog's picture"});
        ++bitmaps;
    }
    EXPECT_EQ(bitmaps, 1);
    for (const Named& n : named) {
        size_t size = 0;
        EXPECT_NE(plat::FindResourceBytes(n.type, n.id, &size), nullptr)
            << n.type << " " << n.id << " (" << n.what << ") is not in data/resources.list";
        EXPECT_GT(size, 0u) << n.what;
    }
}

TEST(FormatStringBound, CutsAt255Characters) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    const std::string long_arg(400, 'a');
    EXPECT_EQ(FormatString(buffer, "%s", long_arg.c_str()), buffer);
    EXPECT_EQ(std::strlen(buffer), 255u);
    for (size_t i = 256; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << i;  // nothing written past 256
    EXPECT_STREQ(FormatString(buffer, "#%d", 217), "#217");
}

}  // namespace
