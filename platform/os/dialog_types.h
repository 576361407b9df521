// platform/os/dialog_types.h - what a dialog is made of and how its
// procedure talks to it: the template (controls in dialog units), the
// messages with their Win32 values, the procedure's type and the calls a
// procedure makes. The manual of the dialog as a whole is
// platform/os/dialog.h; these are apart so that the open dialog
// (dialog_model.h), which implements the procedure's calls, needs no more.
#pragma once

#include <cstdint>
#include <span>

namespace plat {

enum class DlgKind : uint8_t {
    PushButton,
    DefPushButton,  // the button Enter presses while no other push button has the focus
    AutoCheckBox,   // toggles itself when clicked, then sends its command
    StaticBitmap,   // shows a BITMAP resource; never takes the focus or clicks
};

struct DlgItem {
    DlgKind kind;
    const char* text;  // label (UTF-8); unused by a bitmap
    int id;            // command id; -1 for a static
    bool tab_stop;
    int x, y, cx, cy;        // dialog units, from the client area's top-left
    uint32_t bitmap_id = 0;  // BITMAP resource of a StaticBitmap
};

struct DialogTemplate {
    const char* caption;
    int cx, cy;  // client size in dialog units
    std::span<const DlgItem> items;  // in creation (and tab) order
    uint32_t icon_id = 0;  // ICON resource for the window's title bar and task list; 0 for none
};

// Messages, with their Win32 values.
inline constexpr uint32_t kWmInitDialog = 0x0110;  // lparam: DialogBox's user pointer
inline constexpr uint32_t kWmCommand = 0x0111;     // wparam: id | notification << 16

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr unsigned kBstUnchecked = 0;
inline constexpr unsigned kBstChecked = 1;

constexpr int LoWord(uintptr_t v) { return static_cast<int>(v & 0xFFFF); }

class DialogModel;  // the open dialog: platform/os/dialog_model.h

// Returns what a Win32 dialog procedure returns: nonzero when it handled the
// message. The value is informational here, as the dialog manager never
// needs it for the two messages sent.
using DialogProc = intptr_t (*)(DialogModel* dlg, uint32_t msg, uintptr_t wparam, intptr_t lparam);

// The keys the dialog answers to.
enum class DlgKey : uint8_t { Enter, Escape, Tab, Space };

// Set a check box to kBstChecked or kBstUnchecked. False when id names no
// check box.
bool CheckDlgButton(DialogModel* dlg, int id, unsigned check);
// kBstChecked or kBstUnchecked (also for an id that names no check box).
unsigned IsDlgButtonChecked(const DialogModel* dlg, int id);
// Ask the dialog to close with result once the procedure returns.
bool EndDialog(DialogModel* dlg, intptr_t result);

}  // namespace plat
