#include "platform/os/dialog_draw.h"

#include "platform/os/log.h"
#include "platform/os/resources.h"

#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace plat {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

void PutPixel(RgbaView v, int x, int y, uint32_t rgb) {
    if (x < 0 || y < 0 || x >= v.width || y >= v.height) return;
    uint8_t* p = v.At(x, y);
    p[0] = static_cast<uint8_t>(rgb >> 16);
    p[1] = static_cast<uint8_t>(rgb >> 8);
    p[2] = static_cast<uint8_t>(rgb);
    p[3] = 255;
}

void FillRect(RgbaView v, DlgRect r, uint32_t rgb) {
    RgbaView s = v.Sub(r.x, r.y, r.w, r.h);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) PutPixel(s, x, y, rgb);
}

DlgRect Inset(DlgRect r, int by) { return {r.x + by, r.y + by, r.w - 2 * by, r.h - 2 * by}; }

// One pixel of a 3D edge. Light falls from the top-left: the top and left
// lines stop one short of the far corners, which belong to the bottom and
// right lines, as DrawEdge draws them.
void Edge(RgbaView v, DlgRect r, uint32_t top_left, uint32_t bottom_right) {
    if (r.w <= 0 || r.h <= 0) return;
    for (int x = r.x; x < r.x + r.w - 1; ++x) PutPixel(v, x, r.y, top_left);
    for (int y = r.y; y < r.y + r.h - 1; ++y) PutPixel(v, r.x, y, top_left);
    for (int x = r.x; x < r.x + r.w; ++x) PutPixel(v, x, r.y + r.h - 1, bottom_right);
    for (int y = r.y; y < r.y + r.h; ++y) PutPixel(v, r.x + r.w - 1, y, bottom_right);
}

void Frame(RgbaView v, DlgRect r, uint32_t rgb) { Edge(v, r, rgb, rgb); }

// The two-pixel raised edge of a button or of a dialog frame.
void RaisedEdge(RgbaView v, DlgRect r) {
    Edge(v, r, kDlgLight, kDlgDarkShadow);
    Edge(v, Inset(r, 1), kDlgHighlight, kDlgShadow);
}

// DrawFocusRect: every other pixel along the border, phase fixed to the
// pixel grid so adjoining sides meet cleanly at the corners.
void FocusRect(RgbaView v, DlgRect r) {
    for (int x = r.x; x < r.x + r.w; ++x) {
        if (((x + r.y) & 1) == 0) PutPixel(v, x, r.y, kDlgText);
        if (((x + r.y + r.h - 1) & 1) == 0) PutPixel(v, x, r.y + r.h - 1, kDlgText);
    }
    for (int y = r.y; y < r.y + r.h; ++y) {
        if (((r.x + y) & 1) == 0) PutPixel(v, r.x, y, kDlgText);
        if (((r.x + r.w - 1 + y) & 1) == 0) PutPixel(v, r.x + r.w - 1, y, kDlgText);
    }
}

// The classic check mark: seven columns, each a run of three pixels, going
// down two rows and then up four. Offsets are from the mark's top-left.
constexpr int kCheckRunTop[7] = {2, 3, 4, 3, 2, 1, 0};

}  // namespace

DialogPainter::DialogPainter(const DialogModel& dlg) {
    font_.OpenEm(kFontRegular, kDlgLabelEm);
    for (int i = 0; i < dlg.ItemCount(); ++i) {
        const DlgItem& it = dlg.Item(i);
        if (it.kind != DlgKind::StaticBitmap) continue;
        size_t size = 0;
        const unsigned char* bytes = FindResourceBytes(kResBitmap, it.bitmap_id, &size);
        // The frame is still drawn without its picture, but a picture the
        // template names and the executable lacks is a build fault: say so.
        if (!bytes || size > static_cast<size_t>(INT_MAX)) {
            LogWarning("dlg", "bitmap %u is not in the executable", it.bitmap_id);
            continue;
        }
        int w = 0, h = 0, channels = 0;
        stbi_uc* px = stbi_load_from_memory(bytes, static_cast<int>(size), &w, &h, &channels, 4);
        if (!px) {
            LogWarning("dlg", "bitmap %u cannot be decoded: %s", it.bitmap_id, stbi_failure_reason());
            continue;
        }
        Picture pic;
        pic.item = i;
        pic.width = w;
        pic.height = h;
        pic.rgba.assign(px, px + static_cast<size_t>(w) * h * 4);
        stbi_image_free(px);
        pictures_.push_back(std::move(pic));
    }
}

void DialogPainter::Paint(const DialogModel& dlg, RgbaView out) {
    FillRect(out, {0, 0, out.width, out.height}, kDlgFace);
    for (int i = 0; i < dlg.ItemCount(); ++i) {
        switch (dlg.Item(i).kind) {
        case DlgKind::PushButton:
        case DlgKind::DefPushButton:
            PaintButton(dlg, i, out);
            break;
        case DlgKind::AutoCheckBox:
            PaintCheckBox(dlg, i, out);
            break;
        case DlgKind::StaticBitmap:
            PaintBitmap(dlg, i, out);
            break;
        }
    }
}

