#pragma once
// The main window: creation, event polling (never blocking unless asked to
// wait), full screen, message boxes.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/input.h"

namespace q {

struct WindowEvent {
    // KeyDown is sent once per press (never for the keyboard's auto-repeat).
    enum class Type { KeyUp, Close, KeyDown } type = Type::Close;
    Key key = Key::Unknown;  // Key::Unknown for a key with no place in the table
    bool alt = false;         // an Alt key was held with the key
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
    // Reads the keyboard (by Key code) and the relative mouse motion
    // since the last read. The hidden cursor stays inside the window while it
    // has the focus; without the focus nothing is held and nothing moves.
    virtual void readInput(InputState* out) = 0;
    virtual void* nativeHandle() = 0;  // the SDL window, for the GL backend

    // A minimised window shows no frames: the loop waits for events instead.
    virtual bool isMinimized() const { return false; }
    // Returns when an event is pending or timeoutMs have passed.
    virtual void waitForEvents(uint32_t timeoutMs) { (void)timeoutMs; }
    virtual bool isFullscreen() const { return false; }
    // Leaving full screen brings back the window's earlier size and place.
    virtual void setFullscreen(bool fullscreen) { (void)fullscreen; }
    // True while the mouse is held in the window for turning the view.
    virtual bool mouseCaptured() const { return false; }
    // A box the person can see and answer: the window gives up full screen and
    // the mouse while it is open, and takes them back afterwards.
    virtual void showMessageBox(const char* text, const char* caption);
};

// A modal message box with an OK button; no owner window.
void showMessageBox(const char* text, const char* caption);

// True when a window can be opened: a display server can be reached (DISPLAY
// or WAYLAND_DISPLAY set), or SDL is told to draw off-screen.
bool displayAvailable();

}  // namespace q
