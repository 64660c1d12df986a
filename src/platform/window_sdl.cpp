#include <SDL.h>

#include <cstdlib>
#include <string>

#include "platform/sdl_keymap.h"
#include "platform/window.h"

namespace q {

namespace {

constexpr uint32_t kVirtualKeyTab = 9;
constexpr uint32_t kVirtualKeyEscape = 27;
constexpr int32_t kWheelDelta = 120;  // one notch of the wheel, as the mouse device reports it

class SdlWindow final : public Window {
public:
    explicit SdlWindow(SDL_Window* window) : window_(window) {}
    ~SdlWindow() override {
        SDL_SetRelativeMouseMode(SDL_FALSE);
        SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool pollEvent(WindowEvent* event) override {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            switch (e.type) {
            case SDL_QUIT:
                *event = {WindowEvent::Type::Close, 0};
                return true;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
                    *event = {WindowEvent::Type::Close, 0};
                    return true;
                }
                break;
            case SDL_KEYUP:
                *event = {WindowEvent::Type::KeyUp, virtualKey(e.key.keysym)};
                return true;
            case SDL_MOUSEWHEEL:
                wheel_ += e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
                break;
            default:
                break;
            }
        }
        if (closePending_) {
            closePending_ = false;
            *event = {WindowEvent::Type::Close, 0};
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
        SDL_SetRelativeMouseMode(SDL_FALSE);
        SDL_HideWindow(window_);
    }

    void readInput(InputState* out) override {
        int dx = 0, dy = 0;
        const uint32_t buttons = SDL_GetRelativeMouseState(&dx, &dy);
        out->mouseState.lX = dx;
        out->mouseState.lY = dy;
        out->mouseState.lZ = wheel_ * kWheelDelta;
        wheel_ = 0;
        const uint32_t masks[4] = {SDL_BUTTON_LMASK, SDL_BUTTON_RMASK, SDL_BUTTON_MMASK, SDL_BUTTON_X1MASK};
        for (int i = 0; i < 4; ++i) out->mouseState.rgbButtons[i] = (buttons & masks[i]) ? kKeyDown : 0;
        int numKeys = 0;
        const uint8_t* keys = SDL_GetKeyboardState(&numKeys);
        mapKeyboardState(keys, numKeys, out->keyState);
    }

    void* nativeHandle() override { return window_; }

private:
    static uint32_t virtualKey(const SDL_Keysym& key) {
        if (key.scancode == SDL_SCANCODE_TAB) return kVirtualKeyTab;
        if (key.scancode == SDL_SCANCODE_ESCAPE) return kVirtualKeyEscape;
        return static_cast<uint32_t>(key.sym);
    }

    SDL_Window* window_;
    int32_t wheel_ = 0;
    bool destroyed_ = false;
    bool closePending_ = false;
};

}  // namespace

bool displayAvailable() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
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
    // The device draws with a 3.3 core context into its own back buffer, so
    // the window needs no depth buffer of its own.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);

    uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
    if (fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_Window* window = SDL_CreateWindow(title ? title : "", 0, 0, width, height, flags);
    if (!window) {
        *error = std::string("cannot create the window (") + SDL_GetError() +
                 "): run with --headless, or install Mesa's libgl1-mesa-dri";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    // The cursor is hidden and held in the window: the mouse only turns the view.
    SDL_ShowCursor(SDL_DISABLE);
    SDL_SetRelativeMouseMode(SDL_TRUE);
    return std::make_unique<SdlWindow>(window);
}

void showMessageBox(const char* text, const char* caption) {
    // Without a display the box cannot appear; the report's stderr line stays.
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption ? caption : "", text ? text : "", nullptr);
}

}  // namespace q
