// The generated maps against what they were built from: the area tree sorts
// every point as the cells do, portals face their positive area, brushes fill
// exactly the solid, surfaces face into their area, and the files come out the
// same for the same seed.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/proc_reader.h"
#include "mapgen/command_line.h"
#include "mapgen/mapgen.h"
#include "math/matrix.h"
#include "move/camera_update.h"
#include "move/collision_trace.h"
#include "move/movement.h"
#include "gpu/recording/recording_device.h"
#include "platform/report.h"
#include "recording_device_fixture.h"
#include "render/globals.h"
#include "world/map_instance.h"

namespace q::mapgen {
namespace {

MapgenOptions preset(const std::string& name, int count = 0, uint32_t seed = 1) {
    MapgenOptions o;
    o.preset = name;
    o.count = count;
    o.seed = seed;
    return o;
}

GeneratedMap build(const MapgenOptions& o) {
    GeneratedMap map;
    std::string error;
    EXPECT_TRUE(buildMap(o, &map, &error)) << error;
    return map;
}

MapgenOptions sealed(MapgenOptions o, int areaZeroRoom) {
    o.areaZeroRoom = areaZeroRoom;
    return o;
}

std::vector<MapgenOptions> allPresets() {
    return {preset("room"),    preset("tworooms"), preset("twodoors"), preset("corridor", 5),
            preset("bends", 4), preset("grid", 4), preset("demo"),     sealed(preset("grid", 4), 6)};
}

std::string describe(const MapgenOptions& o) { return mapName(o) + (o.splitPortals ? " (split portals)" : ""); }

MapgenOptions withSplitPortals(MapgenOptions o) {
    o.splitPortals = true;
    return o;
}

TEST(MapgenAreaTree, RoomCentresWallsAndOutsideInEveryPreset) {
    for (const MapgenOptions& o : allPresets()) {
        SCOPED_TRACE(describe(o));
        const GeneratedMap map = build(o);
        const int t = map.layout.wall;
        for (const Room& r : map.layout.rooms) {
            const Box& in = r.interior;
            EXPECT_EQ(lookupArea(map.areaNodes, in.centre(0), in.centre(1), in.lo[2] + 100), r.area) << r.name;
            // The middle of each wall, above every doorway and window (they end
            // 96 above the floor), is solid.
            const double z = in.lo[2] + 112;
            EXPECT_EQ(lookupArea(map.areaNodes, in.lo[0] - t / 2.0, in.centre(1), z), kSolid) << r.name;
            EXPECT_EQ(lookupArea(map.areaNodes, in.hi[0] + t / 2.0, in.centre(1), z), kSolid) << r.name;
            EXPECT_EQ(lookupArea(map.areaNodes, in.centre(0), in.lo[1] - t / 2.0, z), kSolid) << r.name;
            EXPECT_EQ(lookupArea(map.areaNodes, in.centre(0), in.hi[1] + t / 2.0, z), kSolid) << r.name;
            EXPECT_EQ(lookupArea(map.areaNodes, in.centre(0), in.centre(1), in.lo[2] - t / 2.0), kSolid) << r.name;
        }
        // Far away on every side, and just under the lowest floor: area 0, or
        // solid outside a sealed building.
        const int outside = map.layout.sealed ? kSolid : 0;
        for (double far : {-100000.0, 100000.0}) {
            EXPECT_EQ(lookupArea(map.areaNodes, far, 0, 64), outside);
            EXPECT_EQ(lookupArea(map.areaNodes, 0, far, 64), outside);
            EXPECT_EQ(lookupArea(map.areaNodes, 0, 0, far), outside);
        }
        EXPECT_EQ(lookupArea(map.areaNodes, 0, 0, -t - 1), outside);
        // The start point lies in a room, 64 above a floor at z = 0.
        const int start = lookupArea(map.areaNodes, map.layout.start[0], map.layout.start[1], map.layout.start[2]);
        EXPECT_NE(start, outside);
        EXPECT_NE(start, kSolid);
        EXPECT_EQ(lookupArea(map.areaNodes, 0, 0, 1), start);
        EXPECT_EQ(lookupArea(map.areaNodes, 0, 0, -1), kSolid);
    }
}

// Every cell, probed at its centre, is sorted by the tree as the building says.
TEST(MapgenAreaTree, AgreesWithTheCellsEverywhere) {
    for (const MapgenOptions& o : allPresets()) {
        SCOPED_TRACE(describe(o));
        const GeneratedMap map = build(o);
        const Volume& v = map.volume;
        int wrong = 0;
        for (int k = 0; k < v.cells[2]; ++k)
            for (int j = 0; j < v.cells[1]; ++j)
                for (int i = 0; i < v.cells[0]; ++i) {
                    const double x = 0.5 * (v.coords[0][i] + v.coords[0][i + 1]);
                    const double y = 0.5 * (v.coords[1][j] + v.coords[1][j + 1]);
                    const double z = 0.5 * (v.coords[2][k] + v.coords[2][k + 1]);
                    if (lookupArea(map.areaNodes, x, y, z) != v.labelAt(i, j, k)) ++wrong;
                    // A point on cell boundaries goes where the tree's s >= 0 rule sends it.
                    const double cx = v.coords[0][i], cy = v.coords[1][j], cz = v.coords[2][k];
                    if (lookupArea(map.areaNodes, cx, cy, cz) != v.classify(cx, cy, cz)) ++wrong;
                }
        EXPECT_EQ(wrong, 0);
        // The children obey the file's rule: node 0 is never anyone's child.
        // Children name a later node, solid, or an existing area; node 0 is
        // nobody's child.
        for (size_t i = 0; i < map.areaNodes.size(); ++i)
            for (int child : {map.areaNodes[i].positiveChild, map.areaNodes[i].negativeChild}) {
                if (child > 0) {
                    EXPECT_GT(child, static_cast<int>(i));
                    EXPECT_LT(child, static_cast<int>(map.areaNodes.size()));
                } else if (child < 0) {
                    EXPECT_LT(-1 - child, map.areaCount());
                }
            }
    }
}

TEST(MapgenPortals, CountsAndSidesAsReaderComputesThem) {
    const GeneratedMap grid = build(preset("grid", 16));
    EXPECT_EQ(grid.areaCount(), 257);  // 256 rooms and the outside
    EXPECT_EQ(grid.portals.size(), 480u);
    // Sealed, with room 100 as area 0: the outside is no area, the rest move
    // down by one, and no collision brush fills the void around the building.
    const GeneratedMap sealedGrid = build(sealed(preset("grid", 16), 100));
    EXPECT_EQ(sealedGrid.areaCount(), 256);
    EXPECT_EQ(sealedGrid.portals.size(), 480u);
    EXPECT_EQ(sealedGrid.layout.rooms[99].area, 0);
    EXPECT_EQ(sealedGrid.layout.rooms[98].area, 99);
    EXPECT_EQ(sealedGrid.layout.rooms[100].area, 100);
    EXPECT_EQ(sealedGrid.brushes.size(), grid.brushes.size());
    std::string error;
    GeneratedMap unused;
    EXPECT_FALSE(buildMap(sealed(preset("demo"), 1), &unused, &error));  // the demo has windows
    EXPECT_NE(error.find("windows"), std::string::npos) << error;
    EXPECT_EQ(build(preset("tworooms")).portals.size(), 1u);
    EXPECT_EQ(build(preset("twodoors")).portals.size(), 5u);
    EXPECT_EQ(build(preset("corridor", 7)).portals.size(), 6u);
    EXPECT_EQ(build(preset("bends", 7)).portals.size(), 6u);
    EXPECT_TRUE(build(preset("room")).portals.empty());
    // The portal no eye passes: one more, in solid wall between the first
    // doorway's rooms, facing away from its positive area.
    MapgenOptions dead = preset("bends", 7);
    dead.deadPortal = true;
    const GeneratedMap withDead = build(dead);
    ASSERT_EQ(withDead.portals.size(), 7u);
    const PortalQuad& d = withDead.portals.back();
    EXPECT_EQ(d.positiveArea, withDead.portals.front().negativeArea);
    EXPECT_EQ(d.negativeArea, withDead.portals.front().positiveArea);
    double n[3], c[3] = {0, 0, 0};
    readerPortalNormal(d, n);  // y up
    const double file[3] = {n[0], n[2], n[1]};
    for (const auto& point : d.points)
        for (int a = 0; a < 3; ++a) c[a] += point[a] / 4.0;
    EXPECT_EQ(lookupArea(withDead.areaNodes, c[0], c[1], c[2]), kSolid);
    EXPECT_EQ(lookupArea(withDead.areaNodes, c[0] + 12 * file[0], c[1] + 12 * file[1], c[2] + 12 * file[2]), d.negativeArea);
    EXPECT_EQ(lookupArea(withDead.areaNodes, c[0] - 12 * file[0], c[1] - 12 * file[1], c[2] - 12 * file[2]), d.positiveArea);
    for (MapgenOptions noRoom : {preset("bends", 1), preset("grid", 4)}) {
        noRoom.deadPortal = true;
        EXPECT_FALSE(buildMap(noRoom, &unused, &error)) << describe(noRoom);
        EXPECT_NE(error.find("--dead-portal"), std::string::npos) << error;
    }

    for (const MapgenOptions& o : allPresets()) {
        SCOPED_TRACE(describe(o));
        const GeneratedMap map = build(o);
        for (const PortalQuad& p : map.portals) {
            double n[3];
            readerPortalNormal(p, n);  // y up
            const double file[3] = {n[0], n[2], n[1]};
            double c[3] = {0, 0, 0};
            for (const auto& point : p.points)
                for (int a = 0; a < 3; ++a) c[a] += point[a] / 4.0;
            EXPECT_EQ(lookupArea(map.areaNodes, c[0] + 4 * file[0], c[1] + 4 * file[1], c[2] + 4 * file[2]),
                      p.positiveArea);
            EXPECT_EQ(lookupArea(map.areaNodes, c[0] - 4 * file[0], c[1] - 4 * file[1], c[2] - 4 * file[2]),
                      p.negativeArea);
            EXPECT_NE(p.positiveArea, p.negativeArea);
            // A doorway lets the 16 x 64 box through.
            float lo[3], hi[3];
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min({p.points[0][a], p.points[1][a], p.points[2][a], p.points[3][a]});
                hi[a] = std::max({p.points[0][a], p.points[1][a], p.points[2][a], p.points[3][a]});
            }
            if (p.positiveArea != 0 && p.negativeArea != 0) {
                EXPECT_GE(hi[2] - lo[2], 80);
                EXPECT_GE(std::max(hi[0] - lo[0], hi[1] - lo[1]), 48);
            }
        }
    }
}

bool insideBox(const Box& b, double x, double y, double z) {
    return x > b.lo[0] && x < b.hi[0] && y > b.lo[1] && y < b.hi[1] && z > b.lo[2] && z < b.hi[2];
}

TEST(MapgenBrushes, FillExactlyTheSolidAndAreLinkedWhereverTheyReach) {
    for (const MapgenOptions& o : allPresets()) {
        SCOPED_TRACE(describe(o));
        const GeneratedMap map = build(o);
        const Volume& v = map.volume;
        int wrong = 0;
        for (int k = 0; k < v.cells[2]; ++k)
            for (int j = 0; j < v.cells[1]; ++j)
                for (int i = 0; i < v.cells[0]; ++i) {
                    const double x = 0.5 * (v.coords[0][i] + v.coords[0][i + 1]);
                    const double y = 0.5 * (v.coords[1][j] + v.coords[1][j + 1]);
                    const double z = 0.5 * (v.coords[2][k] + v.coords[2][k + 1]);
                    int holders = 0;
                    for (const BrushBox& b : map.brushes) holders += insideBox(b.box, x, y, z);
                    // The void around a sealed building is solid to the area
                    // tree but holds no brush.
                    const bool wall = v.labelAt(i, j, k) == kSolid && v.fillAt(i, j, k) != Fill::Outside;
                    if (holders != (wall ? 1 : 0)) ++wrong;
                }
        EXPECT_EQ(wrong, 0);

        // Walk the tree keeping each node's region; a leaf lists exactly the
        // brushes whose volume meets its region.
        struct Item {
            int node;
            double lo[3], hi[3];
        };
        std::vector<Item> stack{{0, {-1e9, -1e9, -1e9}, {1e9, 1e9, 1e9}}};
        int leaves = 0;
        while (!stack.empty()) {
            const Item it = stack.back();
            stack.pop_back();
            const SplitNode& n = map.collisionTree[it.node];
            if (n.axis < 0) {
                ++leaves;
                std::vector<int> expected;
                for (size_t b = 0; b < map.brushes.size(); ++b) {
                    const Box& box = map.brushes[b].box;
                    bool meets = true;
                    for (int a = 0; a < 3; ++a) meets = meets && box.lo[a] < it.hi[a] && box.hi[a] > it.lo[a];
                    if (meets) expected.push_back(static_cast<int>(b));
                }
                EXPECT_EQ(n.brushes, expected);
                continue;
            }
            Item front = it, back = it;
            front.node = n.front;
            back.node = n.back;
            front.lo[n.axis] = n.distance;
            back.hi[n.axis] = n.distance;
            stack.push_back(front);
            stack.push_back(back);
        }
        EXPECT_GE(leaves, 1);
    }
}

TEST(MapgenSurfaces, FaceIntoTheirAreaWithinTheIndexLimit) {
    for (const MapgenOptions& o : allPresets()) {
        SCOPED_TRACE(describe(o));
        const GeneratedMap map = build(o);
        ASSERT_EQ(static_cast<int>(map.areas.size()), map.areaCount());
        for (int area = 0; area < map.areaCount(); ++area) {
            bool hasFloor = false;
            for (const MeshSurface& s : map.areas[area].surfaces) {
                ASSERT_LE(s.vertices.size(), 65535u);
                ASSERT_EQ(s.indices.size() % 6, 0u);
                for (uint16_t i : s.indices) ASSERT_LT(i, s.vertices.size());
                hasFloor = hasFloor || s.material == kFloor;
                // Each quad's middle, moved half a unit along its normal, lies in
                // this area; moved back, in solid.
                for (size_t q = 0; q + 3 < s.vertices.size(); q += 4) {
                    const FileVertex& a = s.vertices[q];
                    const FileVertex& c = s.vertices[q + 2];
                    const double m[3] = {(a.x + c.x) / 2.0, (a.y + c.y) / 2.0, (a.z + c.z) / 2.0};
                    const double n[3] = {a.nx, a.ny, a.nz};
                    EXPECT_EQ(lookupArea(map.areaNodes, m[0] + n[0] / 2, m[1] + n[1] / 2, m[2] + n[2] / 2), area);
                    EXPECT_EQ(lookupArea(map.areaNodes, m[0] - n[0] / 2, m[1] - n[1] / 2, m[2] - n[2] / 2), kSolid);
                    // One repeat per 128 units: s follows the position along the face.
                    const FileVertex& b = s.vertices[q + 1];
                    const double moved = std::fabs(b.x - a.x) + std::fabs(b.y - a.y) + std::fabs(b.z - a.z);
                    const double texMoved = std::fabs(b.s - a.s) + std::fabs(b.t - a.t);
                    EXPECT_NEAR(texMoved * 128, moved, 1e-3);
                }
            }
            if (area > 0) {
                EXPECT_TRUE(hasFloor) << "area " << area;
            }
        }
    }
}

// With a small limit every area's faces are spread over more surfaces, none
// above the limit, and no face is lost.
TEST(MapgenSurfaces, SplitAtTheVertexLimitWithoutLosingFaces) {
    const GeneratedMap map = build(preset("grid", 4));
    const std::vector<AreaMesh> split = buildSurfaces(map.volume, map.areaCount(), 8);
    for (int area = 0; area < map.areaCount(); ++area) {
        size_t whole = 0, parts = 0;
        for (const MeshSurface& s : map.areas[area].surfaces) whole += s.vertices.size();
        for (const MeshSurface& s : split[area].surfaces) {
            EXPECT_LE(s.vertices.size(), 8u);
            for (uint16_t i : s.indices) EXPECT_LT(i, s.vertices.size());
            parts += s.vertices.size();
        }
        EXPECT_EQ(parts, whole);
        EXPECT_GE(split[area].surfaces.size(), map.areas[area].surfaces.size());
    }
}

TEST(MapgenDemo, StartStairsLedgeAndExtent) {
    const GeneratedMap map = build(preset("demo"));
    const int rooms = static_cast<int>(map.layout.rooms.size());
    EXPECT_GE(rooms, 20);
    EXPECT_LE(rooms, 40);
    // The camera box (16 x 64 x 16 around the start) meets no brush; a floor
    // brush with its top at z = 0 lies right under it.
    const double* s = map.layout.start;
    bool floorBelow = false;
    for (const BrushBox& b : map.brushes) {
        const bool overlapsBox = b.box.lo[0] < s[0] + 8 && b.box.hi[0] > s[0] - 8 && b.box.lo[1] < s[1] + 8 &&
                                 b.box.hi[1] > s[1] - 8 && b.box.lo[2] < s[2] + 32 && b.box.hi[2] > s[2] - 32;
        EXPECT_FALSE(overlapsBox);
        if (b.box.hi[2] == 0 && b.box.lo[0] <= s[0] && b.box.hi[0] >= s[0] && b.box.lo[1] <= s[1] &&
            b.box.hi[1] >= s[1])
            floorBelow = true;
    }
    EXPECT_TRUE(floorBelow);

    // Two storeys; steps of 8 to 12 units that the 16-unit step-up climbs,
    // each deep enough to stand on; at least one prop top out of reach (> 16
    // above the floor and not part of a stair).
    std::vector<int> floors;
    for (const Room& r : map.layout.rooms) floors.push_back(r.interior.lo[2]);
    std::sort(floors.begin(), floors.end());
    floors.erase(std::unique(floors.begin(), floors.end()), floors.end());
    EXPECT_EQ(floors.size(), 2u);
    std::vector<int> stepTops;
    for (const Prop& p : map.layout.props)
        if (p.box.hi[0] - p.box.lo[0] >= 32 && p.box.hi[1] - p.box.lo[1] >= 32) stepTops.push_back(p.box.hi[2]);
    std::sort(stepTops.begin(), stepTops.end());
    int climbable = 0;
    for (size_t i = 1; i < stepTops.size(); ++i) {
        const int rise = stepTops[i] - stepTops[i - 1];
        if (rise >= 8 && rise <= 12) ++climbable;
    }
    EXPECT_GE(climbable, 10);
    // The map stays clear of its neighbours 4000 units away.
    for (const BrushBox& b : map.brushes)
        for (int a = 0; a < 2; ++a) {
            EXPECT_GE(b.box.lo[a], -1900);
            EXPECT_LE(b.box.hi[a], 1900);
        }
    int windows = 0;
    for (const Opening& o : map.layout.openings) windows += o.window;
    EXPECT_GE(windows, 10);
}

TEST(MapgenLayout, RejectsRoomsThatShareNoWallOrCrowdEachOther) {
    Layout l;
    const int a = addRoom(l, Box::of(0, 0, 0, 256, 256, 128), "a");
    const int b = addRoom(l, Box::of(300, 0, 0, 556, 256, 128), "b");
    std::string error;
    EXPECT_FALSE(connectRooms(l, a, b, 64, 96, 0, 0, &error));
    EXPECT_NE(error.find("do not share a wall"), std::string::npos);
    const int c = addRoom(l, Box::of(0, 264, 0, 256, 400, 128), "c");  // 8 apart: no wall fits
    EXPECT_FALSE(checkLayout(l, &error));
    EXPECT_NE(error.find("closer than a wall"), std::string::npos);
    EXPECT_FALSE(connectRooms(l, a, c, 64, 200, 0, 0, &error));
    EXPECT_FALSE(addWindow(l, a, 1, 1, 64, 64, 32, 0, &error));  // into c's walls
    EXPECT_NE(error.find("opens into c"), std::string::npos);
    EXPECT_TRUE(addWindow(l, a, 0, -1, 64, 64, 32, 0, &error)) << error;
    EXPECT_FALSE(addProp(l, a, Box::of(200, 0, 0, 300, 10, 10), &error));
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path scratchDir(const std::string& leaf) {
    const auto dir = std::filesystem::temp_directory_path() / ("mapgen_test_" + std::to_string(::getpid())) / leaf;
    std::filesystem::remove_all(dir);
    return dir;
}

TEST(MapgenFiles, SameSeedSameBytesOtherSeedOtherTextures) {
    const MapgenOptions demo = preset("demo", 0, 7);
    std::string error;
    const auto one = scratchDir("one"), two = scratchDir("two"), other = scratchDir("other");
    ASSERT_TRUE(generateMap(demo, one.string(), &error)) << error;
    ASSERT_TRUE(generateMap(demo, two.string(), &error)) << error;
    ASSERT_TRUE(generateMap(preset("demo", 0, 8), other.string(), &error)) << error;
    const char* files[] = {"bbb.proc", "bbb.cm", "Grass.bmp", "textures/gen/floor.jpg", "textures/gen/wall.jpg",
                           "textures/gen/ceiling.jpg", "textures/gen/trim.jpg", "textures/gen/outer.jpg"};
    for (const char* f : files) {
        const std::string a = slurp(one / f);
        EXPECT_FALSE(a.empty()) << f;
        EXPECT_EQ(a, slurp(two / f)) << f;
    }
    EXPECT_NE(slurp(one / "textures/gen/wall.jpg"), slurp(other / "textures/gen/wall.jpg"));
    std::filesystem::remove_all(one.parent_path());
}

TEST(MapgenFiles, EntitiesOnlyWithTheOptionAndTheWorldUnchanged) {
    MapgenOptions with = preset("demo");
    with.entities = true;
    std::string error;
    const auto plain = scratchDir("plain"), entities = scratchDir("entities");
    ASSERT_TRUE(generateMap(preset("demo"), plain.string(), &error)) << error;
    ASSERT_TRUE(generateMap(with, entities.string(), &error)) << error;
    EXPECT_FALSE(std::filesystem::exists(plain / "bbb.map"));
    // The entity models come after the areas and the collision models after
    // the world's: what the map had before is there as it was.
    const std::string proc = slurp(plain / "bbb.proc"), cm = slurp(plain / "bbb.cm");
    const std::string procWith = slurp(entities / "bbb.proc"), cmWith = slurp(entities / "bbb.cm");
    const size_t models = procWith.find("model { /* name = */ \"func_static_step\"");
    ASSERT_NE(models, std::string::npos);
    EXPECT_EQ(procWith.substr(0, models), proc.substr(0, models));
    // The lights' shadow volumes follow the area tree.
    const size_t portalsWith = procWith.find("interAreaPortals"), shadows = procWith.find("shadowModel");
    ASSERT_NE(shadows, std::string::npos);
    EXPECT_EQ(procWith.substr(portalsWith, shadows - portalsWith), proc.substr(proc.find("interAreaPortals")));
    EXPECT_EQ(cmWith.substr(0, cm.size()), cm);
    EXPECT_NE(cmWith.find("collisionModel \"func_static_turned90\""), std::string::npos);
    // The source is at least as large as the area-portal file, as real ones are.
    EXPECT_GE(slurp(entities / "bbb.map").size(), procWith.size());
    std::filesystem::remove_all(plain.parent_path());
}

TEST(MapgenCommandLine, PresetsSizesOptionsAndMistakes) {
    auto parse = [](std::vector<const char*> args, CommandLine* cl, std::string* error) {
        args.insert(args.begin(), "mapgen");
        return parseCommandLine(static_cast<int>(args.size()), args.data(), cl, error);
    };
    CommandLine cl;
    std::string error;
    ASSERT_TRUE(parse({"grid", "16", "--seed", "5", "out"}, &cl, &error)) << error;
    EXPECT_EQ(cl.options.preset, "grid");
    EXPECT_EQ(cl.options.count, 16);
    EXPECT_EQ(cl.options.seed, 5u);
    EXPECT_EQ(cl.outDir, "out");
    EXPECT_EQ(mapName(cl.options), "grid16");
    ASSERT_TRUE(parse({"--name", "x", "demo", "dir"}, &cl, &error)) << error;
    EXPECT_EQ(mapName(cl.options), "x");
    ASSERT_TRUE(parse({"grid", "6", "--area0-room", "8", "dir"}, &cl, &error)) << error;
    EXPECT_EQ(cl.options.areaZeroRoom, 8);
    EXPECT_EQ(mapName(cl.options), "grid6-area0-8");
    EXPECT_FALSE(cl.options.splitPortals);
    ASSERT_TRUE(parse({"twodoors", "dir"}, &cl, &error)) << error;
    EXPECT_EQ(mapName(cl.options), "twodoors");
    ASSERT_TRUE(parse({"demo", "--split-portals", "dir"}, &cl, &error)) << error;
    EXPECT_TRUE(cl.options.splitPortals);
    EXPECT_FALSE(cl.options.entities);
    ASSERT_TRUE(parse({"room", "--entities", "dir"}, &cl, &error)) << error;
    EXPECT_TRUE(cl.options.entities);
    EXPECT_FALSE(cl.options.deadPortal);
    ASSERT_TRUE(parse({"bends", "4", "--dead-portal", "dir"}, &cl, &error)) << error;
    EXPECT_TRUE(cl.options.deadPortal);
    EXPECT_FALSE(cl.options.meshes);
    ASSERT_TRUE(parse({"room", "--meshes", "dir"}, &cl, &error)) << error;
    EXPECT_TRUE(cl.options.meshes && cl.options.meshPlacements == 0);
    ASSERT_TRUE(parse({"grid", "4", "--mesh-count", "1000", "dir"}, &cl, &error)) << error;
    EXPECT_TRUE(cl.options.meshes && cl.options.meshPlacements == 1000 && cl.outDir == "dir");
    ASSERT_TRUE(parse({"--help"}, &cl, &error));
    EXPECT_TRUE(cl.help);

    const std::vector<std::vector<const char*>> bad = {
        {"castle", "out"}, {"grid", "out"}, {"grid", "65", "out"}, {"grid", "0", "out"}, {"demo"},
        {"demo", "a", "b"}, {"--seed", "x", "demo", "out"}, {"--seed"}, {"--frob", "demo", "out"},
        {"--name", "a/b", "demo", "out"}, {"--area0-room", "0", "grid", "2", "out"}, {},
        {"room", "--mesh-count", "-1", "out"}, {"room", "--mesh-count", "100001", "out"}, {"room", "--mesh-count"}};
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(parse(args, &cl, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(MapgenCommandLine, BinaryExitsWithTwoOnMistakes) {
    const std::string binary = MAPGEN_BINARY;
    EXPECT_EQ(WEXITSTATUS(std::system((binary + " castle /tmp/none 2>/dev/null").c_str())), 2);
    EXPECT_EQ(WEXITSTATUS(std::system((binary + " grid 99 /tmp/none 2>/dev/null").c_str())), 2);
    // A room the building does not have is refused when the map is built.
    EXPECT_NE(WEXITSTATUS(std::system((binary + " grid 2 --area0-room 5 /tmp/none 2>/dev/null").c_str())), 0);
    EXPECT_EQ(WEXITSTATUS(std::system((binary + " --help >/dev/null").c_str())), 0);
    const auto dir = scratchDir("cli");
    EXPECT_EQ(WEXITSTATUS(std::system((binary + " tworooms " + dir.string()).c_str())), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "tworooms.proc"));
    EXPECT_TRUE(std::filesystem::exists(dir / "tworooms.cm"));
    std::filesystem::remove_all(dir.parent_path());
}

// The files as the viewer reads them.
class MapgenLoaded : public q::test::RecordingDeviceTest {
protected:
    void TearDown() override {
        RecordingDeviceTest::TearDown();
        std::filesystem::remove_all(dir_);
    }

    // Generates the preset's files and reads them into `map`.
    void load(const MapgenOptions& o) {
        dir_ = scratchDir(mapName(o));
        std::string error;
        ASSERT_TRUE(buildMap(o, &built, &error)) << error;
        ASSERT_TRUE(generateMap(o, dir_.string(), &error)) << error;
        map = MapData();
        const std::string base = (dir_ / mapName(o)).string();
        ASSERT_TRUE(readProcFile(base + ".proc", {}, &map, &error)) << error;
        ASSERT_TRUE(readCollisionFile((base + ".cm").c_str(), &map, &error)) << error;
    }

    // File frame (z up) to the viewer's (y up).
    static Vector3 viewer(double x, double y, double z) {
        return {static_cast<float>(x), static_cast<float>(z), static_cast<float>(y)};
    }
    int areaAt(Vector3 p) const {
        int area = -100;
        return map.pointArea(0, p, &area) ? area : kSolid;
    }

    GeneratedMap built;
    MapData map;

private:
    std::filesystem::path dir_;
};

TEST_F(MapgenLoaded, EveryPresetReadsBackWithItsAreasPortalsAndBrushes) {
    for (const MapgenOptions& o : {preset("room"), preset("tworooms"), preset("corridor", 4), preset("grid", 16),
                                   preset("demo"), withSplitPortals(preset("demo"))}) {
        SCOPED_TRACE(describe(o));
        load(o);
        if (HasFatalFailure()) return;
        ASSERT_EQ(static_cast<int>(map.areas.size()), built.areaCount());
        ASSERT_EQ(map.portals.size(), built.portals.size());
        EXPECT_EQ(map.brushes.size(), built.brushes.size());
        for (int area = 0; area < built.areaCount(); ++area) {
            ASSERT_EQ(map.areas[area].surfaceGroups.size(), 1u);
            EXPECT_EQ(map.areas[area].surfaceGroups[0].surfaces.size(), built.areas[area].surfaces.size());
        }

        const int t = built.layout.wall;
        for (const Room& r : built.layout.rooms) {
            const Box& in = r.interior;
            EXPECT_EQ(areaAt(viewer(in.centre(0), in.centre(1), in.centre(2))), r.area) << r.name;
            EXPECT_EQ(areaAt(viewer(in.lo[0] - t / 2.0, in.centre(1), in.lo[2] + 112)), kSolid) << r.name;
        }
        EXPECT_EQ(areaAt(viewer(50000, -50000, 64)), 0);
        EXPECT_EQ(areaAt(viewer(0, 0, -1000)), 0);

        // Each portal's plane, as the reader computed it, faces its positive area.
        for (const Portal& p : map.portals) {
            ASSERT_GE(p.points.size(), 4u);
            Vector3 c{0, 0, 0};
            for (int i = 0; i < 4; ++i) c = c + p.points[i] * 0.25f;
            EXPECT_EQ(areaAt(c + p.plane.normal() * 4.0f), p.positiveArea);
            EXPECT_EQ(areaAt(c - p.plane.normal() * 4.0f), p.negativeArea);
            EXPECT_FLOAT_EQ(p.plane.distance(c), 0.0f);
        }
        // The view is narrowed to each opening's own four corners, however
        // many points the file gives it.
        for (size_t i = 0; i < map.portals.size(); ++i) {
            ASSERT_EQ(map.portals[i].points.size(), o.splitPortals ? 8u : 4u);
            for (const auto& corner : built.portals[i].points) {
                const Vector3 c = viewer(corner[0], corner[1], corner[2]);
                const auto& view = map.portals[i].viewCorners;
                EXPECT_TRUE(std::any_of(view.begin(), view.end(), [c](Vector3 v) { return dot(v - c, v - c) < 1e-4f; }))
                    << "portal " << i;
            }
        }

        // The reader linked every brush into exactly the leaves its bounds reach.
        struct Item {
            int node;
            Vector3 lo, hi;
        };
        ASSERT_GE(map.collisionRoot, 0);
        std::vector<Item> stack{{map.collisionRoot, {-1e9f, -1e9f, -1e9f}, {1e9f, 1e9f, 1e9f}}};
        std::vector<int> leavesPerBrush(map.brushes.size(), 0), reached(map.brushes.size(), 0);
        while (!stack.empty()) {
            const Item it = stack.back();
            stack.pop_back();
            const CollisionNode& n = map.collisionNodes[it.node];
            if (n.axis < 0) {
                for (int b : n.brushIndices) ++leavesPerBrush[b];
                for (size_t b = 0; b < map.brushes.size(); ++b) {
                    const Bounds& bb = map.brushes[b].bounds;
                    bool meets = true;
                    for (int a = 0; a < 3; ++a) meets = meets && bb.mins[a] < it.hi[a] && bb.maxs[a] > it.lo[a];
                    reached[b] += meets;
                }
                continue;
            }
            Item front = it, back = it;
            front.node = n.frontChild;
            back.node = n.backChild;
            front.lo[n.axis] = n.distance;
            back.hi[n.axis] = n.distance;
            stack.push_back(front);
            stack.push_back(back);
        }
        EXPECT_EQ(leavesPerBrush, reached);

        // The camera starts at map (0, 64, 0): in an area, its box clear of every
        // brush, and a fall from there stops on a floor at 0 within the map.
        const Vector3 start = viewer(built.layout.start[0], built.layout.start[1], built.layout.start[2]);
        EXPECT_GT(areaAt(start), 0);
        const Vector3 half{8, 32, 8};
        for (const Brush& b : map.brushes) {
            bool meets = true;
            for (int a = 0; a < 3; ++a)
                meets = meets && b.bounds.mins[a] < start[a] + half[a] && b.bounds.maxs[a] > start[a] - half[a];
            EXPECT_FALSE(meets);
        }
        const TraceResult down = traceBox(map, start, start - Vector3{0, 200, 0}, half);
        EXPECT_NEAR(start.y - 200 * down.fraction, 32.0f, 0.05f);
    }
}

// Walking the demo with the viewer's own movement step.
class MapgenWalk : public MapgenLoaded {
protected:
    void SetUp() override {
        MapgenLoaded::SetUp();
        load(preset("demo"));
        instance_.bindMap(&map);
        instance_.placeInWorld();
        camera.fallSpeed = 0.0f;
    }
    void steps(int count, Vector3 keys, bool flying) {
        for (int i = 0; i < count; ++i) moveCamera(camera, keys, flying, &instance_, Matrix::identity());
    }
    int roomArea(const std::string& name) const {
        for (const Room& r : built.layout.rooms)
            if (r.name == name) return r.area;
        return -1;
    }

    Camera camera;

private:
    MapInstance instance_;
};

TEST_F(MapgenWalk, StairsClimbFromTheGroundToTheUpperStorey) {
    // East end of the stairwell floor, walking west (-x) up the steps, over
    // the landing and through the doorway into the gallery.
    camera.position = viewer(800, 376, 40);
    steps(20, {0, 0, 0}, false);
    EXPECT_NEAR(camera.position.y, 32.0f, 0.1f);
    float highest = camera.position.y;
    for (int i = 0; i < 500; ++i) {
        steps(1, {-1, 0, 0}, false);
        highest = std::max(highest, camera.position.y);
    }
    steps(40, {0, 0, 0}, false);
    EXPECT_LT(camera.position.x, 200.0f);
    EXPECT_NEAR(camera.position.y, 144.0f + 32.0f, 0.1f);
    EXPECT_LT(highest, 144.0f + 32.0f + 17.0f);  // step-ups, never a jump
    EXPECT_EQ(areaAt(camera.position), roomArea("gallery"));
}

TEST_F(MapgenWalk, TheLedgeNeedsFlying) {
    // Walking north from the atrium floor passes under the ledge and through
    // the ground-floor doorway, never onto the ledge.
    camera.position = viewer(0, 100, 40);
    steps(200, {0, 0, 1}, false);
    EXPECT_LT(camera.position.y, 40.0f);
    EXPECT_EQ(areaAt(camera.position), roomArea("library"));

    // Flying up in front of it, then on over it and dropping, lands on the ledge
    // (top 144), from where the upper doorway leads into the gallery.
    camera.position = viewer(0, 100, 40);
    camera.fallSpeed = 0.0f;
    steps(30, {0, 0, 0}, false);
    steps(40, {0, 0, 0}, true);
    steps(50, {0, 0, 1}, true);
    steps(60, {0, 0, 0}, false);
    EXPECT_NEAR(camera.position.y, 144.0f + 32.0f, 0.1f);
    EXPECT_EQ(areaAt(camera.position), roomArea("atrium"));
    steps(100, {0, 0, 1}, false);
    EXPECT_EQ(areaAt(camera.position), roomArea("gallery"));
}

}  // namespace
}  // namespace q::mapgen
