#pragma once
// The frame's render pass over the scene. The count of areas it drew, which the
// overlay shows, is g_visibleAreaCount (render/globals.h).

#include "render/globals.h"

namespace q {

class MapInstance;
class Scene;

// Loads the lighting program's per-frame constants, draws the terrain, runs the
// portal flow from the camera (or marks every area outside portal mode), then
// draws the marked areas of every entered instance.
void render(Scene& scene);
// Draws one instance's marked areas with its own transform.
void drawVisible(MapInstance& instance);

}  // namespace q
