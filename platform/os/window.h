// platform/os/window.h - the one window and its message queue.
//
// Offers what the Win32 window and message calls gave the program:
//   - video start-up and shutdown (SDL's video subsystem); the primary
//     screen's size;
//   - one borderless window: windowed, of the given size at a given position (the
//     caller centres it; a negative position overhangs the screen's top left),
//     or full screen, a borderless desktop-sized window into which the
//     graphics device letterboxes its back buffer, cursor hidden;
//   - a message queue in the shape of PeekMessage/DispatchMessage: key-down
//     and key-up messages carrying Win32 virtual-key codes, a close request,
//     the destroy message once the window is gone, and the quit message
//     posted by PostQuitMessage. PeekMessage never waits.
//
// Lifecycle: InitVideo -> CreateMainWindow -> (PeekMessage/DispatchMessage)*
//   -> DestroyMainWindow -> ShutdownVideo. Everything runs on the main thread.
//   Closing the window (the close button, or RequestClose from a script)
//   queues kMsgClose; the default handling of kMsgClose destroys the window,
//   which queues kMsgDestroy, as Windows does. The GL context lives on the
//   window and is made by the graphics device (platform/gfx/device.h).
//
// Does not: offer more than one window, resizing, or text input.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// Message numbers are Windows' own, so traces read the same.
inline constexpr unsigned kMsgNull = 0x0000;
inline constexpr unsigned kMsgDestroy = 0x0002;
inline constexpr unsigned kMsgClose = 0x0010;
inline constexpr unsigned kMsgQuit = 0x0012;
inline constexpr unsigned kMsgKeyDown = 0x0100;
inline constexpr unsigned kMsgKeyUp = 0x0101;

struct Msg {
    unsigned message = kMsgNull;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

using WindowProc = intptr_t (*)(unsigned message, uintptr_t wParam, intptr_t lParam);

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// Starts the video subsystem. `offscreen` asks for SDL's off-screen driver
// (no display needed; still a real GL context on Mesa) unless SDL_VIDEODRIVER
// names another. On failure returns false and fills *error with one line a
// person can act on.
//
// Without `offscreen` a display is wanted: when SDL_VIDEODRIVER is not set
// and SDL finds no display (it would fall back to its off-screen or dummy
// driver, whose windows nobody can see or type into), video is not started,
// *no_display becomes true and the call fails at once.
bool InitVideo(std::string* error, bool offscreen = false, bool* no_display = nullptr);
void ShutdownVideo();
bool IsVideoStarted();
ScreenSize PrimaryScreenSize();

struct WindowParams {
    bool windowed = true;
    int x = 0;            // windowed: top-left corner on the primary screen
    int y = 0;
    int width = 1024;     // windowed: client size; full screen: the back buffer
    int height = 768;
    uint32_t icon_id = 0;  // ICON resource (a PNG) shown by the window manager; 0 for none
};

// Creates the window, ready for an OpenGL 4.5 core context. Full screen
// hides the cursor (the caller's ShowCursor of Windows is folded in here).
bool CreateMainWindow(const WindowParams& params, std::string* error);
void DestroyMainWindow();
void SetWindowProc(WindowProc proc);

// Removes one message from the queue into *msg and returns true, or returns
// false at once when the queue is empty.
bool PeekMessage(Msg* msg);
// Calls the window procedure (kMsgQuit is never dispatched, as on Windows).
intptr_t DispatchMessage(const Msg& msg);
// What the window procedure hands on for messages it does not handle:
// kMsgClose destroys the window (and so queues kMsgDestroy).
intptr_t DefWindowProc(unsigned message, uintptr_t wParam, intptr_t lParam);
void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
void PostQuitMessage(int exit_code);
// Asks the window to close, as its close button does.
void RequestClose();

// Maps an SDL key code to a Win32 virtual-key code (0 when it has none).
// Exposed for tests.
unsigned VirtualKeyFromSdlKey(int32_t sdl_keycode);

}  // namespace plat
