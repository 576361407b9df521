// platform/os/dialog.h - a small modal dialog in the manner of Win32's
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

#include "platform/os/dialog_types.h"

namespace plat {

// Runs the dialog modally; returns the EndDialog value, or -1 when no
// window could be shown.
int DialogBox(const DialogTemplate& tpl, DialogProc proc, void* user);

// For tests and scripts: put a press of key into the window system's event
// queue, addressed to the dialog that is open now, so it travels the same
// path as a real key. False when no dialog window is open.
bool PostDialogKey(DlgKey key, bool shift = false);

}  // namespace plat
