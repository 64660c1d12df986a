#pragma once
// The keyboard as DirectInput key codes: SDL scancodes (USB usage numbers,
// independent of the keyboard layout, as DirectInput's are) mapped to them.

#include <cstdint>

namespace q {

// The key code for an SDL scancode; 0 for keys DirectInput has no code for.
uint8_t dikFromScancode(int scancode);

// Fills the 256 key states (0x80 = down) from SDL's keyboard array of
// numKeys entries (non-zero = down).
void mapKeyboardState(const uint8_t* sdlKeys, int numKeys, uint8_t keyState[256]);

}  // namespace q
