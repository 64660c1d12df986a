#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "move/camera_update.h"
#include "move/movement.h"
#include "platform/input.h"
#include "render/globals.h"
#include "world/scene.h"

namespace q {
namespace {

// A camera in a scene with no instances and no terrain, driven by one input record.
class CameraUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        scene.input = &input;
        camera.scene = &scene;
        camera.position = {0, 100, 0};
        camera.fallSpeed = 0.0f;
        camera.collectingLines = false;
    }
    void TearDown() override { camera.scene = nullptr; }

    // One update with nothing held, the fall undone, so only the keys move it.
    Vector3 stepWithKeys(std::initializer_list<Key> keys) {
        input = {};
        for (Key key : keys) input.key(key) = kKeyDown;
        input.mouseState.buttons[0] = kKeyDown;  // flying: no gravity, no instance to stop it
        const Vector3 before = camera.position;
        updateCamera(camera);
        return camera.position - before - Vector3{0, kClimbPerUpdate, 0};
    }

    InputState input;
    Scene scene;
    Camera camera;
};

TEST(Camera, ConstructionFixesBoxProjectionAndFarCorners) {
    Camera camera;
    EXPECT_EQ(camera.box.maxs, Vector3(8, 32, 8));
    EXPECT_EQ(camera.box.mins, Vector3(10000, 10000, 10000));
    EXPECT_EQ(camera.instanceIndex, -1);
    EXPECT_EQ(camera.areaIndex, 0);
    EXPECT_EQ(camera.position, Vector3(0, 0, 0));

    // A point on the near plane straight ahead lands at depth 0, on the far plane at 1.
    const Vector3 nearPoint = transformCoord({0, 0, 1}, camera.projection);
    const Vector3 farPoint = transformCoord({0, 0, 20000}, camera.projection);
    EXPECT_NEAR(nearPoint.z, 0.0f, 1e-6f);
    EXPECT_NEAR(farPoint.z, 1.0f, 1e-6f);

    // The corners come back through a single-precision inverse whose w is a
    // difference of nearly equal numbers, so their depth is only good to a few
    // tenths of a percent; their direction from the eye is exact.
    const float slope = std::tan(1.33f / 2.0f);  // 15682.96 / 20000
    const float signs[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
        const Vector3 c = camera.farCorners[i];
        EXPECT_NEAR(c.z, 20000.0f, 100.0f) << i;
        EXPECT_NEAR(c.x / c.z, signs[i][0] * slope, 1e-5f) << i;
        EXPECT_NEAR(c.y / c.z, signs[i][1] * slope, 1e-5f) << i;
    }
    EXPECT_NEAR(20000.0f * slope, 15682.96f, 0.05f);
}

TEST_F(CameraUpdate, LevelViewAtAHeightIsAPureTranslation) {
    input.mouseState.buttons[0] = kKeyDown;
    camera.position = {0, 96, 0};  // the climb takes it to 100
    updateCamera(camera);
    EXPECT_EQ(camera.position, Vector3(0, 100, 0));
    EXPECT_EQ(camera.viewDir, Vector3(0, 0, 1));
    Matrix expected = Matrix::identity();
    expected.m[3][1] = -100.0f;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(camera.view.m[r][c], expected.m[r][c], 1e-6f) << r << c;
}

TEST_F(CameraUpdate, MouseCountsTurnTheViewWithoutLimit) {
    input.mouseState.dx = 256;
    updateCamera(camera);
    EXPECT_EQ(camera.yaw, 1.0f);
    EXPECT_EQ(camera.pitch, 0.0f);
    // Yaw 1: the view direction turns from +z towards +x.
    EXPECT_NEAR(camera.viewDir.x, std::sin(1.0f), 1e-6f);
    EXPECT_NEAR(camera.viewDir.z, std::cos(1.0f), 1e-6f);

    // Moving the mouse towards the user tilts the view down, and on past straight down.
    input.mouseState.dx = 0;
    input.mouseState.dy = 600;  // about 2.34 radians
    updateCamera(camera);
    EXPECT_EQ(camera.pitch, 600.0f / 256.0f);
    EXPECT_LT(camera.viewDir.y, -0.5f);
    EXPECT_LT(camera.viewDir.x * std::sin(1.0f) + camera.viewDir.z * std::cos(1.0f), 0.0f)
        << "past the vertical the view faces backwards";

    // No motion: the angles stay.
    input.mouseState.dy = 0;
    updateCamera(camera);
    EXPECT_EQ(camera.yaw, 1.0f);
    EXPECT_EQ(camera.pitch, 600.0f / 256.0f);
}

