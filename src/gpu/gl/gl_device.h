#pragma once
// The OpenGL 3.3 core backend. Draws into an off-screen back buffer of the given
// size; endFrame() scales it into the window, or keeps it in headless mode.

#include <cstdint>
#include <memory>
#include <string>

#include "gpu/device.h"

namespace q {
class Window;
}

namespace q::gpu {

// On the window's GL context; vsync as the default presentation interval. The
// window must outlive the device. Null with *error when OpenGL 3.3 core is not
// available.
std::unique_ptr<Device> createWindowDevice(Window& window, uint32_t width, uint32_t height,
                                           std::string* error);
// EGL on Mesa's surfaceless platform: no display server needed.
std::unique_ptr<Device> createHeadlessDevice(uint32_t width, uint32_t height, std::string* error);

}  // namespace q::gpu
