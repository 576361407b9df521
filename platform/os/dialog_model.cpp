#include "platform/os/dialog_model.h"

namespace plat {
namespace {

// Base units of "MS Shell Dlg" 8 pt at 96 dpi: a dialog unit is a quarter
// of the average character width and an eighth of the character height.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

int MulDivRound(int value, int mul, int div) {
    int n = value * mul;
    return n >= 0 ? (n + div / 2) / div : -((-n + div / 2) / div);
}

bool IsPushButton(DlgKind k) { return k == DlgKind::PushButton || k == DlgKind::DefPushButton; }

}  // namespace

int DluToPixelsX(int dlu) { return MulDivRound(dlu, kBaseUnitX, 4); }
int DluToPixelsY(int dlu) { return MulDivRound(dlu, kBaseUnitY, 8); }

DialogModel::DialogModel(const DialogTemplate& tpl, DialogProc proc, void* user)
    : caption_(tpl.caption ? tpl.caption : ""),
      width_(DluToPixelsX(tpl.cx)),
      height_(DluToPixelsY(tpl.cy)),
      proc_(proc),
      user_(user) {
    items_.reserve(tpl.items.size());
    for (const DlgItem& it : tpl.items) {
        Slot s;
        s.item = it;
        // Each of x, y, cx, cy is mapped on its own, as the dialog manager
        // does when it creates the child windows.
        s.rect = {DluToPixelsX(it.x), DluToPixelsY(it.y), DluToPixelsX(it.cx), DluToPixelsY(it.cy)};
        items_.push_back(s);
    }
}

void DialogModel::Start() {
    if (proc_) proc_(this, kWmInitDialog, 0, reinterpret_cast<intptr_t>(user_));
    if (ended_) return;
    for (int i = 0; i < ItemCount(); ++i) {
        if (IsTabStop(i)) {
            SetFocus(i);
            break;
        }
    }
}

int DialogModel::IndexOf(int id) const {
    for (int i = 0; i < ItemCount(); ++i)
        if (items_[i].item.id == id) return i;
    return -1;
}

int DialogModel::HitTest(int x, int y) const {
    // The first control created is topmost; statics let clicks through.
    for (int i = 0; i < ItemCount(); ++i)
        if (IsClickable(i) && items_[i].rect.Contains(x, y)) return i;
    return -1;
}

bool DialogModel::SetChecked(int id, bool checked) {
    int i = IndexOf(id);
    if (i < 0 || items_[i].item.kind != DlgKind::AutoCheckBox) return false;
    if (items_[i].checked != checked) {
        items_[i].checked = checked;
        ++revision_;
    }
    return true;
}

int DialogModel::DefaultIndex() const {
    // A focused push button takes over the heavy border from the template's
    // default, so the border always marks what Enter will press.
    if (focus_ >= 0 && IsPushButton(items_[focus_].item.kind)) return focus_;
    for (int i = 0; i < ItemCount(); ++i)
        if (items_[i].item.kind == DlgKind::DefPushButton) return i;
    return -1;
}

int DialogModel::PressedIndex() const { return capture_ >= 0 && capture_inside_ ? capture_ : -1; }

bool DialogModel::IsTabStop(int index) const {
    return items_[index].item.tab_stop && IsClickable(index);
}

bool DialogModel::IsClickable(int index) const {
    return items_[index].item.kind != DlgKind::StaticBitmap;
}

void DialogModel::SetFocus(int index) {
    if (focus_ != index) {
        focus_ = index;
        ++revision_;
    }
}

void DialogModel::MoveFocus(int step) {
    int n = ItemCount();
    if (n == 0) return;
    int start = focus_ >= 0 ? focus_ : (step > 0 ? n - 1 : 0);
    for (int k = 1; k <= n; ++k) {
        int i = ((start + step * k) % n + n) % n;
        if (IsTabStop(i)) {
            SetFocus(i);
            return;
        }
    }
}

void DialogModel::KeyDown(DlgKey key, bool shift) {
    if (ended_) return;
    switch (key) {
    case DlgKey::Enter: {
        int def = DefaultIndex();
        SendCommand(def >= 0 ? items_[def].item.id : kIdOk);
        break;
    }
    case DlgKey::Escape:
        SendCommand(kIdCancel);
        break;
    case DlgKey::Tab:
        MoveFocus(shift ? -1 : 1);
        break;
    case DlgKey::Space:
        if (focus_ >= 0) Click(focus_);
        break;
    }
}

void DialogModel::MouseDown(int x, int y) {
    if (ended_) return;
    int i = HitTest(x, y);
    if (i < 0) return;
    // A button takes the focus as soon as it is pressed, before the click
    // completes, as Win32 buttons do.
    SetFocus(i);
    capture_ = i;
    capture_inside_ = true;
    ++revision_;
}

void DialogModel::MouseMove(int x, int y) {
    if (ended_ || capture_ < 0) return;
    bool inside = items_[capture_].rect.Contains(x, y);
    if (inside != capture_inside_) {
        capture_inside_ = inside;
        ++revision_;
    }
}

void DialogModel::MouseUp(int x, int y) {
    if (ended_ || capture_ < 0) return;
    int i = capture_;
    capture_ = -1;
    capture_inside_ = false;
    ++revision_;
    // Releasing outside the control cancels the click: the way out of a
    // press that was a mistake.
    if (items_[i].rect.Contains(x, y)) Click(i);
}

void DialogModel::Close() {
    if (!ended_) SendCommand(kIdCancel);
}

void DialogModel::Click(int index) {
    Slot& s = items_[index];
    if (s.item.kind == DlgKind::AutoCheckBox) {
        s.checked = !s.checked;
        ++revision_;
    }
    if (IsClickable(index)) SendCommand(s.item.id);
}

void DialogModel::SendCommand(int id) {
    // High word 0 is BN_CLICKED, the only notification these controls send.
    if (proc_) proc_(this, kWmCommand, static_cast<uintptr_t>(id) & 0xFFFF, 0);
}

void DialogModel::End(intptr_t result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
    capture_ = -1;
    ++revision_;
}

bool CheckDlgButton(DialogModel* dlg, int id, unsigned check) {
    return dlg && dlg->SetChecked(id, check == kBstChecked);
}

unsigned IsDlgButtonChecked(const DialogModel* dlg, int id) {
    if (!dlg) return kBstUnchecked;
    int i = dlg->IndexOf(id);
    return i >= 0 && dlg->IsChecked(i) ? kBstChecked : kBstUnchecked;
}

bool EndDialog(DialogModel* dlg, intptr_t result) {
    if (!dlg) return false;
    dlg->End(result);
    return true;
}

}  // namespace plat
