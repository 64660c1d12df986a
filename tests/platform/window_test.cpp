// The platform window layer as far as it works without a display: the key
// map from SDL scancodes (USB usage numbers) to our key codes, the
// window's reading of SDL's events (on SDL's off-screen driver, with events
// pushed as a display server would send them), the picture's place in the
// window and the refusal to open a window with no display.

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "gpu/present_rect.h"
#include "platform/input.h"
#include "platform/message_box_sdl.h"
#include "platform/sdl_keymap.h"
#include "platform/window.h"
#include "platform/window_size_sdl.h"

namespace q {
namespace {

// USB keyboard usage numbers, which SDL scancodes are.
enum : int {
    kUsbA = 4, kUsbD = 7, kUsbF = 9, kUsbS = 22, kUsbW = 26, kUsb1 = 30, kUsb0 = 39,
    kUsbEscape = 41, kUsbTab = 43, kUsbSpace = 44, kUsbF1 = 58, kUsbF12 = 69, kUsbRight = 79,
    kUsbKeypadEnter = 88, kUsbLeftCtrl = 224, kUsbRightAlt = 230,
};

int codeOf(int scancode) { return static_cast<int>(keyFromScancode(scancode)); }

TEST(SdlKeymap, ViewerKeysAndSampleOfTheTableHaveTheirScanCodes) {
    EXPECT_EQ(keyFromScancode(kUsbW), Key::W);
    EXPECT_EQ(keyFromScancode(kUsbS), Key::S);
    EXPECT_EQ(keyFromScancode(kUsbA), Key::A);
    EXPECT_EQ(keyFromScancode(kUsbD), Key::D);
    EXPECT_EQ(keyFromScancode(kUsbF), Key::F);
    EXPECT_EQ(keyFromScancode(kUsbTab), Key::Tab);
    EXPECT_EQ(keyFromScancode(kUsbEscape), Key::Escape);
    EXPECT_EQ(codeOf(kUsb1), 0x02);
    EXPECT_EQ(codeOf(kUsb0), 0x0B);
    EXPECT_EQ(codeOf(kUsbSpace), 0x39);
    EXPECT_EQ(codeOf(kUsbF1), 0x3B);
    EXPECT_EQ(codeOf(kUsbF12), 0x58);
    // Extended keys carry 0x80 on top of the scan code they share.
    EXPECT_EQ(codeOf(kUsbRight), 0xCD);
    EXPECT_EQ(codeOf(kUsbKeypadEnter), 0x9C);
    EXPECT_EQ(codeOf(kUsbLeftCtrl), 0x1D);
    EXPECT_EQ(codeOf(kUsbRightAlt), 0xB8);
}

TEST(SdlKeymap, NoTwoKeysShareACodeAndUnknownScancodesGiveNone) {
    std::set<int> seen;
    int mapped = 0;
    for (int scancode = 0; scancode < 512; ++scancode) {
        const int code = codeOf(scancode);
        if (code == 0) continue;
        ++mapped;
        EXPECT_TRUE(seen.insert(code).second) << "code " << code << " given twice, again by " << scancode;
    }
    EXPECT_GE(mapped, 100);  // the whole keyboard, not just the viewer's keys
    EXPECT_EQ(keyFromScancode(-1), Key::Unknown);
    EXPECT_EQ(keyFromScancode(0), Key::Unknown);
    EXPECT_EQ(keyFromScancode(1 << 20), Key::Unknown);
}

TEST(SdlKeymap, KeyboardStateMarksExactlyTheHeldKeys) {
    uint8_t sdlKeys[512] = {};
    sdlKeys[kUsbW] = 1;
    sdlKeys[kUsbF] = 1;
    sdlKeys[3] = 1;  // a scancode without a key code
    uint8_t keyState[256];
    std::fill(std::begin(keyState), std::end(keyState), 0x55);  // stale values are cleared
    mapKeyboardState(sdlKeys, 512, keyState);
    for (int code = 0; code < 256; ++code) {
        const bool held = static_cast<Key>(code) == Key::W || static_cast<Key>(code) == Key::F;
        EXPECT_EQ(keyState[code], held ? kKeyDown : 0) << "code " << code;
    }
    // A short array reads only what it has; no array means nothing held.
    mapKeyboardState(sdlKeys, kUsbW, keyState);
    EXPECT_EQ(keyState[static_cast<uint8_t>(Key::W)], 0);
    EXPECT_EQ(keyState[static_cast<uint8_t>(Key::F)], kKeyDown);
    mapKeyboardState(nullptr, 0, keyState);
    EXPECT_EQ(keyState[static_cast<uint8_t>(Key::F)], 0);
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (old) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class SdlWindowEvents : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        window_ = Window::create(800, 600, "events", false, &error);
        ASSERT_NE(window_, nullptr) << error;
        sdlWindow_ = static_cast<SDL_Window*>(window_->nativeHandle());
        poll();  // what the window's creation sent
        windowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
        poll();
    }

