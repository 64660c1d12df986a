#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "collision_test_maps.h"
#include "move/camera_update.h"
#include "move/collision_trace.h"
#include "move/movement.h"
#include "world/scene.h"
#include "world/terrain.h"

namespace q {
namespace {

using testmaps::boxBrush;

constexpr float kRest = 32.03125f;  // eye height resting on a floor whose top is y = 0

// The camera in a scene with the real terrain (far below y = 0) and, when a test
// adds brushes, one unturned instance of a map holding them.
class Movement : public ::testing::Test {
protected:
    void SetUp() override {
        scene.terrain = std::make_unique<Terrain>(nullptr, 128, 128);
        camera.scene = &scene;
        camera.fallSpeed = 0.0f;
    }
    void TearDown() override {
        camera.scene = nullptr;
    }

    // A floor slab 1024 x 1024 with its top at y = 0, plus the given brushes.
    MapInstance* buildMap(std::initializer_list<Brush> more) {
        map.brushes.push_back(boxBrush({-512, -16, -512}, {512, 0, 512}));
        for (const Brush& b : more) map.brushes.push_back(b);
        testmaps::addSingleLeafTree(&map);
        testmaps::place(&instance, &map, {0, 0, 0}, 0.0f);
        return &instance;
    }

    void walk(Vector3 k, const MapInstance* in, const Matrix& rotation = Matrix::identity(), bool flying = false) {
        moveCamera(camera, k, flying, in, rotation);
    }

