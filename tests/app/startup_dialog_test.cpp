// The start-up dialog: layout from dialog units, keyboard and mouse rules,
// the procedure's effect on the globals, the software rendering at known
// pixels, and one run of the real window under SDL's off-screen driver.
#include "app/startup_dialog.h"
#include "platform/os/dialog.h"
#include "platform/os/window.h"
#include "platform/os/dialog_draw.h"
#include "platform/os/dialog_model.h"
#include "platform/gfx/picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using plat::DialogModel;
using plat::DlgKey;

enum { kParty, kPooper, kBitmap, kVsync, kFullscreen };  // item indices, template order

struct StartupDialogTest : ::testing::Test {
    void SetUp() override {
        // Poison the globals so a test sees whether the procedure wrote them.
        g_bVsync = true;
        g_bWindowed = true;
        dlg.Start();
    }
    void Click(int index) {
        plat::DlgRect r = dlg.ItemRect(index);
        dlg.MouseDown(r.x + r.w / 2, r.y + r.h / 2);
        dlg.MouseUp(r.x + r.w / 2, r.y + r.h / 2);
    }
    DialogModel dlg{StartupDialogTemplate(), StartupDlgProc, nullptr};
};

TEST(DialogLayout, DialogUnitsBecomePixelsAsMulDivRoundsThem) {
    DialogModel dlg(StartupDialogTemplate(), StartupDlgProc, nullptr);
    EXPECT_STREQ(dlg.Caption(), "KELO 2008 - V.E.X.A.");
    EXPECT_EQ(dlg.ClientWidth(), 348);
    EXPECT_EQ(dlg.ClientHeight(), 280);  // 172 * 13 / 8 = 279.5, rounded up
    ASSERT_EQ(dlg.ItemCount(), 5);
    struct Want { int id; int x, y, w, h; } want[] = {
        {1, 171, 244, 75, 23},       // 150 * 13 / 8 = 243.75; 14 -> 22.75
        {2, 252, 244, 75, 23},
        {-1, 9, 10, 326, 216},       // 320 x 210 picture + 3 px frame each side
        {1008, 18, 244, 54, 20},     // 12 -> 19.5, rounded up
        {1005, 81, 244, 81, 20},
    };
    for (int i = 0; i < 5; ++i) {
        plat::DlgRect r = dlg.ItemRect(i);
        EXPECT_EQ(dlg.Item(i).id, want[i].id) << i;
        EXPECT_EQ(r.x, want[i].x) << i;
        EXPECT_EQ(r.y, want[i].y) << i;
        EXPECT_EQ(r.w, want[i].w) << i;
        EXPECT_EQ(r.h, want[i].h) << i;
    }
    EXPECT_EQ(plat::DluToPixelsX(-3), -5);  // half away from zero, like MulDiv
}

TEST_F(StartupDialogTest, StartsWithFullscreenCheckedAndPartyFocusedAsDefault) {
    EXPECT_FALSE(dlg.Ended());
    EXPECT_EQ(plat::IsDlgButtonChecked(&dlg, 1005), plat::kBstChecked);
    EXPECT_EQ(plat::IsDlgButtonChecked(&dlg, 1008), plat::kBstUnchecked);
    EXPECT_EQ(dlg.Focus(), kParty);
    EXPECT_EQ(dlg.DefaultIndex(), kParty);
}

TEST_F(StartupDialogTest, TabWrapsBothWaysOverTheFourTabStopsOnly) {
    const int forward[] = {kPooper, kVsync, kFullscreen, kParty, kPooper};
    for (int want : forward) {
        dlg.KeyDown(DlgKey::Tab, false);
        EXPECT_EQ(dlg.Focus(), want);
    }
    const int backward[] = {kParty, kFullscreen, kVsync, kPooper, kParty, kFullscreen};
    for (int want : backward) {
        dlg.KeyDown(DlgKey::Tab, true);
        EXPECT_EQ(dlg.Focus(), want);
    }
    EXPECT_FALSE(dlg.Ended());
}

TEST_F(StartupDialogTest, ConfirmingUntouchedMeansFullScreenWithoutVsync) {
    dlg.KeyDown(DlgKey::Enter, false);
    ASSERT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.Result(), 1);
    EXPECT_FALSE(g_bVsync);
    EXPECT_FALSE(g_bWindowed);
}

