// The portal flow: from the area that holds the eye, through every portal that
// faces it and lies in view, into the areas beyond, narrowing the view to each
// portal's edges. A portal into area 0 goes on into the instance's own area 0,
// which on compiled maps is a room like any other, and also hands the narrowed
// view to the other instances, since on generated maps area 0 is the open space
// all of them stand in. The flow may mark more than is seen, never less.

#include "vis/portal_flow.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "math/matrix.h"
#include "platform/report.h"
#include "render/graphics_device.h"
#include "vis/frustum.h"
#include "world/camera.h"
#include "world/map_instance.h"
#include "world/scene.h"

namespace q {

namespace {

constexpr uint32_t kGreen = 0xff00ff00u;

// One side slot of the narrowed frustum: the portal edge (first, second) whose
// plane with the eye replaces the slot. The slot's bits in the clip mask are
// 4 * (slot - kLeft) + point.
struct EdgeRule {
    int slot;
    int first;
    int second;
};

// Worked in this order: bottom, left, top, right. From the negative side the
// portal is seen mirrored, so left and right swap edges and every edge is
// walked the other way; the normals then still point out of the volume.
constexpr EdgeRule kFromPositive[4] = {
    {kBottom, 0, 1}, {kLeft, 1, 2}, {kTop, 2, 3}, {kRight, 3, 0}};
constexpr EdgeRule kFromNegative[4] = {
    {kBottom, 1, 0}, {kLeft, 0, 3}, {kTop, 3, 2}, {kRight, 2, 1}};

bool pointInside(uint32_t mask, int slot, int point) {
    return (mask >> (4 * (slot - kLeft) + point)) & 1u;
}

void carryPlanes(Frustum* out, const Frustum& in, const Matrix& planeTransform) {
    for (int slot = 0; slot < 6; ++slot) D3DXPlaneTransform(&out->planes[slot], &in.planes[slot], &planeTransform);
}

}  // namespace

bool inFrustum(const MapInstance& instance, const Frustum& frustum) {
    return boundsInFrustum(instance.worldBounds, frustum) != 0;
}

namespace {

// Enters the instance for this frame from the area that holds the eye (given
// in its map's space), or from solid space (eyeArea < 0).
void enterFrom(MapInstance& instance, Vector3 localEye, int eyeArea, const Frustum& worldFrustum) {
    instance.localEye = localEye;
    if (!instance.enteredThisFrame) {
        instance.enteredThisFrame = true;
        std::fill(instance.visibleAreas.begin(), instance.visibleAreas.end(), 0u);
        std::fill(instance.passedPortals.begin(), instance.passedPortals.end(), 0u);
    }

    // An eye in solid space of this map (outside a sealed map, inside a wall)
    // has no area to start from, yet the instance is in view: every area is
    // drawn, as when drawing everything.
    if (eyeArea < 0) {
        instance.markEveryArea();
        return;
    }

    // The transpose of the forward matrix carries world planes into map space.
    Frustum localFrustum;
    carryPlanes(&localFrustum, worldFrustum, transposed(instance.world));
    flowArea(instance, eyeArea, localFrustum);
}

}  // namespace

void startFlow(MapInstance& instance, const Frustum& worldFrustum) {
    if (!instance.map || !instance.scene || !instance.scene->camera) return;
    // The lookup is silent here; the wall report comes from the scene update's
    // own lookup of the camera.
    const Vector3 localEye = transformCoord(instance.scene->camera->position, instance.inverseWorld);
    enterFrom(instance, localEye, instance.map->areaHolding(localEye), worldFrustum);
}

void flowArea(MapInstance& instance, int area, const Frustum& frustum) {
    const MapData& map = *instance.map;
    const int areaCount = static_cast<int>(map.areas.size());
    const int portalCount = static_cast<int>(map.portals.size());
    const Vector3& localEye = instance.localEye;
    Scene* scene = instance.scene;
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
            char where[48];
            std::snprintf(where, sizeof where, "portal %d listed in area %d", n, area);
            // The system's own words for "this portal does not join this area":
            // the area's list names a portal that leads elsewhere, so it is skipped.
            report("portal不对砚竹", "eror", where);
            continue;
        }
        if (next < 0 || next >= areaCount || portal.points.size() < 4) continue;

        // Facing test: an eye exactly on the portal plane sees it from either side.
        const float s = portal.plane.distance(localEye);
        if (fromPositive ? s < 0.0f : s > 0.0f) continue;

        const Vector3* p = portal.viewCorners.data();
        const uint32_t mask = classifyPoints(p, frustum, 4);
        if (mask == 0) continue;

        // Passed once per frame and instance, by whichever path reaches it first.
        bitSet(instance.passedPortals.data(), static_cast<uint32_t>(n));

        Frustum narrowed;
        narrowed[kNear] = frustum[kNear];
        narrowed[kFar] = frustum[kFar];
        GraphicsDevice* lines = (scene && scene->camera && scene->camera->collectingLines) ? scene->graphics : nullptr;
        for (const EdgeRule& rule : fromPositive ? kFromPositive : kFromNegative) {
            if (!pointInside(mask, rule.slot, rule.first) && !pointInside(mask, rule.slot, rule.second)) {
                narrowed[rule.slot] = frustum[rule.slot];
                continue;
            }
            D3DXPlaneFromPoints(&narrowed[rule.slot], &localEye, &p[rule.first], &p[rule.second]);
            if (lines) {
                const Vector3 eye = transformCoord(localEye, instance.world);
                lines->addLine(eye, transformCoord(p[rule.first], instance.world), kGreen);
                lines->addLine(eye, transformCoord(p[rule.second], instance.world), kGreen);
            }
        }

        flowArea(instance, next, narrowed);
        if (next == 0 && scene) {
            Frustum worldNarrowed;
            carryPlanes(&worldNarrowed, narrowed, transposed(instance.inverseWorld));
            flowInstances(*scene, worldNarrowed, &instance);
        }
    }
}

void flowFromCamera(Scene& scene, const Frustum& worldFrustum) {
    // From a room of the instance that holds the eye the flow starts there. From
    // its area 0, from solid space of it, or from no instance at all, the eye may
    // look at any instance: each one in view is entered from where the eye lies
    // in it. The area is looked up afresh: the camera's area number was found
    // before this frame's move.
    const Camera* camera = scene.camera.get();
    MapInstance* holder = camera ? scene.instanceAt(camera->instanceIndex) : nullptr;
    const Vector3 localEye = holder ? transformCoord(camera->position, holder->inverseWorld) : Vector3{};
    const int eyeArea = holder && holder->map ? holder->map->areaHolding(localEye) : -1;
    if (eyeArea > 0)
        enterFrom(*holder, localEye, eyeArea, worldFrustum);
    else
        flowInstances(scene, worldFrustum, nullptr);
}

void flowInstances(Scene& scene, const Frustum& worldFrustum, const MapInstance* excluded) {
    for (const std::unique_ptr<MapInstance>& instance : scene.instances)
        if (instance.get() != excluded && inFrustum(*instance, worldFrustum)) startFlow(*instance, worldFrustum);
}

}  // namespace q
