// The map source and the entity models it places: the reader over hand-written
// sources, good and bad, and a generated map's models placed, found in the
// areas they reach and solid or not, through the real readers.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/proc_reader.h"
#include "map/pattern_reader.h"
#include "generated_maps.h"
#include "map_test_files.h"
#include "mapgen/mapgen.h"
#include "move/collision_trace.h"

namespace q {
namespace {

bool readSource(const std::string& text, MapSource* out, std::string* error) {
    PatternReader file(text, "test.map");
    const bool read = out->readText(file);
    if (!read) *error = file.error();
    return read;
}

void expectNear(Vector3 a, Vector3 b) {
    EXPECT_NEAR(a.x, b.x, 1e-4f);
    EXPECT_NEAR(a.y, b.y, 1e-4f);
    EXPECT_NEAR(a.z, b.z, 1e-4f);
}

TEST(MapSource, ReadsKeysAndPassesOverPrimitivesByTheirBraces) {
    // Braces inside a quoted material name and inside comments do not count.
    const std::string text =
        "Version 2\n// entity 0\n{\n\"classname\" \"worldspawn\"\n// primitive 0 {\n{\n brushDef3\n {\n"
        "  ( 0 0 -1 0 ) ( ( 0.0078125 0 0 ) ( 0 0.0078125 0 ) ) \"textures/a}b\" 0 0 0\n }\n}\n"
        "{ patchDef2 { \"x\" ( 3 3 0 0 0 ) ( ( ( 0 0 0 0 0 ) ) ) } }\n}\n"
        "{\n\"classname\" \"info_player_start\"\n\"origin\" \"10 20 30\"\n\"rotation\" \"0 1 0 -1 0 0 0 0 1\"\n}\n"
        "{\n\"classname\" \"func_door\"\n\"name\" \"door one\"\n\"model\" \"func_door_1\"\n\"origin\" \"1 2 3\"\n"
        "\"angle\" \"90\"\n}\n";
    MapSource source;
    std::string error;
    ASSERT_TRUE(readSource(text, &source, &error)) << error;
    ASSERT_EQ(source.entities.size(), 3u);
    EXPECT_EQ(source.entities[0].classname, "worldspawn");
    const SourceEntity* start = source.playerStart();
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->origin, (Vector3{10, 30, 20}));  // the file's z up is map space's y up
    // The start faces where its turn points its own +x, from rotation rows too.
    MapData map;
    map.placeEntities(source);
    EXPECT_NEAR(map.playerStartAngle, 90.0f, 1e-4f);
    const SourceEntity* door = source.entityPlacing("func_door_1");
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door->name, "door one");
    EXPECT_EQ(door->line, 19);
    EXPECT_EQ(door->angleDegrees, 90.0f);
    // A turn of 90 degrees, by angle or by rotation rows alike, carries the
    // entity's own x onto the file's +y (map +z), then to the origin.
    expectNear(transformCoord({1, 0, 0}, door->placement), {1, 3, 3});
    expectNear(transformCoord({1, 0, 0}, start->placement), {10, 30, 21});
    expectNear(transformCoord({0, 0, 1}, door->placement), {0, 3, 2});  // its own +y (map +z) turned to -x
    EXPECT_EQ(source.entityPlacing("func_static_9"), nullptr);
}

