#include "world/map_instance.h"

#include <algorithm>
#include <cstdio>

#include "map/bsp_lookup.h"

namespace q {

namespace {

size_t wordsFor(size_t bits) { return std::max<size_t>(1, (bits + 31) / 32); }

// Whether the space just beyond the map's bounds lies in area 0, at any corner.
// A map compiler leaves the outside of a sealed map solid; a map that stands
// in open space (the generated ones) has area 0 all around it, as has a map of
// one area without a tree. A map without bounds says nothing, and is taken as
// open: its views are handed on, which may draw more, never less.
bool outsideIsAreaZero(const MapData& map) {
    if (map.bounds.isEmpty()) return true;
    constexpr float kMargin = 16.0f;
    const Vector3 low = map.bounds.mins - Vector3{kMargin, kMargin, kMargin};
    const Vector3 high = map.bounds.maxs + Vector3{kMargin, kMargin, kMargin};
    for (int corner = 0; corner < 8; ++corner) {
        const Vector3 point{(corner & 1) ? high.x : low.x, (corner & 2) ? high.y : low.y,
                            (corner & 4) ? high.z : low.z};
        if (map.areaHolding(point) == 0) return true;
    }
    return false;
}

}  // namespace

void MapInstance::markEveryArea() { std::fill(visibleAreas.begin(), visibleAreas.end(), 0xffffffffu); }

void MapInstance::bindMap(MapData* newMap) {
    map = newMap;
    areas = (map && !map->areas.empty()) ? map->areas.data() : nullptr;
    portals = (map && !map->portals.empty()) ? map->portals.data() : nullptr;
    // Sized once here so that maps of any size are drawn and the frame never
    // allocates.
    visibleAreas.assign(wordsFor(map ? map->areas.size() : 0), 0u);
    passedPortals.assign(wordsFor(map ? map->portals.size() : 0), 0u);
    const size_t portalCount = map ? map->portals.size() : 0;
    heldPortals.assign(wordsFor(portalCount), 0u);
    passedViews.assign(portalCount, PassedView{});
    // A path holds every portal at most once; each hand-off that enters the
    // copy again while it is being walked starts one more path on top.
    flowSteps.assign(portalCount + kMaxFlowHandOffs + 1, FlowStep{});
    flowDepth = 0;
    areaZeroIsOutside = !map || outsideIsAreaZero(*map);
}

void MapInstance::placeInWorld() {
    world = Matrix::rotationYawPitchRoll(yaw, pitch, roll);
    world.m[3][0] = position.x;
    world.m[3][1] = position.y;
    world.m[3][2] = position.z;
    inverseWorld = inverse(world).value_or(inverseWorld);

    // A map without brushes has no extent: turning its empty bounds would make a
    // box of 20000 units that every camera position touches.
    if (!map || map->bounds.isEmpty()) return;
    worldBounds.grow(map->bounds.transformed(world));
}

int MapInstance::areaAt(Vector3 point, bool reportSolid) const {
    if (!map) return -1;
    const Vector3 local = transformCoord(point, inverseWorld);
    int area = -1;
    const Descent result = descendAreaTree(*map, 0, local, &area);
    if (result == Descent::InArea) return area;
    if (result == Descent::Solid && !reportSolid) return -1;
    char where[32];
    std::snprintf(where, sizeof where, "instance %d", index);
    reportDescent(result, where);
    return -1;
}

}  // namespace q