    void push(SDL_Event e) {
        e.common.timestamp = SDL_GetTicks();
        ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    }
    void key(uint32_t type, SDL_Scancode scancode, uint16_t mod = KMOD_NONE, uint8_t repeat = 0) {
        SDL_Event e{};
        e.type = type;
        e.key.windowID = SDL_GetWindowID(sdlWindow_);
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat;
        e.key.keysym.scancode = scancode;
        e.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
        e.key.keysym.mod = mod;
        push(e);
    }
    void motion(int dx, int dy) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = SDL_GetWindowID(sdlWindow_);
        e.motion.xrel = dx;
        e.motion.yrel = dy;
        push(e);
    }
    void button(uint32_t type, uint8_t which) {
        SDL_Event e{};
        e.type = type;
        e.button.windowID = SDL_GetWindowID(sdlWindow_);
        e.button.button = which;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        push(e);
    }
    void windowEvent(uint8_t which, int data1 = 0, int data2 = 0) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(sdlWindow_);
        e.window.event = which;
        e.window.data1 = data1;
        e.window.data2 = data2;
        push(e);
    }
    std::vector<WindowEvent> poll() {
        std::vector<WindowEvent> events;
        WindowEvent event;
        while (window_->pollEvent(&event)) events.push_back(event);
        return events;
    }
    InputState read() {
        InputState state;
        window_->readInput(&state);
        return state;
    }
    static bool nothingHeldOrMoved(const InputState& s) {
        for (uint8_t k : s.keyState)
            if (k) return false;
        for (uint8_t b : s.mouseState.buttons)
            if (b) return false;
        return s.mouseState.dx == 0 && s.mouseState.dy == 0 && s.mouseState.wheel == 0;
    }

    ScopedEnv driver_{"SDL_VIDEODRIVER", "offscreen"};
    std::unique_ptr<Window> window_;
    SDL_Window* sdlWindow_ = nullptr;
};

