// platform/os/window_internal.h - what the graphics device needs of the window.
// Private to platform/.
#pragma once

#include <cstdint>

struct SDL_Window;

namespace plat::detail {

SDL_Window* MainSdlWindow();
// False when the video driver draws nowhere a person could look (SDL's
// offscreen and dummy drivers): what is copied into the window there is
// never seen, and captures read the back buffer itself.
bool MainWindowCanBeSeen();
// Shows ICON resource icon_id (a PNG) as the window's icon; false, with a
// warning in the log, when the resource is missing or cannot be decoded.
bool SetWindowIconFromResource(SDL_Window* window, uint32_t icon_id);
// Replaces Xlib's exit-on-error handler with one that logs (x11 driver only).
void InstallX11ErrorHandler();

}  // namespace plat::detail
