// The map's lights and their shadow volumes: a generated map's lights read
// back with their keys, the volumes mapgen writes laid out as the area-portal
// file lays them out and matched to their lights, and what does not read
// refused with its file, line and what was expected.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "map/entity_definitions.h"
#include "map/light_entities.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/material_definitions.h"
#include "map/pattern_reader.h"
#include "map/proc_reader.h"
#include "map/collision_reader.h"
#include "map/shadow_volume_builder.h"
#include "map/shadow_volume_reader.h"
#include "generated_maps.h"
#include "map_test_files.h"
#include "mapgen/mapgen.h"

namespace q {
namespace {

float length(Vector3 v) { return std::sqrt(dot(v, v)); }

// The layout of the area-portal file's volumes: each odd point on the ray
// from the light through its even point, farther out; sides, then a far cap
// on odd points mirroring a near cap on even ones; closed and wound one way
// (each edge met as often each way round: more than once where several
// outline edges meet at a point).
void expectFileLayout(const ShadowVolume& volume, Vector3 from) {
    ASSERT_EQ(volume.points.size() % 2, 0u);
    for (size_t i = 0; i < volume.points.size(); i += 2) {
        const Vector3 nearRay = volume.points[i] - from, farRay = volume.points[i + 1] - from;
        EXPECT_GT(length(farRay), length(nearRay) + 1.0f) << i;
        EXPECT_NEAR(dot(nearRay, farRay), length(nearRay) * length(farRay), 1e-3f * dot(farRay, farRay)) << i;
    }
    const int total = static_cast<int>(volume.indices.size());
    EXPECT_TRUE(0 < volume.sidesEnd && volume.sidesEnd < volume.farCapEnd && volume.farCapEnd < total);
    EXPECT_EQ(volume.farCapEnd - volume.sidesEnd, total - volume.farCapEnd);  // the caps mirror each other
    for (int i = volume.sidesEnd; i < total; ++i)
        EXPECT_EQ(volume.indices[static_cast<size_t>(i)] % 2, i < volume.farCapEnd ? 1 : 0) << i;
    std::map<std::pair<int, int>, int> edges;
    for (int t = 0; t + 2 < total; t += 3)
        for (int k = 0; k < 3; ++k)
            ++edges[{volume.indices[static_cast<size_t>(t + k)], volume.indices[static_cast<size_t>(t + (k + 1) % 3)]}];
    for (const auto& [edge, count] : edges) {
        const auto back = edges.find({edge.second, edge.first});
        EXPECT_EQ(back == edges.end() ? 0 : back->second, count) << edge.first << "-" << edge.second;
    }
}

class GeneratedLights : public testing::Test {
protected:
    void SetUp() override {
        std::string base;
        ASSERT_NO_FATAL_FAILURE(test::generateTwoRoomsWithEntities(files, &base));
        ASSERT_NO_FATAL_FAILURE(test::readWithEntities(base, &source, &map));
        placeLights(source, nullptr, &map);
    }

    const MapLight& light(const std::string& name) const {
        const auto found = std::find_if(map.lights.begin(), map.lights.end(),
                                        [&](const MapLight& l) { return l.name == name; });
        EXPECT_NE(found, map.lights.end()) << name;
        return found == map.lights.end() ? map.lights.front() : *found;
    }

