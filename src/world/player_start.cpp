#include "world/player_start.h"

#include <numbers>

namespace q {

Vector3 playerStartEye(const MapData& map, const MapInstance& copy, float eyeHeight) {
    return transformCoord(map.playerStart + Vector3{0.0f, eyeHeight, 0.0f}, copy.world);
}

float playerStartYaw(const MapData& map, const MapInstance& copy) {
    // The camera at yaw 0 looks along map +z, the file's +y (an angle of 90);
    // its yaw turns from there towards +x (an angle of 0). The copy's own yaw
    // turns the view with the map.
    constexpr float kQuarterTurn = std::numbers::pi_v<float> / 2.0f;
    const float angle = map.playerStartAngle * (std::numbers::pi_v<float> / 180.0f);
    return kQuarterTurn - angle + copy.yaw;
}

}  // namespace q