void DialogPainter::PaintButton(const DialogModel& dlg, int index, RgbaView out) {
    DlgRect r = dlg.ItemRect(index);
    bool pressed = dlg.PressedIndex() == index;
    bool is_default = dlg.DefaultIndex() == index;
    FillRect(out, r, kDlgFace);
    DlgRect edge = r;
    if (is_default || pressed) {
        Frame(out, r, kDlgText);
        edge = Inset(r, 1);
    }
    if (pressed)
        Frame(out, edge, kDlgShadow);
    else
        RaisedEdge(out, edge);

    const char* text = dlg.Item(index).text;
    if (text && font_.IsOpen()) {
        int shift = pressed ? 1 : 0;
        int tx = r.x + (r.w - font_.TextWidth(text)) / 2 + shift;
        int ty = r.y + (r.h - font_.CellHeight()) / 2 + shift;
        // Keep the label off the edge, as the button's client area would.
        DlgRect inner = Inset(r, 2);
        font_.DrawText(out.Sub(inner.x, inner.y, inner.w, inner.h), tx - inner.x, ty - inner.y, text,
                       kOpaque | kDlgText);
    }
    if (dlg.Focus() == index) FocusRect(out, Inset(r, 4));
}

void DialogPainter::PaintCheckBox(const DialogModel& dlg, int index, RgbaView out) {
    DlgRect r = dlg.ItemRect(index);
    DlgRect box = {r.x, r.y + (r.h - kDlgCheckBoxSize) / 2, kDlgCheckBoxSize, kDlgCheckBoxSize};
    // Sunken: dark above and left, light below and right.
    Edge(out, box, kDlgShadow, kDlgHighlight);
    Edge(out, Inset(box, 1), kDlgDarkShadow, kDlgLight);
    FillRect(out, Inset(box, 2), dlg.PressedIndex() == index ? kDlgFace : kDlgWindow);
    if (dlg.IsChecked(index)) {
        for (int c = 0; c < 7; ++c)
            for (int k = 0; k < 3; ++k) PutPixel(out, box.x + 3 + c, box.y + 3 + kCheckRunTop[c] + k, kDlgText);
    }

    const char* text = dlg.Item(index).text;
    if (!text || !font_.IsOpen()) return;
    int tx = r.x + kDlgCheckLabelX;
    int ty = r.y + (r.h - font_.CellHeight()) / 2;
    RgbaView clip = out.Sub(r.x, r.y, r.w, r.h);
    font_.DrawText(clip, tx - r.x, ty - r.y, text, kOpaque | kDlgText);
    if (dlg.Focus() == index) {
        // Two pixels clear of the ink at the sides (a glyph may start on the
        // label's first column), one above and below the cell.
        DlgRect focus = {tx - 2, ty - 1, font_.TextWidth(text) + 4, font_.CellHeight() + 2};
        // The focus rectangle never leaves the control.
        int right = std::min(focus.x + focus.w, r.x + r.w);
        int bottom = std::min(focus.y + focus.h, r.y + r.h);
        focus.y = std::max(focus.y, r.y);
        focus.w = right - focus.x;
        focus.h = bottom - focus.y;
        FocusRect(out, focus);
    }
}

void DialogPainter::PaintBitmap(const DialogModel& dlg, int index, RgbaView out) {
    DlgRect r = dlg.ItemRect(index);
    // WS_EX_DLGMODALFRAME: the raised edge of a dialog window, then one
    // pixel of face between it and the picture.
    RaisedEdge(out, r);
    DlgRect inner = Inset(r, kDlgModalFrame);
    FillRect(out, inner, kDlgFace);
    auto pic = std::find_if(pictures_.begin(), pictures_.end(), [&](const Picture& p) { return p.item == index; });
    if (pic == pictures_.end()) return;
    RgbaView dst = out.Sub(inner.x, inner.y, std::min(inner.w, pic->width), std::min(inner.h, pic->height));
    // Sub may have clipped the top-left away when out is smaller than the
    // dialog; the picture stays anchored at the frame's inner corner.
    int skip_x = std::max(0, -inner.x), skip_y = std::max(0, -inner.y);
    for (int y = 0; y < dst.height; ++y) {
        const uint8_t* src = pic->rgba.data() + (static_cast<size_t>(y + skip_y) * pic->width + skip_x) * 4;
        uint8_t* d = dst.At(0, y);
        for (int x = 0; x < dst.width; ++x, src += 4, d += 4) {
            d[0] = src[0];
            d[1] = src[1];
            d[2] = src[2];
            d[3] = 255;
        }
    }
}

}  // namespace plat
