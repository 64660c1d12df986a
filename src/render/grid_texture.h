#pragma once
// The stand-in for material images that are missing: a neutral grey grid, so
// that walls, floors and their edges read on a map whose images are absent.

#include <cstdint>

#include "platform/gpu/device.h"

namespace q {

constexpr uint32_t kGridTextureSide = 64;  // texels; texture coordinates 0 to 1 span it
constexpr uint32_t kGridCellsPerSide = 4;

// A texture of the grid with a full mip chain: mid grey cells between darker
// lines, the line of the texture's own edge darker still, so one repeat of the
// texture shows. Empty when the device refuses it.
gpu::DeviceHandle<gpu::Texture> createGridTexture(gpu::Device& device);

}  // namespace q
