#pragma once
// The material images and the terrain image: tiled, shaded patterns, so that
// motion and the moving light read clearly on screen. Square, tileable, the
// same pixels for the same seed.

#include <cstdint>

#include "mapgen/surfaces.h"
#include "image/image.h"

namespace q::mapgen {

constexpr int kTextureSize = 256;

Image makeMaterialImage(int material, uint32_t seed);
Image makeGrassImage(uint32_t seed);

}  // namespace q::mapgen
