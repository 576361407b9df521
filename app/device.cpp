#include "app/device.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "app/screen_size.h"
#include "app/startup_dialog.h"
#include "data/resource_ids.h"
#include "data/texture.h"
#include "platform/fx/effect.h"
#include "platform/text/font.h"
#include "platform/os/log.h"
#include "platform/os/window.h"

using namespace plat::gfx;

float g_fScreenWidth = 0.f;
float g_fScreenHeight = 0.f;
CVector2 g_vPixelSize(0.f, 0.f);
CVector2 g_vScreenScale(0.f, 0.f);
CVector2 g_vDesignPixelSize(0.f, 0.f);
CMatrix g_mOrtho = g_mIdentity;
plat::fx::Effect* g_p2DEffect = nullptr;
RunConfig g_RunConfig;

namespace {

// The text's cell at 768 lines; it grows with the height so the panels'
// rows, laid out in design pixels, keep their text inside them.
constexpr int kFontHeight = 24;

struct DeviceState {
    bool video = false;
    Device* device = nullptr;
    VertexDecl* decls[VD_Count] = {};
    plat::Font* font = nullptr;
    bool font_tried = false;  // made (or failed) since the device was set up
    std::string start_error;
};
DeviceState g_dev;

// The eight layouts the drawing code shares, by table index; offsets in bytes.
constexpr VertexElement kPosCol[] = {
    {0, DeclType::Float3, DeclUsage::Position, 0}, {12, DeclType::D3DColor, DeclUsage::Color, 0}};
constexpr VertexElement kPosTCol[] = {
    {0, DeclType::Float4, DeclUsage::PositionT, 0}, {16, DeclType::D3DColor, DeclUsage::Color, 0}};
constexpr VertexElement kPosColNorm[] = {{0, DeclType::Float3, DeclUsage::Position, 0},
                                         {12, DeclType::D3DColor, DeclUsage::Color, 0},
                                         {16, DeclType::Float3, DeclUsage::Normal, 0}};
constexpr VertexElement kPosColTex[] = {{0, DeclType::Float3, DeclUsage::Position, 0},
                                        {12, DeclType::D3DColor, DeclUsage::Color, 0},
                                        {16, DeclType::Float2, DeclUsage::TexCoord, 0}};
constexpr VertexElement kPosTColTex[] = {{0, DeclType::Float4, DeclUsage::PositionT, 0},
                                         {16, DeclType::D3DColor, DeclUsage::Color, 0},
                                         {20, DeclType::Float2, DeclUsage::TexCoord, 0}};
constexpr VertexElement kPosColNormTex[] = {{0, DeclType::Float3, DeclUsage::Position, 0},
                                            {12, DeclType::D3DColor, DeclUsage::Color, 0},
                                            {16, DeclType::Float3, DeclUsage::Normal, 0},
                                            {28, DeclType::Float2, DeclUsage::TexCoord, 0}};
constexpr VertexElement kPosNorm[] = {
    {0, DeclType::Float3, DeclUsage::Position, 0}, {12, DeclType::Float3, DeclUsage::Normal, 0}};
constexpr VertexElement kPosNormTex[] = {{0, DeclType::Float3, DeclUsage::Position, 0},
                                         {12, DeclType::Float3, DeclUsage::Normal, 0},
                                         {24, DeclType::Float2, DeclUsage::TexCoord, 0}};

const std::span<const VertexElement> kDeclTable[VD_Count] = {kPosCol,     kPosTCol,       kPosColNorm, kPosColTex,
                                                             kPosTColTex, kPosColNormTex, kPosNorm,    kPosNormTex};

bool Fail(const std::string& why) {
    g_dev.start_error = why;
    return false;
}

constexpr const char* k2DEffectName = "Data\\2d.fx";

// Steps 7 to 12 of the set-up: everything made with the device.
void SetUpDeviceObjects() {
    // 7. The text font is made at its first use (PrepareFont): the loading
    // screen's first frame has no text, and a person waits for that frame.

    // 8. Shared render states. Alpha blending stays off until a drawing
    // routine turns it on.
    Device* d = g_dev.device;
    d->SetRenderState(RS::CullMode, CULL_CW);
    d->SetRenderState(RS::Lighting, 0);
    d->SetRenderState(RS::ZEnable, 1);
    d->SetRenderState(RS::AlphaTestEnable, 1);
    d->SetRenderState(RS::AlphaRef, 1);
    d->SetRenderState(RS::AlphaFunc, CMP_GREATEREQUAL);
    d->SetRenderState(RS::SrcBlend, BLEND_SRCALPHA);
    d->SetRenderState(RS::DestBlend, BLEND_INVSRCALPHA);
    d->SetRenderState(RS::BlendOp, BLENDOP_ADD);

    // 9. The 2D effect, made here rather than through the asset cache: the
    // loading screen draws with it before any asset is loaded.
    g_p2DEffect = plat::fx::Effect::CreateFromResource(g_dev.device, k2DEffectId, k2DEffectName);

    // 10. Pixel space for 2D drawing: y grows downwards.
    MatrixOrthoOffCenterRH(g_mOrtho, 0.f, g_fScreenWidth, g_fScreenHeight, 0.f, 0.f, 1000.f);

    // 11. The cursor is hidden by the full-screen window itself.

    // 12. Vertex declarations; a failed one stays null and the rest go on.
    for (int i = 0; i < VD_Count; ++i) {
        g_dev.decls[i] = d->CreateVertexDeclaration(kDeclTable[i]);
        if (!g_dev.decls[i]) plat::LogWarning("gfx", "vertex declaration %d cannot be made", i);
    }
}

void ReleaseDeviceObjects() {
    for (VertexDecl*& decl : g_dev.decls) {
        if (decl) decl->Release();
        decl = nullptr;
    }
    if (g_p2DEffect) g_p2DEffect->Release();
    g_p2DEffect = nullptr;
    if (g_dev.font) g_dev.font->Release();
    g_dev.font = nullptr;
    g_dev.font_tried = false;
}

void SetScreenValues() {
    int w = g_RunConfig.width, h = g_RunConfig.height;
    if (w <= 0 || h <= 0) {
        w = kConfiguredWidth;
        h = kConfiguredHeight;
        if (!g_bWindowed) {
            const plat::ScreenSize screen = plat::PrimaryScreenSize();
            FullScreenSize(screen.width, screen.height, &w, &h);
        }
    }
    g_fScreenWidth = static_cast<float>(w);
    g_fScreenHeight = static_cast<float>(h);
    g_vScreenScale = CVector2(g_fScreenWidth / kDesignWidth, g_fScreenHeight / kDesignHeight);
    g_vPixelSize = CVector2(1.f / g_fScreenWidth, 1.f / g_fScreenHeight);
    // A product, not 1 / 1024: the same float as g_vPixelSize at scale 1.
    g_vDesignPixelSize = CVector2(g_vScreenScale.x * g_vPixelSize.x, g_vScreenScale.y * g_vPixelSize.y);
    plat::Log("gfx", "back buffer %d x %d", w, h);
}

}  // namespace

