#include "app/camera_place.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "world/camera.h"

namespace q {

namespace {

double wrapAngle(float radians) {
    constexpr double kTurn = 2.0 * std::numbers::pi;
    double wrapped = std::remainder(static_cast<double>(radians), kTurn);
    if (wrapped <= -std::numbers::pi) wrapped += kTurn;
    // Rounded to a float here, so that the printed number is the float read back.
    return static_cast<double>(static_cast<float>(wrapped));
}

}  // namespace

void formatCameraPlace(const Camera& camera, char* out, size_t size) {
    std::snprintf(out, size, "--start %.9g %.9g %.9g --look %.9g %.9g", static_cast<double>(camera.position.x),
                  static_cast<double>(camera.position.y), static_cast<double>(camera.position.z),
                  wrapAngle(camera.yaw), wrapAngle(camera.pitch));
}

}  // namespace q
