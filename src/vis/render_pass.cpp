// Draws one frame of the world: the lighting program's per-frame constants, the
// terrain, then the areas of every instance that the portal flow marked (or all
// of them outside portal mode), each instance with its own transform.

#include "vis/render_pass.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <vector>

#include "math/matrix.h"
#include "platform/gpu/device.h"
#include "render/globals.h"
#include "render/lighting_program.h"
#include "vis/frustum.h"
#include "vis/portal_flow.h"
#include "world/camera.h"
#include "world/scene.h"
#include "world/terrain.h"

namespace q {

int render(Scene& scene) {
    const Camera* camera = scene.camera.get();
    gpu::Device* device = scene.device;
    if (!camera || !device) return 0;
    const std::vector<std::unique_ptr<MapInstance>>& instances = scene.instances;

    const Matrix viewProjection = transposed(camera->view * camera->projection);
    device->setVertexShaderConstant(0, &viewProjection, 4);
    // The fourth float of the eye register carries the yaw; the program ignores it.
    const float eye[4] = {camera->position.x, camera->position.y, camera->position.z, camera->yaw};
    device->setVertexShaderConstant(5, eye, 1);
    device->setVertexShaderConstant(6, kLightingFactors, 1);
    device->setVertexShader(g_lightingShader);

    if (scene.terrain) scene.terrain->draw();

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

    int drawn = 0;
    for (const std::unique_ptr<MapInstance>& instance : instances)
        if (instance->enteredThisFrame) drawn += drawVisible(*instance);
    // Blended surfaces (glass, water) over every opaque one of the frame, so
    // that what lies behind them, in any copy, is there to be seen through.
    for (const std::unique_ptr<MapInstance>& instance : instances)
        if (instance->enteredThisFrame && instance->map && instance->map->hasBlendedSurfaces)
            drawVisible(*instance, SurfacePass::Blended);
    return drawn;
}

int drawVisible(MapInstance& instance, SurfacePass pass) {
    const Scene* scene = instance.scene;
    if (!instance.map || !scene || !scene->camera || !scene->device) return 0;
    const Camera& camera = *scene->camera;
    gpu::Device* device = scene->device;
    const Matrix& world = instance.world;
    const std::vector<uint32_t>& visibleAreas = instance.visibleAreas;

    const Matrix worldViewProjection = transposed(world * camera.view * camera.projection);
    device->setVertexShaderConstant(0, &worldViewProjection, 4);
    // The first three rows of the transposed world carry normals and positions
    // to world space inside the program.
    const Matrix worldRows = transposed(world);
    device->setVertexShaderConstant(7, &worldRows, 3);

    // Word by word, lowest bit first: the areas are drawn in number order, and
    // the many unmarked areas of a portal frame cost one test per 32 of them.
    const uint32_t areaCount = static_cast<uint32_t>(instance.map->areas.size());
    const uint32_t wordCount = std::min<uint32_t>(static_cast<uint32_t>(visibleAreas.size()), (areaCount + 31) / 32);
    int drawn = 0;
    for (uint32_t w = 0; w < wordCount; ++w) {
        for (uint32_t bits = visibleAreas[w]; bits != 0; bits &= bits - 1) {
            const uint32_t i = w * 32 + static_cast<uint32_t>(std::countr_zero(bits));
            if (i >= areaCount) break;
            instance.areas[i].draw(*device, pass);
            ++drawn;
        }
    }
    drawEntityModels(instance, camera, device, pass);
    return drawn;
}

void drawEntityModels(const MapInstance& instance, const Camera& camera, gpu::Device* device, SurfacePass pass) {
    const std::vector<uint32_t>& visibleAreas = instance.visibleAreas;
    auto marked = [&](int area) {
        const size_t word = static_cast<size_t>(area) / 32;
        return word < visibleAreas.size() && (visibleAreas[word] >> (static_cast<uint32_t>(area) % 32)) & 1u;
    };
    for (const EntityModel& model : instance.map->entityModels) {
        // Drawn when any area it reaches is drawn; one that reaches only solid
        // space with its copy.
        const bool seen = model.areas.empty() || std::any_of(model.areas.begin(), model.areas.end(), marked);
        if (!seen) continue;
        const Matrix world = model.placement * instance.world;
        const Matrix worldViewProjection = transposed(world * camera.view * camera.projection);
        device->setVertexShaderConstant(0, &worldViewProjection, 4);
        const Matrix worldRows = transposed(world);
        device->setVertexShaderConstant(7, &worldRows, 3);
        model.geometry.draw(*device, pass);
    }
}

}  // namespace q