TEST_F(SdlWindowEvents, KeysAreHeldFromPressToReleaseAndPressesAreSentOnceWithAlt) {
    key(SDL_KEYDOWN, SDL_SCANCODE_W);
    key(SDL_KEYDOWN, SDL_SCANCODE_F12);
    key(SDL_KEYDOWN, SDL_SCANCODE_F12, KMOD_NONE, 1);  // the keyboard's auto-repeat
    key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT);
    key(SDL_KEYDOWN, SDL_SCANCODE_F11);
    // Letters and brackets are keys like any other: their characters ('z' and
    // '{' are 0x7A and 0x7B) never stand in for another key's code.
    key(SDL_KEYDOWN, SDL_SCANCODE_Z);
    key(SDL_KEYDOWN, SDL_SCANCODE_LEFTBRACKET, KMOD_LSHIFT);
    std::vector<WindowEvent> events = poll();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[4].key, keyFromScancode(SDL_SCANCODE_Z));
    EXPECT_EQ(events[5].key, keyFromScancode(SDL_SCANCODE_LEFTBRACKET));
    for (const WindowEvent& e : {events[4], events[5]})
        for (Key action : {Key::F11, Key::F12, Key::Return, Key::Tab, Key::Escape}) EXPECT_NE(e.key, action);
    key(SDL_KEYUP, SDL_SCANCODE_Z);
    key(SDL_KEYUP, SDL_SCANCODE_LEFTBRACKET);
    EXPECT_EQ(poll().size(), 2u);
    EXPECT_EQ(events[0].type, WindowEvent::Type::KeyDown);
    EXPECT_EQ(events[1].key, Key::F12);
    EXPECT_FALSE(events[1].alt);
    EXPECT_EQ(events[2].key, Key::Return);
    EXPECT_TRUE(events[2].alt);
    EXPECT_EQ(events[3].key, Key::F11);
    InputState state = read();
    EXPECT_EQ(state.key(Key::W), kKeyDown);
    EXPECT_EQ(state.key(Key::F12), kKeyDown);
    EXPECT_EQ(read().key(Key::W), kKeyDown) << "held keys stay down from frame to frame";

    key(SDL_KEYDOWN, SDL_SCANCODE_TAB);
    key(SDL_KEYUP, SDL_SCANCODE_TAB);
    key(SDL_KEYUP, SDL_SCANCODE_W);
    key(SDL_KEYUP, SDL_SCANCODE_ESCAPE);  // its press went to another window
    events = poll();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].type, WindowEvent::Type::KeyUp);
    EXPECT_EQ(events[1].key, Key::Tab);
    EXPECT_EQ(events[2].type, WindowEvent::Type::KeyUp);
    EXPECT_EQ(read().key(Key::W), 0);

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    push(quit);
    windowEvent(SDL_WINDOWEVENT_CLOSE);
    events = poll();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, WindowEvent::Type::Close);
    EXPECT_EQ(events[1].type, WindowEvent::Type::Close);
}

TEST_F(SdlWindowEvents, MotionAddsUpUntilReadButtonsAreHeldAndTheWheelCountsNotches) {
    motion(3, 4);
    motion(5, -10);
    button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT);
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = 2;
    push(wheel);
    wheel.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    wheel.wheel.y = 1;
    push(wheel);
    EXPECT_TRUE(poll().empty());
    InputState state = read();
    EXPECT_EQ(state.mouseState.dx, 8);
    EXPECT_EQ(state.mouseState.dy, -6);
    EXPECT_EQ(state.mouseState.wheel, 120);  // two notches up, one flipped
    EXPECT_EQ(state.mouseState.buttons[0], kKeyDown);
    EXPECT_EQ(state.mouseState.buttons[1], kKeyDown);
    EXPECT_EQ(state.mouseState.buttons[2], 0);

    button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
    poll();
    state = read();
    EXPECT_EQ(state.mouseState.dx, 0) << "motion is counted once";
    EXPECT_EQ(state.mouseState.wheel, 0);
    EXPECT_EQ(state.mouseState.buttons[0], 0);
    EXPECT_EQ(state.mouseState.buttons[1], kKeyDown);
}

TEST_F(SdlWindowEvents, WithoutTheFocusNothingMovesAndWhatPiledUpIsDroppedOnReturn) {
    EXPECT_TRUE(window_->mouseCaptured());
    key(SDL_KEYDOWN, SDL_SCANCODE_W);
    key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE);
    button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    motion(10, 10);
    windowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    motion(50, -50);
    key(SDL_KEYDOWN, SDL_SCANCODE_S);
    button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT);
    poll();
    EXPECT_FALSE(window_->mouseCaptured());
    EXPECT_TRUE(nothingHeldOrMoved(read()));

    windowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    key(SDL_KEYUP, SDL_SCANCODE_ESCAPE);  // pressed before the focus went: no quit
    EXPECT_TRUE(poll().empty());
    EXPECT_TRUE(window_->mouseCaptured());
    EXPECT_TRUE(nothingHeldOrMoved(read()));
    motion(2, 1);
    poll();
    const InputState state = read();
    EXPECT_EQ(state.mouseState.dx, 2);
    EXPECT_EQ(state.mouseState.dy, 1);
}