TEST_F(CameraUpdate, SensitivityScalesBothAxesAndInvertYFlipsOnlyPitch) {
    camera.mouseSensitivity = 2.5f;
    camera.invertY = true;
    input.mouseState.dx = 256;
    input.mouseState.dy = 128;
    updateCamera(camera);
    EXPECT_FLOAT_EQ(camera.yaw, 2.5f);
    EXPECT_FLOAT_EQ(camera.pitch, -1.25f);  // mouse towards the user now looks up
    // The most negative count is negated without overflowing.
    camera.mouseSensitivity = 1.0f;
    input.mouseState.dx = 0;
    input.mouseState.dy = INT32_MIN;
    updateCamera(camera);
    EXPECT_FLOAT_EQ(camera.pitch, -1.25f + 2147483648.0f / 256.0f);
}

TEST_F(CameraUpdate, KeysGiveTheDirectionWithWOverSAndAOverD) {
    auto near = [](Vector3 a, Vector3 b) {
        return std::fabs(a.x - b.x) < 1e-5f && std::fabs(a.y - b.y) < 1e-5f && std::fabs(a.z - b.z) < 1e-5f;
    };
    EXPECT_TRUE(near(stepWithKeys({Key::W}), {0, 0, 2}));
    EXPECT_TRUE(near(stepWithKeys({Key::S}), {0, 0, -2}));
    EXPECT_TRUE(near(stepWithKeys({Key::W, Key::S}), {0, 0, 2}));
    EXPECT_TRUE(near(stepWithKeys({Key::A}), {-2, 0, 0}));
    EXPECT_TRUE(near(stepWithKeys({Key::D}), {2, 0, 0}));
    EXPECT_TRUE(near(stepWithKeys({Key::A, Key::D}), {-2, 0, 0}));
    EXPECT_TRUE(near(stepWithKeys({}), {0, 0, 0}));
    // Either Shift makes the walk four times as fast.
    EXPECT_TRUE(near(stepWithKeys({Key::W, Key::LeftShift}), {0, 0, 8}));
    EXPECT_TRUE(near(stepWithKeys({Key::D, Key::RightShift}), {8, 0, 0}));
    // A key byte without the down bit is not held.
    input = {};
    input.key(Key::W) = 0x7F;
    input.mouseState.buttons[0] = kKeyDown;
    const Vector3 before = camera.position;
    updateCamera(camera);
    EXPECT_EQ(camera.position - before, Vector3(0, kClimbPerUpdate, 0));

    // A frame of three steps: the keys move it three steps, the fall goes on
    // step by step, and the mouse turns the view once, not three times.
    input = {};
    input.key(Key::D) = kKeyDown;
    input.mouseState.dx = 64;
    camera.fallSpeed = 0.0f;
    const Vector3 start = camera.position;
    const float yaw = camera.yaw;
    updateCamera(camera, 3);
    EXPECT_FLOAT_EQ(camera.yaw - yaw, 0.25f);
    EXPECT_FLOAT_EQ(camera.fallSpeed, 3 * kGravity);
    EXPECT_NEAR(camera.position.y - start.y, -6 * kGravity, 1e-4f);  // 0.2 + 0.4 + 0.6
    EXPECT_NEAR(std::hypot(camera.position.x - start.x, camera.position.z - start.z), 3 * kWalkSpeed, 1e-4f);
    const Vector3 still = camera.position;
    updateCamera(camera, 0);  // a frame shorter than a step: turned, not moved
    EXPECT_EQ(camera.position, still);
    EXPECT_FLOAT_EQ(camera.yaw - yaw, 0.5f);
}

TEST_F(CameraUpdate, FCollectsLinesForTheFrameItIsHeldOnly) {
    input.key(Key::F) = kKeyDown;
    updateCamera(camera);  // no graphics device in this scene: the switch alone
    EXPECT_TRUE(camera.collectingLines);
    input.key(Key::F) = 0;
    updateCamera(camera);
    EXPECT_FALSE(camera.collectingLines);
}

TEST_F(CameraUpdate, InstanceIndexOutsideTheListMeansNoInstance) {
    camera.instanceIndex = 3;  // the scene holds none
    input.mouseState.buttons[0] = kKeyDown;
    updateCamera(camera);
    EXPECT_EQ(camera.position, Vector3(0, 104, 0));
}

}  // namespace
}  // namespace q
