// The SDL side of the dialog: one window, software pixels blitted to its
// surface, and SDL events turned into DialogModel input. Everything the
// dialog decides lives in dialog_model.cpp; everything it looks like lives
// in dialog_draw.cpp.
#include "platform/os/dialog.h"

#include "platform/os/dialog_draw.h"
#include "platform/os/dialog_model.h"
#include "platform/os/window_internal.h"

#include <SDL.h>

#include <cstdio>
#include <string>
#include <vector>

namespace plat {
namespace {

// The dialog window open now, so PostDialogKey can address its events.
// Zero when none is open; saved and restored around a nested DialogBox.
struct DialogRunnerState {
    Uint32 window_id = 0;
};
DialogRunnerState g_runner;

bool ToDlgKey(SDL_Keycode sym, DlgKey* key) {
    switch (sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER: *key = DlgKey::Enter; return true;
    case SDLK_ESCAPE: *key = DlgKey::Escape; return true;
    case SDLK_TAB: *key = DlgKey::Tab; return true;
    case SDLK_SPACE: *key = DlgKey::Space; return true;
    default: return false;
    }
}

// Shows the pixels; false (with SDL's reason in SDL_GetError) when the
// window has no surface to show them on. The keys still work then.
bool Present(SDL_Window* window, std::vector<uint8_t>& pixels, int w, int h) {
    SDL_Surface* target = SDL_GetWindowSurface(window);
    if (!target) return false;
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), w, h, 32, w * 4, SDL_PIXELFORMAT_RGBA32);
    if (!src) return false;
    // Our pixels are opaque; copy them rather than blend with whatever the
    // window surface held.
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
    SDL_BlitSurface(src, nullptr, target, nullptr);
    SDL_FreeSurface(src);
    return SDL_UpdateWindowSurface(window) == 0;
}

// One SDL event into the model. Events for other windows are left alone.
void Dispatch(const SDL_Event& e, Uint32 window_id, DialogModel& dlg, bool* dirty) {
    switch (e.type) {
    case SDL_QUIT:
        dlg.Close();
        break;
    case SDL_WINDOWEVENT:
        if (e.window.windowID != window_id) break;
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) dlg.Close();
        else if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SHOWN ||
                 e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            *dirty = true;
        break;
    case SDL_KEYDOWN: {
        if (e.key.windowID != window_id) break;
        DlgKey key;
        if (!ToDlgKey(e.key.keysym.sym, &key)) break;
        // Held keys repeat only for moving the focus: a held Space must not
        // flicker a check box, nor a held Enter press twice.
        if (e.key.repeat && key != DlgKey::Tab) break;
        dlg.KeyDown(key, (e.key.keysym.mod & KMOD_SHIFT) != 0);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
        if (e.button.windowID == window_id && e.button.button == SDL_BUTTON_LEFT) dlg.MouseDown(e.button.x, e.button.y);
        break;
    case SDL_MOUSEMOTION:
        if (e.motion.windowID == window_id) dlg.MouseMove(e.motion.x, e.motion.y);
        break;
    case SDL_MOUSEBUTTONUP:
        if (e.button.windowID == window_id && e.button.button == SDL_BUTTON_LEFT) dlg.MouseUp(e.button.x, e.button.y);
        break;
    default:
        break;
    }
}

}  // namespace

int DialogBox(const DialogTemplate& tpl, DialogProc proc, void* user) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "dlg: cannot start SDL video: %s\n", SDL_GetError());
        return -1;
    }
    if (const char* driver = SDL_GetCurrentVideoDriver(); driver && SDL_strcmp(driver, "x11") == 0)
        detail::InstallX11ErrorHandler();
    // Left to itself, SDL backs a window surface with an accelerated
    // renderer, which means loading OpenGL (Mesa, under the off-screen
    // driver) to show a few hundred software-drawn pixels. Ask for the
    // video driver's own framebuffer instead; the hint is global, so the
    // caller's value comes back afterwards.
    const char* old_hint = SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
    const bool had_hint = old_hint != nullptr;
    const std::string saved_hint = had_hint ? old_hint : "";
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // (An environment variable outranks both calls, which is as it should be.)
    auto restore_hint = [&] {
        if (had_hint) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, saved_hint.c_str());
        else SDL_ResetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
    };

    DialogModel dlg(tpl, proc, user);
    const int w = dlg.ClientWidth(), h = dlg.ClientHeight();
    // Hidden until the init message has run, so the procedure's first
    // settings are what the user first sees.
    SDL_Window* window = SDL_CreateWindow(dlg.Caption(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                                          SDL_WINDOW_HIDDEN);
    if (!window) {
        std::fprintf(stderr, "dlg: cannot open the dialog window: %s\n", SDL_GetError());
        restore_hint();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return -1;
    }
    if (tpl.icon_id) detail::SetWindowIconFromResource(window, tpl.icon_id);
    const Uint32 window_id = SDL_GetWindowID(window);
    const DialogRunnerState saved = g_runner;
    g_runner.window_id = window_id;

    DialogPainter painter(dlg);
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
    const RgbaView view{pixels.data(), w, h, w * 4};

    dlg.Start();
    if (!dlg.Ended()) {
        SDL_ShowWindow(window);
        SDL_RaiseWindow(window);
    }
    unsigned painted = dlg.Revision() - 1;
    bool dirty = true;
    bool told = false;  // a window that cannot be drawn is reported once
    while (!dlg.Ended()) {
        if (dirty || painted != dlg.Revision()) {
            painter.Paint(dlg, view);
            if (!Present(window, pixels, w, h) && !told) {
                std::fprintf(stderr, "dlg: cannot draw into the dialog window: %s\n", SDL_GetError());
                told = true;
            }
            painted = dlg.Revision();
            dirty = false;
        }
        // Polled, not waited for: while SDL waits it makes this window the
        // target of wake-up messages that other threads send over a second
        // X connection, and one still in flight when the window is
        // destroyed comes back as an X error at shutdown, after SDL has put
        // back Xlib's handler - which ends the process with status 1.
        SDL_Event e;
        bool any = false;
        while (SDL_PollEvent(&e)) {
            Dispatch(e, window_id, dlg, &dirty);
            any = true;
            if (dlg.Ended()) break;
        }
        if (!any) SDL_Delay(10);
    }

    g_runner = saved;
    SDL_DestroyWindow(window);
    restore_hint();
    // The key or click that closed the dialog must not reach the show's own
    // input handling (its release is still on the way).
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_KEYDOWN, SDL_MOUSEWHEEL);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return static_cast<int>(dlg.Result());
}

bool PostDialogKey(DlgKey key, bool shift) {
    if (!g_runner.window_id) return false;
    SDL_Keycode sym = SDLK_RETURN;
    switch (key) {
    case DlgKey::Enter: sym = SDLK_RETURN; break;
    case DlgKey::Escape: sym = SDLK_ESCAPE; break;
    case DlgKey::Tab: sym = SDLK_TAB; break;
    case DlgKey::Space: sym = SDLK_SPACE; break;
    }
    SDL_Event e{};
    e.key.windowID = g_runner.window_id;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    e.key.keysym.mod = shift ? KMOD_LSHIFT : KMOD_NONE;
    e.type = SDL_KEYDOWN;
    e.key.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    if (SDL_PushEvent(&e) != 1) return false;
    e.type = SDL_KEYUP;
    e.key.type = SDL_KEYUP;
    e.key.state = SDL_RELEASED;
    return SDL_PushEvent(&e) == 1;
}

}  // namespace plat
