#include "app/startup_dialog.h"

bool g_bVsync = false;
bool g_bWindowed = false;

namespace {

using plat::DlgItem;
using plat::DlgKind;

// Creation order is also the tab order: the two buttons first, so "Party!"
// holds the focus when the dialog opens. Positions and sizes in dialog
// units; the bitmap's 217 x 133 is its 320 x 210 picture plus a 3-pixel
// modal frame on each side.
constexpr DlgItem kStartupItems[] = {
    // kind                  text          id                tab    x    y   cx   cy  bitmap
    {DlgKind::DefPushButton, "Party!",     plat::kIdOk,      true,  114, 150,  50,  14},
    {DlgKind::PushButton,    "Pooper",     plat::kIdCancel,  true,  168, 150,  50,  14},
    {DlgKind::StaticBitmap,  nullptr,      -1,               false,   6,   6, 217, 133, kStartupBitmapId},
    {DlgKind::AutoCheckBox,  "Vsync",      kIdcVsync,        true,   12, 150,  36,  12},
    {DlgKind::AutoCheckBox,  "Fullscreen", kIdcFullscreen,   true,   54, 150,  54,  12},
};

constexpr plat::DialogTemplate kStartupDialog = {"KELO 2008 - V.E.X.A.", 232, 172, kStartupItems, kAppIconId};

}  // namespace

const plat::DialogTemplate& StartupDialogTemplate() { return kStartupDialog; }

intptr_t StartupDlgProc(plat::DialogModel* dlg, uint32_t msg, uintptr_t wparam, intptr_t /*lparam*/) {
    if (msg == plat::kWmInitDialog) {
        // Full screen is the suggested answer; vsync starts off.
        plat::CheckDlgButton(dlg, kIdcFullscreen, plat::kBstChecked);
        return 0;
    }
    if (msg != plat::kWmCommand) return 0;
    switch (plat::LoWord(wparam)) {
    case plat::kIdOk:
        g_bVsync = plat::IsDlgButtonChecked(dlg, kIdcVsync) == plat::kBstChecked;
        g_bWindowed = plat::IsDlgButtonChecked(dlg, kIdcFullscreen) != plat::kBstChecked;
        plat::EndDialog(dlg, static_cast<intptr_t>(wparam));
        return 1;
    case plat::kIdCancel:
        plat::EndDialog(dlg, static_cast<intptr_t>(wparam));
        return 0;
    default:
        return 0;
    }
}

int RunStartupDialog() { return plat::DialogBox(StartupDialogTemplate(), StartupDlgProc, nullptr); }
