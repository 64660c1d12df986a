#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/message_box_sdl.h"
#include "platform/sdl_keymap.h"
#include "platform/window.h"
#include "platform/window_size_sdl.h"

namespace q {

namespace {

constexpr int32_t kWheelDelta = 120;  // one notch of the wheel, as the mouse device reports it

// Which bit of the held-buttons mask a button sets; 0 for the buttons the
// mouse state has no place for.
uint32_t buttonBit(uint8_t button) {
    switch (button) {
        case SDL_BUTTON_LEFT: return 1u << 0;
        case SDL_BUTTON_RIGHT: return 1u << 1;
        case SDL_BUTTON_MIDDLE: return 1u << 2;
        case SDL_BUTTON_X1: return 1u << 3;
        default: return 0;
    }
}

// Keys, buttons and motion are taken from the events rather than from SDL's
// own state, so that the window decides what counts: nothing while another
// window has the focus.
class SdlWindow final : public Window {
public:
    explicit SdlWindow(SDL_Window* window) : window_(window) {
        if (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) gainFocus();
    }
    ~SdlWindow() override {
        loseFocus();  // the mouse and cursor go back to the desktop
        SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool pollEvent(WindowEvent* event) override {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (translate(e, event)) return true;
        }
        if (closePending_) {
            closePending_ = false;
            *event = {WindowEvent::Type::Close, Key::Unknown};
            return true;
        }
        return false;
    }

    // The window is only hidden here: the GL context made on it may still be
    // alive, and it goes with this object.
    void destroy() override {
        if (destroyed_) return;
        destroyed_ = true;
        closePending_ = true;
        loseFocus();
        SDL_HideWindow(window_);
    }

    void readInput(InputState* out) override {
        out->mouseState.dx = motionX_;
        out->mouseState.dy = motionY_;
        out->mouseState.wheel = wheel_ * kWheelDelta;
        motionX_ = motionY_ = wheel_ = 0;
        for (int i = 0; i < 4; ++i) out->mouseState.buttons[i] = (buttons_ & (1u << i)) ? kKeyDown : 0;
        mapKeyboardState(keys_, SDL_NUM_SCANCODES, out->keyState);
    }

    void* nativeHandle() override { return window_; }

    bool isMinimized() const override { return minimized_; }
    void waitForEvents(uint32_t timeoutMs) override {
        // A null event leaves the one that ends the wait in the queue.
        SDL_WaitEventTimeout(nullptr, static_cast<int>(timeoutMs));
    }

    bool isFullscreen() const override { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN) != 0; }
    // The size and place are kept here rather than left to SDL, which keeps
    // the size the window was made with, not the one the person gave it.
    void setFullscreen(bool fullscreen) override {
        if (fullscreen == isFullscreen()) return;
        if (fullscreen) {
            SDL_GetWindowPosition(window_, &windowedX_, &windowedY_);
            realWindowSize(window_, &windowedWidth_, &windowedHeight_);
            SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
            return;
        }
        SDL_SetWindowFullscreen(window_, 0);
        if (windowedWidth_ > 0 && windowedHeight_ > 0) {
            SDL_SetWindowSize(window_, windowedWidth_, windowedHeight_);
            SDL_SetWindowPosition(window_, windowedX_, windowedY_);
        }
    }

    // The mouse is held exactly while the window has the focus.
    bool mouseCaptured() const override { return focused_; }

    void showMessageBox(const char* text, const char* caption) override {
        const bool wasFullscreen = isFullscreen();
        const bool hadFocus = focused_;
        loseFocus();
        if (wasFullscreen) setFullscreen(false);
        showMessageBoxOver(window_, text, caption);
        if (wasFullscreen) setFullscreen(true);
        // The focus events of the box's own window may still be queued; they
        // settle who has the focus when they are polled.
        if (hadFocus) gainFocus();
    }

private:
    // True when the SDL event becomes a window event for the application.
    bool translate(const SDL_Event& e, WindowEvent* event) {
        switch (e.type) {
            case SDL_QUIT:
                *event = {WindowEvent::Type::Close, Key::Unknown};
                return true;
            case SDL_WINDOWEVENT:
                return translateWindowEvent(e.window, event);
            case SDL_KEYDOWN:
                if (!focused_) return false;
                if (e.key.keysym.scancode < SDL_NUM_SCANCODES) keys_[e.key.keysym.scancode] = 1;
                if (e.key.repeat) return false;
                *event = {WindowEvent::Type::KeyDown, keyFromScancode(e.key.keysym.scancode), (e.key.keysym.mod & KMOD_ALT) != 0};
                return true;
            case SDL_KEYUP: {
                // Only the release of a press this window saw counts: ESC that
                // closed another window must not end the viewer when it is let
                // go after the focus came back.
                const int scancode = e.key.keysym.scancode;
                if (scancode >= SDL_NUM_SCANCODES || !keys_[scancode]) return false;
                keys_[scancode] = 0;
                *event = {WindowEvent::Type::KeyUp, keyFromScancode(e.key.keysym.scancode), (e.key.keysym.mod & KMOD_ALT) != 0};
                return true;
            }
            case SDL_MOUSEMOTION:
                if (focused_) {
                    motionX_ += e.motion.xrel;
                    motionY_ += e.motion.yrel;
                }
                return false;
            case SDL_MOUSEBUTTONDOWN:
                if (focused_) buttons_ |= buttonBit(e.button.button);
                return false;
            case SDL_MOUSEBUTTONUP:
                buttons_ &= ~buttonBit(e.button.button);
                return false;
            case SDL_MOUSEWHEEL:
                if (focused_) wheel_ += e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
                return false;
            default:
                return false;
        }
    }