    test::MapFiles files;
    MapSource source;
    MapData map;
};

TEST_F(GeneratedLights, KeysReadBackAndEachLightReachesTheAreasOfItsBox) {
    ASSERT_EQ(map.lights.size(), 4u);
    const MapLight& point = light("light_point");
    EXPECT_EQ(point.origin, fromFileAxes(-40, 70, 60));
    EXPECT_EQ(point.radius, fromFileAxes(240, 240, 160));
    EXPECT_EQ(point.color, (Vector3{1.0f, 0.8f, 0.6f}));
    EXPECT_FALSE(point.noShadows);
    EXPECT_FALSE(point.projected);
    EXPECT_EQ(point.bounds.maxs.y, 60.0f + 160.0f);  // the file's z is map y
    // Its box reaches through the walls into the east room and the outside:
    // walls stop light by shadows, not by the areas a light may reach.
    EXPECT_EQ(point.areas, (std::vector<int>{0, 1, 2}));

    const MapLight& cold = light("light_noshadows");
    EXPECT_TRUE(cold.noShadows);
    EXPECT_TRUE(cold.noSpecular);
    EXPECT_FALSE(cold.noDiffuse);

    // Projected, turned by 90 degrees: its own x runs along the file's +y.
    const MapLight& spot = light("light_projected");
    EXPECT_TRUE(spot.projected);
    EXPECT_TRUE(spot.hasStartEnd);
    EXPECT_EQ(spot.target, fromFileAxes(0, 0, -64));
    EXPECT_EQ(spot.material, "lights/spot_gen");
    const Vector3 ownX = transformNormal({1, 0, 0}, spot.axes);
    EXPECT_NEAR(ownX.z, 1.0f, 1e-6f);
    // Its box runs from its origin down to the floor under its target, and
    // across by its right vector turned: 48 along the file's y.
    EXPECT_EQ(spot.bounds.maxs.y, 60.0f);
    EXPECT_EQ(spot.bounds.mins.y, -4.0f);
    EXPECT_NEAR(spot.bounds.maxs.z - spot.bounds.mins.z, 2 * 48.0f, 1e-3f);

    MaterialDefinitions none;
    EXPECT_TRUE(isAmbientLightMaterial(none, light("light_ambient").material));
    EXPECT_FALSE(isAmbientLightMaterial(none, spot.material));
}

TEST_F(GeneratedLights, ShadowVolumesPairTheirPointsAndOrderTheirTriangles) {
    ASSERT_EQ(map.shadowVolumes.size(), 2u);  // the point light's and the projected one's
    EXPECT_EQ(map.unmatchedShadowVolumes, 0);
    EXPECT_EQ(light("light_ambient").shadowVolume, -1);
    EXPECT_EQ(light("light_noshadows").shadowVolume, -1);
    for (const ShadowVolume& volume : map.shadowVolumes) {
        SCOPED_TRACE(volume.name);
        ASSERT_GE(volume.light, 0);
        const MapLight& owner = map.lights[static_cast<size_t>(volume.light)];
        EXPECT_EQ("_prelight_" + owner.name, volume.name);
        EXPECT_EQ(&map.shadowVolumes[static_cast<size_t>(owner.shadowVolume)], &volume);
        expectFileLayout(volume, owner.origin);
    }
    // A volume whose light is gone is counted, not matched.
    std::erase_if(source.entities, [](const SourceEntity& e) { return e.name == "light_point"; });
    placeLights(source, nullptr, &map);
    EXPECT_EQ(map.unmatchedShadowVolumes, 1);
}

bool holds(const Bounds& b, Vector3 p, float margin = 0.0f) {
    return p.x >= b.mins.x - margin && p.x <= b.maxs.x + margin && p.y >= b.mins.y - margin &&
           p.y <= b.maxs.y + margin && p.z >= b.mins.z - margin && p.z <= b.maxs.z + margin;
}

TEST_F(GeneratedLights, ModelsALightReachesCastVolumesFromTheirFacesTowardIt) {
    const MapLight& point = light("light_point");
    const Vector3 from = shadowCastingPoint(point);
    ShadowVolume volume;
    buildModelShadowVolume(map, point, &volume);
    ASSERT_NO_FATAL_FAILURE(expectFileLayout(volume, from));
    for (size_t i = 1; i < volume.points.size(); i += 2) EXPECT_FALSE(holds(point.bounds, volume.points[i])) << i;
    // The wall turned by 90 degrees: its corner nearest the light is on the
    // near cap, the farthest, on faces turned away, on none of it.
    const auto wall = std::find_if(map.entityModels.begin(), map.entityModels.end(),
                                   [](const EntityModel& m) { return m.name == "func_static_turned90"; });
    ASSERT_NE(wall, map.entityModels.end());
    const Bounds placed = wall->bounds.transformed(wall->placement);
    Vector3 nearest, farthest;
    for (int c = 0; c < 8; ++c) {
        const Vector3 corner{(c & 1 ? placed.maxs : placed.mins).x, (c & 2 ? placed.maxs : placed.mins).y,
                             (c & 4 ? placed.maxs : placed.mins).z};
        if (c == 0 || length(corner - from) < length(nearest - from)) nearest = corner;
        if (c == 0 || length(corner - from) > length(farthest - from)) farthest = corner;
    }
    auto onNearCap = [&](Vector3 p) {
        for (size_t i = 0; i < volume.points.size(); i += 2)
            if (length(volume.points[i] - p) < 1e-3f) return true;
        return false;
    };
    EXPECT_TRUE(onNearCap(nearest));
    EXPECT_FALSE(onNearCap(farthest));
    // A model around the light's point (a lamp's shade) casts none from it.
    MapLight inWall = point;
    inWall.origin = (placed.mins + placed.maxs) * 0.5f;
    buildModelShadowVolume(map, inWall, &volume);
    for (size_t i = 0; i < volume.points.size(); i += 2) EXPECT_FALSE(holds(placed, volume.points[i], -0.01f)) << i;
}

TEST(ModelShadowVolumes, MeshTrianglesFacingTheLightAreWeldedAndClosedAndOthersCastNone) {
    // A quad of two triangles facing the file's +z, its shared corners given
    // twice with other normals, placed from the file's axes into the map's.
    MapData map;
    MeshFile& file = map.meshModels.files.emplace_back();
    file.read = true;
    for (Vector3 p : {Vector3{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 0, 0}, {10, 10, 0}, {0, 10, 0}})
        file.model.vertices.push_back({p, {0, 0, static_cast<float>(file.model.vertices.size())}});
    file.model.groups.push_back({"m", "", {0, 1, 2, 3, 4, 5}});
    PlacedMesh& placed = map.meshModels.placed.emplace_back();
    placed.placement.m[1][1] = placed.placement.m[2][2] = 0.0f;
    placed.placement.m[1][2] = placed.placement.m[2][1] = 1.0f;
    placed.bounds = {{0, 0, 0}, {10, 0, 10}};
    placed.groupMaterials = {0};
    map.meshModels.materials.push_back({"m", true});
    MapLight above;
    above.origin = fromFileAxes(3, 3, 50);
    above.bounds = Bounds::aroundPoint(above.origin, above.radius);
    ShadowVolume volume;
    buildModelShadowVolume(map, above, &volume);
    EXPECT_EQ(volume.points.size(), 8u);  // four corners, each with its far point
    ASSERT_NO_FATAL_FAILURE(expectFileLayout(volume, above.origin));
    EXPECT_EQ(volume.sidesEnd, 4 * 2 * 3);  // the quad's outline only: its diagonal is shared

    MapLight below = above;
    below.origin = fromFileAxes(3, 3, -50);
    buildModelShadowVolume(map, below, &volume);
    EXPECT_TRUE(volume.indices.empty());
    map.meshModels.materials[0].drawn = false;
    buildModelShadowVolume(map, above, &volume);
    EXPECT_TRUE(volume.indices.empty());
}

// mapgen --lights beside --entities: a light per room whose volume, made
// from the world's surfaces in its box, is laid out as the file's are and
// holds the room's floor, which faces it.
TEST(MapgenLights, EachRoomsLightHasAVolumeOfTheWorldFacingIt) {
    test::MapFiles files;
    mapgen::MapgenOptions options;
    options.preset = "grid";
    options.count = 2;
    options.entities = options.lights = true;
    std::string error;
    mapgen::GeneratedMap generated;
    ASSERT_TRUE(mapgen::buildMap(options, &generated, &error) && mapgen::generateMap(options, files.dir().string(), &error))
        << error;
    MapSource source;
    MapData map;
    ASSERT_NO_FATAL_FAILURE(test::readWithEntities(files.path(mapgen::mapName(options)), &source, &map));
    placeLights(source, nullptr, &map);
    EXPECT_EQ(map.lights.size(), 4u + 4u + 3u);  // --entities' own, a light per room, three more
    EXPECT_EQ(map.unmatchedShadowVolumes, 0);
    for (size_t r = 0; r < generated.layout.rooms.size(); ++r) {
        const auto light = std::find_if(map.lights.begin(), map.lights.end(), [&](const MapLight& l) {
            return l.name == "light_room_" + std::to_string(r + 1);
        });
        ASSERT_NE(light, map.lights.end()) << r;
        ASSERT_GE(light->shadowVolume, 0) << r;
        const ShadowVolume& volume = map.shadowVolumes[static_cast<size_t>(light->shadowVolume)];
        ASSERT_NO_FATAL_FAILURE(expectFileLayout(volume, light->origin));
        const int* lo = generated.layout.rooms[r].interior.lo;
        const Vector3 floorCorner = fromFileAxes(float(lo[0]), float(lo[1]), float(lo[2]));
        bool onNearCap = false;
        for (size_t i = 0; i < volume.points.size(); i += 2) onNearCap |= volume.points[i] == floorCorner;
        EXPECT_TRUE(onNearCap) << r;
    }
    const auto noShadows = std::find_if(map.lights.begin(), map.lights.end(),
                                        [](const MapLight& l) { return l.name == "light_room_1_noshadows"; });
    ASSERT_NE(noShadows, map.lights.end());
    EXPECT_TRUE(noShadows->noShadows);
    EXPECT_EQ(noShadows->shadowVolume, -1);
}

bool readOne(const std::string& text, ShadowVolume* out, std::string* error) {
    PatternReader file(text, "v.proc");
    const bool read = readShadowModel(file, out);
    if (!read) *error = file.error();
    return read;
}

TEST(ShadowModelReader, ReadsEitherHeadAndRefusesWhatDoesNotFit) {
    ShadowVolume volume;
    std::string error;
    ASSERT_TRUE(readOne("{ \"_prelight_lamp_2\" 2 0 0 3 7 ( 1 2 3 ) ( 4 5 6 ) 0 1 0 }", &volume, &error)) << error;
    EXPECT_EQ(volume.lightName, "lamp_2");
    EXPECT_EQ(volume.points[1], fromFileAxes(4, 5, 6));
    EXPECT_EQ(volume.indices, (std::vector<int32_t>{0, 1, 0}));
    EXPECT_EQ(volume.planeBits, 7);
    // planeBits may be left out, with comments or without.
    ASSERT_TRUE(readOne("{ /* name = */ \"other\" /* numVerts = */ 2 /* noCaps = */ 0 /* noFrontCaps = */ 0 "
                        "/* numIndexes = */ 0\n( 0 0 0 ) ( 0 0 1 ) }",
                        &volume, &error))
        << error;
    EXPECT_EQ(volume.lightName, "");  // not a light's: matched to none
    ASSERT_TRUE(readOne("{ \"a\" 2 0 0 0 ( 0 0 0 ) ( 0 0 1 ) }", &volume, &error)) << error;

    const std::pair<const char*, const char*> refused[] = {
        {"{ \"a\" 3 0 0 0 0 ( 0 0 0 ) ( 0 0 0 ) ( 0 0 0 ) }", "v.proc:1: expected an even numVerts"},
        {"{ \"a\" 2 0 0 4 0 ( 0 0 0 ) ( 0 0 0 ) 0 1 0 1 }", "a multiple of 3"},
        {"{ \"a\" 2 3 0 3 0 ( 0 0 0 ) ( 0 0 0 ) 0 1 0 }", "0 <= noCaps <= noFrontCaps <= numIndexes"},
        {"{ \"a\" 2 0 6 3 0 ( 0 0 0 ) ( 0 0 0 ) 0 1 0 }", "0 <= noCaps <= noFrontCaps <= numIndexes"},
        {"{ \"a\" 2 0 0 3 0 ( 0 0 0 ) ( 0 0 0 )\n0 2 0 }", "v.proc:2: expected point indices from 0 below numVerts (2), found 2"},
        {"{ \"a\" 2000000 0 0 0 0 ( 0 0 0 ) }", "fit the rest of the file"},
        {"{ \"a\" 2 0 0 0 0 ( 0 0 ) ( 0 0 0 ) }", "a shadow volume point"},
        {"{ \"a\" 0 0 0 0 0 ", "the closing } of shadowModel"},
        {"{ \"a\" 2 0 0 }", "a shadowModel header"},
    };
    for (const auto& [text, expected] : refused) {
        error.clear();
        EXPECT_FALSE(readOne(text, &volume, &error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " -> " << error;
    }
}

// A damaged shadowModel block costs its light's shadows from the file, with
// one warning naming where; one whose end cannot be found refuses the map.
TEST(ShadowModelReader, ADamagedBlockIsPassedOverUnlessItsEndIsLost) {
    test::MapFiles files;
    std::string base, error;
    ASSERT_NO_FATAL_FAILURE(test::generateTwoRoomsWithEntities(files, &base));
    std::ifstream in(base + ".proc", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t first = text.find("shadowModel"), second = text.find("shadowModel", first + 1);
    ASSERT_NE(second, std::string::npos);
    const size_t count = text.find("/* numVerts = */ ", first) + 17;
    text.insert(count, "1");  // 16 points become 116: more than the block holds
    files.write("damaged.proc", text);
    std::filesystem::copy_file(base + ".cm", files.path("damaged.cm"));
    MapData map;
    testing::internal::CaptureStderr();
    const bool read = readProcFile(files.path("damaged.proc"), {}, &map, &error);
    const std::string warnings = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(read) << error;
    // Named where the indices stand in for the points the count promised.
    const size_t indices = text.find_first_of("0123456789", text.rfind(')', text.find('}', first)));
    const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(indices), '\n'));
    EXPECT_NE(warnings.find("damaged.proc:" + std::to_string(line) + ": expected \"(\" in a shadow volume point"),
              std::string::npos)
        << warnings;
    EXPECT_NE(warnings.find("that shadow volume is left out"), std::string::npos) << warnings;
    ASSERT_EQ(map.shadowVolumes.size(), 1u);  // the next block's, whole
    EXPECT_EQ(map.areas.size(), 3u);

    // Cut inside the last block: nothing after it can be told from it.
    files.write("cut.proc", text.substr(0, second + 60));
    EXPECT_FALSE(readProcFile(files.path("cut.proc"), {}, &map, &error));
    EXPECT_NE(error.find("cut.proc:"), std::string::npos) << error;
}

SourceEntity entityOf(const std::string& keys) {
    MapSource source;
    const std::string text = "{\n\"classname\" \"light\"\n" + keys + "}\n";
    PatternReader file(text, "l.map");
    EXPECT_TRUE(source.readText(file)) << file.error();
    return source.entities.empty() ? SourceEntity{} : source.entities.front();
}

TEST(LightKeys, DefaultsMalformedValuesAndClassesThatInheritFromLight) {
    MapLight light;
    std::string problem;
    ASSERT_TRUE(readLight(entityOf("\"origin\" \"1 2 3\"\n\"_color\" \"2 0.5 -1\"\n"), "l.map", &light, &problem));
    EXPECT_EQ(light.radius, (Vector3{300, 300, 300}));
    EXPECT_EQ(light.color, (Vector3{1.0f, 0.5f, 0.0f}));  // brought into 0..1
    EXPECT_EQ(light.bounds.maxs, (Vector3{301, 303, 302}));

    const std::pair<const char*, const char*> refused[] = {
        {"\"light_radius\" \"10 10\"\n", "l.map:1: the light's key \"light_radius\": expected three numbers"},
        {"\"light_radius\" \"10 -1 10\"\n", "\"light_radius\": expected three half-sizes of 0 or more"},
        {"\"noshadows\" \"yes\"\n", "\"noshadows\": expected \"0\" or \"1\", found \"yes\""},
        {"\"light_target\" \"0 0 -1\"\n\"light_up\" \"0 1 0\"\n", "light_up and light_right beside it"},
        {"\"_color\" \"1 nan 1\"\n", "\"_color\": expected three numbers"},
    };
    for (const auto& [keys, expected] : refused) {
        problem.clear();
        EXPECT_FALSE(readLight(entityOf(keys), "l.map", &light, &problem)) << keys;
        EXPECT_NE(problem.find(expected), std::string::npos) << keys << " -> " << problem;
    }

    EntityDefinitions definitions;
    std::string error;
    ASSERT_TRUE(definitions.readText("entityDef lamp_base { \"inherit\" \"Light\" }\n"
                                     "entityDef lamp_red { \"inherit\" \"lamp_base\" }\n"
                                     "entityDef loop_a { \"inherit\" \"loop_b\" }\nentityDef loop_b { \"inherit\" \"loop_a\" }\n",
                                     "l.def", &error))
        << error;
    SourceEntity entity;
    for (const auto& [classname, isLight] : {std::pair{"lamp_red", true}, {"LIGHT", true}, {"loop_a", false},
                                             {"func_static", false}}) {
        entity.classname = classname;
        EXPECT_EQ(isLightEntity(entity, &definitions), isLight) << classname;
    }
    entity.classname = "lamp_red";
    EXPECT_FALSE(isLightEntity(entity, nullptr));  // without definitions only the class itself says
}

}  // namespace
}  // namespace q
