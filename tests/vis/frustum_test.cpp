#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "math/matrix.h"
#include "world/camera.h"
#include "vis/frustum.h"
#include "vis_test_maps.h"

namespace q {
namespace {

using testmaps::aimCamera;

void expectPlane(const Plane& p, float a, float b, float c, float d, float tolerance = 1e-4f) {
    EXPECT_NEAR(p.a, a, tolerance);
    EXPECT_NEAR(p.b, b, tolerance);
    EXPECT_NEAR(p.c, c, tolerance);
    EXPECT_NEAR(p.d, d, tolerance);
}

// The box |x|, |y|, |z| <= 10 as a frustum: exact distances for on-plane tests.
Frustum boxFrustum() {
    Frustum f;
    f[kNear] = {0, 0, -1, -10};
    f[kFar] = {0, 0, 1, -10};
    f[kLeft] = {-1, 0, 0, -10};
    f[kRight] = {1, 0, 0, -10};
    f[kTop] = {0, 1, 0, -10};
    f[kBottom] = {0, -1, 0, -10};
    return f;
}

TEST(Frustum, CameraAtOriginGivesTheKnownPlanes) {
    Camera camera;
    aimCamera(camera, {0, 0, 0}, 0.0f);
    Frustum f;
    buildFrustum(camera, &f, Matrix::identity());
    expectPlane(f[kNear], 0, 0, -1, -4);
    expectPlane(f[kFar], 0, 0, 1, -20000, 1e-2f);
    expectPlane(f[kLeft], -0.7869f, 0, -0.6171f, 0);
    expectPlane(f[kRight], 0.7869f, 0, -0.6171f, 0);
    expectPlane(f[kTop], 0, 0.7869f, -0.6171f, 0);
    expectPlane(f[kBottom], 0, -0.7869f, -0.6171f, 0);

    // The near plane lies behind the eye.
    EXPECT_LE(f[kNear].distance({0, 0, -3}), 0.0f);
    EXPECT_GT(f[kNear].distance({0, 0, -5}), 0.0f);
}

TEST(Frustum, TurnedAndMovedCameraKeepsTheVolumeAroundItsViewDirection) {
    Camera camera;
    const Vector3 eye{120, 40, -300};
    aimCamera(camera, eye, 2.5f, -0.3f);
    Frustum f;
    buildFrustum(camera, &f, Matrix::identity());
    const Vector3 dir = camera.viewDir;

    for (int slot = 0; slot < 6; ++slot) {
        EXPECT_LT(f[slot].distance(eye + 100.0f * dir), 0.0f) << "slot " << slot;
        // Every normal is of unit length or, for near and far, the view direction.
        EXPECT_NEAR(std::sqrt(dot(f[slot].normal(), f[slot].normal())), 1.0f, 1e-4f);
    }
    EXPECT_LE(f[kNear].distance(eye - 3.0f * dir), 0.0f);
    EXPECT_GT(f[kNear].distance(eye - 5.0f * dir), 0.0f);
    EXPECT_GT(f[kFar].distance(eye + 20001.0f * dir), 0.0f);

    // A point well to the camera's right is outside the right plane only.
    const Vector3 right = normalized(cross({0, 1, 0}, dir));
    const Vector3 farRight = eye + 100.0f * dir + 1000.0f * right;
    EXPECT_GT(f[kRight].distance(farRight), 0.0f);
    EXPECT_LT(f[kLeft].distance(farRight), 0.0f);
}

TEST(Frustum, BuiltInAMapSpaceClassifiesAsTheWorldFrustumDoes) {
    Camera camera;
    aimCamera(camera, {3900, 10, 3700}, 0.7f, 0.1f);
    Frustum worldFrustum;
    buildFrustum(camera, &worldFrustum, Matrix::identity());

    // The placement of a turned copy of a map (yaw 10 radians).
    Matrix world = Matrix::rotationYawPitchRoll(10.0f, 0.0f, 0.0f);
    world.m[3][0] = 4000;
    world.m[3][1] = -64;
    world.m[3][2] = 4000;
    const std::optional<Matrix> inverted = inverse(world);
    ASSERT_TRUE(inverted);
    const Matrix inverseWorld = *inverted;
    Frustum mapFrustum;
    buildFrustum(camera, &mapFrustum, world);

    const Vector3 samples[] = {{4000, 0, 4000}, {3000, 0, 5000}, {3900, 10, 3600}, {5000, 500, 3000},
                               {4500, -200, 4200}, {3905, 10, 3710}};
    for (const Vector3& p : samples) {
        const Vector3 local = transformCoord(p, inverseWorld);
        for (int slot = 0; slot < 6; ++slot) {
            const float inWorld = worldFrustum[slot].distance(p);
            const float inMap = mapFrustum[slot].distance(local);
            if (std::fabs(inWorld) > 1e-2f * (slot == kFar ? 100 : 1)) {
                EXPECT_EQ(inWorld > 0, inMap > 0) << "slot " << slot << " point " << p.x << "," << p.z;
            }
        }
    }
}

TEST(ClassifyPoints, OnPlanePointsCountAsInside) {
    const Frustum f = boxFrustum();
    // One point on the left plane, three beyond it: not rejected by that plane.
    const Vector3 quad[4] = {{-10, 0, 0}, {-20, 0, 0}, {-20, 1, 0}, {-20, -1, 0}};
    const uint32_t mask = classifyPoints(quad, f, 4);
    EXPECT_EQ(mask, 0xffffffffu & ~0xeu);
    EXPECT_TRUE(mask & 1u);  // the on-plane point keeps its left bit
}

TEST(ClassifyPoints, StraddlingPointsPassWithTheirBitsCleared) {
    const Frustum f = boxFrustum();
    // Each point beyond a different side plane; no plane has all four beyond it.
    const Vector3 quad[4] = {{-20, 0, 0}, {20, 0, 0}, {0, 20, 0}, {0, -20, 0}};
    const uint32_t mask = classifyPoints(quad, f, 4);
    // left: point 0 (bit 0); right: point 1 (bit 5); top: point 2 (bit 10);
    // bottom: point 3 (bit 15).
    EXPECT_EQ(mask, ~((1u << 0) | (1u << 5) | (1u << 10) | (1u << 15)));
}

TEST(ClassifyPoints, AllBeyondOnePlaneIsRejected) {
    const Frustum f = boxFrustum();
    const Vector3 behind[4] = {{0, 0, -20}, {5, 0, -11}, {-5, 5, -30}, {0, -5, -10.5f}};
    EXPECT_EQ(classifyPoints(behind, f, 4), 0u);
    const Vector3 aboveAndLeft[4] = {{-20, 11, 0}, {-30, 12, 0}, {0, 11, 0}, {5, 20, 5}};
    EXPECT_EQ(classifyPoints(aboveAndLeft, f, 4), 0u);  // all above the top plane
    EXPECT_EQ(classifyPoints(behind, f, 0), 0u);
    // Inside everything: all bits stay set.
    const Vector3 inside[4] = {{0, 0, 0}, {1, 1, 1}, {-1, 2, 3}, {9, 9, 9}};
    EXPECT_EQ(classifyPoints(inside, f, 4), 0xffffffffu);
}

TEST(ClassifyPoints, QuadBehindTheCameraNearPlane) {
    Camera camera;
    aimCamera(camera, {0, 0, 0}, 0.0f);
    Frustum f;
    buildFrustum(camera, &f, Matrix::identity());
    const Vector3 behind[4] = {{10, -10, -6}, {-10, -10, -6}, {-10, 10, -6}, {10, 10, -6}};
    EXPECT_EQ(classifyPoints(behind, f, 4), 0u);
    // A large portal around the whole view, ahead of the eye, passes.
    const Vector3 around[4] = {{1e5f, -1e5f, 50}, {-1e5f, -1e5f, 50}, {-1e5f, 1e5f, 50}, {1e5f, 1e5f, 50}};
    EXPECT_NE(classifyPoints(around, f, 4), 0u);
}

TEST(BoundsInFrustum, RejectsOnlyWhenAllCornersLieBeyondOnePlane) {
    const Frustum f = boxFrustum();
    EXPECT_EQ(boundsInFrustum({{-30, -5, -5}, {-11, 5, 5}}, f), 0u);  // wholly left
    EXPECT_NE(boundsInFrustum({{-30, -5, -5}, {-10, 5, 5}}, f), 0u);  // touches the left plane
    EXPECT_NE(boundsInFrustum({{-1, -1, -1}, {1, 1, 1}}, f), 0u);
    EXPECT_NE(boundsInFrustum({{-100, -100, -100}, {100, 100, 100}}, f), 0u);  // encloses it

    // Just behind the eye, between the near plane and the apex of the side planes:
    // the box meets no point of the volume, but each plane has some corner on its
    // inner side, so it is kept (the test is conservative).
    Camera camera;
    aimCamera(camera, {0, 0, 0}, 0.0f);
    Frustum view;
    buildFrustum(camera, &view, Matrix::identity());
    EXPECT_NE(boundsInFrustum({{-10, -5, -10}, {10, 5, -1}}, view), 0u);
    EXPECT_EQ(boundsInFrustum({{-100, -10, -500}, {100, 10, -10}}, view), 0u);  // behind
}

TEST(BitOps, WordsAndBitsOfLargeSets) {
    std::vector<uint32_t> words(32, 0u);  // 1024 bits
    for (uint32_t n : {0u, 31u, 32u, 255u, 256u, 1023u}) {
        EXPECT_FALSE(bitTest(words.data(), n));
        bitSet(words.data(), n);
        EXPECT_TRUE(bitTest(words.data(), n));
    }
    EXPECT_EQ(words[0], 0x80000001u);
    EXPECT_EQ(words[1], 1u);
    EXPECT_EQ(words[7], 0x80000000u);
    EXPECT_EQ(words[8], 1u);
    EXPECT_EQ(words[31], 0x80000000u);
    bitClear(words.data(), 31);
    EXPECT_EQ(words[0], 1u);
    EXPECT_FALSE(bitTest(words.data(), 30));
    EXPECT_TRUE(bitTest(words.data(), 32));
}

}  // namespace
}  // namespace q
