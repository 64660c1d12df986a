#include "map/bsp_lookup.h"

#include <cstddef>

#include "map/map_data.h"
#include "platform/report.h"
#include "platform/report_words.h"

namespace q {

// Walks the tree from `node`. A map's tree comes from its file, so the walk
// takes no more steps than there are nodes (a cycle cannot hold it) and never
// follows a child outside the array; a leaf must name an area the map has.
Descent descendAreaTree(const MapData& map, int node, Vector3 point, int* area) {
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

bool reportDescent(Descent result, const char* where) {
    if (result == Descent::Solid) report(kInsideWallText, kInsideWallCaption, where);
    if (result == Descent::Broken) warn("the area tree of the map leads nowhere; no area for the point");
    return result == Descent::InArea;
}

bool MapData::pointArea(int node, Vector3 point, int* area) const {
    return reportDescent(descendAreaTree(*this, node, point, area), nullptr);
}

int MapData::areaHolding(Vector3 point) const {
    int area = -1;
    return descendAreaTree(*this, 0, point, &area) == Descent::InArea ? area : -1;
}

}  // namespace q
