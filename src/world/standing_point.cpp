#include "world/standing_point.h"

#include <algorithm>
#include <cmath>

namespace q {

namespace {

// A triangle counts as floor when it leans at most 45 degrees from level.
constexpr float kFloorNormalY = 0.7071f;
// The feet are checked this far above the floor, clear of its own plane.
constexpr float kFeetAboveFloor = 1.0f;
// Triangles leaning less than this from upright cover nothing below them.
constexpr float kLeaningNormalY = 0.01f;

// The height at (x, z) of the triangle's plane when (x, z) lies within the
// triangle seen from above; false outside it.
bool heightOver(Vector3 a, Vector3 b, Vector3 c, float x, float z, float* y) {
    const float area = (b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z);
    if (area == 0.0f) return false;
    const float u = ((b.x - x) * (c.z - z) - (c.x - x) * (b.z - z)) / area;
    const float v = ((c.x - x) * (a.z - z) - (a.x - x) * (c.z - z)) / area;
    const float w = 1.0f - u - v;
    if (!(u >= 0.0f && v >= 0.0f && w >= 0.0f)) return false;
    *y = u * a.y + v * b.y + w * c.y;
    return true;
}

// Inside the map: within its brushes' bounds (when it has brushes) and, on a
// map without an area tree, where nothing says what is open space, under its
// own geometry.
bool enclosedByMap(const MapData& map, const AreaFloors& floors, Vector3 eye) {
    if (!map.bounds.isEmpty() && Bounds::disjoint(Bounds::aroundPoint(eye, {}), map.bounds)) return false;
    return !map.bspNodes.empty() || floors.coveredAbove(eye);
}

// The eye over a floor of `area`, when the area tree puts both the eye and
// the feet in that area and the eye is inside the map.
bool standsOn(const MapData& map, const AreaFloors& floors, int area, const AreaFloors::Floor& floor,
              float eyeHeight, Vector3* eye) {
    const Vector3 feet = floor.centre + Vector3{0.0f, kFeetAboveFloor, 0.0f};
    const Vector3 point = floor.centre + Vector3{0.0f, eyeHeight, 0.0f};
    if (map.areaHolding(feet) != area || map.areaHolding(point) != area || !enclosedByMap(map, floors, point))
        return false;
    *eye = point;
    return true;
}

// Places closer than this are one place to stand (a little over the camera's width).
constexpr float kDistinctPlaces = 24.0f;

float apart(Vector3 a, Vector3 b) { return std::sqrt(dot(b - a, b - a)); }

}  // namespace

void AreaFloors::collect(const MapData& map) {
    for (size_t area = 0; area < map.areas.size(); ++area)
        for (const SurfaceGroup& group : map.areas[area].surfaceGroups)
            for (const Surface& surface : group.surfaces)
                surfaceRead(static_cast<int>(area), map.verticesOf(surface), surface.vertexCount,
                            map.indicesOf(surface), surface.indexCount);
}

void AreaFloors::surfaceRead(int area, const MapVertex* vertices, int vertexCount, const uint16_t* indices,
                             int indexCount) {
    if (area < 0) return;
    if (static_cast<size_t>(area) >= byArea_.size()) byArea_.resize(static_cast<size_t>(area) + 1);
    std::vector<Floor>& floors = byArea_[static_cast<size_t>(area)];
    const size_t first = floors.size();
    float surfaceSize = 0.0f;
    for (int t = 0; t + 2 < indexCount; t += 3) {
        const uint16_t i0 = indices[t], i1 = indices[t + 1], i2 = indices[t + 2];
        if (i0 >= vertexCount || i1 >= vertexCount || i2 >= vertexCount) continue;  // the reader keeps them below
        const MapVertex& a = vertices[i0];
        const MapVertex& b = vertices[i1];
        const MapVertex& c = vertices[i2];
        const Vector3 across = cross(b.position - a.position, c.position - a.position);
        const float twiceSize = std::sqrt(dot(across, across));
        if (!(twiceSize > 0.0f)) continue;  // degenerate or not finite
        // Which side is up is the side the file's normals face: the winding
        // alone does not say.
        const Vector3 facing = a.normal + b.normal + c.normal;
        const float up = std::fabs(across.y) / twiceSize;
        if (up >= kLeaningNormalY) leaning_.push_back({a.position, b.position, c.position});
        if (up < kFloorNormalY || !(facing.y > 0.0f)) continue;
        const float size = 0.5f * twiceSize;
        surfaceSize += size;
        floors.push_back({(a.position + b.position + c.position) * (1.0f / 3.0f), size, 0.0f});
    }
    for (size_t i = first; i < floors.size(); ++i) floors[i].surfaceSize = surfaceSize;
}

const std::vector<AreaFloors::Floor>& AreaFloors::of(int area) const {
    static const std::vector<Floor> kNone;
    if (area < 0 || static_cast<size_t>(area) >= byArea_.size()) return kNone;
    return byArea_[static_cast<size_t>(area)];
}

bool AreaFloors::coveredAbove(Vector3 point) const {
    for (const Triangle& t : leaning_) {
        float y = 0.0f;
        if (heightOver(t.a, t.b, t.c, point.x, point.z, &y) && y > point.y) return true;
    }
    return false;
}

bool findStandingPoint(const MapData& map, const AreaFloors& floors, int area, float eyeHeight, Vector3* eye) {
    if (area < 0 || static_cast<size_t>(area) >= map.areas.size()) return false;
    std::vector<AreaFloors::Floor> order = floors.of(area);
    std::stable_sort(order.begin(), order.end(), [](const AreaFloors::Floor& a, const AreaFloors::Floor& b) {
        if (a.surfaceSize != b.surfaceSize) return a.surfaceSize > b.surfaceSize;
        return a.size > b.size;
    });
    for (const AreaFloors::Floor& floor : order)
        if (standsOn(map, floors, area, floor, eyeHeight, eye)) return true;
    return false;
}

std::vector<Vector3> standingPointsAcross(const MapData& map, const AreaFloors& floors, int area, float eyeHeight,
                                          size_t most, int* refused) {
    std::vector<Vector3> places;
    *refused = 0;
    Vector3 first;
    if (most == 0 || !findStandingPoint(map, floors, area, eyeHeight, &first)) {
        *refused = static_cast<int>(floors.of(area).size());
        return places;
    }
    std::vector<Vector3> candidates;
    for (const AreaFloors::Floor& floor : floors.of(area)) {
        Vector3 eye;
        if (standsOn(map, floors, area, floor, eyeHeight, &eye)) candidates.push_back(eye);
        else ++*refused;
    }
    // Farthest first: each next place is the candidate farthest from every
    // place taken, so a long hall is sampled along its length and a small
    // room is not sampled twice over the same spot.
    places.push_back(first);
    std::vector<float> nearest(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) nearest[i] = apart(candidates[i], first);
    while (places.size() < most) {
        size_t best = candidates.size();
        for (size_t i = 0; i < candidates.size(); ++i)
            if (nearest[i] >= kDistinctPlaces && (best == candidates.size() || nearest[i] > nearest[best])) best = i;
        if (best == candidates.size()) break;
        places.push_back(candidates[best]);
        for (size_t i = 0; i < candidates.size(); ++i)
            nearest[i] = std::min(nearest[i], apart(candidates[i], candidates[best]));
    }
    return places;
}

namespace {

// Horizontal: the eye's height does not change where it looks across.
float yawTowards(Vector3 eye, Vector3 target) { return std::atan2(target.x - eye.x, target.z - eye.z); }
float distanceAcross(Vector3 a, Vector3 b) { return std::hypot(b.x - a.x, b.z - a.z); }

constexpr float kTooCloseToFace = 1.0f;

}  // namespace

float yawIntoArea(const MapData& map, const AreaFloors& floors, int area, Vector3 eye) {
    if (area < 0 || static_cast<size_t>(area) >= map.areas.size()) return 0.0f;
    const Portal* widest = nullptr;
    float widestSize = -1.0f;
    for (int index : map.areas[static_cast<size_t>(area)].portalIndices) {
        if (index < 0 || static_cast<size_t>(index) >= map.portals.size()) continue;
        const Portal& portal = map.portals[static_cast<size_t>(index)];
        if (portal.points.empty()) continue;
        // Its widest span: the farthest two of its points.
        float size = 0.0f;
        for (const Vector3& a : portal.points)
            for (const Vector3& b : portal.points) size = std::max(size, std::sqrt(dot(b - a, b - a)));
        if (size > widestSize) {
            widestSize = size;
            widest = &portal;
        }
    }
    if (widest) {
        Vector3 middle;
        for (const Vector3& point : widest->points) middle = middle + point;
        middle = middle * (1.0f / static_cast<float>(widest->points.size()));
        if (distanceAcross(eye, middle) >= kTooCloseToFace) return yawTowards(eye, middle);
    }

    const std::vector<AreaFloors::Floor>& list = floors.of(area);
    Vector3 middle;
    float total = 0.0f;
    for (const AreaFloors::Floor& floor : list) {
        middle = middle + floor.centre * floor.size;
        total += floor.size;
    }
    if (total <= 0.0f) return 0.0f;
    middle = middle * (1.0f / total);
    if (distanceAcross(eye, middle) >= kTooCloseToFace) return yawTowards(eye, middle);
    const AreaFloors::Floor* farthest = nullptr;
    float farthestDistance = kTooCloseToFace;
    for (const AreaFloors::Floor& floor : list) {
        const float distance = distanceAcross(eye, floor.centre);
        if (distance > farthestDistance) {
            farthestDistance = distance;
            farthest = &floor;
        }
    }
    return farthest ? yawTowards(eye, farthest->centre) : 0.0f;
}

}  // namespace q
