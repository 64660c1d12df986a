#pragma once
// The per-frame picture of keyboard and mouse: relative mouse motion, mouse
// buttons and 256 key states indexed by key code, bit 0x80 = down.

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

// The one numbering of keys, for the keys held (the key states) and the keys
// pressed and released (window events) alike. A code names a key's place on
// the keyboard, not the letter printed on it, numbered as the keyboard's own
// scan codes are (0x80 added for the keys sent with the E0 prefix), so no two
// keys share a code. The platform's scancode map holds the whole table; keys
// it has no place for carry 0, which no action uses. Named here: the keys
// the viewer acts on.
enum KeyCode : uint8_t {
    DIK_NONE = 0x00,
    DIK_ESCAPE = 0x01,
    DIK_TAB = 0x0F,
    DIK_W = 0x11,
    DIK_P = 0x19,
    DIK_RETURN = 0x1C,
    DIK_A = 0x1E,
    DIK_S = 0x1F,
    DIK_D = 0x20,
    DIK_F = 0x21,
    DIK_LSHIFT = 0x2A,
    DIK_C = 0x2E,
    DIK_N = 0x31,
    DIK_M = 0x32,
    DIK_RSHIFT = 0x36,
    DIK_F5 = 0x3F,
    DIK_F11 = 0x57,
    DIK_F12 = 0x58,
    DIK_NUMPADENTER = 0x9C,
};

}  // namespace q
