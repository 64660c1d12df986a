#include "world/camera.h"

namespace q {

namespace {

constexpr float kFieldOfView = 1.33f;  // vertical, radians
constexpr float kAspect = 1.0f;
constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 20000.0f;
const Vector3 kHalfExtents{8.0f, 32.0f, 8.0f};

}  // namespace

Camera::Camera() {
    box.setEmpty();
    box.maxs = kHalfExtents;
    projection = Matrix::perspective(kFieldOfView, kAspect, kNearPlane, kFarPlane);

    // The far plane's corners in view space: the clip-space corners at depth 1
    // carried back through the projection.
    const Matrix inverseProjection = inverse(projection).value_or(Matrix{});
    const Vector3 clipCorners[4] = {{-1, -1, 1}, {1, -1, 1}, {-1, 1, 1}, {1, 1, 1}};
    for (int i = 0; i < 4; ++i) farCorners[i] = transformCoord(clipCorners[i], inverseProjection);
}

}  // namespace q