TEST_F(StartupDialogTest, UncheckingFullscreenByClickOnItsLabelGivesAWindow) {
    plat::DlgRect r = dlg.ItemRect(kFullscreen);
    // Well right of the box: on the word "Fullscreen".
    dlg.MouseDown(r.x + 40, r.y + r.h / 2);
    dlg.MouseUp(r.x + 40, r.y + r.h / 2);
    EXPECT_EQ(plat::IsDlgButtonChecked(&dlg, 1005), plat::kBstUnchecked);
    EXPECT_EQ(dlg.Focus(), kFullscreen);
    Click(kVsync);
    Click(kParty);
    ASSERT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.Result(), 1);
    EXPECT_TRUE(g_bWindowed);
    EXPECT_TRUE(g_bVsync);
}

TEST_F(StartupDialogTest, EscapeCloseAndPooperAllEndWithTwoAndLeaveGlobals) {
    dlg.KeyDown(DlgKey::Escape, false);
    EXPECT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.Result(), 2);

    DialogModel closed(StartupDialogTemplate(), StartupDlgProc, nullptr);
    closed.Start();
    closed.Close();
    EXPECT_EQ(closed.Result(), 2);

    DialogModel clicked(StartupDialogTemplate(), StartupDlgProc, nullptr);
    clicked.Start();
    plat::DlgRect r = clicked.ItemRect(kPooper);
    clicked.MouseDown(r.x + 1, r.y + 1);
    clicked.MouseUp(r.x + r.w - 1, r.y + r.h - 1);
    EXPECT_EQ(clicked.Result(), 2);
    // "Pooper" never reads the boxes.
    EXPECT_TRUE(g_bVsync);
    EXPECT_TRUE(g_bWindowed);
}

TEST_F(StartupDialogTest, SpaceTogglesTheFocusedBoxAndPressesTheFocusedButton) {
    dlg.KeyDown(DlgKey::Tab, false);
    dlg.KeyDown(DlgKey::Tab, false);  // Vsync
    dlg.KeyDown(DlgKey::Space, false);
    EXPECT_EQ(plat::IsDlgButtonChecked(&dlg, 1008), plat::kBstChecked);
    dlg.KeyDown(DlgKey::Space, false);
    EXPECT_EQ(plat::IsDlgButtonChecked(&dlg, 1008), plat::kBstUnchecked);
    EXPECT_FALSE(dlg.Ended());
    dlg.KeyDown(DlgKey::Tab, true);
    dlg.KeyDown(DlgKey::Tab, true);  // back to Party!
    dlg.KeyDown(DlgKey::Space, false);
    ASSERT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.Result(), 1);
}

TEST_F(StartupDialogTest, EnterPressesWhatTheHeavyBorderMarks) {
    dlg.KeyDown(DlgKey::Tab, false);  // Pooper
    dlg.KeyDown(DlgKey::Tab, false);  // Vsync: a box gives the border back to Party!
    EXPECT_EQ(dlg.DefaultIndex(), kParty);
    dlg.KeyDown(DlgKey::Tab, true);   // Pooper takes the border, as in Win32
    EXPECT_EQ(dlg.DefaultIndex(), kPooper);
    dlg.KeyDown(DlgKey::Enter, false);
    EXPECT_EQ(dlg.Result(), 2);
}

TEST_F(StartupDialogTest, ReleasingOutsideCancelsAndStaticsTakeNoClicks) {
    plat::DlgRect r = dlg.ItemRect(kVsync);
    dlg.MouseDown(r.x + 2, r.y + 2);
    EXPECT_EQ(dlg.PressedIndex(), kVsync);
    dlg.MouseMove(0, 0);
    EXPECT_EQ(dlg.PressedIndex(), -1);
    dlg.MouseUp(0, 0);
    EXPECT_EQ(plat::IsDlgButtonChecked(&dlg, 1008), plat::kBstUnchecked);

    plat::DlgRect b = dlg.ItemRect(kBitmap);
    int focus = dlg.Focus();
    EXPECT_EQ(dlg.HitTest(b.x + 50, b.y + 50), -1);
    dlg.MouseDown(b.x + 50, b.y + 50);
    dlg.MouseUp(b.x + 50, b.y + 50);
    EXPECT_EQ(dlg.Focus(), focus);
    EXPECT_FALSE(dlg.Ended());
    // The pixel just past a control's right edge is no longer the control.
    plat::DlgRect p = dlg.ItemRect(kParty);
    EXPECT_EQ(dlg.HitTest(p.x + p.w - 1, p.y), kParty);
    EXPECT_EQ(dlg.HitTest(p.x + p.w, p.y), -1);
}

// A procedure that records what it is sent and ends the dialog at init.
struct Recorder {
    std::vector<uint32_t> messages;
    static intptr_t Proc(DialogModel* dlg, uint32_t msg, uintptr_t wp, intptr_t lp) {
        auto* self = reinterpret_cast<Recorder*>(msg == plat::kWmInitDialog ? lp : 0);
        if (self) {
            self->messages.push_back(msg);
            plat::EndDialog(dlg, 7);
        }
        (void)wp;
        return 0;
    }
};