    Scene scene;
    Camera camera;
    MapData map;
    MapInstance instance;
};

TEST_F(Movement, FlyingClimbsFourPerUpdateAndTheFallStartsFromRest) {
    camera.position = {0, 100, 0};
    camera.fallSpeed = 3.0f;
    for (int i = 0; i < 10; ++i) walk({}, nullptr, Matrix::identity(), true);
    EXPECT_EQ(camera.position, Vector3(0, 140, 0));
    EXPECT_EQ(camera.fallSpeed, 0.0f);
    walk({}, nullptr);
    EXPECT_FLOAT_EQ(camera.fallSpeed, 0.2f);
    EXPECT_FLOAT_EQ(camera.position.y, 139.8f);
}

TEST_F(Movement, FreeFallGainsSpeedEveryUpdate) {
    camera.position = {0, 100, 0};
    for (int n = 1; n <= 10; ++n) {
        walk({}, nullptr);
        EXPECT_NEAR(camera.fallSpeed, 0.2f * n, 1e-5f);
        EXPECT_NEAR(100.0f - camera.position.y, 0.2f * n * (n + 1) / 2, 1e-4f);
    }
    EXPECT_NEAR(camera.position.y, 89.0f, 1e-4f);
}

TEST_F(Movement, LandingKeepsItsSpeedAndTheNextUpdateResetsIt) {
    const MapInstance* in = buildMap({});
    camera.position = {0, kRest + 0.5f, 0};
    walk({}, in);  // 0.2 down, still clear of the floor
    EXPECT_NEAR(camera.position.y, kRest + 0.3f, 1e-4f);
    walk({}, in);  // 0.4 would pass through: cut short on the floor
    EXPECT_NEAR(camera.position.y, kRest, 1e-4f);
    EXPECT_FLOAT_EQ(camera.fallSpeed, 0.4f);
    const Vector3 landed = camera.position;
    walk({}, in);  // resting: no movement, speed reset
    EXPECT_EQ(camera.position, landed);
    EXPECT_EQ(camera.fallSpeed, 0.0f);
    // What held it: the floor's top, facing up.
    Vector3 below = landed - Vector3{0, 1, 0};
    const TraceResult floor = trace(*in, landed, &below, camera.box.maxs);
    EXPECT_EQ(floor.fraction, 0.0f);
    EXPECT_EQ(floor.normal, Vector3(0, 1, 0));
}

TEST_F(Movement, CeilingStopsTheClimb) {
    // A ceiling slab whose underside is at y = 100.
    const MapInstance* in = buildMap({boxBrush({-512, 100, -512}, {512, 116, 512})});
    camera.position = {0, 40, 0};
    for (int i = 0; i < 20; ++i) walk({}, in, Matrix::identity(), true);
    // The box top stays 1/32 below the ceiling, and holding on moves nothing.
    EXPECT_NEAR(camera.position.y, 100.0f - 32.0f - 0.03125f, 1e-3f);
    const Vector3 stopped = camera.position;
    walk({}, in, Matrix::identity(), true);
    EXPECT_EQ(camera.position, stopped);
    EXPECT_EQ(camera.fallSpeed, 0.0f);
}

TEST_F(Movement, HorizontalMoveDropsTheVerticalPartOfTheView) {
    camera.position = {0, 100, 0};
    Matrix down = Matrix::rotationYawPitchRoll(0.0f, std::numbers::pi_v<float> / 2, 0.0f);
    for (Vector3 k : {Vector3{0, 0, 1}, Vector3{0, 0, -1}}) {
        const Vector3 before = camera.position;
        walk(k, nullptr, down, true);
        EXPECT_NEAR(camera.position.x - before.x, 0.0f, 1e-5f);
        EXPECT_NEAR(camera.position.z - before.z, 0.0f, 1e-5f);
    }
    for (float side : {-1.0f, 1.0f}) {
        const Vector3 before = camera.position;
        walk({side, 0, 0}, nullptr, down, true);
        EXPECT_NEAR(camera.position.x - before.x, 2.0f * side, 1e-5f);
    }

    // Forward and right together on the level: length 2, sqrt 2 along each axis.
    const float yaw = 0.5f;
    Matrix turned = Matrix::rotationYawPitchRoll(yaw, 0.0f, 0.0f);
    const Vector3 before = camera.position;
    walk({1, 0, 1}, nullptr, turned, true);
    const Vector3 moved = camera.position - before;
    const Vector3 forward{std::sin(yaw), 0, std::cos(yaw)}, right{std::cos(yaw), 0, -std::sin(yaw)};
    EXPECT_NEAR(dot(moved, forward), std::sqrt(2.0f), 1e-5f);
    EXPECT_NEAR(dot(moved, right), std::sqrt(2.0f), 1e-5f);
}

TEST_F(Movement, LowStepIsClimbedHighWallIsSlidAlong) {
    // A step 12 high and a wall 64 high, both facing -x, side by side along z.
    const MapInstance* in = buildMap({boxBrush({100, 0, -100}, {200, 12, 0}),
                                      boxBrush({100, 0, 0}, {200, 64, 100})});
    const float touching = 100.0f - 8.0f - 0.03125f;

    camera.position = {touching, kRest, -50};
    Matrix east = Matrix::rotationYawPitchRoll(std::numbers::pi_v<float> / 2, 0.0f, 0.0f);  // yaw a quarter turn: forward is +x
    walk({0, 0, 1}, in, east);
    EXPECT_NEAR(camera.position.x, touching + 2.0f, 1e-3f);
    EXPECT_NEAR(camera.position.y, kRest + 16.0f, 1e-3f);
    // Gravity then settles it onto the step.
    for (int i = 0; i < 60; ++i) walk({}, in);
    EXPECT_NEAR(camera.position.y, 12.0f + kRest, 1e-3f);

    // Straight into the high wall: stopped dead.
    camera.position = {touching, kRest, 50};
    walk({0, 0, 1}, in, east);
    EXPECT_NEAR(camera.position.x, touching, 1e-4f);
    EXPECT_NEAR(camera.position.y, kRest, 1e-4f);
    EXPECT_NEAR(camera.position.z, 50.0f, 1e-4f);
    // At an angle: only the part of the move along the wall is kept.
    walk({1, 0, 1}, in, Matrix::identity());  // forward +z and right +x
    EXPECT_NEAR(camera.position.x, touching, 1e-4f);
    EXPECT_NEAR(camera.position.z, 50.0f + std::sqrt(2.0f), 1e-4f);
    EXPECT_NEAR(camera.position.y, kRest, 1e-4f);
}

TEST_F(Movement, OutsideEveryInstanceOnlyTheTerrainHolds) {
    // Brushes right in the way, but no instance holds the camera: no trace runs.
    buildMap({boxBrush({100, 0, -100}, {200, 64, 100})});
    camera.position = {90, kRest, 0};
    Matrix east = Matrix::rotationYawPitchRoll(std::numbers::pi_v<float> / 2, 0.0f, 0.0f);
    for (int i = 0; i < 60; ++i) walk({0, 0, 1}, nullptr, east);
    EXPECT_GT(camera.position.x, 200.0f);

    // Falling onto the ground, the eye settles exactly 32 above its surface.
    camera.position = {1000.3f, -300.0f, -2500.7f};
    for (int i = 0; i < 200; ++i) walk({}, nullptr);
    EXPECT_EQ(camera.position.y, scene.terrain->heightAt(camera.position) + 32.0f);
    // Each update falls 0.2 and is lifted back, so it ends every update there.
    walk({}, nullptr);
    EXPECT_EQ(camera.position.y, scene.terrain->heightAt(camera.position) + 32.0f);
    EXPECT_EQ(camera.fallSpeed, 0.0f);
}

TEST_F(Movement, FreeFlightFollowsTheViewThroughWallsAndGravityResumesAfter) {
    const MapInstance* in = buildMap({});
    camera.freeFlight = true;
    camera.fallSpeed = 3.0f;
    // Looking down a quarter turn past level: W goes straight down, through the floor.
    Matrix down = Matrix::rotationYawPitchRoll(0.0f, std::numbers::pi_v<float> / 2, 0.0f);
    camera.position = {0, kRest, 300};
    for (int i = 0; i < 10; ++i) moveCamera(camera, {0, 0, 1}, false, in, down, kFastFactor);
    EXPECT_NEAR(camera.position.y, kRest - 80.0f, 1e-3f);  // 8 a step with Shift
    EXPECT_NEAR(camera.position.z, 300.0f, 1e-3f);
    EXPECT_EQ(camera.fallSpeed, 0.0f);

    // Off again above the floor: the camera falls and lands as at any start.
    camera.freeFlight = false;
    camera.position = {0, 100, 300};
    for (int i = 0; i < 60; ++i) walk({}, in);
    EXPECT_NEAR(camera.position.y, kRest, 1e-3f);
}

}  // namespace
}  // namespace q
