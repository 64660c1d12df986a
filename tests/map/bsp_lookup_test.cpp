#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "map/map_data.h"
#include "math/matrix.h"
#include "platform/report.h"
#include "world/map_instance.h"
#include "vis_test_maps.h"

namespace q {
namespace {

using testmaps::leaf;

// Root plane x = 0: the positive side is area 0, the negative side area 1.
MapData twoAreasSplitByX() {
    MapData map;
    map.areas.resize(2);
    BspNode root;
    root.plane = {1, 0, 0, 0};
    root.positiveChild = leaf(0);
    root.negativeChild = leaf(1);
    map.bspNodes = {root};
    return map;
}

int lookup(const MapData& map, Vector3 p) {
    int area = 1234;
    return map.pointArea(0, p, &area) ? area : -1;
}

TEST(BspLookup, SidesOfTheRootPlane) {
    const MapData map = twoAreasSplitByX();
    EXPECT_EQ(lookup(map, {5, 0, 0}), 0);
    EXPECT_EQ(lookup(map, {-5, 7, 9}), 1);
    EXPECT_EQ(lookup(map, {0, -3, 2}), 0);  // on the plane: positive side
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(lookup(map, {nan, 0, 0}), 0);  // not a number: positive side too
}

TEST(BspLookup, DeeperTreeFollowsChildrenToTheLeaf) {
    const MapData map = testmaps::corridor();
    EXPECT_EQ(lookup(map, {0, 0, -10}), 0);
    EXPECT_EQ(lookup(map, {0, 0, 50}), 1);
    EXPECT_EQ(lookup(map, {0, 0, 100}), 2);
    EXPECT_EQ(lookup(map, {0, 0, 250}), 3);
    EXPECT_EQ(lookup(map, {0, 0, 300}), 0);
}

TEST(BspLookup, SolidSpaceIsReportedAndYieldsNoArea) {
    MapData map = twoAreasSplitByX();
    map.bspNodes[0].negativeChild = 0;  // behind the plane: solid
    resetReportsForTest();
    int area = 77;
    EXPECT_FALSE(map.pointArea(0, {-1, 0, 0}, &area));
    EXPECT_EQ(area, 77);  // not written
    EXPECT_FALSE(map.pointArea(0, {-2, 0, 0}, &area));
    EXPECT_EQ(reportCount(), 2u);  // once per lookup
    EXPECT_TRUE(map.pointArea(0, {1, 0, 0}, &area));
    EXPECT_EQ(area, 0);
}

TEST(BspLookup, MalformedTreesEndWithoutAnArea) {
    // A child beyond the node array, a cycle, a leaf naming a missing area, a
    // start node outside the array: none may hang or read out of bounds.
    MapData beyond = twoAreasSplitByX();
    beyond.bspNodes[0].positiveChild = 5;
    EXPECT_EQ(lookup(beyond, {1, 0, 0}), -1);

    MapData cycle = twoAreasSplitByX();
    cycle.bspNodes.push_back(cycle.bspNodes[0]);
    cycle.bspNodes[0].positiveChild = 1;
    cycle.bspNodes[1].positiveChild = 1;
    EXPECT_EQ(lookup(cycle, {1, 0, 0}), -1);
    EXPECT_EQ(lookup(cycle, {-1, 0, 0}), 1);

    MapData missingArea = twoAreasSplitByX();
    missingArea.bspNodes[0].negativeChild = leaf(9);
    EXPECT_EQ(lookup(missingArea, {-1, 0, 0}), -1);
    missingArea.bspNodes[0].negativeChild = std::numeric_limits<int>::min();
    EXPECT_EQ(lookup(missingArea, {-1, 0, 0}), -1);

    int area = 5;
    EXPECT_FALSE(twoAreasSplitByX().pointArea(3, {0, 0, 0}, &area));
    EXPECT_FALSE(twoAreasSplitByX().pointArea(-1, {0, 0, 0}, &area));
}

TEST(BspLookup, MapWithoutNodesIsOneArea) {
    MapData oneArea;
    oneArea.areas.resize(1);
    EXPECT_EQ(lookup(oneArea, {1e6f, -3, 12}), 0);
    MapData nothing;  // no areas either: there is no answer
    EXPECT_EQ(lookup(nothing, {0, 0, 0}), -1);
}

TEST(BspLookup, InstanceLooksUpInItsMapSpace) {
    MapData map = twoAreasSplitByX();
    MapInstance instance;
    instance.bindMap(&map);
    instance.position = {4000, -64, 4000};
    instance.yaw = 10.0f;
    instance.placeInWorld();

    // Map point x = -5 lies, in world space, at x far above 0: a lookup at the
    // world coordinates would answer area 0.
    const Vector3 worldPoint = transformCoord({-5, 0, 0}, instance.world);
    ASSERT_GT(worldPoint.x, 0.0f);
    EXPECT_EQ(instance.areaAt(worldPoint), 1);
    EXPECT_EQ(instance.areaAt(transformCoord({5, 20, -30}, instance.world)), 0);

    map.bspNodes[0].negativeChild = 0;
    EXPECT_EQ(instance.areaAt(worldPoint), -1);

    MapInstance unbound;
    EXPECT_EQ(unbound.areaAt({0, 0, 0}), -1);
}

}  // namespace
}  // namespace q
