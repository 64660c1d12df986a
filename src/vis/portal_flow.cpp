// The portal flow: from the area that holds the eye, through every portal that
// faces it and lies in view, into the areas beyond, narrowing the view to each
// portal's edges. A portal into area 0 goes on into the instance's own area 0.
// Where area 0 is the open space around the map (MapInstance::areaZeroIsOutside:
// the generated maps, which all copies stand in), the narrowed view is also
// handed to the other instances. On a sealed map area 0 is a room like any
// other, walled in by solid space: no other copy can be seen from inside it,
// so none is entered. The flow may mark more than is seen, never less.
//
// Every portal keeps, for the frame, the widest view that passed it. A view
// that arrives later and lies wholly inside that one is not passed again: all
// it could reach beyond was reached already. Any other view passes, so a hall
// seen through two doorways is looked through along both.

#include "vis/portal_flow.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "math/matrix.h"
#include "platform/report.h"
#include "platform/report_words.h"
#include "render/graphics_device.h"
#include "vis/frustum.h"
#include "vis/portal_flow_view.h"
#include "world/camera.h"
#include "world/map_instance.h"
#include "world/scene.h"

namespace q {

namespace {

constexpr uint32_t kGreen = 0xff00ff00u;

// The part of a portal a view took in is measured only once a second view
// arrives at the portal.
constexpr float kNotMeasured = -1.0f;

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
    for (int slot = 0; slot < 6; ++slot) out->planes[slot] = transformed(in.planes[slot], planeTransform);
}

// What all the walks of one call share: the scene, and the outermost view in
// world space (the camera's), which stands for everything the picture can show.
struct FlowRun {
    Scene* scene;
    const Frustum& outermost;
};

// A portal the walk is about to look through from the area on top of its stack.
struct Passage {
    int portal = -1;
    int next = -1;
    bool fromPositive = true;
    uint32_t mask = 0;
    float seen = 0.0f;  // the size of the part of the portal in view, or kNotMeasured
    Frustum view;       // the view arriving at the portal
};

void handOff(const FlowRun& run, const Frustum& worldView, const MapInstance* excluded, int depth);

int passBudget(const MapInstance& instance) {
    return kFlowPassesPerPortal * static_cast<int>(instance.map->portals.size()) + kMinimumFlowPasses;
}

// The first entry in a frame clears the marks of the frame before.
void beginFrame(MapInstance& instance) {
    if (instance.enteredThisFrame) return;
    instance.enteredThisFrame = true;
    std::fill(instance.visibleAreas.begin(), instance.visibleAreas.end(), 0u);
    std::fill(instance.passedPortals.begin(), instance.passedPortals.end(), 0u);
    // Every walk pops the steps it pushed, so no portal is held between walks.
    instance.flowDepth = 0;
    instance.flowPassesLeft = passBudget(instance);
    instance.flowSpent = false;
}

// Drawn whole for the rest of the frame: later entries find nothing to do.
void markWhole(MapInstance& instance) {
    instance.markEveryArea();
    instance.flowSpent = true;
}

// Marks `area` and puts it on the walk's stack with the view it is seen with,
// holding `portal`; false when the stack is full.
bool pushStep(MapInstance& instance, int area, int portal, const Frustum& view) {
    if (instance.flowDepth >= static_cast<int>(instance.flowSteps.size())) return false;
    FlowStep& step = instance.flowSteps[static_cast<size_t>(instance.flowDepth++)];
    step.area = area;
    step.heldPortal = portal;
    step.nextPortal = 0;
    std::copy_n(view.planes, 6, step.view);
    if (portal >= 0) bitSet(instance.heldPortals.data(), static_cast<uint32_t>(portal));
    bitSet(instance.visibleAreas.data(), static_cast<uint32_t>(area));
    return true;
}

void popStep(MapInstance& instance) {
    const FlowStep& step = instance.flowSteps[static_cast<size_t>(--instance.flowDepth)];
    if (step.heldPortal >= 0) bitClear(instance.heldPortals.data(), static_cast<uint32_t>(step.heldPortal));
}

// The next portal of the top step's area to look through: one that faces the
// eye, lies in the step's view, is not held by the path, and, if a view passed
// it before in this frame, takes in a part of it outside the view kept for it.
// False when the area's list is done.
bool nextPassage(MapInstance& instance, Passage* out) {
    FlowStep& step = instance.flowSteps[static_cast<size_t>(instance.flowDepth - 1)];
    const int area = step.area;
    const std::vector<int>& list = instance.areas[area].portalIndices;
    const int areaCount = static_cast<int>(instance.map->areas.size());
    const int portalCount = static_cast<int>(instance.map->portals.size());
    const Vector3& localEye = instance.localEye;
    std::copy_n(step.view, 6, out->view.planes);

    while (step.nextPortal < list.size()) {
        const int n = list[step.nextPortal++];
        if (n < 0 || n >= portalCount) continue;
        if (bitTest(instance.heldPortals.data(), static_cast<uint32_t>(n))) continue;
        const Portal& portal = instance.portals[n];

        if (portal.positiveArea == area) {
            out->fromPositive = true;
            out->next = portal.negativeArea;
        } else if (portal.negativeArea == area) {
            out->fromPositive = false;
            out->next = portal.positiveArea;
        } else {
            char where[48];
            std::snprintf(where, sizeof where, "portal %d listed in area %d", n, area);
            // The area's list names a portal that leads elsewhere: skipped.
            report(kStrayPortalText, kStrayPortalCaption, where);
            continue;
        }
        if (out->next < 0 || out->next >= areaCount || portal.points.size() < 4) continue;

        // Facing test: an eye exactly on the portal plane sees it from either side.
        const float s = portal.plane.distance(localEye);
        if (out->fromPositive ? s < 0.0f : s > 0.0f) continue;

        out->mask = classifyPoints(portal.viewCorners.data(), out->view, 4);
        if (out->mask == 0) continue;

        // Most portals are reached by one path only: the part in view is cut
        // out when a second view arrives.
        out->seen = kNotMeasured;
        if (bitTest(instance.passedPortals.data(), static_cast<uint32_t>(n))) {
            Vector3 part[kMaxPortalPart];
            const int count = portalPartInView(portal.viewCorners.data(), out->view, part);
            if (insidePassedView(part, count, instance.passedViews[static_cast<size_t>(n)], localEye)) continue;
            out->seen = count > 0 ? polygonArea(part, count) : 0.0f;
        }
        out->portal = n;
        return true;
    }
    return false;
}

// The view narrowed to the portal's edges; while lines are captured, two green
// lines for every side the portal replaces.
void narrow(const MapInstance& instance, const Passage& passage, Frustum* narrowed) {
    const Frustum& view = passage.view;
    const Vector3& localEye = instance.localEye;
    const Vector3* p = instance.portals[passage.portal].viewCorners.data();
    Scene* scene = instance.scene;
    GraphicsDevice* lines = (scene && scene->camera && scene->camera->collectingLines) ? scene->graphics : nullptr;
    (*narrowed)[kNear] = view[kNear];
    (*narrowed)[kFar] = view[kFar];
    for (const EdgeRule& rule : passage.fromPositive ? kFromPositive : kFromNegative) {
        if (!pointInside(passage.mask, rule.slot, rule.first) && !pointInside(passage.mask, rule.slot, rule.second)) {
            (*narrowed)[rule.slot] = view[rule.slot];
            continue;
        }
        (*narrowed)[rule.slot] = Plane::fromPoints(localEye, p[rule.first], p[rule.second]);
        if (lines) {
            const Vector3 eye = transformCoord(localEye, instance.world);
            lines->addLine(eye, transformCoord(p[rule.first], instance.world), kGreen);
            lines->addLine(eye, transformCoord(p[rule.second], instance.world), kGreen);
        }
    }
}

// The size of the part of the portal inside a view that passed it.
float seenThrough(const PassedView& passed, const Portal& portal) {
    Frustum sides;
    std::copy_n(passed.sides, 4, sides.planes + kLeft);
    Vector3 part[kMaxPortalPart];
    const int count = portalPartInView(portal.viewCorners.data(), sides, part);
    return count > 0 ? polygonArea(part, count) : 0.0f;
}

// Remembers the view as the one that passed the portal this frame, unless a
// view that took in more of it passed before.
void keepPassedView(MapInstance& instance, const Passage& passage, const Frustum& narrowed) {
    const uint32_t n = static_cast<uint32_t>(passage.portal);
    PassedView& kept = instance.passedViews[n];
    if (bitTest(instance.passedPortals.data(), n)) {
        if (kept.seen == kNotMeasured) kept.seen = seenThrough(kept, instance.portals[n]);
        if (kept.seen >= passage.seen) return;
    }
    bitSet(instance.passedPortals.data(), n);
    std::copy_n(narrowed.planes + kLeft, 4, kept.sides);
    kept.seen = passage.seen;
}

// Walks the instance from `area` with `view` (map space), on top of whatever
// walk of it is under way; `depth` counts the hand-offs from copy to copy that
// led here.
void walk(const FlowRun& run, MapInstance& instance, int area, const Frustum& view, int depth) {
    const int base = instance.flowDepth;
    bool ranOut = !pushStep(instance, area, -1, view);
    Passage passage;
    while (!ranOut && !instance.flowSpent && instance.flowDepth > base) {
        if (!nextPassage(instance, &passage)) {
            popStep(instance);
            continue;
        }
        if (instance.flowPassesLeft <= 0) {
            ranOut = true;
            break;
        }
        --instance.flowPassesLeft;
        Frustum narrowed;
        narrow(instance, passage, &narrowed);
        keepPassedView(instance, passage, narrowed);
        if (!pushStep(instance, passage.next, passage.portal, narrowed)) {
            ranOut = true;
            break;
        }
        if (passage.next == 0 && run.scene && instance.areaZeroIsOutside) {
            Frustum worldNarrowed;
            carryPlanes(&worldNarrowed, narrowed, transposed(instance.inverseWorld));
            handOff(run, worldNarrowed, &instance, depth + 1);
        }
    }
    while (instance.flowDepth > base) popStep(instance);
    if (!ranOut) return;
    // Out of passes: the copy is drawn whole, its area 0 with it, and where
    // that is the open space the copies seen through it may lie anywhere in view.
    markWhole(instance);
    if (instance.areaZeroIsOutside) handOff(run, run.outermost, &instance, depth + 1);
}

// Enters the instance for this frame from the area that holds the eye (given
// in its map's space), or from solid space (eyeArea < 0).
void enterFrom(const FlowRun& run, MapInstance& instance, Vector3 localEye, int eyeArea, const Frustum& worldView,
               int depth) {
    instance.localEye = localEye;
    beginFrame(instance);
    if (instance.flowSpent) return;

    // An eye in solid space of this map (outside a sealed map, inside a wall)
    // has no area to start from, yet the instance is in view: every area is
    // drawn, as when drawing everything.
    if (eyeArea < 0) {
        instance.markEveryArea();
        return;
    }

    // The transpose of the forward matrix carries world planes into map space.
    Frustum localView;
    carryPlanes(&localView, worldView, transposed(instance.world));
    walk(run, instance, eyeArea, localView, depth);
}

void enter(const FlowRun& run, MapInstance& instance, const Frustum& worldView, int depth) {
    if (!instance.map || !instance.scene || !instance.scene->camera) return;
    // The lookup is silent here; the wall report comes from the scene update's
    // own lookup of the camera.
    const Vector3 localEye = transformCoord(instance.scene->camera->position, instance.inverseWorld);
    enterFrom(run, instance, localEye, instance.map->areaHolding(localEye), worldView, depth);
}

// Hands a world-space view to every instance but `excluded` that lies in it.
// Past the depth bound, every copy in the outermost view is drawn whole.
void handOff(const FlowRun& run, const Frustum& worldView, const MapInstance* excluded, int depth) {
    if (!run.scene) return;
    for (const std::unique_ptr<MapInstance>& instance : run.scene->instances) {
        if (instance.get() == excluded || !instance->map) continue;
        if (depth <= kMaxFlowHandOffs) {
            if (inFrustum(*instance, worldView)) enter(run, *instance, worldView, depth);
        } else if (inFrustum(*instance, run.outermost)) {
            beginFrame(*instance);
            markWhole(*instance);
        }
    }
}

}  // namespace

