#pragma once
// The map-light frame mode's passes over one copy: the depth pass over its
// drawn areas (and entity models), then each of its map's lights that reaches
// a drawn area, over the drawn areas it reaches, within the screen rectangle
// its box covers.

#include <cstdint>

#include "math/bounds.h"
#include "math/matrix.h"
#include "gpu/device.h"

namespace q {

class MapInstance;
struct FrameCost;

// Draws the copy's marked areas lit by its map's lights; returns how many
// areas. Adds the lights drawn to cost.lightsDrawn and, when an area was
// drawn, the map's lights to cost.lightsOfCopies.
int drawMapLit(MapInstance& instance, gpu::Device& device, FrameCost& cost);

// The rectangle of a width x height back buffer that the box (carried by
// toClip from its space to clip space) covers: its eight corners projected,
// widened by a pixel for rounding. The whole screen when some corner lies
// behind the eye (the eye may be inside the box), an empty one when every
// corner does or the corners fall wholly off the screen.
gpu::ScreenRect screenRectOf(const Bounds& box, const Matrix& toClip, uint32_t width, uint32_t height);

}  // namespace q
