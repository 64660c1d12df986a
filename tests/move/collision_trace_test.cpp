#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "collision_test_maps.h"
#include "map/collision_reader.h"
#include "move/collision_trace.h"

namespace q {
namespace {

using testmaps::boxBrush;

const Vector3 kBox{8, 32, 8};

// A floor slab 128 x 16 x 128 whose top lies at y = 0, all in one leaf.
MapData floorMap() {
    MapData map;
    map.brushes.push_back(boxBrush({-64, -16, -64}, {64, 0, 64}));
    testmaps::addSingleLeafTree(&map);
    return map;
}

MapInstance instanceOf(MapData* map) {
    MapInstance instance;
    testmaps::place(&instance, map, {0, 0, 0}, 0.0f);
    return instance;
}

TEST(CollisionTrace, FloorCrossingStopsAStandOffInFrontOfTheWidenedPlane) {
    MapData map = floorMap();
    MapInstance instance = instanceOf(&map);
    // The box bottom starts 10 above the floor (d1 = 10) and would end 10 below it.
    Vector3 end{0, 22, 0};
    const TraceResult r = trace(instance, {0, 42, 0}, &end, kBox);
    EXPECT_FLOAT_EQ(r.fraction, 0.4984375f);
    EXPECT_NEAR(end.y, 32.0f + 0.03125f, 1e-4f);
    EXPECT_EQ(end.x, 0.0f);
    EXPECT_EQ(end.z, 0.0f);
    // A fraction between 0 and 1 leaves the normal as the brush stores it.
    EXPECT_EQ(r.normal, Vector3(0, 1, 0));
}

TEST(CollisionTrace, BoxRestingOnAFloorCannotMoveDownButSlidesAlongIt) {
    MapData map = floorMap();
    MapInstance instance = instanceOf(&map);
    const Vector3 resting{0, 32.03125f, 0};

    Vector3 down{0, 30, 0};
    const TraceResult stuck = trace(instance, resting, &down, kBox);
    EXPECT_EQ(stuck.fraction, 0.0f);
    EXPECT_EQ(down, resting);
    EXPECT_EQ(stuck.normal, Vector3(0, 1, 0));

    // Along the floor both distances are +1/32: the floor is out of reach.
    Vector3 along{10, 32.03125f, 5};
    EXPECT_EQ(trace(instance, resting, &along, kBox).fraction, 1.0f);
    EXPECT_EQ(along, Vector3(10, 32.03125f, 5));
}

TEST(CollisionTrace, MissesLeaveTheEndAlone) {
    MapData map = floorMap();
    MapInstance instance = instanceOf(&map);
    // Passing beside the brush: the crossing of the top plane is found, but the
    // pushed contact point lies outside the widened bounds.
    Vector3 end{200, -100, 0};
    const TraceResult beside = trace(instance, {200, 100, 0}, &end, kBox);
    EXPECT_EQ(beside.fraction, 1.0f);
    EXPECT_FALSE(beside.hit());
    EXPECT_EQ(end, Vector3(200, -100, 0));

    // A box already inside the brush gets no candidate and passes through.
    Vector3 out{0, -100, 0};
    EXPECT_EQ(trace(instance, {0, -8, 0}, &out, kBox).fraction, 1.0f);

    // A brush without planes is never hit.
    map.brushes[0].planes.clear();
    Vector3 through{0, 0, 0};
    EXPECT_EQ(trace(instance, {0, 42, 0}, &through, kBox).fraction, 1.0f);
}

TEST(CollisionTrace, TheLastCrossingSideOfABrushDecides) {
    // A sweep that crosses the floor's top and its -x side both. With the top
    // listed last it decides and the box lands on the floor; with the -x side
    // last, its contact point is above the brush and the sweep goes free.
    MapData map = floorMap();
    Brush& brush = map.brushes[0];
    const Plane top = brush.planes[0];
    const Plane minusX = brush.planes[3];
    brush.planes = {minusX, top};
    MapInstance instance = instanceOf(&map);

    Vector3 end{0, 0, 0};
    const TraceResult landed = trace(instance, {-100, 100, 0}, &end, kBox);
    EXPECT_FLOAT_EQ(landed.fraction, (68.0f - 0.03125f) / 100.0f);
    EXPECT_EQ(landed.normal, Vector3(0, 1, 0));

    brush.planes = {top, minusX};
    end = {0, 0, 0};
    EXPECT_EQ(trace(instance, {-100, 100, 0}, &end, kBox).fraction, 1.0f);
}

TEST(CollisionTrace, TwoBrushesHitAtTheSameFractionKeepTheFirst) {
    // Two slabs whose tops are roofs sloping either way, both through the
    // origin: a sweep straight down at x = 0 meets both at the same fraction,
    // bit for bit, and only their normals tell which one stopped it.
    const Plane slopeRight{0.6f, 0.8f, 0, 0};
    const Plane slopeLeft{-0.6f, 0.8f, 0, 0};
    MapData map;
    for (const Plane& roof : {slopeRight, slopeLeft}) {
        Brush brush = boxBrush({-64, -16, -64}, {64, 0, 64});
        brush.planes[0] = roof;
        map.brushes.push_back(brush);
    }
    testmaps::addSingleLeafTree(&map);
    MapInstance instance = instanceOf(&map);

    Vector3 end{0, -20, 0};
    const TraceResult first = trace(instance, {0, 60, 0}, &end, kBox);
    ASSERT_GT(first.fraction, 0.0f);
    ASSERT_LT(first.fraction, 1.0f);
    EXPECT_EQ(first.normal, slopeRight.normal());

    std::swap(map.brushes[0], map.brushes[1]);
    end = {0, -20, 0};
    const TraceResult swapped = trace(instance, {0, 60, 0}, &end, kBox);
    EXPECT_EQ(swapped.fraction, first.fraction);
    EXPECT_EQ(swapped.normal, slopeLeft.normal());
}

TEST(CollisionTrace, FractionsNearZeroAndOneSnap) {
    MapData map = floorMap();
    MapInstance instance = instanceOf(&map);
    // d1 slightly above the stand-off: t under 0.001 snaps to 0.
    Vector3 end{0, 22, 0};
    EXPECT_EQ(trace(instance, {0, 32.04f, 0}, &end, kBox).fraction, 0.0f);
    // Ending just a hair past the plane: t above 0.999 snaps to 1, so the end
    // point is kept as asked even though the brush accepted the hit.
    end = {0, 31.9999f, 0};
    EXPECT_EQ(trace(instance, {0, 132, 0}, &end, kBox).fraction, 1.0f);
    EXPECT_EQ(end.y, 31.9999f);
}

// Two slabs side by side, the tree split at x = 0: a sweep confined to one side
// never clips the other's brush; one that straddles the split reaches both.
TEST(CollisionTrace, SplitTreeVisitsOnlyTheSidesTheSweptBoxReaches) {
    MapData map;
    map.brushes.push_back(boxBrush({-128, -16, -64}, {0, 0, 64}));   // back of x = 0
    map.brushes.push_back(boxBrush({0, -32, -64}, {128, -16, 64}));   // front, lower top
    CollisionNode back;
    back.brushIndices = {0};
    CollisionNode front;
    front.brushIndices = {1};
    CollisionNode root;
    root.axis = 0;
    root.distance = 0;
    root.frontChild = 1;
    root.backChild = 0;
    map.collisionNodes = {back, front, root};
    map.collisionRoot = 2;
    MapInstance instance = instanceOf(&map);

    Vector3 end{64, -20, 0};
    EXPECT_LT(trace(instance, {64, 100, 0}, &end, kBox).fraction, 1.0f);
    EXPECT_NEAR(end.y, -16.0f + 32.03125f, 1e-3f);

    end = {-64, -20, 0};
    trace(instance, {-64, 100, 0}, &end, kBox);
    EXPECT_NEAR(end.y, 32.03125f, 1e-3f);

    // At x = 4 the box (half width 8) reaches over the split onto the higher slab.
    end = {4, -20, 0};
    trace(instance, {4, 100, 0}, &end, kBox);
    EXPECT_NEAR(end.y, 32.03125f, 1e-3f);
}

TEST(CollisionTrace, MalformedOrEmptyTreesNeitherCrashNorLoop) {
    MapData empty;
    MapInstance instance = instanceOf(&empty);
    Vector3 end{0, -100, 0};
    EXPECT_EQ(trace(instance, {0, 100, 0}, &end, kBox).fraction, 1.0f);
    EXPECT_EQ(end, Vector3(0, -100, 0));

    // A split that names itself and a child past the array, and a leaf that lists
    // a brush that does not exist.
    MapData bad = floorMap();
    bad.collisionNodes[0].brushIndices = {0, 5, -1};
    CollisionNode loop;
    loop.axis = 1;
    loop.distance = 0;
    loop.frontChild = 1;
    loop.backChild = 0;
    CollisionNode wild;
    wild.axis = 1;
    wild.distance = 0;
    wild.frontChild = 99;
    wild.backChild = -7;
    bad.collisionNodes.push_back(loop);
    bad.collisionNodes.push_back(wild);
    MapInstance badInstance = instanceOf(&bad);
    for (int root : {2, 99}) {
        bad.collisionRoot = root;
        end = {0, 22, 0};
        EXPECT_EQ(trace(badInstance, {0, 42, 0}, &end, kBox).fraction, 1.0f) << "root " << root;
    }
    // The self-reference is not followed, the sound child still is, and the
    // leaf skips the brush indices that do not exist.
    for (int root : {0, 1}) {
        bad.collisionRoot = root;
        end = {0, 22, 0};
        EXPECT_FLOAT_EQ(trace(badInstance, {0, 42, 0}, &end, kBox).fraction, 0.4984375f) << "root " << root;
    }
}

TEST(CollisionTrace, DeepChainOfStraddledSplitsKeepsTheStackBounded) {
    // 100000 splits at x = 0, each with a leaf holding the floor on its back side
    // and the next split in front, the way a degenerate collision file nests them.
    MapData map = floorMap();
    map.collisionNodes.clear();
    CollisionNode leaf;
    leaf.brushIndices = {0};
    map.collisionNodes.push_back(leaf);
    int front = 0;
    for (int k = 0; k < 100000; ++k) {
        map.collisionNodes.push_back(leaf);
        CollisionNode split;
        split.axis = 0;
        split.distance = 0;
        split.frontChild = front;
        split.backChild = static_cast<int>(map.collisionNodes.size()) - 1;
        map.collisionNodes.push_back(split);
        front = static_cast<int>(map.collisionNodes.size()) - 1;
    }
    map.collisionRoot = front;
    MapInstance instance = instanceOf(&map);
    // Starting in front of every split and crossing it: each one recurses.
    Vector3 end{-10, 22, 0};
    EXPECT_FLOAT_EQ(trace(instance, {10, 42, 0}, &end, kBox).fraction, 0.4984375f);
}

TEST(CollisionTrace, TurnedInstanceTurnsOnlyAFractionZeroNormal) {
    // A wall facing -x in map space; the instance turned by yaw 10 like the
    // scene's second placement.
    MapData map;
    map.brushes.push_back(boxBrush({100, -64, -200}, {116, 200, 200}));
    testmaps::addSingleLeafTree(&map);
    MapInstance instance;
    testmaps::place(&instance, &map, {4000, -64, 4000}, 10.0f);
    const Vector3 turnedNormal{-std::cos(10.0f), 0.0f, std::sin(10.0f)};

    // Resting 1/32 in front of the wall, pushed into it.
    const Vector3 start = transformCoord({100 - 8 - 0.03125f, 0, 0}, instance.world);
    Vector3 end = transformCoord({100 - 8 - 0.03125f + 2, 0, 0}, instance.world);
    const TraceResult pushed = trace(instance, start, &end, kBox);
    EXPECT_EQ(pushed.fraction, 0.0f);
    EXPECT_EQ(end, start);
    EXPECT_NEAR(pushed.normal.x, turnedNormal.x, 1e-5f);
    EXPECT_NEAR(pushed.normal.y, 0.0f, 1e-5f);
    EXPECT_NEAR(pushed.normal.z, turnedNormal.z, 1e-5f);

    // From further away the hit has a fraction between 0 and 1: map-space normal.
    const Vector3 far = transformCoord({50, 0, 0}, instance.world);
    end = transformCoord({150, 0, 0}, instance.world);
    const TraceResult approach = trace(instance, far, &end, kBox);
    EXPECT_GT(approach.fraction, 0.0f);
    EXPECT_LT(approach.fraction, 1.0f);
    EXPECT_EQ(approach.normal, Vector3(-1, 0, 0));
    // The clipped end is 1/32 in front of the widened wall, in map space.
    EXPECT_NEAR(transformCoord(end, instance.inverseWorld).x, 92.0f - 0.03125f, 2e-3f);
}

TEST(CollisionTrace, SeveralCollisionModelsStillStopAtTheWorldsBrushes) {
    // The world's floor, then an entity model with a tree of its own read after
    // it: sweeps walk the world's tree, not the last one read.
    const char* floorSides =
        "( 0 0 1 ) 0 ( 0 0 -1 ) 16 ( 1 0 0 ) 64 ( -1 0 0 ) 64 ( 0 1 0 ) 64 ( 0 -1 0 ) 64";
    const std::string text =
        std::string("CM \"1.00\"\n") +
        "collisionModel \"worldMap\" { nodes { ( -1 0 ) }\n brushes /* brushMemory = */ 1 { 6 { " +
        floorSides + " } ( -64 -64 -16 ) ( 64 64 0 ) solid } }\n" +
        "collisionModel \"func_static_1\" { nodes { ( -1 0 ) }\n brushes /* brushMemory = */ 1 { 0 { } "
        "( 900 900 0 ) ( 910 910 10 ) solid } }\n";
    // Named per process: other checkouts may run this suite at the same time.
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("quorvane_trace_models_" + std::to_string(::getpid()) + ".cm")).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
    MapData map;
    std::string error;
    const bool read = readCollisionFile(path.c_str(), &map, &error);
    std::remove(path.c_str());
    ASSERT_TRUE(read) << error;
    MapInstance instance = instanceOf(&map);
    Vector3 end{0, 22, 0};
    const TraceResult floor = trace(instance, {0, 42, 0}, &end, kBox);
    EXPECT_FLOAT_EQ(floor.fraction, 0.4984375f);
    EXPECT_EQ(floor.normal, Vector3(0, 1, 0));
}

TEST(CollisionTrace, PointInBoundsIncludesBothEnds) {
    EXPECT_TRUE(pointInBounds({0, 0, 0}, {0, 0, 0}, {1, 1, 1}));
    EXPECT_TRUE(pointInBounds({1, 1, 1}, {0, 0, 0}, {1, 1, 1}));
    EXPECT_FALSE(pointInBounds({1, 1, 1.0001f}, {0, 0, 0}, {1, 1, 1}));
    EXPECT_FALSE(pointInBounds({0, -0.0001f, 0}, {0, 0, 0}, {1, 1, 1}));
}

}  // namespace
}  // namespace q
