// The platform window layer as far as it works without a display: the key
// map from SDL scancodes (USB usage numbers) to DirectInput key codes, the
// refusal to open a window with no display, and the tick clock.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/input.h"
#include "platform/sdl_keymap.h"
#include "platform/window.h"

namespace q {
namespace {

// USB keyboard usage numbers, which SDL scancodes are.
enum : int {
    kUsbA = 4, kUsbD = 7, kUsbF = 9, kUsbS = 22, kUsbW = 26, kUsb1 = 30, kUsb0 = 39,
    kUsbEscape = 41, kUsbTab = 43, kUsbSpace = 44, kUsbF1 = 58, kUsbF12 = 69, kUsbRight = 79,
    kUsbKeypadEnter = 88, kUsbLeftCtrl = 224, kUsbRightAlt = 230,
};

TEST(SdlKeymap, ViewerKeysAndSampleOfTheTableHaveTheirDirectInputCodes) {
    EXPECT_EQ(dikFromScancode(kUsbW), DIK_W);
    EXPECT_EQ(dikFromScancode(kUsbS), DIK_S);
    EXPECT_EQ(dikFromScancode(kUsbA), DIK_A);
    EXPECT_EQ(dikFromScancode(kUsbD), DIK_D);
    EXPECT_EQ(dikFromScancode(kUsbF), DIK_F);
    EXPECT_EQ(dikFromScancode(kUsbTab), DIK_TAB);
    EXPECT_EQ(dikFromScancode(kUsbEscape), DIK_ESCAPE);
    EXPECT_EQ(dikFromScancode(kUsb1), 0x02);
    EXPECT_EQ(dikFromScancode(kUsb0), 0x0B);
    EXPECT_EQ(dikFromScancode(kUsbSpace), 0x39);
    EXPECT_EQ(dikFromScancode(kUsbF1), 0x3B);
    EXPECT_EQ(dikFromScancode(kUsbF12), 0x58);
    // Extended keys carry 0x80 on top of the scan code they share.
    EXPECT_EQ(dikFromScancode(kUsbRight), 0xCD);
    EXPECT_EQ(dikFromScancode(kUsbKeypadEnter), 0x9C);
    EXPECT_EQ(dikFromScancode(kUsbLeftCtrl), 0x1D);
    EXPECT_EQ(dikFromScancode(kUsbRightAlt), 0xB8);
}

TEST(SdlKeymap, NoTwoKeysShareACodeAndUnknownScancodesGiveNone) {
    std::set<int> seen;
    int mapped = 0;
    for (int scancode = 0; scancode < 512; ++scancode) {
        const int dik = dikFromScancode(scancode);
        if (dik == 0) continue;
        ++mapped;
        EXPECT_TRUE(seen.insert(dik).second) << "code " << dik << " given twice, again by " << scancode;
    }
    EXPECT_GE(mapped, 100);  // the whole keyboard, not just the viewer's keys
    EXPECT_EQ(dikFromScancode(-1), 0);
    EXPECT_EQ(dikFromScancode(0), 0);
    EXPECT_EQ(dikFromScancode(1 << 20), 0);
}

TEST(SdlKeymap, KeyboardStateMarksExactlyTheHeldKeys) {
    uint8_t sdlKeys[512] = {};
    sdlKeys[kUsbW] = 1;
    sdlKeys[kUsbF] = 1;
    sdlKeys[3] = 1;  // a scancode without a key code
    uint8_t keyState[256];
    std::fill(std::begin(keyState), std::end(keyState), 0x55);  // stale values are cleared
    mapKeyboardState(sdlKeys, 512, keyState);
    for (int dik = 0; dik < 256; ++dik) {
        const bool held = dik == DIK_W || dik == DIK_F;
        EXPECT_EQ(keyState[dik], held ? kKeyDown : 0) << "code " << dik;
    }
    // A short array reads only what it has; no array means nothing held.
    mapKeyboardState(sdlKeys, kUsbW, keyState);
    EXPECT_EQ(keyState[DIK_W], 0);
    EXPECT_EQ(keyState[DIK_F], kKeyDown);
    mapKeyboardState(nullptr, 0, keyState);
    EXPECT_EQ(keyState[DIK_F], 0);
}

TEST(Window, WithoutADisplayCreationFailsWithAdvice) {
    const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY"};
    std::string saved[2];
    bool had[2];
    for (int i = 0; i < 2; ++i) {
        const char* value = std::getenv(names[i]);
        had[i] = value != nullptr;
        if (value) saved[i] = value;
        unsetenv(names[i]);
    }
    EXPECT_FALSE(displayAvailable());
    std::string error;
    EXPECT_EQ(Window::create(800, 600, "quorvane", false, &error), nullptr);
    EXPECT_NE(error.find("--headless"), std::string::npos) << error;
    for (int i = 0; i < 2; ++i) {
        if (had[i]) setenv(names[i], saved[i].c_str(), 1);
    }
}

TEST(Clock, TickCountFollowsRealTime) {
    const uint32_t start = tickCountMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t elapsed = tickCountMs() - start;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
}  // namespace q