TEST_F(SdlWindowEvents, MinimisedUntilRestoredAndWaitingEndsAtAPendingEvent) {
    EXPECT_FALSE(window_->isMinimized());
    windowEvent(SDL_WINDOWEVENT_MINIMIZED);
    poll();
    EXPECT_TRUE(window_->isMinimized());
    windowEvent(SDL_WINDOWEVENT_RESTORED);
    const auto start = std::chrono::steady_clock::now();
    window_->waitForEvents(20000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "an event was pending";
    EXPECT_TRUE(window_->isMinimized()) << "the wait leaves the event to the poll";
    poll();
    EXPECT_FALSE(window_->isMinimized());
}

// Full screen and its way back are tried under a real window manager by the
// end-to-end test; here the off-screen driver has no screen to fill.
TEST_F(SdlWindowEvents, AResizedWindowIsDrawnAtItsNewSize) {
    SDL_SetWindowSize(sdlWindow_, 1600, 600);
    EXPECT_TRUE(poll().empty());
    int width = 0, height = 0;
    windowPixelSize(sdlWindow_, &width, &height);
    EXPECT_EQ(width, 1600);
    EXPECT_EQ(height, 600);
}

TEST(PresentRect, TheBackBufferKeepsItsShapeCentredWithBars) {
    auto same = [](gpu::PixelRect r, int x, int y, int w, int h) {
        return r.x == x && r.y == y && r.width == w && r.height == h;
    };
    EXPECT_TRUE(same(gpu::fitCentred(800, 600, 1024, 768), 0, 0, 800, 600));
    EXPECT_TRUE(same(gpu::fitCentred(1600, 600, 1024, 768), 400, 0, 800, 600));   // bars at the sides
    EXPECT_TRUE(same(gpu::fitCentred(600, 1000, 1024, 768), 0, 275, 600, 450));   // bars above and below
    EXPECT_TRUE(same(gpu::fitCentred(1920, 1080, 1024, 768), 240, 0, 1440, 1080));
    EXPECT_TRUE(same(gpu::fitCentred(1025, 768, 1024, 768), 0, 0, 1024, 768));     // one column over: no stretch
    EXPECT_TRUE(same(gpu::fitCentred(3, 100000, 1024, 768), 0, 49999, 3, 2));
    EXPECT_TRUE(same(gpu::fitCentred(2000000000, 2000000000, 1024, 768), 0, 250000000, 2000000000, 1500000000));
    EXPECT_TRUE(same(gpu::fitCentred(0, 600, 1024, 768), 0, 0, 0, 0));  // minimised: nothing to draw
    EXPECT_TRUE(same(gpu::fitCentred(800, -1, 1024, 768), 0, 0, 0, 0));
    EXPECT_TRUE(same(gpu::fitCentred(800, 600, 0, 768), 0, 0, 0, 0));
}

// A box's text is wrapped so that the box fits the screen: at spaces, words
// longer than a line cut, paragraphs kept, wide characters counted as one.
TEST(MessageBox, TextIsWrappedAtSpacesWithinTheColumns) {
    EXPECT_EQ(wrapText("The map bbb could not be read: bbb.proc:3: expected a model", 20),
              "The map bbb could\nnot be read:\nbbb.proc:3: expected\na model");
    EXPECT_EQ(wrapText("abcdefghij klm", 4), "abcd\nefgh\nij\nklm");
    EXPECT_EQ(wrapText("zop\n\nportal 1 of m.proc", 8), "zop\n\nportal 1\nof\nm.proc");
    EXPECT_EQ(wrapText("我在墙里! 我在墙里!", 6), "我在墙里!\n我在墙里!");
    EXPECT_EQ(wrapText(nullptr, 10), "");
}

TEST(Window, WithoutADisplayCreationFailsWithAdvice) {
    const ScopedEnv noX11("DISPLAY", nullptr);
    const ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_FALSE(displayAvailable());
    std::string error;
    EXPECT_EQ(Window::create(800, 600, "quorvane", false, &error), nullptr);
    EXPECT_NE(error.find("--headless"), std::string::npos) << error;
}

}  // namespace
}  // namespace q
