#pragma once
// The per-frame picture of keyboard and mouse: relative mouse motion, mouse
// buttons and 256 key states indexed by key code, bit 0x80 = down.

#include <cstdint>

namespace q {

// The one numbering of keys, for the keys held (the key states) and the keys
// pressed and released (window events) alike. A code names a key's place on
// the keyboard, not the letter printed on it, numbered as the keyboard's own
// scan codes are (0x80 added for the keys sent with the E0 prefix), so no two
// keys share a code. The platform's scancode map holds the whole table (any
// code of 0..255 is a Key); keys it has no place for carry Unknown, which no
// action uses. Named here: the keys the viewer acts on.
enum class Key : uint8_t {
    Unknown = 0x00,
    Escape = 0x01,
    Tab = 0x0F,
    W = 0x11,
    P = 0x19,
    Return = 0x1C,
    A = 0x1E,
    S = 0x1F,
    D = 0x20,
    F = 0x21,
    LeftShift = 0x2A,
    C = 0x2E,
    L = 0x26,
    N = 0x31,
    M = 0x32,
    RightShift = 0x36,
    F5 = 0x3F,
    F11 = 0x57,
    F12 = 0x58,
    NumpadEnter = 0x9C,
};

struct MouseState {
    int32_t dx = 0;     // motion since the last read, in counts
    int32_t dy = 0;
    int32_t wheel = 0;  // 120 a notch of the wheel
    uint8_t buttons[4] = {};
};

constexpr uint8_t kKeyDown = 0x80;

struct InputState {
    MouseState mouseState;
    uint8_t keyState[256] = {};  // by key code

    uint8_t& key(Key k) { return keyState[static_cast<uint8_t>(k)]; }
    uint8_t key(Key k) const { return keyState[static_cast<uint8_t>(k)]; }
};

}  // namespace q
