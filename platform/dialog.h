// platform/dialog.h - a small modal dialog in the manner of Win32's
// DialogBoxParam, for the start-up questions.
//
// Offers: a dialog template held as data (caption, client size and controls
// in dialog units), a dialog procedure that receives the init-dialog and
// command messages, the calls a procedure makes (CheckDlgButton,
// IsDlgButtonChecked, EndDialog), and DialogBox, which shows the dialog in
// its own window and returns the value given to EndDialog.
//
// Behaviour kept from the Win32 dialog manager:
//   - dialog units: "MS Shell Dlg" 8 pt at 96 dpi has base units 6 x 13
//     pixels, so x = dlu * 6 / 4 and y = dlu * 13 / 8, rounded (MulDiv);
//   - focus starts on the first tab stop; Tab and Shift+Tab move among the
//     tab stops in template order, wrapping round;
//   - Enter sends a command for the focused push button if a push button has
//     the focus, otherwise for the default push button (the button with the
//     heavy border is always the one Enter presses); Escape and closing the
//     window send command 2 (IDCANCEL);
//   - Space or a click (press and release over the control, its label
//     included) presses a push button or toggles an auto check box, then
//     sends the control's command; the low word of wparam is the id and the
//     high word 0 (BN_CLICKED);
//   - nothing ends the dialog but EndDialog, called from the procedure;
//   - a static bitmap shows the BITMAP resource as-is at its top-left, inside
//     a 3-pixel modal frame; without the resource it is an empty frame and
//     a warning is logged;
//   - the template's ICON resource, when it names one, is the window's icon.
//
// Lifecycle: DialogBox initialises SDL's video subsystem (reference-counted,
// so it nests inside or around other SDL users), opens a fixed-size window
// centred on the screen, sends the init-dialog message, runs until EndDialog
// and closes the window and the subsystem again. It draws in software into
// the window surface; no OpenGL context is made. When video cannot start it
// logs a "dlg:" line and returns -1.
//
// Does not: offer other control kinds, keyboard mnemonics, arrow-key group
// navigation or modeless dialogs.
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

class DialogModel;  // the open dialog: platform/dialog_model.h

// Returns what a Win32 dialog procedure returns: nonzero when it handled the
// message. The value is informational here, as the dialog manager never
// needs it for the two messages sent.
using DialogProc = intptr_t (*)(DialogModel* dlg, uint32_t msg, uintptr_t wparam, intptr_t lparam);

// Runs the dialog modally; returns the EndDialog value, or -1 when no
// window could be shown.
int DialogBox(const DialogTemplate& tpl, DialogProc proc, void* user);

// Set a check box to kBstChecked or kBstUnchecked. False when id names no
// check box.
bool CheckDlgButton(DialogModel* dlg, int id, unsigned check);
// kBstChecked or kBstUnchecked (also for an id that names no check box).
unsigned IsDlgButtonChecked(const DialogModel* dlg, int id);
// Ask the dialog to close with result once the procedure returns.
bool EndDialog(DialogModel* dlg, intptr_t result);

enum class DlgKey : uint8_t { Enter, Escape, Tab, Space };

// For tests and scripts: put a press of key into the window system's event
// queue, addressed to the dialog that is open now, so it travels the same
// path as a real key. False when no dialog window is open.
bool PostDialogKey(DlgKey key, bool shift = false);

}  // namespace plat
