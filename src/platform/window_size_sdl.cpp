#include "platform/window_size_sdl.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include "platform/window.h"

namespace q {

namespace {

bool askX11WindowSize(SDL_Window* window, int* width, int* height) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &attributes)) return false;
    *width = attributes.width;
    *height = attributes.height;
    return true;
#else
    (void)window, (void)width, (void)height;
    return false;
#endif
}

}  // namespace

void realWindowSize(SDL_Window* window, int* width, int* height) {
    if (!askX11WindowSize(window, width, height)) SDL_GetWindowSize(window, width, height);
}

void windowPixelSize(void* sdlWindow, int* width, int* height) {
    auto* window = static_cast<SDL_Window*>(sdlWindow);
    *width = *height = 0;
    if (!window) return;
    // Elsewhere SDL knows, and counts the pixels of a high-density screen.
    if (!askX11WindowSize(window, width, height)) SDL_GL_GetDrawableSize(window, width, height);
}

}  // namespace q
