// The program as a person meets it on a desktop: its own X server at
// 1280 x 1024, with and without a window manager; the start-up dialog with
// its picture, answered with real keys; the show full screen, letterboxed
// to the whole screen, or in a centred window; the F1 panel; Escape and the
// window manager's close ending the run with status 0. And a machine with
// no display at all, where the program must say so rather than wait.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/startup_dialog.h"
#include "platform/os/dialog_draw.h"
#include "platform/os/dialog_model.h"
#include "tests/desktop/x_session.h"
#include "tests/support/run_command.h"

namespace {

using xtest::Geometry;
using xtest::Rgb;
using xtest::XSession;

constexpr const char* kDialogTitle = "\"KELO 2008 - V.E.X.A.\"";
constexpr const char* kKeloClass = "(\"kelo\" \"kelo\")";
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

Rgb FromDlg(uint32_t rgb) { return {int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)}; }

// The program started in the session as from a terminal there.
struct Kelo {
    xtest::Process proc;
    std::string log_file;

    Kelo(const XSession& x, const std::vector<std::string>& args) {
        log_file = "/tmp/kelo_desktop_" + std::to_string(getpid()) + "_" + x.display().substr(1) + ".log";
        std::vector<std::string> argv = {KELO_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        // The test runner's own off-screen driver must not leak in: this is
        // the program finding the display the way it does on a desktop.
        proc.Start(argv, {"DISPLAY=" + x.display(), "-SDL_VIDEODRIVER", "-WAYLAND_DISPLAY", "SDL_AUDIODRIVER=dummy",
                          "KELO_LOG=1"},
                   log_file);
    }
    ~Kelo() {
        proc.Stop();
        std::remove(log_file.c_str());
    }
    std::string Log() const {
        std::ifstream f(log_file);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    // Loading is over once the music starts; only then does the show read
    // Escape (a tap during loading is ignored by design).
    bool WaitForShow(double seconds) const {
        return xtest::WaitUntil(seconds, [&] { return Log().find("snd: play at sample") != std::string::npos; });
    }
    // Exit status once it ended by itself within `seconds`; -1 if it did not.
    int ExitWithin(double seconds) { return proc.Wait(seconds) ? proc.status() : -1; }
};

plat::DlgRect DialogItem(int index) {
    plat::DialogModel model(StartupDialogTemplate(), StartupDlgProc, nullptr);
    return model.ItemRect(index);
}
enum { kParty, kPooper, kBitmap, kVsync, kFullscreen };  // template order

// How many pixels of the dialog's picture on screen differ from bitmap 201.
int PictureDifferences(const plat::PicturePixels& shot, const Geometry& dlg) {
    plat::PicturePixels bmp;
    if (!plat::ReadPictureFile(KELO_SOURCE_DIR "/data/assets/dialog/bitmap201.bmp", &bmp)) return -1;
    const plat::DlgRect b = DialogItem(kBitmap);
    const int x0 = dlg.x + b.x + plat::kDlgModalFrame, y0 = dlg.y + b.y + plat::kDlgModalFrame;
    int differ = 0;
    for (int y = 0; y < bmp.height; ++y)
        for (int x = 0; x < bmp.width; ++x) {
            const uint8_t* s = &bmp.rgba[(static_cast<size_t>(y) * bmp.width + x) * 4];
            differ += !xtest::Near(xtest::PixelAt(shot, x0 + x, y0 + y), Rgb{s[0], s[1], s[2]}, 0);
        }
    return differ;
}

// The check mark's first column, as the dialog draws it: black when ticked.
bool Ticked(const plat::PicturePixels& shot, const Geometry& dlg, int index) {
    const plat::DlgRect r = DialogItem(index);
    const int bx = dlg.x + r.x, by = dlg.y + r.y + (r.h - 13) / 2;
    return xtest::Near(xtest::PixelAt(shot, bx + 3, by + 6), FromDlg(plat::kDlgText), 0);
}

// Waits for the dialog and checks what it shows: its title, its picture
// equal to bitmap 201, Fullscreen ticked and Vsync not.
Geometry ExpectDialog(const XSession& x) {
    Geometry dlg;
    EXPECT_TRUE(xtest::WaitUntil(15, [&] { return x.FindWindow(kDialogTitle, "", &dlg); }))
        << "no window titled " << kDialogTitle;
    EXPECT_EQ(dlg.width, 348);
    EXPECT_EQ(dlg.height, 280);
    plat::PicturePixels shot;
    int differ = -1;
    // A window manager may still be framing and placing the window: its
    // place is read again with every look.
    EXPECT_TRUE(xtest::WaitUntil(15, [&] {
        return x.FindWindow(kDialogTitle, "", &dlg) && x.Screenshot(&shot) &&
               (differ = PictureDifferences(shot, dlg)) == 0;
    })) << differ << " pixels of the dialog's picture differ from bitmap201.bmp";
    EXPECT_TRUE(Ticked(shot, dlg, kFullscreen));
    EXPECT_FALSE(Ticked(shot, dlg, kVsync));
    return dlg;
}

// The show's picture on the whole 1280 x 1024 screen: drawn at the largest
// 4:3 size that fits, 1280 x 960, presented 1:1 from y 32 with 32-pixel
// black bars above and below (as the 1024 x 768 picture scaled by 1.25
// was); the intro's white page reaches both side edges. On failure *why
// says what was seen.
bool Letterboxed(const plat::PicturePixels& s, std::string* why) {
    std::ostringstream w;
    if (s.width != 1280 || s.height != 1024) {
        w << "screen is " << s.width << "x" << s.height;
        *why = w.str();
        return false;
    }
    for (int y : {0, 16, 31, 992, 1008, 1023})
        for (int x : {0, 640, 1279})
            if (!xtest::Near(xtest::PixelAt(s, x, y), kBlack, 0)) w << "(" << x << "," << y << ") not black; ";
    for (int y : {32, 100, 512, 900, 991})
        for (int x : {0, 1279}) {
            const Rgb p = xtest::PixelAt(s, x, y);
            // Texel k is pixel k, so the scaled picture's edge columns are
            // the page's own white, with no line nobody drew.
            if (!xtest::Near(p, kWhite, 8))
                w << "(" << x << "," << y << ") is " << p.r << "," << p.g << "," << p.b << ", not the white page; ";
        }
    *why = w.str();
    return why->empty();
}

// The show's window once it is there (the dialog's line left out) has this
// size and place on the screen.
void ExpectShowWindow(const XSession& x, int width, int height, int left, int top) {
    Geometry show;
    ASSERT_TRUE(xtest::WaitUntil(15, [&] { return x.FindWindow(kKeloClass, "KELO 2008", &show); }))
        << "no show window";
    EXPECT_EQ(show.width, width);
    EXPECT_EQ(show.height, height);
    EXPECT_EQ(show.x, left);
    EXPECT_EQ(show.y, top);
}

void ExpectLetterboxedShow(const XSession& x) {
    ExpectShowWindow(x, 1280, 1024, 0, 0);
    if (::testing::Test::HasFatalFailure()) return;
    plat::PicturePixels shot;
    std::string why;
    // Loading comes first; the intro's white page follows within seconds.
    EXPECT_TRUE(xtest::WaitUntil(40, [&] { return x.Screenshot(&shot) && Letterboxed(shot, &why); })) << why;
}

void ExpectPanelOnF1(const XSession& x) {
    // The panel is grey, at the bottom left of the picture: of the screen,
    // above the lower bar.
    plat::PicturePixels shot;
    ASSERT_TRUE(x.Screenshot(&shot));
    EXPECT_TRUE(xtest::Near(xtest::PixelAt(shot, 10, 960), kWhite, 45)) << "panel before F1?";
    x.Hold("F1");
    Rgb p;
    EXPECT_TRUE(xtest::WaitUntil(5, [&] {
        return x.Screenshot(&shot) && xtest::Near(p = xtest::PixelAt(shot, 10, 960), Rgb{128, 128, 128}, 4);
    })) << "no grey panel at (10, 960) after F1: " << p.r << "," << p.g << "," << p.b;
}

TEST(Desktop, BareServerDialogFullScreenPanelAndEscape) {
    XSession x(/*window_manager=*/false);
    ASSERT_TRUE(x.ok()) << x.error();
    Kelo kelo(x, {});
    const Geometry dlg = ExpectDialog(x);
    // Tab twice reaches Vsync (tab order: Party!, Pooper, Vsync,
    // Fullscreen); Space ticks it and ticks it off again.
    x.Hold("Tab");
    x.Hold("Tab");
    x.Hold("space");
    plat::PicturePixels shot;
    EXPECT_TRUE(xtest::WaitUntil(5, [&] { return x.Screenshot(&shot) && Ticked(shot, dlg, kVsync); }));
    x.Hold("space");
    EXPECT_TRUE(xtest::WaitUntil(5, [&] { return x.Screenshot(&shot) && !Ticked(shot, dlg, kVsync); }));
    // Enter presses the default button, "Party!", whatever has the focus.
    x.Hold("Return");
    ExpectLetterboxedShow(x);
    ASSERT_TRUE(kelo.WaitForShow(30)) << kelo.Log();
    EXPECT_NE(kelo.Log().find("gfx: back buffer 1280 x 960"), std::string::npos) << "not the screen's own size";
    ExpectPanelOnF1(x);
    x.Hold("Escape");
    // The exit screen takes its time: picture, then the fade.
    EXPECT_EQ(kelo.ExitWithin(90), 0) << kelo.Log();
    EXPECT_NE(kelo.Log().find("win: video driver x11"), std::string::npos) << kelo.Log();
}

TEST(Desktop, WindowManagerFullScreenAndItsCloseEndTheShow) {
    XSession x(/*window_manager=*/true);
    ASSERT_TRUE(x.ok()) << x.error();
    Kelo kelo(x, {});
    ExpectDialog(x);
    x.Hold("Return");
    ExpectLetterboxedShow(x);
    ExpectPanelOnF1(x);
    // openbox's Alt+F4 is its close: WM_DELETE_WINDOW, as the title bar's
    // close button sends.
    x.Hold("alt+F4");
    EXPECT_EQ(kelo.ExitWithin(30), 0) << kelo.Log();
    EXPECT_NE(kelo.Log().find("app: leave main loop"), std::string::npos);
}

// Fullscreen unticked: a 1024 x 768 window centred on the screen, whether a
// window manager places it or the X server alone does.
void RunWindowed(bool window_manager) {
    XSession x(window_manager);
    ASSERT_TRUE(x.ok()) << x.error();
    Kelo kelo(x, {});
    const Geometry dlg = ExpectDialog(x);
    for (int i = 0; i < 3; ++i) x.Hold("Tab");
    x.Hold("space");
    plat::PicturePixels shot;
    EXPECT_TRUE(xtest::WaitUntil(5, [&] { return x.Screenshot(&shot) && !Ticked(shot, dlg, kFullscreen); }));
    x.Hold("Return");
    ExpectShowWindow(x, 1024, 768, 128, 128);
    if (::testing::Test::HasFatalFailure()) return;
    ASSERT_TRUE(kelo.WaitForShow(30)) << kelo.Log();
    EXPECT_NE(kelo.Log().find("gfx: back buffer 1024 x 768"), std::string::npos) << kelo.Log();
    // Inside the window the picture is 1:1: white page, no bars.
    EXPECT_TRUE(xtest::WaitUntil(40, [&] {
        return x.Screenshot(&shot) && xtest::Near(xtest::PixelAt(shot, 128 + 1, 128 + 384), kWhite, 45) &&
               xtest::Near(xtest::PixelAt(shot, 128 + 1022, 128 + 1), kWhite, 45) &&
               xtest::Near(xtest::PixelAt(shot, 127, 500), kBlack, 0);
    }));
    if (window_manager) {
        x.Hold("alt+F4");
        EXPECT_EQ(kelo.ExitWithin(30), 0) << kelo.Log();
    } else {
        x.Hold("Escape");
        EXPECT_EQ(kelo.ExitWithin(90), 0) << kelo.Log();
    }
}

TEST(Desktop, WindowedWithWindowManager) { RunWindowed(true); }
TEST(Desktop, WindowedOnBareServer) { RunWindowed(false); }

// "Pooper", by Escape or by its button, ends the run at once with status 0
// and no show window, no device.
TEST(Desktop, PooperEndsBeforeAnyShowWindow) {
    XSession x(/*window_manager=*/false);
    ASSERT_TRUE(x.ok()) << x.error();
    for (const bool by_button : {false, true}) {
        Kelo kelo(x, {});
        Geometry dlg;
        ASSERT_TRUE(xtest::WaitUntil(15, [&] { return x.FindWindow(kDialogTitle, "", &dlg); }));
        if (by_button) {
            x.Hold("Tab");  // Pooper
            x.Hold("space");
        } else {
            x.Hold("Escape");
        }
        EXPECT_EQ(kelo.ExitWithin(15), 0) << kelo.Log();
        Geometry show;
        EXPECT_FALSE(x.FindWindow(kKeloClass, "", &show));
        EXPECT_EQ(kelo.Log().find("gfx:"), std::string::npos) << "a device was made:\n" << kelo.Log();
    }
}

// No display and no driver asked for: one line that says so and how to
// capture instead, status 1, at once (not a dialog nobody can answer).
TEST(Desktop, NoDisplaySaysSoAndExits) {
    auto [status, out] = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy "
                                    "timeout -s KILL 20 " KELO_EXE);
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("kelo: cannot start: no display"), std::string::npos) << out;
    EXPECT_NE(out.find("--capture DIR"), std::string::npos) << out;
    // A capture needs no display, and says nothing of one.
    auto [cap_status, cap_out] =
        RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy timeout -s KILL 60 " KELO_EXE
                   " --capture /tmp/kelo_desktop_nodisplay_" + std::to_string(getpid()) + " --frames 2 --fps 10");
    EXPECT_EQ(cap_status, 0) << cap_out;
    EXPECT_EQ(cap_out.find("no display"), std::string::npos) << cap_out;
    std::filesystem::remove_all("/tmp/kelo_desktop_nodisplay_" + std::to_string(getpid()));
}

}  // namespace