TEST(DialogLifecycle, EndDialogDuringInitEndsAtOnceAndLaterInputIsIgnored) {
    Recorder rec;
    DialogModel dlg(StartupDialogTemplate(), Recorder::Proc, &rec);
    dlg.Start();
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0], plat::kWmInitDialog);
    EXPECT_TRUE(dlg.Ended());
    EXPECT_EQ(dlg.Result(), 7);
    EXPECT_EQ(dlg.Focus(), -1);
    dlg.KeyDown(DlgKey::Escape, false);
    plat::EndDialog(&dlg, 9);  // the first result stands
    EXPECT_EQ(dlg.Result(), 7);
    EXPECT_FALSE(plat::CheckDlgButton(&dlg, 1, plat::kBstChecked));  // a button, not a box
    EXPECT_FALSE(plat::CheckDlgButton(&dlg, 4242, plat::kBstChecked));
}

// ---- software rendering --------------------------------------------------

uint32_t Rgb(const std::vector<uint8_t>& px, int w, int x, int y) {
    const uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
    return static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
}

struct Rendered {
    explicit Rendered(DialogModel& dlg) : w(dlg.ClientWidth()), h(dlg.ClientHeight()), px(w * h * 4) {
        plat::DialogPainter painter(dlg);
        painter.Paint(dlg, {px.data(), w, h, w * 4});
    }
    uint32_t At(int x, int y) const { return Rgb(px, w, x, y); }
    int w, h;
    std::vector<uint8_t> px;
};

TEST_F(StartupDialogTest, RenderingShowsMarksFramesAndFocus) {
    Rendered img(dlg);
    // Check boxes: 13 x 13 at the control's left, vertically centred; the
    // mark's first column runs from 2 to 4 below the mark's top, 3 px in.
    for (int index : {kVsync, kFullscreen}) {
        plat::DlgRect r = dlg.ItemRect(index);
        int bx = r.x, by = r.y + (r.h - 13) / 2;
        EXPECT_EQ(img.At(bx, by), plat::kDlgShadow) << index;
        EXPECT_EQ(img.At(bx + 12, by + 12), plat::kDlgHighlight) << index;
        EXPECT_EQ(img.At(bx + 2, by + 2), plat::kDlgWindow) << index;
        uint32_t mark = index == kFullscreen ? plat::kDlgText : plat::kDlgWindow;
        EXPECT_EQ(img.At(bx + 3, by + 3 + 3), mark) << index;
        EXPECT_EQ(img.At(bx + 9, by + 3 + 1), mark) << index;
        EXPECT_EQ(img.At(bx + 3, by + 3), plat::kDlgWindow) << index;  // above the mark
    }
    // The bitmap: raised modal frame, then bitmap 201 pixel for pixel, as
    // the BMP file holds it, at the frame's inner corner.
    plat::DlgRect b = dlg.ItemRect(kBitmap);
    EXPECT_EQ(img.At(b.x + 1, b.y + 1), plat::kDlgHighlight);
    EXPECT_EQ(img.At(b.x + b.w - 1, b.y + b.h - 1), plat::kDlgDarkShadow);
    EXPECT_EQ(img.At(b.x + b.w - 2, b.y + b.h / 2), plat::kDlgShadow);
    plat::PicturePixels bmp;
    ASSERT_TRUE(plat::ReadPictureFile(KELO_SOURCE_DIR "/data/assets/dialog/bitmap201.bmp", &bmp));
    ASSERT_EQ(bmp.width, 320);
    ASSERT_EQ(bmp.height, 210);
    const int px0 = b.x + plat::kDlgModalFrame, py0 = b.y + plat::kDlgModalFrame;
    int differ = 0;
    for (int y = 0; y < bmp.height; ++y)
        for (int x = 0; x < bmp.width; ++x) {
            const uint8_t* s = &bmp.rgba[(static_cast<size_t>(y) * bmp.width + x) * 4];
            differ += img.At(px0 + x, py0 + y) != (uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2]);
        }
    EXPECT_EQ(differ, 0) << "pixels of the dialog's picture that differ from bitmap201.bmp";
    // Party! is the default: black outline; Pooper has the plain raised edge.
    plat::DlgRect p = dlg.ItemRect(kParty), q = dlg.ItemRect(kPooper);
    EXPECT_EQ(img.At(p.x, p.y + p.h / 2), plat::kDlgText);
    EXPECT_EQ(img.At(p.x + p.w - 1, p.y + 1), plat::kDlgText);
    EXPECT_EQ(img.At(q.x + 1, q.y + q.h / 2), plat::kDlgHighlight);
    EXPECT_EQ(img.At(q.x + q.w - 1, q.y + q.h / 2), plat::kDlgDarkShadow);
    // Focus dots 4 px in on Party!, every other pixel along its top.
    int dots = 0;
    for (int x = p.x + 4; x < p.x + p.w - 4; ++x) dots += img.At(x, p.y + 4) == plat::kDlgText;
    EXPECT_NEAR(dots, (p.w - 8) / 2, 1);
    // Labels were drawn: near-black (anti-aliased) pixels inside each
    // button and beside each box.
    for (int index : {kParty, kPooper, kVsync, kFullscreen}) {
        plat::DlgRect r = dlg.ItemRect(index);
        int x0 = dlg.Item(index).kind == plat::DlgKind::AutoCheckBox ? r.x + plat::kDlgCheckLabelX : r.x + 6;
        int dark = 0;
        for (int y = r.y + 6; y < r.y + r.h - 6; ++y)
            for (int x = x0; x < r.x + r.w - 6; ++x) dark += (img.At(x, y) & 0xFF) < 0x60;
        EXPECT_GT(dark, 10) << index;
    }
}

