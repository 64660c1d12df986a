#include "move/collision_trace.h"

#include <cmath>

#include "map/map_data.h"
#include "world/map_instance.h"

namespace q {

#ifdef QUORVANE_TRACE_STATS
uint64_t g_traceSweeps = 0;
uint64_t g_traceBrushClips = 0;
#endif

namespace {

// The stopped box is kept this far in front of the plane it hit.
constexpr float kStandOff = 0.03125f;
// Fractions this close to 0 or 1 are taken as 0 or 1.
constexpr float kSnapLow = 0.001f;
constexpr float kSnapHigh = 0.999f;
// How far past the hit plane the contact point is pushed before it is tested
// against the brush's widened bounds.
constexpr float kContactPush = 0.0625f;
// Larger than any fraction: no candidate yet.
constexpr float kNoCandidate = 10.0f;
// Recursion happens only where the swept box straddles a split, so a sound tree
// stays far below this; it only keeps a degenerate tree from exhausting the stack.
constexpr int kMaxSplitDepth = 512;

// One sweep under way: the box and what it has hit so far.
struct Sweep {
    const MapData& map;
    Vector3 extents;
    TraceResult result;
};

void walk(Sweep& sweep, int index, Vector3 s, Vector3 e, int depth);
void clipBrush(Sweep& sweep, int index, Vector3 s, Vector3 e);

// The solid entity models' brushes stop the box as the world's do. Each is
// swept in the entity's own space: the segment carried there, the box's half
// extents turned with it (the turn keeps the box's axes, so it stays a box),
// and a hit's normal carried back. An entity is a fraction along the same
// segment, so the nearest hit of all wins.
void sweepSolidEntities(Sweep& sweep, Vector3 start, Vector3 end) {
    const Vector3 ext = sweep.extents;
    Bounds swept;
    swept.mins = {std::fmin(start.x, end.x) - ext.x, std::fmin(start.y, end.y) - ext.y,
                  std::fmin(start.z, end.z) - ext.z};
    swept.maxs = {std::fmax(start.x, end.x) + ext.x, std::fmax(start.y, end.y) + ext.y,
                  std::fmax(start.z, end.z) + ext.z};
    const size_t nodeCount = sweep.map.collisionNodes.size();
    for (const MapData::SolidEntity& solid : sweep.map.solidEntities) {
        if (Bounds::disjoint(swept, solid.bounds)) continue;
        const EntityModel& model = sweep.map.entityModels[static_cast<size_t>(solid.model)];
        if (model.collisionRoot < 0 || static_cast<size_t>(model.collisionRoot) >= nodeCount) continue;
        const Matrix& turn = model.placement;
        Sweep local{sweep.map, {}, sweep.result};
        for (int j = 0; j < 3; ++j)
            local.extents[j] = std::fabs(turn.m[j][0]) * ext.x + std::fabs(turn.m[j][1]) * ext.y +
                               std::fabs(turn.m[j][2]) * ext.z;
        walk(local, model.collisionRoot, transformCoord(start, model.inversePlacement),
             transformCoord(end, model.inversePlacement), 0);
        if (local.result.fraction < sweep.result.fraction) {
            sweep.result.fraction = local.result.fraction;
            sweep.result.normal = transformNormal(local.result.normal, turn);
        }
    }
}

}  // namespace

bool pointInBounds(Vector3 point, Vector3 lo, Vector3 hi) {
    return lo.x <= point.x && point.x <= hi.x && lo.y <= point.y && point.y <= hi.y &&
           lo.z <= point.z && point.z <= hi.z;
}

TraceResult trace(const MapInstance& instance, Vector3 start, Vector3* end, Vector3 extents) {
    const Vector3 localStart = transformCoord(start, instance.inverseWorld);
    const Vector3 localEnd = transformCoord(*end, instance.inverseWorld);
    TraceResult result;
    if (instance.map) result = traceBox(*instance.map, localStart, localEnd, extents);

    const float f = result.fraction;
    end->x = start.x + f * (end->x - start.x);
    end->y = start.y + f * (end->y - start.y);
    end->z = start.z + f * (end->z - start.z);

    // Only a box that cannot move at all hands its blocking normal to the
    // movement step, which needs it in world space to step up and slide.
    if (f == 0.0f) result.normal = normalized(transformNormal(result.normal, instance.world));
    return result;
}

TraceResult traceBox(const MapData& map, Vector3 start, Vector3 end, Vector3 extents) {
#ifdef QUORVANE_TRACE_STATS
    ++g_traceSweeps;
#endif
    Sweep sweep{map, extents, {}};
    // A map without collision nodes has nothing to stop the box.
    if (map.collisionRoot >= 0 && static_cast<size_t>(map.collisionRoot) < map.collisionNodes.size())
        walk(sweep, map.collisionRoot, start, end, 0);
    if (!map.solidEntities.empty()) sweepSolidEntities(sweep, start, end);
    return sweep.result;
}

namespace {

void walk(Sweep& sweep, int index, Vector3 s, Vector3 e, int depth) {
    const auto& nodes = sweep.map.collisionNodes;
    // Children are always stored before their parent, so a child index must be
    // smaller than its parent's: anything else would loop, and is not followed.
    auto validChild = [&](int child, int parent) { return child >= 0 && child < parent; };
    if (index < 0 || static_cast<size_t>(index) >= nodes.size()) return;

    for (;;) {
        const CollisionNode& node = nodes[static_cast<size_t>(index)];
        if (!node.brushIndices.empty()) {
            for (int brush : node.brushIndices) clipBrush(sweep, brush, s, e);
            return;
        }
        if (node.axis < 0 || node.axis > 2) return;

        const float r = std::fabs(sweep.extents[node.axis]);
        const float hi = node.distance + r;
        const float lo = node.distance - r;
        const float sa = s[node.axis];
        const float ea = e[node.axis];

        int next;
        if (sa >= hi && ea >= hi) {
            next = node.frontChild;
        } else if (sa <= lo && ea <= lo) {
            next = node.backChild;
        } else {
            // The swept box may lie on both sides: the side the sweep starts on first.
            const bool startsInFront = sa >= hi;
            const int first = startsInFront ? node.frontChild : node.backChild;
            next = startsInFront ? node.backChild : node.frontChild;
            if (validChild(first, index) && depth < kMaxSplitDepth) walk(sweep, first, s, e, depth + 1);
        }
        if (!validChild(next, index)) return;
        index = next;
    }
}

void clipBrush(Sweep& sweep, int index, Vector3 s, Vector3 e) {
    const std::vector<Brush>& brushes = sweep.map.brushes;
    if (index < 0 || static_cast<size_t>(index) >= brushes.size()) return;
#ifdef QUORVANE_TRACE_STATS
    ++g_traceBrushClips;
#endif
    const Brush& brush = brushes[static_cast<size_t>(index)];
    const Vector3 ext = sweep.extents;

    float t = kNoCandidate;
    const Plane* hitPlane = nullptr;
    float hitReach = 0.0f;
    for (const Plane& plane : brush.planes) {
        const float r = std::fabs(plane.a * ext.x) + std::fabs(plane.b * ext.y) +
                        std::fabs(plane.c * ext.z);
        const float d1 = plane.a * s.x + plane.b * s.y + plane.c * s.z - plane.d - r;
        const float d2 = plane.a * e.x + plane.b * e.y + plane.c * e.z - plane.d - r;
        // Wholly in front of one side for the whole sweep: the brush is out of reach.
        if (d1 > 0.0f && d2 > 0.0f) return;
        if (d1 < 0.0f || d2 > 0.0f) continue;

        // The sweep crosses this side from the front. d1 - d2 is 0 only when both
        // are 0: a box touching the side and moving along it counts as stuck.
        const float span = d1 - d2;
        t = span == 0.0f ? 0.0f : (d1 - kStandOff) / span;
        if (t < kSnapLow) {
            t = 0.0f;
        } else if (t > kSnapHigh) {
            t = 1.0f;
        }
        // The last crossing side in the brush's order decides, whatever its t.
        hitPlane = &plane;
        hitReach = r;
    }

    if (!(sweep.result.fraction > t) || hitPlane == nullptr) return;
    const Vector3 normal = hitPlane->normal();
    const Vector3 contact = s + t * (e - s);
    const Vector3 pushed = contact - normal * (hitReach + kContactPush);
    if (pointInBounds(pushed, brush.bounds.mins - ext, brush.bounds.maxs + ext)) {
        sweep.result.fraction = t;
        sweep.result.normal = normal;
    }
}

}  // namespace

}  // namespace q
