// Which area of a map holds a point: a descent of the map's area tree.

#include <cstddef>
#include <cstdio>

#include "map/map_data.h"
#include "platform/report.h"
#include "world/map_instance.h"

namespace q {

namespace {

enum class Descent { InArea, Solid, Broken };

// Walks the tree from `node`. A map's tree comes from its file, so the walk
// takes no more steps than there are nodes (a cycle cannot hold it) and never
// follows a child outside the array; a leaf must name an area the map has.
Descent descend(const MapData& map, int node, Vector3 point, int* area) {
    const std::vector<BspNode>& nodes = map.bspNodes;
    const size_t nodeCount = nodes.size();
    if (nodeCount == 0) {
        // A map of one area is written without a tree: all of space is that area.
        if (map.areas.empty()) return Descent::Broken;
        *area = 0;
        return Descent::InArea;
    }
    for (size_t steps = 0; steps < nodeCount; ++steps) {
        if (node < 0 || static_cast<size_t>(node) >= nodeCount) return Descent::Broken;
        const BspNode& n = nodes[node];
        const Plane& p = n.plane;
        const float s = p.c * point.z + p.b * point.y + p.a * point.x + p.d;
        // On the plane, or a distance that is not a number, goes to the positive side.
        const int child = (s < 0.0f) ? n.negativeChild : n.positiveChild;
        if (child < 0) {
            const int leaf = -1 - child;
            if (static_cast<size_t>(leaf) >= map.areas.size()) return Descent::Broken;
            *area = leaf;
            return Descent::InArea;
        }
        if (child == 0) return Descent::Solid;
        node = child;
    }
    return Descent::Broken;
}

bool finish(Descent result, const char* where) {
    if (result == Descent::Solid) report("我在墙里!", "error", where);
    if (result == Descent::Broken) warn("the area tree of the map leads nowhere; no area for the point");
    return result == Descent::InArea;
}

}  // namespace

bool MapData::pointArea(int node, Vector3 point, int* area) const {
    return finish(descend(*this, node, point, area), nullptr);
}

int MapData::areaHolding(Vector3 point) const {
    int area = -1;
    return descend(*this, 0, point, &area) == Descent::InArea ? area : -1;
}

int MapInstance::findArea(Vector3 point) const {
    return map ? map->areaHolding(transformCoord(point, inverseWorld)) : -1;
}

int MapInstance::areaAt(Vector3 point) const {
    if (!map) return -1;
    const Vector3 local = transformCoord(point, inverseWorld);
    int area = -1;
    const Descent result = descend(*map, 0, local, &area);
    if (result == Descent::InArea) return area;
    char where[32];
    std::snprintf(where, sizeof where, "instance %d", index);
    finish(result, where);
    return -1;
}

}  // namespace q
