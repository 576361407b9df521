// platform/os/dialog_model.h - the open dialog without a screen: layout in
// pixels, focus, check states and the keyboard and mouse rules of
// platform/os/dialog.h, turned into messages for the dialog procedure.
//
// Offers: a DialogModel built from a template; Start() sends the init-dialog
// message and places the focus; KeyDown, MouseDown/Move/Up and Close feed it
// input; Ended()/Result() tell when EndDialog was called. DialogBox runs one
// under SDL; tests drive one directly. Revision() changes whenever something
// visible changes, so a window knows when to repaint.
//
// Lifecycle: the template's items are copied, its strings are not: they must
// outlive the model (templates are static data). After EndDialog all input
// is ignored.
#pragma once

#include "platform/os/dialog_types.h"

#include <vector>

namespace plat {

struct DlgRect {
    int x = 0, y = 0, w = 0, h = 0;  // pixels
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

// Dialog units to pixels, rounded half away from zero as MulDiv does.
int DluToPixelsX(int dlu);
int DluToPixelsY(int dlu);

class DialogModel {
public:
    DialogModel(const DialogTemplate& tpl, DialogProc proc, void* user);

    // Send the init-dialog message; then, unless the procedure ended the
    // dialog, focus the first tab stop.
    void Start();

    const char* Caption() const { return caption_; }
    int ClientWidth() const { return width_; }
    int ClientHeight() const { return height_; }
    int ItemCount() const { return static_cast<int>(items_.size()); }
    const DlgItem& Item(int index) const { return items_[index].item; }
    DlgRect ItemRect(int index) const { return items_[index].rect; }
    int IndexOf(int id) const;      // first item with that id, or -1
    int HitTest(int x, int y) const;  // clickable item under (x, y), or -1

    int Focus() const { return focus_; }            // item index, or -1
    bool IsChecked(int index) const { return items_[index].checked; }
    bool SetChecked(int id, bool checked);          // false: no check box with that id
    int DefaultIndex() const;  // the push button Enter presses now, or -1
    int PressedIndex() const;  // the control drawn pushed in, or -1

    void KeyDown(DlgKey key, bool shift);
    void MouseDown(int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(int x, int y);
    void Close();  // the window's close box: command IDCANCEL

    void End(intptr_t result);
    bool Ended() const { return ended_; }
    intptr_t Result() const { return result_; }
    unsigned Revision() const { return revision_; }

private:
    struct Slot {
        DlgItem item;
        DlgRect rect;
        bool checked = false;
    };

    bool IsTabStop(int index) const;
    bool IsClickable(int index) const;
    void SetFocus(int index);
    void MoveFocus(int step);
    void Click(int index);
    void SendCommand(int id);

    const char* caption_;
    int width_, height_;
    std::vector<Slot> items_;
    DialogProc proc_;
    void* user_;
    int focus_ = -1;
    int capture_ = -1;       // control the left button went down on
    bool capture_inside_ = false;
    bool ended_ = false;
    intptr_t result_ = 0;
    unsigned revision_ = 0;
};

}  // namespace plat
