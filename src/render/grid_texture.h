#pragma once
// The stand-in for material images that are missing: a grid, so that walls,
// floors and their edges read on a map whose images are absent, tinted per
// material so that two missing materials side by side can be told apart.

#include <cstdint>
#include <string_view>

#include "gpu/device.h"

namespace q {

constexpr uint32_t kGridTextureSide = 64;  // texels; texture coordinates 0 to 1 span it
constexpr uint32_t kGridCellsPerSide = 4;

// What the grid's greys are multiplied by (255: kept).
struct GridTint {
    uint8_t red = 255, green = 255, blue = 255;
    bool operator==(const GridTint&) const = default;
};

// A material's tint, from a hash of its name alone: the same in every run and
// on every machine, whatever the load order, and light enough that the grid's
// lines still read.
GridTint gridTint(std::string_view materialName);

// A texture of the grid with a full mip chain: mid grey cells between darker
// lines, the line of the texture's own edge darker still, so one repeat of the
// texture shows; each grey times the tint. Empty when the device refuses it.
gpu::DeviceHandle<gpu::Texture> createGridTexture(gpu::Device& device, GridTint tint = {});

}  // namespace q
