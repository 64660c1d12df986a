#pragma once
// Where a person can stand in an area of a map, found from the map's own data:
// above the upward-facing surfaces of the area, largest first, at a point the
// area tree puts in that area and not in solid space.

#include <cstdint>
#include <vector>

#include "map/map_data.h"
#include "math/vector.h"

namespace q {

// Collects, while a map is read, the upward-facing triangles of every area's
// surfaces (map space). Handed to the reader as its surface observer.
class AreaFloors : public SurfaceObserver {
public:
    struct Floor {
        Vector3 centre;          // of the triangle
        float size = 0.0f;       // the triangle's area
        float surfaceSize = 0.0f;  // the upward-facing area of its whole surface
    };

    void surfaceRead(int area, const MapVertex* vertices, int vertexCount, const uint16_t* indices,
                     int indexCount) override;

    // The floors of one area, in the order read; empty for an area without any.
    const std::vector<Floor>& of(int area) const;

private:
    std::vector<std::vector<Floor>> byArea_;
};

// The eye of someone standing in `area`: eyeHeight above the centre of a floor
// triangle of that area, tried on the largest upward-facing surface first and
// its largest triangles first, the first whose eye and feet the area tree puts
// in `area`. Map space. False when the area has no such place (or no such
// area).
bool findStandingPoint(const MapData& map, const AreaFloors& floors, int area, float eyeHeight, Vector3* eye);

}  // namespace q
