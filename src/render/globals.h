#pragma once
// Every program-wide value, each with why it is program-wide. Everything else
// travels as arguments and return values; what remains elsewhere is private to
// one file (the reports' counters, the start-up's clock and box window) or
// exists only in builds made for measuring (the trace's counters).

#include <cstdint>

namespace q {

namespace gpu { class Device; }

// The one device of the program, published by Application::initDevice (not
// owned here): the map load and the areas draw on it, and they are reached from
// far below the application that made it.
extern gpu::Device* g_device;
// F held this frame: the camera update sets it, and the frustum construction and
// the portal flow, deep inside the render pass, add their lines while it is on.
extern bool g_captureLines;
// The lighting vertex program, 0 when it failed: made once with the device and
// selected by every lit draw (render pass, terrain).
extern uint32_t g_lightingShader;
// True: draw through portals. The window's event handler flips it (TAB); the
// render pass and the device's end of frame read it.
extern bool g_portalMode;
// Areas drawn in the last render pass, over all instances: written by the render
// pass, read by the overlay and the frame trace.
extern int g_visibleAreaCount;
// Downward speed of the camera in units per update; 0 at start. Kept from one
// movement step to the next and read by the frame trace.
extern float g_fallSpeed;

}  // namespace q
