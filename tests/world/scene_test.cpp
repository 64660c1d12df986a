#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "map/map_data.h"
#include "math/matrix.h"
#include "move/camera_update.h"
#include "move/movement.h"
#include "world/map_instance.h"
#include "world/scene.h"
#include "world/standard_placements.h"
#include "vis_test_maps.h"

namespace q {
namespace {

// One area behind the plane x = 0 (area 1), one in front (area 0), within the
// brush bounds [0, 100] on every axis.
MapData cubeMap() {
    MapData map;
    map.areas.resize(2);
    BspNode root;
    root.plane = {1, 0, 0, -50};
    root.positiveChild = testmaps::leaf(1);
    root.negativeChild = testmaps::leaf(0);
    map.bspNodes = {root};
    map.bounds = {{0, 0, 0}, {100, 100, 100}};
    return map;
}

struct SceneFixture : ::testing::Test {
    Scene scene;
    Camera* camera = new Camera();
    MapData map = cubeMap();

    SceneFixture() {
        scene.camera.reset(camera);
        camera->scene = &scene;
    }
    MapInstance* place(Vector3 position, float yaw = 0.0f) {
        MapInstance* instance = scene.addInstance(&map);
        instance->position = position;
        instance->yaw = yaw;
        instance->placeInWorld();
        return instance;
    }
};

TEST_F(SceneFixture, CubeOfHalfSize100TouchingTheBoundsTakesTheInstance) {
    place({0, 0, 0});
    camera->position = {200, 50, 50};  // exactly 100 beyond the face x = 100
    scene.locateCamera();
    EXPECT_EQ(camera->instanceIndex, 0);
    EXPECT_EQ(camera->areaIndex, 1);

    camera->position = {200.02f, 50, 50};
    scene.locateCamera();
    EXPECT_EQ(camera->instanceIndex, -1);

    camera->position = {50, 50, -100};  // exactly 100 before the face z = 0
    scene.locateCamera();
    EXPECT_EQ(camera->instanceIndex, 0);
}

TEST_F(SceneFixture, FirstCreatedInstanceWinsWhereBoundsOverlap) {
    place({5000, 0, 0});
    place({40, 0, 0});
    place({0, 0, 0});
    camera->position = {60, 50, 50};
    scene.locateCamera();
    EXPECT_EQ(camera->instanceIndex, 1);
    // Camera x 60 is map x 20 in instance 1: the negative side, area 0.
    EXPECT_EQ(camera->areaIndex, 0);
}

TEST_F(SceneFixture, AreaIsKeptWithoutAnInstanceAndInSolidSpace) {
    place({0, 0, 0});
    camera->position = {80, 50, 50};
    scene.locateCamera();
    ASSERT_EQ(camera->areaIndex, 1);

    camera->position = {3000, 50, 50};
    scene.locateCamera();
    EXPECT_EQ(camera->instanceIndex, -1);
    EXPECT_EQ(camera->areaIndex, 1);

    map.bspNodes[0].negativeChild = 0;  // the half x < 50 becomes solid
    camera->position = {10, 50, 50};
    scene.locateCamera();
    EXPECT_EQ(camera->instanceIndex, 0);
    EXPECT_EQ(camera->areaIndex, 1);  // the last area found, not -1
}

TEST_F(SceneFixture, FrameUpdateLocatesTheCameraThenMovesIt) {
    place({0, 0, 0});
    camera->position = {50, 50, 50};
    camera->fallSpeed = 0.0f;
    updateScene(scene);
    EXPECT_EQ(camera->instanceIndex, 0);
    EXPECT_EQ(camera->areaIndex, 1);
    // No input and no brushes: one fall under gravity, and the view is composed
    // at the moved eye, which it carries to the origin.
    EXPECT_FLOAT_EQ(camera->position.y, 50.0f - kGravity);
    const Vector3 eyeInView = transformCoord(camera->position, camera->view);
    EXPECT_NEAR(eyeInView.x, 0.0f, 1e-4f);
    EXPECT_NEAR(eyeInView.y, 0.0f, 1e-4f);
    EXPECT_NEAR(eyeInView.z, 0.0f, 1e-4f);

    std::vector<std::unique_ptr<MapInstance>> placed;
    placed.swap(scene.instances);  // an empty list is no instance
    camera->position = {50, 50, 50};
    updateScene(scene);
    EXPECT_EQ(camera->instanceIndex, -1);
    placed.swap(scene.instances);
    camera->fallSpeed = 0.0f;
}

TEST_F(SceneFixture, MapWithoutBrushesIsNeverTaken) {
    MapData noBrushes = cubeMap();
    noBrushes.bounds = Bounds::empty();
    MapInstance* instance = scene.addInstance(&noBrushes);
    instance->placeInWorld();
    EXPECT_EQ(instance->worldBounds.mins, Bounds::empty().mins);
    EXPECT_EQ(instance->worldBounds.maxs, Bounds::empty().maxs);
    for (Vector3 p : {Vector3{0, 0, 0}, Vector3{9999, 0, 0}, Vector3{-10000, -10000, -10000}}) {
        camera->position = p;
        scene.locateCamera();
        EXPECT_EQ(camera->instanceIndex, -1);
    }
}

TEST_F(SceneFixture, TurnedPlacementBoundsAreTheTurnedCorners) {
    map.bounds = {{-100, 0, -200}, {100, 50, 200}};
    MapInstance* instance = place({4000, -64, 4000}, 10.0f);
    // About y, a turn by yaw moves x to x cos + z sin: the half extents of the
    // turned box are |cos| hx + |sin| hz across and |sin| hx + |cos| hz deep.
    const float c = std::fabs(std::cos(10.0f)), s = std::fabs(std::sin(10.0f));
    const float halfX = c * 100 + s * 200, halfZ = s * 100 + c * 200;
    EXPECT_NEAR(instance->worldBounds.mins.x, 4000 - halfX, 1e-2f);
    EXPECT_NEAR(instance->worldBounds.maxs.x, 4000 + halfX, 1e-2f);
    EXPECT_NEAR(instance->worldBounds.mins.z, 4000 - halfZ, 1e-2f);
    EXPECT_NEAR(instance->worldBounds.maxs.z, 4000 + halfZ, 1e-2f);
    EXPECT_NEAR(instance->worldBounds.mins.y, -64, 1e-3f);
    EXPECT_NEAR(instance->worldBounds.maxs.y, -14, 1e-3f);

    // Placing again grows from what the bounds hold; they are not reset.
    instance->position = {0, 0, 0};
    instance->placeInWorld();
    EXPECT_NEAR(instance->worldBounds.maxs.x, 4000 + halfX, 1e-2f);
    EXPECT_NEAR(instance->worldBounds.mins.x, -halfX, 1e-2f);
}

TEST_F(SceneFixture, StandardPlacementsInTheirOrder) {
    EXPECT_EQ(placeStandardInstances(scene, &map, 3), 3);
    ASSERT_EQ(scene.instances.size(), 3u);
    EXPECT_EQ(scene.instances[1]->position, (Vector3{4000, -64, 4000}));
    EXPECT_EQ(scene.instances[1]->yaw, 10.0f);
    EXPECT_EQ(scene.instances[2]->position, (Vector3{-4000, -64, -4000}));
    EXPECT_EQ(scene.instances[2]->yaw, 0.0f);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(scene.instances[i]->index, static_cast<int>(i));
        EXPECT_EQ(scene.instances[i]->map, &map);
        EXPECT_LT(scene.instances[i]->worldBounds.mins.x, scene.instances[i]->worldBounds.maxs.x);
    }
    EXPECT_EQ(placeStandardInstances(scene, &map, 9), 5);
    ASSERT_EQ(scene.instances.size(), 8u);
    EXPECT_EQ(scene.instances[7]->position, (Vector3{-4000, -64, 4000}));
    EXPECT_EQ(scene.instances[7]->yaw, 10.0f);
    EXPECT_EQ(placeStandardInstances(scene, &map, -2), 0);
    EXPECT_EQ(copySpread(map), 1.0f);  // a map that fits keeps the places above exactly

