#include "engine/params.h"

#include <algorithm>

#include "app/device.h"
#include "app/keys.h"
#include "app/print_text.h"
#include "data/music.h"
#include "fx2d/draw2d.h"

std::vector<std::unique_ptr<TweakParam>> g_Params;
bool g_bParamPanelVisible = false;
int g_nSelectedParam = 0;
bool g_bSyncPanelVisible = false;
int g_nSyncChannel = 0;

SyncChannel g_SyncChannels[3] = {
    {"SYNC_TOWER_ONE", 0, 1.0f},
    {"SYNC_TOWER_TWO", 1, 1.0f},
    {"SYNC_TOWER_THREE", 2, 1.0f},
};
int g_nSyncBin = 0;

namespace {
constexpr float kPanelWidth = 500.0f;
constexpr float kPanelHeight = 160.0f;  // eight rows of 20 pixels
constexpr float kRowHeight = 20.0f;
constexpr int kRows = 8;
constexpr float kBarScale = 512.0f;  // pixels for a spectrum value of 1.0
}  // namespace

void RegisterParam(const char* name, float* target, float step, float min, float max, bool step_on_press) {
    g_Params.push_back(std::make_unique<TweakParam>(TweakParam{name, target, step, min, max, step_on_press}));
}

void DrawParamPanel(bool draw) {
    if (g_Params.empty()) return;
    if (IsKeyPressed(kVkF1)) g_bParamPanelVisible = !g_bParamPanelVisible;
    if (!g_bParamPanelVisible) return;

    const int count = static_cast<int>(g_Params.size());
    if (IsKeyPressed(kVkUp)) {
        if (--g_nSelectedParam < 0) g_nSelectedParam = count - 1;
    }
    if (IsKeyPressed(kVkDown)) {
        if (++g_nSelectedParam == count) g_nSelectedParam = 0;
    }
    TweakParam& p = *g_Params[static_cast<size_t>(g_nSelectedParam)];
    float v = *p.pTarget;
    // Per frame, not per second: a held key moves by one step every frame.
    if (p.bStepOnPress) {
        if (IsKeyPressed(kVkLeft)) v -= p.fStep;
        if (IsKeyPressed(kVkRight)) v += p.fStep;
    } else {
        if (IsKeyDown(kVkLeft)) v -= p.fStep;
        if (IsKeyDown(kVkRight)) v += p.fStep;
    }
    v = std::min(v, p.fMax);
    if (!(v > p.fMin)) v = p.fMin;  // when the limits cross, the minimum wins
    *p.pTarget = v;
    if (!draw) return;

    const float top = kDesignHeight - kPanelHeight;
    DrawRect(CVector2(0.0f, top), CVector2(kPanelWidth, kPanelHeight), 0xFF808080);
    // The selected row first, then those after it; earlier ones are not shown.
    for (int row = 0; row < kRows && g_nSelectedParam + row < count; ++row) {
        const TweakParam& r = *g_Params[static_cast<size_t>(g_nSelectedParam + row)];
        PrintText(CVector2(0.0f, top + kRowHeight * static_cast<float>(row)), row == 0 ? 0xFFFFFFFF : 0xFF000000,
                  "%s %.4f", r.szName, static_cast<double>(*r.pTarget));
    }
}

void DrawSyncPanel(bool draw) {
    if (IsKeyPressed(kVkF2)) g_bSyncPanelVisible = !g_bSyncPanelVisible;
    if (!g_bSyncPanelVisible) return;

    // Read drawn or not: the spectrum's held peaks fall from one reading to
    // the next, so the readings must be the same frames either way.
    const float* s = GetSpectrum();
    if (draw) {
        PrintText(CVector2(32.0f, 64.0f), 0xFF808080, "%s = %d", g_SyncChannels[g_nSyncChannel].szName,
                  g_SyncChannels[g_nSyncChannel].nBin);
        const float h = kDesignHeight;
        for (int i = 0; i < kSpectrumBands; ++i) {
            const float x = static_cast<float>(i);
            if (i == g_nSyncBin) DrawRect(CVector2(x, h - kBarScale), CVector2(1.0f, h), 0xFFFF00FF);
            DrawRect(CVector2(x, h - kBarScale * s[i]), CVector2(1.0f, h), 0xFF000000);
        }
    }
    if (IsKeyPressed(kVkLeft)) g_nSyncBin = std::max(g_nSyncBin - 1, 0);
    if (IsKeyPressed(kVkRight)) g_nSyncBin = std::min(g_nSyncBin + 1, kSpectrumBands - 1);
    if (IsKeyPressed(kVkUp)) {
        g_nSyncChannel = std::max(g_nSyncChannel - 1, 0);
        g_nSyncBin = g_SyncChannels[g_nSyncChannel].nBin;
    }
    if (IsKeyPressed(kVkDown)) {
        g_nSyncChannel = std::min(g_nSyncChannel + 1, 2);
        g_nSyncBin = g_SyncChannels[g_nSyncChannel].nBin;
    }
    g_SyncChannels[g_nSyncChannel].nBin = g_nSyncBin;
}
