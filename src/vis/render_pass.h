#pragma once
// The frame's render pass over the scene.

#include "render/globals.h"

namespace q {

class MapInstance;
class Scene;

// Loads the lighting program's per-frame constants, draws the terrain, runs the
// portal flow from the camera (or marks every area outside portal mode), then
// draws the marked areas of every entered instance. Returns the areas drawn,
// over all instances (what the overlay and the frame trace show).
int render(Scene& scene);
// Draws one instance's marked areas with its own transform; returns how many.
int drawVisible(MapInstance& instance);

}  // namespace q
