#pragma once
// Program-wide switches and handles shared by the renderer, the world and the
// application.

#include <cstdint>

namespace q {

namespace gpu { class Device; }

extern gpu::Device* g_device;      // published by Application::initDevice; not owned
extern bool g_captureLines;        // F held this frame: frustum lines are collected
extern uint32_t g_lightingShader;  // the lighting vertex program, 0 when it failed
extern bool g_portalMode;          // true: draw through portals (TAB flips it)

}  // namespace q