const std::string& GetStartError() { return g_dev.start_error; }

void PrepareDeviceObjectsAhead() { plat::fx::Effect::PrepareResourceAhead(k2DEffectId, k2DEffectName); }

bool StartVideo() {
    if (g_dev.video) return true;
    g_dev.start_error.clear();
    std::string error;
    bool no_display = false;
    if (!plat::InitVideo(&error, g_RunConfig.offscreen, &no_display)) {
        if (no_display)
            return Fail("no display to show the dialog and the show on (DISPLAY and WAYLAND_DISPLAY name none that "
                        "answers); to render it headless, capture it: kelo --capture DIR, or bash tools/run.sh");
        return Fail(error);
    }
    g_dev.video = true;
    return true;
}

bool InitDevice() {
    // 1. The graphics runtime: here, the video subsystem (perhaps started
    // already by the entry point's display check).
    if (!StartVideo()) return false;
    std::string error;

    // 2. The start-up dialog, unless the command line answered it.
    if (g_RunConfig.skip_dialog) {
        g_bVsync = g_RunConfig.vsync;
        g_bWindowed = g_RunConfig.windowed;
    } else {
        int answer = RunStartupDialog();
        if (answer < 0) return Fail("the start-up dialog cannot be shown");
        if (answer != 1) return false;  // the viewer declined: no message
    }

    // 3. Screen values.
    SetScreenValues();

    // 4-5. The window: windowed, centred on the primary screen (a negative
    // position when the screen is smaller, so it overhangs the top left);
    // full screen at the top left.
    const int width = static_cast<int>(g_fScreenWidth), height = static_cast<int>(g_fScreenHeight);
    plat::WindowParams wp;
    wp.windowed = g_bWindowed;
    wp.width = width;
    wp.height = height;
    wp.icon_id = kAppIconId;
    if (g_bWindowed) {
        plat::ScreenSize screen = plat::PrimaryScreenSize();
        wp.x = (screen.width - width) / 2;
        wp.y = (screen.height - height) / 2;
    }
    if (!plat::CreateMainWindow(wp, &error)) return Fail(error);

    // 6. The device.
    DeviceParams dp;
    dp.back_buffer_width = width;
    dp.back_buffer_height = height;
    dp.vsync = g_bVsync;
    dp.debug = g_RunConfig.gl_debug;
    g_dev.device = Device::Create(dp, &error);
    if (!g_dev.device) return Fail(error);

    SetUpDeviceObjects();
    return true;
}

void ShutdownDevice() {
    ReleaseDeviceObjects();
    if (g_dev.device) g_dev.device->Release();
    g_dev.device = nullptr;
    // The window is not destroyed with the device on Windows either; here it
    // goes with the video subsystem, which plays the Direct3D object's part.
    if (g_dev.video) plat::ShutdownVideo();
    g_dev.video = false;
}

Device* GetDevice() { return g_dev.device; }

void PrepareFont() {
    if (!g_dev.device || g_dev.font_tried) return;
    g_dev.font_tried = true;
    // "Arial", 24 pixels at 768 lines (48 at 1536), weight 700. A failure
    // leaves it null and the show goes on without text.
    const int font_height = static_cast<int>(std::lround(kFontHeight * g_vScreenScale.y));
    g_dev.font = plat::Font::Create(g_dev.device, font_height, 700);
}

plat::Font* GetFont() {
    PrepareFont();
    return g_dev.font;
}

const CVector2* GetPixelSize() { return &g_vPixelSize; }

VertexDecl* GetVertexDecl(int index) {
    if (index < 0 || index >= VD_Count) return nullptr;
    return g_dev.decls[index];
}

bool BeginDeviceScene() { return g_dev.device && g_dev.device->BeginScene(); }

void EndDeviceScene() {
    if (g_dev.device) g_dev.device->EndScene();
}

void ClearColor(uint32_t argb) {
    if (g_dev.device) g_dev.device->Clear(CLEAR_TARGET, argb, 0.f);
}

void ClearDepth(float z) {
    if (g_dev.device) g_dev.device->Clear(CLEAR_ZBUFFER, 0, z);
}

void PresentFrame() {
    if (g_dev.device) g_dev.device->Present();
}

void BindRenderTarget(const CTexture* target) {
    if (g_dev.device && target) g_dev.device->SetRenderTarget(0, target->m_pSurface);
}
