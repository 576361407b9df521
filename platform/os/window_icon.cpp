// The program's icon on its windows: an ICON resource (a PNG with alpha)
// decoded and handed to SDL, which gives it to the window manager
// (_NET_WM_ICON on X11). A window without one gets a generic icon in the
// task list, so a missing resource is reported, never silently skipped.
#include "platform/os/window_internal.h"

#include <SDL.h>
#include <stb_image.h>

#include <climits>

#include "platform/os/log.h"
#include "platform/os/resources.h"

namespace plat::detail {

bool SetWindowIconFromResource(SDL_Window* window, uint32_t icon_id) {
    if (!window || icon_id == 0) return false;
    size_t size = 0;
    const unsigned char* bytes = FindResourceBytes(kResIcon, icon_id, &size);
    if (!bytes || size > static_cast<size_t>(INT_MAX)) {
        LogWarning("win", "icon %u is not in the executable", icon_id);
        return false;
    }
    int w = 0, h = 0, channels = 0;
    stbi_uc* px = stbi_load_from_memory(bytes, static_cast<int>(size), &w, &h, &channels, 4);
    if (!px) {
        LogWarning("win", "icon %u cannot be decoded: %s", icon_id, stbi_failure_reason());
        return false;
    }
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(px, w, h, 32, w * 4, SDL_PIXELFORMAT_RGBA32);
    if (surface) {
        // SDL copies the pixels into the window manager's property here.
        SDL_SetWindowIcon(window, surface);
        SDL_FreeSurface(surface);
    }
    stbi_image_free(px);
    return surface != nullptr;
}

}  // namespace plat::detail
