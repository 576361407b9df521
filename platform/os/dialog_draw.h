// platform/os/dialog_draw.h - software drawing of a DialogModel into RGBA
// pixels, in the light-grey look of classic Windows.
//
// Offers: a DialogPainter that opens the label font (Liberation Sans, 11
// pixels: "MS Shell Dlg" 8 pt at 96 dpi) and decodes each static control's
// BITMAP resource (any format stb_image reads, BMP included) once, then paints
// the dialog's client area as often as asked. The palette is public so tests
// can look for its colours at known places.
//
// Geometry, in pixels inside each control's rectangle:
//   push button   2-pixel raised edge; the default (Enter) button adds a
//                 black outline outside it; pressed, the outline stays and a
//                 flat grey line replaces the edge and the label shifts by
//                 (1, 1); focus is a dotted rectangle 4 pixels in;
//   check box     13 x 13 sunken box, vertically centred at the left, white
//                 inside with a 7 x 7 check mark 3 pixels in from the box's
//                 corner; the label starts 17 pixels from the left and the
//                 focus is a dotted rectangle around the label's cell, 2
//                 pixels out at the sides and 1 above and below;
//   bitmap        3-pixel modal frame (2-pixel raised edge, 1 pixel of face),
//                 the picture at its top-left inside, clipped to the frame.
//
// Lifecycle: construct for one dialog, Paint any number of times, destroy.
// Without its font the painter still draws everything but the labels.
#pragma once

#include "platform/os/dialog_model.h"
#include "platform/text/raster.h"

#include <cstdint>
#include <vector>

namespace plat {

// Classic "Windows Standard" system colours, 0xRRGGBB.
inline constexpr uint32_t kDlgFace = 0xD4D0C8;        // COLOR_3DFACE
inline constexpr uint32_t kDlgHighlight = 0xFFFFFF;   // COLOR_3DHILIGHT
inline constexpr uint32_t kDlgLight = 0xD4D0C8;       // COLOR_3DLIGHT
inline constexpr uint32_t kDlgShadow = 0x808080;      // COLOR_3DSHADOW
inline constexpr uint32_t kDlgDarkShadow = 0x404040;  // COLOR_3DDKSHADOW
inline constexpr uint32_t kDlgWindow = 0xFFFFFF;      // COLOR_WINDOW: inside a check box
inline constexpr uint32_t kDlgText = 0x000000;        // COLOR_BTNTEXT, outlines, marks

inline constexpr int kDlgCheckBoxSize = 13;  // pixels
inline constexpr int kDlgCheckLabelX = 17;   // label's left, from the control's left
inline constexpr int kDlgModalFrame = 3;     // pixels of WS_EX_DLGMODALFRAME border
inline constexpr int kDlgLabelEm = 11;       // label font em, pixels

class DialogPainter {
public:
    explicit DialogPainter(const DialogModel& dlg);

    // Paint the whole client area of dlg; out is normally ClientWidth x
    // ClientHeight, anything outside out is clipped.
    void Paint(const DialogModel& dlg, RgbaView out);


private:
    struct Picture {
        int item = -1;
        int width = 0, height = 0;
        std::vector<uint8_t> rgba;
    };

    void PaintButton(const DialogModel& dlg, int index, RgbaView out);
    void PaintCheckBox(const DialogModel& dlg, int index, RgbaView out);
    void PaintBitmap(const DialogModel& dlg, int index, RgbaView out);

    TextFace font_;
    std::vector<Picture> pictures_;
};

}  // namespace plat
