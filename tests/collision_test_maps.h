#pragma once
// Small collision maps built directly as records, for the trace and movement tests.

#include <cmath>

#include "map/map_data.h"
#include "math/matrix.h"
#include "world/map_instance.h"

namespace q::testmaps {

// An axis-aligned box brush: six sides, each plane keeping its distance from the
// origin (inside where a*x + b*y + c*z - d <= 0).
inline Brush boxBrush(Vector3 mins, Vector3 maxs) {
    Brush b;
    b.bounds = {mins, maxs};
    b.planes = {
        {0, 1, 0, maxs.y},  {0, -1, 0, -mins.y},  // top, bottom
        {1, 0, 0, maxs.x},  {-1, 0, 0, -mins.x},  // +x, -x
        {0, 0, 1, maxs.z},  {0, 0, -1, -mins.z},  // +z, -z
    };
    return b;
}

// Every brush in one leaf: the simplest tree the reader makes.
inline void addSingleLeafTree(MapData* map) {
    CollisionNode leaf;
    for (int i = 0; i < static_cast<int>(map->brushes.size()); ++i) leaf.brushIndices.push_back(i);
    map->collisionNodes.push_back(leaf);
    map->collisionRoot = 0;
}

// Places an instance the way the scene does: rotation, then translation.
inline void place(MapInstance* instance, MapData* map, Vector3 position, float yaw) {
    instance->map = map;
    instance->position = position;
    instance->yaw = yaw;
    instance->world = Matrix::rotationYawPitchRoll(yaw, 0.0f, 0.0f);
    instance->world.m[3][0] = position.x;
    instance->world.m[3][1] = position.y;
    instance->world.m[3][2] = position.z;
    instance->inverseWorld = inverse(instance->world).value();
}

}  // namespace q::testmaps
