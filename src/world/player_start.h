#pragma once
// Where the camera starts when the map source names a player start: standing
// on it in a placed copy, facing the way it faces.

#include "map/map_data.h"
#include "math/vector.h"
#include "world/map_instance.h"

namespace q {

// The eye (world space) of someone whose feet are at the map's player start in
// `copy`: eyeHeight above it. Meaningful only when map.hasPlayerStart.
Vector3 playerStartEye(const MapData& map, const MapInstance& copy, float eyeHeight);

// The camera yaw (radians) that looks where the player start faces in `copy`:
// its angle 0 looks along the file's +x, 90 along the file's +y.
float playerStartYaw(const MapData& map, const MapInstance& copy);

}  // namespace q
