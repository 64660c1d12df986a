#include "support/first_path_flow.h"

#include <algorithm>
#include <memory>

#include "math/matrix.h"
#include "vis/frustum.h"
#include "world/camera.h"
#include "world/map_instance.h"
#include "world/scene.h"

namespace q::bench {

namespace {

struct EdgeRule {
    int slot;
    int first;
    int second;
};

constexpr EdgeRule kFromPositive[4] = {{kBottom, 0, 1}, {kLeft, 1, 2}, {kTop, 2, 3}, {kRight, 3, 0}};
constexpr EdgeRule kFromNegative[4] = {{kBottom, 1, 0}, {kLeft, 0, 3}, {kTop, 3, 2}, {kRight, 2, 1}};

bool pointInside(uint32_t mask, int slot, int point) { return (mask >> (4 * (slot - kLeft) + point)) & 1u; }

void carryPlanes(Frustum* out, const Frustum& in, const Matrix& planeTransform) {
    for (int slot = 0; slot < 6; ++slot) out->planes[slot] = transformed(in.planes[slot], planeTransform);
}

void flowInstances(Scene& scene, const Frustum& worldFrustum, const MapInstance* excluded);

void flowArea(MapInstance& instance, int area, const Frustum& frustum) {
    const MapData& map = *instance.map;
    const int areaCount = static_cast<int>(map.areas.size());
    const int portalCount = static_cast<int>(map.portals.size());
    const Vector3& localEye = instance.localEye;
    bitSet(instance.visibleAreas.data(), static_cast<uint32_t>(area));

    for (const int n : instance.areas[area].portalIndices) {
        if (n < 0 || n >= portalCount) continue;
        if (bitTest(instance.passedPortals.data(), static_cast<uint32_t>(n))) continue;
        const Portal& portal = instance.portals[n];
        bool fromPositive;
        int next;
        if (portal.positiveArea == area) {
            fromPositive = true;
            next = portal.negativeArea;
        } else if (portal.negativeArea == area) {
            fromPositive = false;
            next = portal.positiveArea;
        } else {
            continue;
        }
        if (next < 0 || next >= areaCount || portal.points.size() < 4) continue;
        const float s = portal.plane.distance(localEye);
        if (fromPositive ? s < 0.0f : s > 0.0f) continue;
        const Vector3* p = portal.viewCorners.data();
        const uint32_t mask = classifyPoints(p, frustum, 4);
        if (mask == 0) continue;
        bitSet(instance.passedPortals.data(), static_cast<uint32_t>(n));

        Frustum narrowed;
        narrowed[kNear] = frustum[kNear];
        narrowed[kFar] = frustum[kFar];
        for (const EdgeRule& rule : fromPositive ? kFromPositive : kFromNegative) {
            if (!pointInside(mask, rule.slot, rule.first) && !pointInside(mask, rule.slot, rule.second))
                narrowed[rule.slot] = frustum[rule.slot];
            else
                narrowed[rule.slot] = Plane::fromPoints(localEye, p[rule.first], p[rule.second]);
        }
        flowArea(instance, next, narrowed);
        if (next == 0 && instance.scene) {
            Frustum worldNarrowed;
            carryPlanes(&worldNarrowed, narrowed, transposed(instance.inverseWorld));
            flowInstances(*instance.scene, worldNarrowed, &instance);
        }
    }
}

void enterFrom(MapInstance& instance, Vector3 localEye, int eyeArea, const Frustum& worldFrustum) {
    instance.localEye = localEye;
    if (!instance.enteredThisFrame) {
        instance.enteredThisFrame = true;
        std::fill(instance.visibleAreas.begin(), instance.visibleAreas.end(), 0u);
        std::fill(instance.passedPortals.begin(), instance.passedPortals.end(), 0u);
    }
    if (eyeArea < 0) {
        instance.markEveryArea();
        return;
    }
    Frustum localFrustum;
    carryPlanes(&localFrustum, worldFrustum, transposed(instance.world));
    flowArea(instance, eyeArea, localFrustum);
}

void startFlow(MapInstance& instance, const Frustum& worldFrustum) {
    if (!instance.map || !instance.scene || !instance.scene->camera) return;
    const Vector3 localEye = transformCoord(instance.scene->camera->position, instance.inverseWorld);
    enterFrom(instance, localEye, instance.map->areaHolding(localEye), worldFrustum);
}

void flowInstances(Scene& scene, const Frustum& worldFrustum, const MapInstance* excluded) {
    for (const std::unique_ptr<MapInstance>& instance : scene.instances)
        if (instance.get() != excluded && boundsInFrustum(instance->worldBounds, worldFrustum) != 0)
            startFlow(*instance, worldFrustum);
}

}  // namespace

void firstPathFlowFromCamera(Scene& scene, const Frustum& worldFrustum) {
    const Camera* camera = scene.camera.get();
    MapInstance* holder = camera ? scene.instanceAt(camera->instanceIndex) : nullptr;
    const Vector3 localEye = holder ? transformCoord(camera->position, holder->inverseWorld) : Vector3{};
    const int eyeArea = holder && holder->map ? holder->map->areaHolding(localEye) : -1;
    if (eyeArea > 0)
        enterFrom(*holder, localEye, eyeArea, worldFrustum);
    else
        flowInstances(scene, worldFrustum, nullptr);
}

}  // namespace q::bench
