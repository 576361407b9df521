// platform/window_internal.h - what the graphics device needs of the window.
// Private to platform/.
#pragma once

struct SDL_Window;

namespace plat::detail {

SDL_Window* MainSdlWindow();
bool MainWindowIsFullscreen();

}  // namespace plat::detail
