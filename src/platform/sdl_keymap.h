#pragma once
// The keyboard as our key codes (platform/input.h): SDL scancodes (USB usage
// numbers, independent of the keyboard layout, as our codes are) mapped to them.

#include <cstdint>

#include "platform/input.h"

namespace q {

// The key for an SDL scancode; Key::Unknown for keys with no code in the table.
Key keyFromScancode(int scancode);

// Fills the 256 key states (0x80 = down) from SDL's keyboard array of
// numKeys entries (non-zero = down).
void mapKeyboardState(const uint8_t* sdlKeys, int numKeys, uint8_t keyState[256]);

}  // namespace q
