#pragma once
// The per-frame picture of keyboard and mouse: relative mouse motion, mouse
// buttons and 256 key states indexed by DirectInput key codes, bit 0x80 = down.

#include <cstdint>

namespace q {

struct MouseState {
    int32_t lX = 0;
    int32_t lY = 0;
    int32_t lZ = 0;
    uint8_t rgbButtons[4] = {};
};

struct InputState {
    MouseState mouseState;
    uint8_t keyState[256] = {};
};

constexpr uint8_t kKeyDown = 0x80;

// Key codes used by the viewer (the full table lives in the platform's scancode map).
enum : uint8_t {
    DIK_ESCAPE = 0x01,
    DIK_TAB = 0x0F,
    DIK_W = 0x11,
    DIK_S = 0x1F,
    DIK_A = 0x1E,
    DIK_D = 0x20,
    DIK_F = 0x21,
};

}  // namespace q