bool inFrustum(const MapInstance& instance, const Frustum& frustum) {
    return boundsInFrustum(instance.worldBounds, frustum) != 0;
}

void startFlow(MapInstance& instance, const Frustum& worldFrustum) {
    enter(FlowRun{instance.scene, worldFrustum}, instance, worldFrustum, 0);
}

void flowFromCamera(Scene& scene, const Frustum& worldFrustum) {
    // From a room of the instance that holds the eye the flow starts there (area
    // 0 of a sealed map is such a room). From its open area 0, from solid space
    // of it, or from no instance at all, the eye may look at any instance: each
    // one in view is entered from where the eye lies in it. The area is looked
    // up afresh: the camera's area number was found before this frame's move.
    const FlowRun run{&scene, worldFrustum};
    const Camera* camera = scene.camera.get();
    MapInstance* holder = camera ? scene.instanceAt(camera->instanceIndex) : nullptr;
    const Vector3 localEye = holder ? transformCoord(camera->position, holder->inverseWorld) : Vector3{};
    const int eyeArea = holder && holder->map ? holder->map->areaHolding(localEye) : -1;
    if (eyeArea > 0 || (eyeArea == 0 && !holder->areaZeroIsOutside))
        enterFrom(run, *holder, localEye, eyeArea, worldFrustum, 0);
    else
        handOff(run, worldFrustum, nullptr, 0);
}

void flowInstances(Scene& scene, const Frustum& worldFrustum, const MapInstance* excluded) {
    handOff(FlowRun{&scene, worldFrustum}, worldFrustum, excluded, 0);
}

}  // namespace q
