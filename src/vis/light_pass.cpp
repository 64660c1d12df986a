#include "vis/light_pass.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "render/area_draw.h"
#include "render/graphics_device.h"
#include "render/map_light_program.h"
#include "render/shadow_volumes.h"
#include "world/camera.h"
#include "world/frame_cost.h"
#include "world/map_instance.h"
#include "world/scene.h"

namespace q {

namespace {

// A model (entity or mesh) is lit by a light that reaches one of its areas,
// or, when it reaches none, whose box then decides.
template <class Model>
bool modelLitBy(const Model& model, const MapLight& light) {
    if (model.areas.empty()) return true;
    for (int area : model.areas)
        if (std::binary_search(light.areas.begin(), light.areas.end(), area)) return true;
    return false;
}

// The mesh models drawn with the marked areas; with a light, those it lights.
void drawMeshes(const MapInstance& instance, const Camera& camera, const SurfaceDraw& context,
                MapLightUniforms& uniforms, const MapLight* light) {
    const MeshModels& meshes = instance.map->meshModels;
    for (const PlacedMesh& placed : meshes.placed) {
        if (!instance.drawsWhatReaches(placed.areas) || (light && !modelLitBy(placed, *light))) continue;
        uniforms.setPlacement(meshDrawPlacement(placed.placement) * instance.world, camera.view, camera.projection);
        drawMeshModel(*instance.mesh, meshes, placed, context);
    }
}

// The depth pass: the marked areas and the models drawn with them, black.
int drawDepth(const MapInstance& instance, const Camera& camera, const SurfaceDraw& context,
              MapLightUniforms& uniforms) {
    const MapMesh& mesh = *instance.mesh;
    uniforms.setPlacement(instance.world, camera.view, camera.projection);
    const int drawn = instance.eachMarkedArea([&](uint32_t area) { drawArea(mesh, area, context); });
    const std::vector<EntityModel>& models = instance.map->entityModels;
    for (size_t m = 0; m < models.size(); ++m) {
        if (!instance.drawsWhatReaches(models[m].areas)) continue;
        uniforms.setPlacement(models[m].placement * instance.world, camera.view, camera.projection);
        drawEntityModel(mesh, m, context);
    }
    drawMeshes(instance, camera, context, uniforms, nullptr);
    return drawn;
}

// One light's pass over the marked areas it reaches and the models lit there.
void drawLight(const MapInstance& instance, const Camera& camera, const MapLight& light, const SurfaceDraw& context,
               MapLightUniforms& uniforms) {
    const size_t areaCount = instance.map->areas.size();
    uniforms.setPlacement(instance.world, camera.view, camera.projection);
    for (int area : light.areas)
        if (static_cast<size_t>(area) < areaCount && instance.areaMarked(area))
            drawArea(*instance.mesh, static_cast<size_t>(area), context);
    const std::vector<EntityModel>& models = instance.map->entityModels;
    for (size_t m = 0; m < models.size(); ++m) {
        if (!instance.drawsWhatReaches(models[m].areas) || !modelLitBy(models[m], light)) continue;
        uniforms.setPlacement(models[m].placement * instance.world, camera.view, camera.projection);
        drawEntityModel(*instance.mesh, m, context);
    }
    drawMeshes(instance, camera, context, uniforms, &light);
}

}  // namespace

gpu::ScreenRect screenRectOf(const Bounds& box, const Matrix& toClip, uint32_t width, uint32_t height) {
    const gpu::ScreenRect none = gpu::ScreenRect::of(0, 0, 0, 0);
    if (box.isEmpty()) return none;
    float lowX = 1e30f, lowY = 1e30f, highX = -1e30f, highY = -1e30f;
    int behind = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const Vector3 p{(corner & 1) ? box.maxs.x : box.mins.x, (corner & 2) ? box.maxs.y : box.mins.y,
                        (corner & 4) ? box.maxs.z : box.mins.z};
        float clip[4];
        for (int c = 0; c < 4; ++c)
            clip[c] = p.x * toClip.m[0][c] + p.y * toClip.m[1][c] + p.z * toClip.m[2][c] + toClip.m[3][c];
        // Nearer than this the projection of a corner swings past the screen's edges.
        if (!(clip[3] > 1e-3f)) {
            ++behind;
            continue;
        }
        const float x = clip[0] / clip[3], y = clip[1] / clip[3];
        lowX = std::min(lowX, x);
        highX = std::max(highX, x);
        lowY = std::min(lowY, y);
        highY = std::max(highY, y);
    }
    if (behind == 8) return none;
    if (behind > 0) return {};
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const float left = std::clamp(std::floor((lowX + 1.0f) * 0.5f * w) - 1.0f, 0.0f, w);
    const float right = std::clamp(std::ceil((highX + 1.0f) * 0.5f * w) + 1.0f, 0.0f, w);
    const float top = std::clamp(std::floor((1.0f - highY) * 0.5f * h) - 1.0f, 0.0f, h);
    const float bottom = std::clamp(std::ceil((1.0f - lowY) * 0.5f * h) + 1.0f, 0.0f, h);
    if (right <= left || bottom <= top) return none;
    return gpu::ScreenRect::of(static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right - left),
                               static_cast<int32_t>(bottom - top));
}

int drawMapLit(MapInstance& instance, gpu::Device& device, FrameCost& cost) {
    const Scene* scene = instance.scene;
    if (!instance.map || !instance.mesh || !scene || !scene->camera || !scene->graphics) return 0;
    const Camera& camera = *scene->camera;
    const MapLightPipelines& pipelines = scene->graphics->mapLights();
    const MapMesh& mesh = *instance.mesh;

    MapLightUniforms uniforms;
    uniforms.setEye(camera.position);
    const int drawn = drawDepth(instance, camera, {device, pipelines.depth(), uniforms.block()}, uniforms);
    if (drawn == 0) return 0;

    const std::vector<MapLight>& lights = instance.map->lights;
    const ShadowVolumes* shadows = scene->shadowVolumesOf(instance.map);
    cost.lightsOfCopies += static_cast<int>(lights.size());
    const Matrix toClip = instance.world * camera.view * camera.projection;
    for (size_t i = 0; i < lights.size(); ++i) {
        const MapLight& light = lights[i];
        const bool reachesDrawn = std::any_of(light.areas.begin(), light.areas.end(),
                                              [&](int area) { return instance.areaMarked(area); });
        if (!reachesDrawn) continue;
        const gpu::ScreenRect rect = screenRectOf(light.bounds, toClip, device.width(), device.height());
        if (rect.empty()) continue;
        const bool ambient = i < mesh.ambientLights.size() && mesh.ambientLights[i];
        const bool castsShadows = !ambient && !light.noShadows;
        if (castsShadows) {
            // Its shadows marked in its own rectangle: what they leave at 0 is lit.
            device.clearStencil(rect);
            if (shadows) shadows->draw(device, i, instance.world, camera.view, camera.projection, rect);
        }
        uniforms.setLight(light, ambient, instance.world, instance.inverseWorld);
        SurfaceDraw context{device, pipelines.light(castsShadows), uniforms.block()};
        context.lightImage = i < mesh.lightImages.size() ? mesh.lightImages[i] : nullptr;
        context.lightFalloff = i < mesh.lightFalloffs.size() ? mesh.lightFalloffs[i] : nullptr;
        context.scissor = rect;
        drawLight(instance, camera, light, context, uniforms);
        ++cost.lightsDrawn;
    }
    return drawn;
}

}  // namespace q
