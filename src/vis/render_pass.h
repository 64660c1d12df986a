#pragma once
// The frame's render pass over the scene.

#include "render/globals.h"

namespace q {

class Camera;
class MapInstance;
class Scene;
namespace gpu {
class Device;
}

// Loads the lighting program's per-frame constants, draws the terrain, runs the
// portal flow from the camera (or marks every area outside portal mode), then
// draws the marked areas of every entered instance. Returns the areas drawn,
// over all instances (what the overlay and the frame trace show).
int render(Scene& scene);
// Draws one instance's marked areas with its own transform, then its entity
// models that reach a marked area; returns how many areas.
int drawVisible(MapInstance& instance);
// The entity models of an instance's map that reach an area marked in it (or
// only solid space), each placed by its entity and then by the instance.
void drawEntityModels(const MapInstance& instance, const Camera& camera, gpu::Device* device);

}  // namespace q
