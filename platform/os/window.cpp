#include "platform/os/window.h"

#include <SDL.h>
#include <dlfcn.h>

#include <deque>

#include "platform/os/log.h"
#include "platform/os/window_internal.h"

namespace plat {
namespace {

struct WindowState {
    bool video_started = false;
    bool window_seen = true;  // false on SDL's offscreen and dummy drivers
    SDL_Window* window = nullptr;
    WindowProc proc = nullptr;
    std::deque<Msg> queue;
};
WindowState g_win;

// SDL's key events become the Win32 virtual keys the program reads.
void TranslateEvent(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT:
            PostMessage(kMsgClose, 0, 0);
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) PostMessage(kMsgClose, 0, 0);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            unsigned vk = VirtualKeyFromSdlKey(e.key.keysym.sym);
            if (vk == 0) break;
            // Auto-repeat arrives as further key-downs, as on Windows; the
            // keyboard state ignores them because the entry is already 1.
            PostMessage(e.type == SDL_KEYDOWN ? kMsgKeyDown : kMsgKeyUp, vk, e.key.repeat ? 1 : 0);
            break;
        }
        default:
            break;
    }
}

}  // namespace

namespace detail {
SDL_Window* MainSdlWindow() { return g_win.window; }
bool MainWindowCanBeSeen() { return g_win.window_seen; }
}  // namespace detail

// SDL loads the GL libraries when video starts and unloads them when it
// stops. Unloading gains nothing this close to exit, and it strands what the
// drivers still hold (leak checkers then report the driver's own memory), so
// they are pinned for the life of the process. The list names the loaders
// and Mesa's software driver, the one headless runs use; a name that is not
// on this machine is simply not loaded.
// The off-screen driver makes its context through EGL alone, so the GLX
// side (2 ms of loading) is left out for it.
static void PinGlLibraries(bool offscreen) {
    const char* const egl[] = {"libEGL.so.1", "libEGL_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"};
    const char* const glx[] = {"libGL.so.1", "libGLX.so.0", "libGLX_mesa.so.0"};
    for (const char* name : egl) dlopen(name, RTLD_NOW | RTLD_NODELETE | RTLD_GLOBAL);
    if (offscreen) return;
    for (const char* name : glx) dlopen(name, RTLD_NOW | RTLD_NODELETE | RTLD_GLOBAL);
}

bool InitVideo(std::string* error, bool offscreen, bool* no_display) {
    if (no_display) *no_display = false;
    if (g_win.video_started) return true;
    static bool pinned = false;
    if (!pinned) PinGlLibraries(offscreen);
    pinned = true;
    if (offscreen) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    // The demo's own pacing (Sleep(1) per frame) matters more than a
    // compositor's opinion, and a screensaver has no business at a party.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (error) *error = std::string("no usable video driver (") + SDL_GetError() + ")";
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool asked = SDL_getenv("SDL_VIDEODRIVER") != nullptr;
    if (!offscreen && !asked && driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0)) {
        // SDL's last resorts: a dialog there would wait for a key nobody
        // can press, so a run that wants a person says so instead.
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (no_display) *no_display = true;
        if (error) *error = "no display";
        return false;
    }
    g_win.video_started = true;
    g_win.window_seen = !driver || (SDL_strcmp(driver, "offscreen") != 0 && SDL_strcmp(driver, "dummy") != 0);
    Log("win", "video driver %s", driver ? driver : "(none)");
    if (driver && SDL_strcmp(driver, "x11") == 0) detail::InstallX11ErrorHandler();
    return true;
}

