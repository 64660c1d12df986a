#pragma once
// A graphics device drawing on a recording device that it owns, for tests
// that render what the viewer renders and read back what it named.

#include <memory>

#include "gpu/recording/recording_device.h"
#include "render/graphics_device.h"

namespace q::test {

inline gpu::RecordingDevice& recordOn(GraphicsDevice& graphics, uint32_t width = 1024, uint32_t height = 768) {
    auto* device = new gpu::RecordingDevice(width, height);
    graphics.create(std::unique_ptr<gpu::Device>(device));
    return *device;
}

}  // namespace q::test