    bool translateWindowEvent(const SDL_WindowEvent& w, WindowEvent* event) {
        switch (w.event) {
            case SDL_WINDOWEVENT_CLOSE:
                *event = {WindowEvent::Type::Close, Key::Unknown};
                return true;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                if (!destroyed_) gainFocus();
                return false;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                loseFocus();
                return false;
            case SDL_WINDOWEVENT_MINIMIZED:
            case SDL_WINDOWEVENT_HIDDEN:
                minimized_ = true;
                return false;
            case SDL_WINDOWEVENT_RESTORED:
            case SDL_WINDOWEVENT_MAXIMIZED:
            case SDL_WINDOWEVENT_SHOWN:
                minimized_ = false;
                return false;
            default:
                // Size changes need nothing here: the picture is fitted to
                // the drawable's size every frame.
                return false;
        }
    }

    // Whatever the mouse did while the window was in the background is
    // dropped, so the view does not jump when the person comes back.
    void gainFocus() {
        focused_ = true;
        clearInput();
        SDL_GetRelativeMouseState(nullptr, nullptr);
        SDL_ShowCursor(SDL_DISABLE);
        SDL_SetRelativeMouseMode(SDL_TRUE);
    }

    // Another window has the person's attention: the mouse is theirs again and
    // no key stays held down in the view.
    void loseFocus() {
        focused_ = false;
        clearInput();
        SDL_SetRelativeMouseMode(SDL_FALSE);
        SDL_ShowCursor(SDL_ENABLE);
    }

    void clearInput() {
        std::memset(keys_, 0, sizeof keys_);
        buttons_ = 0;
        motionX_ = motionY_ = wheel_ = 0;
    }

    SDL_Window* window_;
    uint8_t keys_[SDL_NUM_SCANCODES] = {};  // by scancode, 1 = held
    uint32_t buttons_ = 0;             // bit i: button i of the mouse state held
    int32_t motionX_ = 0;
    int32_t motionY_ = 0;
    int32_t wheel_ = 0;
    int windowedX_ = 0;  // where the window was before it went full screen
    int windowedY_ = 0;
    int windowedWidth_ = 0;  // 0: it started full screen, SDL knows its size
    int windowedHeight_ = 0;
    bool focused_ = false;
    bool minimized_ = false;
    bool destroyed_ = false;
    bool closePending_ = false;
};

}  // namespace

void Window::showMessageBox(const char* text, const char* caption) { q::showMessageBox(text, caption); }

bool displayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return (x11 && *x11) || (wayland && *wayland) || (driver && std::strcmp(driver, "offscreen") == 0);
}

std::unique_ptr<Window> Window::create(int width, int height, const char* title, bool fullscreen,
                                       std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    if (!displayAvailable()) {
        *error = "no display: run with --headless, or start an X server";
        return nullptr;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = std::string("cannot open the display (") + SDL_GetError() +
                 "): run with --headless, or check DISPLAY";
        return nullptr;
    }
    tolerateVanishedWindows();
    // The device draws with a 3.3 core context into its own back buffer, so
    // the window needs no depth buffer of its own.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);

    // An ordinary desktop window: it can be resized and maximised, and on a
    // high-density screen it draws at the screen's own resolution.
    uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_Window* window = SDL_CreateWindow(title ? title : "", 0, 0, width, height, flags);
    if (!window) {
        *error = std::string("cannot create the window (") + SDL_GetError() +
                 "): run with --headless, or install Mesa's libgl1-mesa-dri";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    return std::make_unique<SdlWindow>(window);
}

void showMessageBox(const char* text, const char* caption) { showMessageBoxOver(nullptr, text, caption); }

}  // namespace q