void ShutdownVideo() {
    DestroyMainWindow();
    g_win.queue.clear();
    if (g_win.video_started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    g_win.video_started = false;
}

bool IsVideoStarted() { return g_win.video_started; }

ScreenSize PrimaryScreenSize() {
    SDL_DisplayMode mode;
    if (!g_win.video_started || SDL_GetDesktopDisplayMode(0, &mode) != 0) return {};
    return {mode.w, mode.h};
}

bool CreateMainWindow(const WindowParams& params, std::string* error) {
    if (!g_win.video_started) {
        if (error) *error = "video is not started";
        return false;
    }
    DestroyMainWindow();
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The window's own framebuffer only receives the scaled back buffer; the
    // depth buffer the program draws with lives on the device's back buffer.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN;
    int x = params.x, y = params.y, w = params.width, h = params.height;
    SDL_Rect bounds{0, 0, 0, 0};
    if (!params.windowed && SDL_GetDisplayBounds(0, &bounds) == 0 && bounds.w > 0 && bounds.h > 0) {
        // Full screen is the desktop's own mode: no mode switch, and the
        // device scales its back buffer into whatever the screen is. The
        // window is made at the display's size and place first, and only
        // then asked to go full screen: full screen is a request to the
        // window manager, and with none (a bare X server at a party or in a
        // kiosk) nobody grants it, leaving a window-sized window that SDL
        // believes is screen-sized.
        x = bounds.x;
        y = bounds.y;
        w = bounds.w;
        h = bounds.h;
    }
    g_win.window = SDL_CreateWindow("", x, y, w, h, flags);
    if (!g_win.window) {
        if (error) *error = std::string("cannot create the window (") + SDL_GetError() + ")";
        return false;
    }
    if (params.icon_id) detail::SetWindowIconFromResource(g_win.window, params.icon_id);
    if (!params.windowed) SDL_SetWindowFullscreen(g_win.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_ShowCursor(params.windowed ? SDL_ENABLE : SDL_DISABLE);
    SDL_RaiseWindow(g_win.window);
    Log("win", "window %dx%d%s", w, h, params.windowed ? "" : ", full screen");
    return true;
}

void DestroyMainWindow() {
    if (!g_win.window) return;
    SDL_DestroyWindow(g_win.window);
    g_win.window = nullptr;
    SDL_ShowCursor(SDL_ENABLE);
}

void SetWindowProc(WindowProc proc) { g_win.proc = proc; }

bool PeekMessage(Msg* msg) {
    if (g_win.queue.empty() && g_win.video_started) {
        SDL_Event e;
        while (SDL_PollEvent(&e)) TranslateEvent(e);
    }
    if (g_win.queue.empty()) return false;
    *msg = g_win.queue.front();
    g_win.queue.pop_front();
    return true;
}

intptr_t DispatchMessage(const Msg& msg) {
    if (msg.message == kMsgQuit) return 0;
    if (g_win.proc) return g_win.proc(msg.message, msg.wParam, msg.lParam);
    return DefWindowProc(msg.message, msg.wParam, msg.lParam);
}

intptr_t DefWindowProc(unsigned message, uintptr_t, intptr_t) {
    if (message == kMsgClose) {
        // Windows destroys the window here. The GL context must outlive it
        // until the device is released at shutdown, so the window is only
        // hidden now and destroyed with the device; to the program it is gone.
        if (g_win.window) SDL_HideWindow(g_win.window);
        PostMessage(kMsgDestroy, 0, 0);
    }
    return 0;
}

void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    g_win.queue.push_back(Msg{message, wParam, lParam});
}

void PostQuitMessage(int exit_code) { PostMessage(kMsgQuit, static_cast<uintptr_t>(exit_code), 0); }

void RequestClose() { PostMessage(kMsgClose, 0, 0); }

unsigned VirtualKeyFromSdlKey(int32_t key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<unsigned>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<unsigned>('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return 112u + static_cast<unsigned>(key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 0x61u + static_cast<unsigned>(key - SDLK_KP_1);
    switch (key) {
        case SDLK_BACKSPACE: return 8;
        case SDLK_TAB: return 9;
        case SDLK_RETURN: case SDLK_KP_ENTER: return 13;
        case SDLK_LSHIFT: case SDLK_RSHIFT: return 16;
        case SDLK_LCTRL: case SDLK_RCTRL: return 17;
        case SDLK_LALT: case SDLK_RALT: return 18;
        case SDLK_PAUSE: return 19;
        case SDLK_ESCAPE: return 27;
        case SDLK_SPACE: return 32;
        case SDLK_PAGEUP: return 33;
        case SDLK_PAGEDOWN: return 34;
        case SDLK_END: return 35;
        case SDLK_HOME: return 36;
        case SDLK_LEFT: return 37;
        case SDLK_UP: return 38;
        case SDLK_RIGHT: return 39;
        case SDLK_DOWN: return 40;
        case SDLK_INSERT: return 45;
        case SDLK_DELETE: return 46;
        case SDLK_KP_0: return 0x60;
        default: return 0;
    }
}

}  // namespace plat
