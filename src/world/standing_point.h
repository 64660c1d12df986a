#pragma once
// Where a person can stand in an area of a map, found from the map's own data:
// above the upward-facing surfaces of the area, largest first, at a point the
// area tree puts in that area and not in solid space, inside the map: within
// its bounds, and on a map without an area tree (which puts every point in
// area 0, the top of its roof too) with the map's own geometry above it.

#include <cstdint>
#include <vector>

#include "map/map_data.h"
#include "math/vector.h"

namespace q {

// The upward-facing triangles of every area's surfaces and every triangle
// that is not upright, of any area (map space), collected from a map.
class AreaFloors {
public:
    struct Floor {
        Vector3 centre;          // of the triangle
        float size = 0.0f;       // the triangle's area
        float surfaceSize = 0.0f;  // the upward-facing area of its whole surface
    };

    // Adds every area's surfaces of the map.
    void collect(const MapData& map);
    // Adds one surface of `area`.
    void surfaceRead(int area, const MapVertex* vertices, int vertexCount, const uint16_t* indices, int indexCount);

    // The floors of one area, in the order read; empty for an area without any.
    const std::vector<Floor>& of(int area) const;
    // True when some area's surface passes above the point: it is under a
    // ceiling, a floor of a storey above, or a roof, not on top of the map.
    bool coveredAbove(Vector3 point) const;

private:
    struct Triangle {
        Vector3 a, b, c;
    };
    std::vector<std::vector<Floor>> byArea_;
    std::vector<Triangle> leaning_;  // every triangle not upright, floors and ceilings alike
};

// The eye of someone standing in `area`: eyeHeight above the centre of a floor
// triangle of that area, tried on the largest upward-facing surface first and
// its largest triangles first, the first whose eye and feet the area tree puts
// in `area` and whose eye is inside the map (as above). Map space. False when
// the area has no such place (or no such area).
bool findStandingPoint(const MapData& map, const AreaFloors& floors, int area, float eyeHeight, Vector3* eye);

// Up to `most` eyes standing in `area`, spread over its floors: the one
// findStandingPoint gives first, then each next the floor's eye farthest from
// those taken (none closer than a step to another). *refused counts the
// area's floor triangles over which no one can stand. Map space.
std::vector<Vector3> standingPointsAcross(const MapData& map, const AreaFloors& floors, int area, float eyeHeight,
                                          size_t most, int* refused);

// The yaw (0 looks along +z, a quarter turn along +x) that looks from the eye
// into `area` rather than at the nearest wall: towards the middle of the
// area's widest portal, or, with no portal, towards the middle of its floors
// (the farthest floor when the eye stands at that middle). 0 when the area
// has neither. Map space.
float yawIntoArea(const MapData& map, const AreaFloors& floors, int area, Vector3 eye);

}  // namespace q
