#include "vis/frustum.h"

#include "math/matrix.h"
#include "render/graphics_device.h"
#include "world/camera.h"
#include "world/scene.h"

namespace q {

namespace {

constexpr uint32_t kRed = 0xffff0000u;

// Single-bit masks by bit number within a word.
constexpr uint32_t kBitMasks[32] = {
    1u << 0,  1u << 1,  1u << 2,  1u << 3,  1u << 4,  1u << 5,  1u << 6,  1u << 7,
    1u << 8,  1u << 9,  1u << 10, 1u << 11, 1u << 12, 1u << 13, 1u << 14, 1u << 15,
    1u << 16, 1u << 17, 1u << 18, 1u << 19, 1u << 20, 1u << 21, 1u << 22, 1u << 23,
    1u << 24, 1u << 25, 1u << 26, 1u << 27, 1u << 28, 1u << 29, 1u << 30, 1u << 31,
};

}  // namespace

uint32_t classifyPoints(const Vector3* points, const Frustum& frustum, int count) {
    uint32_t mask = 0xffffffffu;
    for (int slot = kNear; slot <= kBottom; ++slot) {
        int outside = 0;
        for (int j = 0; j < count; ++j) {
            if (frustum[slot].distance(points[j]) > 0.0f) {
                ++outside;
                if (slot >= kLeft) mask &= ~kBitMasks[4 * (slot - kLeft) + j];
            }
        }
        // Everything beyond one plane: nothing of it can be seen, whatever the
        // other planes say.
        if (outside == count) return 0;
    }
    return mask;
}

uint32_t boundsInFrustum(const Bounds& bounds, const Frustum& frustum) {
    const Vector3& lo = bounds.mins;
    const Vector3& hi = bounds.maxs;
    const Vector3 corners[8] = {
        {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z},
        {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z},
    };
    return classifyPoints(corners, frustum, 8);
}

void buildFrustum(const Camera& camera, Frustum* out, const Matrix& world) {
    const Scene* scene = camera.scene;
    const Matrix& view = camera.view;
    if (camera.collectingLines && scene && scene->graphics) {
        // The camera's own view volume, drawn from the eye to the far corners.
        const Matrix placement = inverse(view).value_or(Matrix::identity());
        for (const Vector3& corner : camera.farCorners)
            scene->graphics->addLine(camera.position, transformCoord(corner, placement), kRed);
    }

    const Matrix worldView = world * view;
    const Matrix toSpace = inverse(worldView).value_or(Matrix::identity());
    Vector3 corners[4];
    for (int i = 0; i < 4; ++i) corners[i] = transformCoord(camera.farCorners[i], toSpace);

    const Matrix inverseWorld = inverse(world).value_or(Matrix::identity());
    const Vector3 eye = transformCoord(camera.position, inverseWorld);
    const Vector3 dir = normalized(transformNormal(camera.viewDir, inverseWorld));

    // The near plane sits behind the eye so that geometry just behind it still
    // counts as in view.
    out->planes[kNear] = Plane::fromPointNormal(eye - 4.0f * dir, -dir);
    out->planes[kFar] = Plane::fromPointNormal(eye + 20000.0f * dir, dir);

    // Point orders chosen so that every normal points out of the volume.
    out->planes[kLeft] = Plane::fromPoints(eye, corners[0], corners[2]);
    out->planes[kRight] = Plane::fromPoints(eye, corners[3], corners[1]);
    out->planes[kTop] = Plane::fromPoints(eye, corners[2], corners[3]);
    out->planes[kBottom] = Plane::fromPoints(eye, corners[1], corners[0]);
}

}  // namespace q
