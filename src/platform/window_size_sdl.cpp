#include "platform/window_size_sdl.h"

#include <cstdio>
#include <cstring>

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

#if defined(SDL_VIDEO_DRIVER_X11)
int reportXError(Display* display, XErrorEvent* event) {
    char text[128] = {};
    XGetErrorText(display, event->error_code, text, sizeof text);
    std::fprintf(stderr, "quorvane: the X server refused a request (%s, request %d); going on\n", text,
                 static_cast<int>(event->request_code));
    return 0;
}
#endif

}  // namespace

void tolerateVanishedWindows() {
#if defined(SDL_VIDEO_DRIVER_X11)
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && std::strcmp(driver, "x11") == 0) XSetErrorHandler(reportXError);
#endif
}

void realWindowSize(SDL_Window* window, int* width, int* height) {
    if (!askX11WindowSize(window, width, height)) SDL_GetWindowSize(window, width, height);
}

void windowPixelSize(SDL_Window* window, int* width, int* height) {
    *width = *height = 0;
    if (!window) return;
    // Elsewhere SDL knows, and counts the pixels of a high-density screen.
    if (!askX11WindowSize(window, width, height)) SDL_GL_GetDrawableSize(window, width, height);
}

}  // namespace q
