// app/startup_dialog.h - the questions asked before the show starts: full
// screen or not, vertical sync or not, go ("Party!") or quit ("Pooper").
//
// RunStartupDialog shows the dialog (our equivalent of dialog resource 192,
// with bitmap 201) and returns the id of the button that closed it: 1 to go
// on, 2 to quit, -1 when no window could be shown. Only a 1 sets g_bVsync and
// g_bWindowed; the device set-up reads them afterwards.
#pragma once

#include <cstdint>

#include "data/resource_ids.h"
#include "platform/os/dialog.h"

extern bool g_bVsync;     // present on the vertical retrace
extern bool g_bWindowed;  // run in a window: "Fullscreen" was unchecked

inline constexpr int kIdcVsync = 1008;
inline constexpr int kIdcFullscreen = 1005;

const plat::DialogTemplate& StartupDialogTemplate();

intptr_t StartupDlgProc(plat::DialogModel* dlg, uint32_t msg, uintptr_t wparam, intptr_t lparam);

int RunStartupDialog();
