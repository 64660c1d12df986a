#pragma once
// The frame's render pass over the scene.

#include "gpu/device.h"
#include "render/globals.h"
#include "render/surface_pipelines.h"

namespace q {

class Camera;
class MapInstance;
class Scene;

// Draws the terrain, runs the
// portal flow from the camera (or marks every area outside portal mode), then
// draws the marked areas of every entered instance: their opaque surfaces, then
// their blended ones. Returns the areas drawn, over all instances; what the
// frame cost (scene.frameCost, which the overlay and the frame trace show).
int render(Scene& scene);
// Draws the surfaces of the pass of one instance's marked areas on `device`
// with its own transform, then those of its entity models and mesh models
// that reach a marked area; returns how many areas.
int drawVisible(MapInstance& instance, gpu::Device& device, SurfacePass pass = SurfacePass::Opaque);
// The entity models of an instance's map that reach an area marked in it (or
// only solid space), each placed by its entity and then by the instance.
// The context's uniform block is replaced by each model's own.
void drawEntityModels(const MapInstance& instance, const Camera& camera, const SurfaceDraw& context);
// Likewise the mesh models its map source places: each drawn when an area it
// reaches is marked (or with its copy when it reaches only solid space),
// placed by its entity and then by the instance.
void drawMeshModels(const MapInstance& instance, const Camera& camera, const SurfaceDraw& context);

}  // namespace q
