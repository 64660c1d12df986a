// Draws one frame of the world: the terrain, then the areas of every instance
// that the portal flow marked (or all of them outside portal mode), each
// instance with its own placement in the lighting program's uniform block.

#include "vis/render_pass.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <vector>

#include "math/matrix.h"
#include "gpu/device.h"
#include "render/area_draw.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "render/lighting_program.h"
#include "vis/counting_device.h"
#include "vis/frustum.h"
#include "vis/light_pass.h"
#include "vis/portal_flow.h"
#include "world/camera.h"
#include "world/scene.h"
#include "world/terrain.h"

namespace q {

int render(Scene& scene) {
    scene.frameCost = FrameCost{};
    const Camera* camera = scene.camera.get();
    const GraphicsDevice* graphics = scene.graphics;
    if (!camera || !graphics || !graphics->device()) return 0;
    const std::vector<std::unique_ptr<MapInstance>>& instances = scene.instances;
    CountingDevice device(*graphics->device(), scene.frameCost);

    if (scene.terrain) {
        // Its vertices are already in world space.
        LightingUniforms uniforms;
        uniforms.setEye(camera->position);
        uniforms.setPlacement(Matrix::identity(), camera->view, camera->projection);
        scene.terrain->draw({device, graphics->surfaces(), uniforms.block()});
    }

    if (g_portalMode) {
        for (const std::unique_ptr<MapInstance>& instance : instances) instance->enteredThisFrame = false;
        Frustum frustum;
        buildFrustum(*camera, &frustum, Matrix::identity());
        flowFromCamera(scene, frustum);
    } else {
        // Drawing everything needs no flow; the portal display still shows
        // which portals it would pass.
        if (scene.showPortals) {
            for (const std::unique_ptr<MapInstance>& instance : instances) instance->enteredThisFrame = false;
            Frustum frustum;
            buildFrustum(*camera, &frustum, Matrix::identity());
            flowFromCamera(scene, frustum);
            // A copy the flow did not reach passed none of its portals.
            for (const std::unique_ptr<MapInstance>& instance : instances)
                if (!instance->enteredThisFrame) std::fill(instance->passedPortals.begin(), instance->passedPortals.end(), 0u);
        }
        for (const std::unique_ptr<MapInstance>& instance : instances) {
            instance->enteredThisFrame = true;
            instance->markEveryArea();
        }
    }

    FrameCost& cost = scene.frameCost;
    for (const std::unique_ptr<MapInstance>& instance : instances) {
        if (!instance->enteredThisFrame) continue;
        // The terrain is the viewer's, not the map's: the camera's light
        // lights it in both modes.
        const bool mapLit = scene.mapLights && graphics->mapLights().ready();
        const int drawn = mapLit ? drawMapLit(*instance, device, cost) : drawVisible(*instance, device);
        cost.visibleAreas += drawn;
        if (drawn > 0) ++cost.copiesDrawn;
    }
    // Blended surfaces (glass, water) over every opaque one of the frame, so
    // that what lies behind them, in any copy, is there to be seen through.
    for (const std::unique_ptr<MapInstance>& instance : instances)
        if (instance->enteredThisFrame && instance->map && instance->map->hasBlendedSurfaces)
            drawVisible(*instance, device, SurfacePass::Blended);
    return cost.visibleAreas;
}

int drawVisible(MapInstance& instance, gpu::Device& device, SurfacePass pass) {
    const Scene* scene = instance.scene;
    if (!instance.map || !scene || !scene->camera || !scene->graphics) return 0;
    const Camera& camera = *scene->camera;
    const GraphicsDevice& graphics = *scene->graphics;
    LightingUniforms uniforms;
    uniforms.setEye(camera.position);
    uniforms.setPlacement(instance.world, camera.view, camera.projection);
    const SurfaceDraw context{device, graphics.surfaces(), uniforms.block(), pass};
    const int drawn = instance.eachMarkedArea([&](uint32_t area) {
        if (instance.mesh) drawArea(*instance.mesh, area, context);
    });
    drawEntityModels(instance, camera, context);
    drawMeshModels(instance, camera, context);
    return drawn;
}

void drawEntityModels(const MapInstance& instance, const Camera& camera, const SurfaceDraw& context) {
    if (!instance.mesh) return;
    LightingUniforms uniforms;
    uniforms.setEye(camera.position);
    const std::vector<EntityModel>& models = instance.map->entityModels;
    for (size_t m = 0; m < models.size(); ++m) {
        const EntityModel& model = models[m];
        if (!instance.drawsWhatReaches(model.areas)) continue;
        uniforms.setPlacement(model.placement * instance.world, camera.view, camera.projection);
        drawEntityModel(*instance.mesh, m, {context.device, context.pipelines, uniforms.block(), context.pass});
    }
}

void drawMeshModels(const MapInstance& instance, const Camera& camera, const SurfaceDraw& context) {
    if (!instance.mesh || !instance.map) return;
    const MeshModels& models = instance.map->meshModels;
    LightingUniforms uniforms;
    uniforms.setEye(camera.position);
    for (const PlacedMesh& placed : models.placed) {
        if (!instance.drawsWhatReaches(placed.areas)) continue;
        uniforms.setPlacement(meshDrawPlacement(placed.placement) * instance.world, camera.view, camera.projection);
        const SurfaceDraw placedContext{context.device, context.pipelines, uniforms.block(), context.pass};
        drawMeshModel(*instance.mesh, models, placed, placedContext);
    }
}

}  // namespace q
