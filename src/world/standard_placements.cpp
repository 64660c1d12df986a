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

int placeStandardInstances(Scene& scene, MapData* map, int count) {
    const int placed = std::clamp(count, 0, kStandardInstanceCount);
    for (int i = 0; i < placed; ++i) {
        MapInstance* instance = scene.addInstance(map);
        instance->position = kPlacements[i].position;
        instance->yaw = kPlacements[i].yaw;
        instance->pitch = kPlacements[i].pitch;
        instance->roll = kPlacements[i].roll;
        instance->placeInWorld();
    }
    return placed;
}

}  // namespace q
