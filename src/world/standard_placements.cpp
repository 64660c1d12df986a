#include "world/standard_placements.h"

#include <algorithm>

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

}  // namespace

void placeStandardInstance(MapInstance& instance, int index) {
    const Placement& placement = kPlacements[std::clamp(index, 0, kStandardInstanceCount - 1)];
    instance.position = placement.position;
    instance.yaw = placement.yaw;
    instance.pitch = placement.pitch;
    instance.roll = placement.roll;
    instance.placeInWorld();
}

int placeStandardInstances(Scene& scene, MapData* map, int count) {
    const int placed = std::clamp(count, 0, kStandardInstanceCount);
    for (int i = 0; i < placed; ++i) placeStandardInstance(*scene.addInstance(map), i);
    return placed;
}

}  // namespace q
