#include "platform/message_box_sdl.h"

#include <algorithm>
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

// Characters a line of the box may hold: the box opens centred on the parent
// (or the screen), so it may be at most twice as wide as the room between
// that centre and the nearer screen edge. The box's font is taken to be at
// most 9 pixels a character, with 80 pixels of border and button room.
int boxColumns(SDL_Window* parent) {
    SDL_Rect screen{0, 0, 800, 600};
    const int display = parent ? SDL_GetWindowDisplayIndex(parent) : 0;
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &screen) != 0) screen = {0, 0, 800, 600};
    int centre = screen.x + screen.w / 2;
    if (parent) {
        int x = 0, y = 0, width = 0, height = 0;
        SDL_GetWindowPosition(parent, &x, &y);
        SDL_GetWindowSize(parent, &width, &height);
        centre = x + width / 2;
    }
    const int room = std::min(centre - screen.x, screen.x + screen.w - centre);
    return std::clamp((2 * room - 80) / 9, 24, 100);
}

size_t characterBytes(const char* at) {
    size_t n = 1;
    while ((static_cast<unsigned char>(at[n]) & 0xc0) == 0x80) ++n;
    return n;
}

}  // namespace

std::string wrapText(const char* text, int columns) {
    std::string out;
    const char* p = text ? text : "";
    while (*p != '\0') {
        // One output line: up to columns characters, back to the last space.
        const char* lineStart = p;
        const char* lastSpace = nullptr;
        const char* end = p;
        int chars = 0;
        while (*end != '\0' && *end != '\n' && chars < columns) {
            if (*end == ' ') lastSpace = end;
            end += characterBytes(end);
            ++chars;
        }
        const bool more = *end != '\0' && *end != '\n';
        if (more && *end != ' ' && lastSpace && lastSpace > lineStart) end = lastSpace;
        out.append(lineStart, static_cast<size_t>(end - lineStart));
        p = end;
        if (more) {
            while (*p == ' ') ++p;
            if (*p != '\0') out += '\n';
        } else if (*p == '\n') {
            out += '\n';
            ++p;
        }
    }
    return out;
}

void showMessageBoxOver(SDL_Window* parent, const char* text, const char* caption) {
    SDL_MessageBoxButtonData ok{};
    ok.flags = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    ok.buttonid = 0;
    ok.text = "OK";
    SDL_MessageBoxData box{};
    box.flags = SDL_MESSAGEBOX_INFORMATION;
    box.window = parent;
    box.title = caption ? caption : "";
    const std::string wrapped = wrapText(text, boxColumns(parent));
    box.message = wrapped.c_str();
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