TEST(MapSource, RefusesWhatDoesNotReadNamingTheLine) {
    struct Case {
        std::string text;
        const char* where;
        const char* expected;
    };
    const Case cases[] = {
        {"Version 2\n{\n\"classname\" \"a\"\n{\n brushDef3 {\n ( 1 2", "test.map:4:", "the closing } of a primitive"},
        {"Version 2\n{\n\"classname\" \"a\"\n", "test.map:", "the closing } of the entity opened on line 2"},
        {"{\n\"classname\"\n}\n", "test.map:3:", "a \"value\" after the key"},
        {"{\n\"origin\" \"1 2 3\"\n}\n}\n", "test.map:4:", "the { that opens an entity"},
        {"{\n\"a\" \"b\x01\"\n}\n", "test.map:2:", "a text file"},
        {"{\n\"a\" \"b\n}\n", "test.map:2:", "the closing quote"},
        {"Versio 2\n{\n}\n", "test.map:1:", "\"Version N\""},
    };
    for (const Case& c : cases) {
        MapSource source;
        std::string error;
        EXPECT_FALSE(readSource(c.text, &source, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.where, 0), 0u) << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST(MapSource, AnEntityThatDoesNotReadIsLeftOutAndNamedByItsLine) {
    const std::string text =
        "{\n\"model\" \"m1\"\n\"origin\" \"1 2\"\n}\n{\n\"model\" \"m2\"\n\"angle\" \"nan\"\n}\n"
        "{\n\"model\" \"m3\"\n\"rotation\" \"1 0 0 0 1 0 0 0 1 1\"\n}\n{\n\"model\" \"m4\"\n\"origin\" \"4 5 6\"\n}\n";
    MapSource source;
    std::string error;
    ASSERT_TRUE(readSource(text, &source, &error)) << error;
    EXPECT_EQ(source.entityPlacing("m1"), nullptr);
    EXPECT_EQ(source.entityPlacing("m2"), nullptr);
    EXPECT_EQ(source.entityPlacing("m3"), nullptr);
    ASSERT_NE(source.entityPlacing("m4"), nullptr);
    ASSERT_EQ(source.entityProblems.size(), 3u);
    EXPECT_NE(source.entityProblems[0].find("test.map:3: expected an origin"), std::string::npos);
    EXPECT_NE(source.entityProblems[1].find("test.map:7: expected an angle"), std::string::npos);
    EXPECT_NE(source.entityProblems[2].find("test.map:11: expected a rotation"), std::string::npos);
}

TEST(MapSource, BindChainsLeadToAMoverOrToNothingThatMoves) {
    auto entity = [](const std::string& name, const char* classname, const std::string& bind) {
        return "{\n\"classname\" \"" + std::string(classname) + "\"\n\"name\" \"" + name + "\"\n\"bind\" \"" +
               bind + "\"\n}\n";
    };
    std::string text = entity("world", "worldspawn", "") + entity("door", "func_door", "") +
                       entity("onWorld", "func_static", "world") + entity("onNothing", "func_static", "nobody") +
                       entity("loopA", "func_static", "loopB") + entity("loopB", "func_static", "loopA");
    // Statics bound one to the next, the last to the door: one link past the
    // longest chain followed from the first.
    for (int i = 0; i <= kLongestBindChain; ++i) {
        const std::string next = i == kLongestBindChain ? "door" : "s" + std::to_string(i + 1);
        text += entity("s" + std::to_string(i), "func_static", next);
    }
    MapSource source;
    std::string error;
    ASSERT_TRUE(readSource(text, &source, &error)) << error;
    auto moves = [&](const char* name) {
        const SourceEntity* found = source.entityNamed(name);
        EXPECT_NE(found, nullptr) << name;
        return found && source.boundToMover(*found);
    };
    EXPECT_TRUE(moves("s1"));
    EXPECT_TRUE(moves("s64"));
    EXPECT_FALSE(moves("s0"));
    for (const char* still : {"door", "onWorld", "onNothing", "loopA"}) EXPECT_FALSE(moves(still)) << still;
}

// The two-room map with its entities (mapgen --entities), read as a load
// reads it but without a device.
class GeneratedEntities : public ::testing::Test {
protected:
    void SetUp() override {
        std::string base;
        ASSERT_NO_FATAL_FAILURE(test::generateTwoRoomsWithEntities(files, &base));
        ASSERT_NO_FATAL_FAILURE(test::readWithEntities(base, &source, &map));
    }

    const EntityModel& model(const std::string& name) const {
        const auto found = std::find_if(map.entityModels.begin(), map.entityModels.end(),
                                        [&](const EntityModel& m) { return m.name == name; });
        EXPECT_NE(found, map.entityModels.end()) << name;
        return found == map.entityModels.end() ? map.entityModels.front() : *found;
    }

    // Where a box with the camera's half extents, its bottom a unit above the
    // floor, sweeping along map x (or z) from `from` to `to` stops.
    float stopAlong(int axis, float from, float to, Vector3 extents = {8, 32, 8}, float across = 0) const {
        Vector3 start{across, 33, across}, end{across, 33, across};
        start[axis] = from;
        end[axis] = to;
        return from + traceBox(map, start, end, extents).fraction * (to - from);
    }

    test::MapFiles files;
    MapSource source;
    MapData map;
};

TEST_F(GeneratedEntities, EveryModelIsPlacedInTheAreasItsPlacedBoundsReach) {
    ASSERT_EQ(map.entityModels.size(), 6u);
    EXPECT_EQ(map.undrawnModels, 0);
    // The door and the sill stand in the doorway between the rooms (areas 1
    // and 2); the statics stand in the west room.
    EXPECT_EQ(model("func_door_1").areas, (std::vector<int>{1, 2}));
    EXPECT_EQ(model("func_static_sill").areas, (std::vector<int>{1, 2}));
    EXPECT_EQ(model("func_static_step").areas, (std::vector<int>{1}));
    EXPECT_EQ(model("func_static_turned30").areas, (std::vector<int>{1}));
    EXPECT_EQ(model("func_static_step").origin, fromFileAxes(70, -60, 0));
    EXPECT_EQ(model("func_door_1").classname, "func_door");
    // Its vertices stay in the entity's own space: the placement carries them.
    EXPECT_EQ(model("func_static_step").bounds.maxs.x, 30.0f);
    // The map's bounds hold each model where it stands, not where its own
    // space puts it: a step carried far out of the rooms takes them along.
    for (SourceEntity& entity : source.entities) {
        if (entity.name != "func_static_step") continue;
        entity.origin = entity.origin + Vector3{5000, 0, 0};
        entity.placement.m[3][0] += 5000;
    }
    map.placeEntities(source);
    const Bounds& step = model("func_static_step").solidBounds;
    EXPECT_GT(step.mins.x, 4000.0f);
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_LE(map.bounds.mins[axis], step.mins[axis]) << axis;
        EXPECT_GE(map.bounds.maxs[axis], step.maxs[axis]) << axis;
    }
    ASSERT_TRUE(map.hasPlayerStart);
    EXPECT_EQ(map.playerStart, fromFileAxes(-40, -60, 0));
    EXPECT_EQ(map.playerStartAngle, 0.0f);
    // Placed bounds in solid space alone reach no area.
    std::vector<int> reached{7};
    map.areasReached({{-140, -15, -20}, {-130, -5, 20}}, &reached);
    EXPECT_TRUE(reached.empty());
}

TEST_F(GeneratedEntities, OnlyStaticsWhoseTurnKeepsTheBoxAxesAreSolid) {
    EXPECT_TRUE(model("func_static_step").solid);
    EXPECT_TRUE(model("func_static_turned90").solid);
    EXPECT_FALSE(model("func_static_turned30").solid);  // its turn would tilt the box
    EXPECT_FALSE(model("func_door_1").solid);            // it has brushes; doors let a person through
    EXPECT_FALSE(model("func_static_sill").solid);       // no collision model
    EXPECT_FALSE(model("func_static_doorclip").solid);   // bound to the door, which moves

    // The step's west face is at x 40: the box (half width 8) stops 1/32 short.
    EXPECT_NEAR(stopAlong(0, 0, 60, {8, 32, 8}, -60), 32.0f - 0.03125f, 1e-3f);
    // Turned by 90 degrees the long bar runs along map z, x -98 to -82. A box
    // 20 wide along x stops at -62: its extents are turned into the bar's
    // space with it (unturned, it would stop at -74).
    EXPECT_NEAR(stopAlong(0, -40, -100, {20, 32, 8}), -62.0f + 0.03125f, 1e-3f);
    EXPECT_EQ(stopAlong(2, 0, 100), 100.0f);    // through the statics turned by 30 degrees
    EXPECT_EQ(stopAlong(0, 100, 180), 180.0f);  // through the door and the clip bound to it
}

}  // namespace
}  // namespace q
