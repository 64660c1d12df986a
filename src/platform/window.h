#pragma once
// The main window: creation, event polling (never blocking), message boxes.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/input.h"

namespace q {

struct WindowEvent {
    enum class Type { KeyUp, Close } type = Type::Close;
    uint32_t virtualKey = 0;  // for KeyUp: 9 = TAB, 27 = ESC, other keys as SDL reports them
};

class Window {
public:
    // An 800 x 600 (or given) window with the title; full screen unless windowed.
    // Null with a message that says what to do when there is no display.
    static std::unique_ptr<Window> create(int width, int height, const char* title, bool fullscreen,
                                          std::string* error);
    virtual ~Window() = default;
    // Takes one pending event; false when none is pending.
    virtual bool pollEvent(WindowEvent* event) = 0;
    // Closes the window (it disappears at once; a Close event follows). A GL
    // device made on it must go before this object does.
    virtual void destroy() = 0;
    // Reads the keyboard (DirectInput key codes) and the relative mouse motion
    // since the last read. The hidden cursor stays inside the window.
    virtual void readInput(InputState* out) = 0;
    virtual void* nativeHandle() = 0;  // the SDL window, for the GL backend
};

// A modal message box with an OK button; no owner window.
void showMessageBox(const char* text, const char* caption);

// True when a display server can be reached (DISPLAY or WAYLAND_DISPLAY set).
bool displayAvailable();

}  // namespace q
