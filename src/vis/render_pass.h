#pragma once
// The frame's render pass over the scene. The count of areas it drew, which the
// overlay shows, is g_visibleAreaCount (render/globals.h).

#include "render/globals.h"
#include "render/material_states.h"

namespace q {

class Camera;
class MapInstance;
class Scene;
namespace gpu {
class Device;
}

// Loads the lighting program's per-frame constants, draws the terrain, runs the
// portal flow from the camera (or marks every area outside portal mode), then
// draws the marked areas of every entered instance: their opaque surfaces, then
// their blended ones.
void render(Scene& scene);
// Draws the surfaces of the pass of one instance's marked areas with its own
// transform, then those of its entity models that reach a marked area; the
// opaque pass counts the areas into g_visibleAreaCount.
void drawVisible(MapInstance& instance, SurfacePass pass = SurfacePass::Opaque);
// The entity models of an instance's map that reach an area marked in it (or
// only solid space), each placed by its entity and then by the instance.
void drawEntityModels(const MapInstance& instance, const Camera& camera, gpu::Device* device,
                      SurfacePass pass = SurfacePass::Opaque);

}  // namespace q
