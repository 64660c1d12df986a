// Finding a place to stand in an area from the map's own floors, read through
// the real area-portal reader without a graphics device (as --info reads).

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "map/map_data.h"
#include "map/proc_reader.h"
#include "map_test_files.h"
#include "world/standing_point.h"

namespace q {
namespace {

// A quad from (x0, y0) to (x1, y1) at height z (files are z up), its normals
// pointing nz: +1 a floor, -1 a ceiling, 0 a wall standing along x = x0.
std::string quad(const std::string& material, float x0, float y0, float x1, float y1, float z, int nz) {
    auto v = [&](float x, float y, float h) {
        const std::string n = nz == 0 ? "1 0 0" : (nz > 0 ? "0 0 1" : "0 0 -1");
        return "( " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(h) + " 0 0 " + n + " ) ";
    };
    const std::string corners = nz == 0 ? v(x0, y0, z) + v(x0, y1, z) + v(x0, y1, z + 100) + v(x0, y0, z + 100)
                                        : v(x0, y0, z) + v(x1, y0, z) + v(x1, y1, z) + v(x0, y1, z);
    return "/* surface 0 */ { \"" + material + "\" /* numVerts = */ 4 /* numIndexes = */ 6\n" + corners +
           "\n0 1 2 0 2 3\n}\n";
}

std::string model(const std::string& name, int count, const std::string& surfaces) {
    return "model { /* name = */ \"" + name + "\" /* numSurfaces = */ " + std::to_string(count) + "\n" + surfaces +
           "}\n";
}

// Area 0 is 0 <= x < 500; from x 500 on is solid; area 1 is x < 0.
const std::string kTree =
    "nodes { /* numNodes = */ 2\n/* node format is: ( planeVector ) positiveChild negativeChild */\n"
    "/* a child number of 0 is an opaque, solid area */\n/* negative child numbers are areas: (-1-child) */\n"
    "/* node 0 */ ( 1 0 0 0 ) 1 -2\n/* node 1 */ ( 1 0 0 -500 ) 0 -1\n}\n";

TEST(StandingPoint, OverTheLargestFloorWhoseSpaceTheTreePutsInTheArea) {
    test::MapFiles files;
    // Area 0: the largest floor lies beyond x 500 (solid space), a smaller one
    // at height 64 inside, a larger ceiling facing down. An entity's floor is
    // never a place to stand. Area 1: a wall alone.
    const std::string text = "mapProcFile003\n" +
                             model("_area0", 3,
                                   quad("big", 500, -500, 1500, 500, 0, 1) + quad("small", 100, -100, 300, 100, 64, 1) +
                                       quad("ceiling", 0, -300, 400, 300, 200, -1)) +
                             model("func_static_1", 1, quad("lift", 10, -400, 490, 400, 32, 1)) +
                             model("_area1", 1, quad("wall", -100, -100, -100, 100, 0, 0)) + kTree;
    MapData map;
    std::string error;
    ASSERT_TRUE(readProcFile(files.write("m.proc", text), {}, &map, &error)) << error;
    AreaFloors floors;
    floors.collect(map);
    ASSERT_EQ(map.areas.size(), 2u);
    ASSERT_EQ(map.areas[0].surfaceGroups[0].surfaces.size(), 3u);
    EXPECT_EQ(map.areas[0].surfaceGroups[0].surfaces[1].indexCount, 6);
    ASSERT_EQ(map.materials.size(), 4u);  // not the unplaced entity's "lift"
    EXPECT_EQ(map.materials[3].name, "wall");

    Vector3 eye;
    ASSERT_TRUE(findStandingPoint(map, floors, 0, 33.0f, &eye));
    // The small floor's first triangle (100,-100) (300,-100) (300,100), 33 above
    // its height of 64; y and z exchanged from the file.
    EXPECT_NEAR(eye.x, 700.0f / 3, 1e-3f);
    EXPECT_NEAR(eye.y, 97.0f, 1e-3f);
    EXPECT_NEAR(eye.z, -100.0f / 3, 1e-3f);

    EXPECT_FALSE(findStandingPoint(map, floors, 1, 33.0f, &eye));  // no floor at all
    EXPECT_FALSE(findStandingPoint(map, floors, 2, 33.0f, &eye));  // no such area
    EXPECT_FALSE(findStandingPoint(map, floors, -1, 33.0f, &eye));

    // Facing into the area: without portals towards the middle of its floors
    // (the large floor at x 1000 outweighs the small one at 200).
    const float floorsMiddleX = (1000.0f * 1.0e6f + 200.0f * 4.0e4f) / (1.0e6f + 4.0e4f);
    EXPECT_NEAR(yawIntoArea(map, floors, 0, eye), std::atan2(floorsMiddleX - eye.x, 0.0f - eye.z), 1e-4f);
    EXPECT_EQ(yawIntoArea(map, floors, 1, eye), 0.0f);  // no floor, no portal
    EXPECT_EQ(yawIntoArea(map, floors, 7, eye), 0.0f);  // no such area
    // With portals: towards the middle of the widest, wherever the floors are.
    Portal narrow, wide;
    narrow.points = {{0, 0, 100}, {0, 0, 110}, {0, 50, 110}, {0, 50, 100}};
    wide.points = {{233, 0, -300}, {333, 0, -300}, {333, 80, -300}, {233, 80, -300}};
    map.portals = {narrow, wide};
    map.areas[0].addPortal(0);
    map.areas[0].addPortal(1);
    EXPECT_NEAR(yawIntoArea(map, floors, 0, eye), std::atan2(283.0f - eye.x, -300.0f - eye.z), 1e-4f);
}

// Never on top of the map: with no area tree (every point is area 0) a floor
// needs the map's own geometry above it, and the eye stays within the
// brushes' bounds. The roof, larger than the floor, is tried first.
TEST(StandingPoint, NeverOnTopOfTheMap) {
    test::MapFiles files;
    const std::string roof = quad("roof", -300, -300, 300, 300, 272, 1);
    auto eyeHeight = [&](int count, const std::string& surfaces, float boundsTop) {
        MapData map;
        std::string error;
        const std::string text = "mapProcFile003\n" + model("_area0", count, surfaces);
        EXPECT_TRUE(readProcFile(files.write("m.proc", text), {}, &map, &error)) << error;
        AreaFloors floors;
        floors.collect(map);
        if (boundsTop > 0) map.bounds = {{-500, -16, -500}, {500, boundsTop, 500}};
        Vector3 eye{0, -1, 0};
        return findStandingPoint(map, floors, 0, 33.0f, &eye) ? eye.y : -1.0f;
    };
    const std::string room = quad("floor", -200, -200, 200, 200, 0, 1) + quad("ceiling", -200, -200, 200, 200, 256, -1);
    EXPECT_EQ(eyeHeight(3, roof + room, 0), 33.0f) << "under the ceiling, not on the roof";
    EXPECT_EQ(eyeHeight(1, roof, 0), -1.0f) << "nothing above";
    const std::string sky = quad("sky", -400, -400, 400, 400, 600, -1);
    EXPECT_EQ(eyeHeight(2, roof + sky, 0), 305.0f);
    EXPECT_EQ(eyeHeight(2, roof + sky, 288), -1.0f) << "above the brushes";
}

}  // namespace
}  // namespace q
