#pragma once
// The program-wide values that remain, each with why it is program-wide.
// Everything else travels as arguments, return values or members of what
// makes it: the device is handed to what draws, the lighting program and the
// pipelines are the graphics device's, the fall speed and the
// frustum-line switch are the camera's, the count of areas drawn is what the
// render pass returns. What remains elsewhere is private to one file (the
// reports' counters, the start-up's clock and box window) or exists only in
// builds made for measuring (the trace's counters).

#include <cstdint>

namespace q {

// True: draw through portals. The window's event handler flips it (TAB); the
// render pass reads it, and the application hands it to the end of the frame.
extern bool g_portalMode;

}  // namespace q