    // A map 12,000 units across: the copies move out until none overlaps another.
    MapData wide;
    wide.bounds = {{-6000, 0, -2000}, {6000, 300, 2000}};
    Scene spreadScene;
    EXPECT_EQ(placeStandardInstances(spreadScene, &wide, 5), 5);
    const float spread = copySpread(wide);
    EXPECT_GT(spread, 1.0f);
    EXPECT_EQ(spreadScene.instances[3]->position, (Vector3{4000 * spread, -64, -4000 * spread}));
    for (size_t i = 0; i < 5; ++i)
        for (size_t k = i + 1; k < 5; ++k) {
            Bounds a = spreadScene.instances[i]->worldBounds, b = spreadScene.instances[k]->worldBounds;
            a.mins = a.mins - Vector3{kCopyMargin / 2, 0, kCopyMargin / 2};
            a.maxs = a.maxs + Vector3{kCopyMargin / 2, 0, kCopyMargin / 2};
            EXPECT_TRUE(Bounds::disjoint(a, b)) << i << " and " << k;
        }
}

TEST(MapInstanceBind, BitSetsAreSizedToTheMap) {
    MapData big;
    big.areas.resize(1024);
    big.portals.resize(300);
    MapInstance instance;
    instance.bindMap(&big);
    EXPECT_EQ(instance.visibleAreas.size(), 32u);
    EXPECT_EQ(instance.passedPortals.size(), 10u);
    EXPECT_EQ(instance.areas, big.areas.data());
    EXPECT_EQ(instance.portals, big.portals.data());

    MapData empty;
    instance.bindMap(&empty);
    EXPECT_EQ(instance.visibleAreas.size(), 1u);
    EXPECT_EQ(instance.areas, nullptr);
}

}  // namespace
}  // namespace q
