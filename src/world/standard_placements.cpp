#include "world/standard_placements.h"

#include <algorithm>
#include <cmath>

#include "world/scene.h"

namespace q {

namespace {

struct Placement {
    Vector3 position;
    float yaw, pitch, roll;
};

// The yaw of 10 is in radians: two of the copies are turned by about 573 degrees.
constexpr Placement kPlacements[kStandardInstanceCount] = {
    {{0.0f, -64.0f, 0.0f}, 0.0f, 0.0f, 0.0f},
    {{4000.0f, -64.0f, 4000.0f}, 10.0f, 0.0f, 0.0f},
    {{-4000.0f, -64.0f, -4000.0f}, 0.0f, 0.0f, 0.0f},
    {{4000.0f, -64.0f, -4000.0f}, 0.0f, 0.0f, 0.0f},
    {{-4000.0f, -64.0f, 4000.0f}, 10.0f, 0.0f, 0.0f},
};

// The middle copy and each corner copy are this far apart along both x and
// z, the corners twice as far along one of them: copies whose extents across
// the ground, however they are turned, fit within it have bounds that do not
// meet, so the copy that holds the camera is never in doubt.
constexpr float kNearestCopies = 4000.0f;

}  // namespace

float copySpread(const MapData& map) {
    if (map.bounds.isEmpty()) return 1.0f;
    // The farthest the map reaches from its own origin across the ground,
    // whichever way a copy is turned about the vertical.
    const Bounds& b = map.bounds;
    const float x = std::max(std::fabs(b.mins.x), std::fabs(b.maxs.x));
    const float z = std::max(std::fabs(b.mins.z), std::fabs(b.maxs.z));
    const float needed = 2.0f * std::sqrt(x * x + z * z) + kCopyMargin;
    return needed <= kNearestCopies ? 1.0f : needed / kNearestCopies;
}

void placeStandardInstance(MapInstance& instance, int index, float spread) {
    const Placement& placement = kPlacements[std::clamp(index, 0, kStandardInstanceCount - 1)];
    instance.position = {placement.position.x * spread, placement.position.y, placement.position.z * spread};
    instance.yaw = placement.yaw;
    instance.pitch = placement.pitch;
    instance.roll = placement.roll;
    instance.placeInWorld();
}

int placeStandardInstances(Scene& scene, MapData* map, int count) {
    const int placed = std::clamp(count, 0, kStandardInstanceCount);
    const float spread = map ? copySpread(*map) : 1.0f;
    for (int i = 0; i < placed; ++i) placeStandardInstance(*scene.addInstance(map), i, spread);
    return placed;
}

}  // namespace q
