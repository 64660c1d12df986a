#include "platform/message_box_sdl.h"

#include <cstring>

#include <SDL.h>
#include <SDL_syswm.h>

namespace q {

namespace {

// SDL opens a box with a parent across the middle of the parent and a third
// of the way down: this point of the parent lies inside the box, whatever its
// size. The keyboard goes where the mouse is from here on; the window that
// had it (the viewer's, given it by SDL) would otherwise keep it while the
// box waits for an answer.
void pointKeysAtTheBox(SDL_Window* parent) {
    int width = 0, height = 0;
    SDL_GetWindowSize(parent, &width, &height);
    SDL_WarpMouseInWindow(parent, width / 2, height / 3);
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(parent, &info) || info.subsystem != SDL_SYSWM_X11) return;
    XSetInputFocus(info.info.x11.display, PointerRoot, RevertToPointerRoot, CurrentTime);
    XFlush(info.info.x11.display);
#endif
}

}  // namespace

void showMessageBoxOver(SDL_Window* parent, const char* text, const char* caption) {
    SDL_MessageBoxButtonData ok{};
    ok.flags = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    ok.buttonid = 0;
    ok.text = "OK";
    SDL_MessageBoxData box{};
    box.flags = SDL_MESSAGEBOX_INFORMATION;
    box.window = parent;
    box.title = caption ? caption : "";
    box.message = text ? text : "";
    box.numbuttons = 1;
    box.buttons = &ok;
    const bool parentHadKeys = parent && (SDL_GetWindowFlags(parent) & SDL_WINDOW_INPUT_FOCUS);
    if (parent) pointKeysAtTheBox(parent);
    int pressed = -1;
    SDL_ShowMessageBox(&box, &pressed);
    // Answered: the keyboard goes back to the window that had it.
    if (parentHadKeys) SDL_SetWindowInputFocus(parent);
}

}  // namespace q