TEST_F(StartupDialogTest, RenderingFollowsFocusAndPress) {
    dlg.KeyDown(DlgKey::Tab, false);  // Pooper focused: it takes the outline
    plat::DlgRect q = dlg.ItemRect(kPooper), p = dlg.ItemRect(kParty);
    dlg.MouseDown(q.x + 5, q.y + 5);  // and held down
    Rendered img(dlg);
    EXPECT_EQ(img.At(q.x, q.y + q.h / 2), plat::kDlgText);
    EXPECT_EQ(img.At(q.x + 1, q.y + q.h / 2), plat::kDlgShadow);  // flat, pushed in
    EXPECT_EQ(img.At(p.x, p.y + p.h / 2), plat::kDlgLight);      // Party! lost the outline
    EXPECT_EQ(img.At(p.x + p.w - 1, p.y + p.h / 2), plat::kDlgDarkShadow);
}

// ---- the real window -----------------------------------------------------

intptr_t PressEnterAtInit(DialogModel* dlg, uint32_t msg, uintptr_t wp, intptr_t lp) {
    if (msg == plat::kWmInitDialog) {
        // Through SDL's own queue: the key reaches the model the way a real
        // key press would. Tab first, so Enter presses Pooper (2) and a
        // result of 2 proves both keys travelled in order.
        EXPECT_TRUE(plat::PostDialogKey(DlgKey::Tab));
        EXPECT_TRUE(plat::PostDialogKey(DlgKey::Enter));
    }
    return StartupDlgProc(dlg, msg, wp, lp);
}

TEST(DialogWindow, RunsUnderSdlAndEndsOnQueuedKeys) {
    if (!std::getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    EXPECT_FALSE(plat::PostDialogKey(DlgKey::Enter));  // no dialog open yet
    EXPECT_EQ(plat::DialogBox(StartupDialogTemplate(), PressEnterAtInit, nullptr), 2);
    EXPECT_FALSE(plat::PostDialogKey(DlgKey::Enter));  // closed again

    intptr_t (*enter_only)(DialogModel*, uint32_t, uintptr_t, intptr_t) =
        [](DialogModel* dlg, uint32_t msg, uintptr_t wp, intptr_t lp) -> intptr_t {
        if (msg == plat::kWmInitDialog) plat::PostDialogKey(DlgKey::Enter);
        return StartupDlgProc(dlg, msg, wp, lp);
    };
    g_bWindowed = true;
    EXPECT_EQ(plat::DialogBox(StartupDialogTemplate(), enter_only, nullptr), 1);
    EXPECT_FALSE(g_bWindowed);
}

TEST(DialogWindow, NoVideoGivesMinusOne) {
    // Only meaningful where nothing else in this process has video running
    // (CTest runs each test alone; a whole-binary run may not).
    if (plat::IsVideoStarted()) GTEST_SKIP() << "video already started by another test";
    std::string saved = std::getenv("SDL_VIDEODRIVER") ? std::getenv("SDL_VIDEODRIVER") : "";
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    // Should video come up after all (someone else holds it open), Escape
    // at init keeps the test from waiting for a person.
    auto escape = [](DialogModel* dlg, uint32_t msg, uintptr_t wp, intptr_t lp) -> intptr_t {
        if (msg == plat::kWmInitDialog) plat::PostDialogKey(DlgKey::Escape);
        return StartupDlgProc(dlg, msg, wp, lp);
    };
    EXPECT_EQ(plat::DialogBox(StartupDialogTemplate(), escape, nullptr), -1);
    if (saved.empty()) unsetenv("SDL_VIDEODRIVER");
    else setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
}

}  // namespace
