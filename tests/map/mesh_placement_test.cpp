// Mesh models placed by a generated map's entities (mapgen tworooms
// --entities, whose asset root holds the crate, the barrel and, in an archive,
// the lamp): each file read once, placed upright where its entity stands, in
// the areas it reaches, with its skin and its undrawn materials; files too
// large or damaged named and left out while the rest loads.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/image.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/material_library.h"
#include "map/mesh_placement.h"
#include "map/pattern_reader.h"
#include "map/proc_reader.h"
#include "generated_maps.h"
#include "map_test_files.h"
#include "mapgen/mapgen.h"
#include "mapgen/mesh_files.h"

namespace q {
namespace {

class MeshPlacement : public ::testing::Test {
protected:
    void SetUp() override {
        std::string base, error;
        ASSERT_NO_FATAL_FAILURE(test::generateTwoRoomsWithEntities(files, &base));
        ASSERT_TRUE(readMapSourceBeside(base, &generated));
        ASSERT_TRUE(readProcFile(base + ".proc", ProcReadOptions{}, &map, &error)) << error;
        library.load(files.dir().string(), {}, {files.dir().string()});
        std::vector<std::string> ignored;
        loadEntityDefinitions(library, &definitions, &ignored);
    }

    // Writes the same map again with mapgen's --meshes models (and `placements`
    // of its set of 20 files) and reads its source, definitions and materials.
    void generateWithMeshes(int placements) {
        mapgen::MapgenOptions options;
        options.preset = "tworooms";
        options.meshes = true;
        options.meshPlacements = placements;
        std::string error;
        ASSERT_TRUE(mapgen::generateMap(options, files.dir().string(), &error)) << error;
        generated = MapSource{};
        ASSERT_TRUE(readMapSourceBeside(files.path("tworooms"), &generated));
        library.load(files.dir().string(), {}, {files.dir().string()});
        definitions = EntityDefinitions{};
        std::vector<std::string> ignored;
        loadEntityDefinitions(library, &definitions, &ignored);
    }
    const PlacedMesh* placedAs(const std::string& entityName) const {
        for (const PlacedMesh& placed : map.meshModels.placed)
            if (placed.entity == entityName) return &placed;
        return nullptr;
    }

    // Loads the meshes of a map source: the generated one, or entities given as text.
    void load(const std::string& entitiesText = "", uint64_t maxBytes = kMaxMeshFileBytes, unsigned readers = 0) {
        MapSource written;
        written.fileName = "test.map";
        if (!entitiesText.empty()) {
            PatternReader file(entitiesText, "test.map");
            ASSERT_TRUE(written.readText(file)) << file.error();
        }
        problems.clear();
        loadMeshModels(entitiesText.empty() ? generated : written, definitions, library, &map, &problems, maxBytes,
                       readers);
    }
    static std::string entity(const std::string& model, const std::string& origin, const std::string& turn = "") {
        return "{\n\"classname\" \"func_static\"\n\"model\" \"" + model + "\"\n\"origin\" \"" + origin + "\"\n" +
               turn + "}\n";
    }
    std::vector<std::string> materialsOf(const PlacedMesh& placed) const {
        std::vector<std::string> names;
        for (int m : placed.groupMaterials) names.push_back(map.meshModels.materials[static_cast<size_t>(m)].name);
        return names;
    }
    std::string allProblems() const {
        std::string all;
        for (const std::string& p : problems) all += p + "\n";
        return all;
    }

    test::MapFiles files;
    MapSource generated;
    MapData map;
    MaterialLibrary library;
    EntityDefinitions definitions;
    std::vector<std::string> problems;
};

TEST_F(MeshPlacement, GeneratedMapsMeshesAreReadOncePerFileAndSkinned) {
    load();
    const MeshModels& meshes = map.meshModels;
    EXPECT_TRUE(problems.empty()) << allProblems();
    EXPECT_EQ(meshes.tally.meshesPlaced, 3);
    EXPECT_EQ(meshes.tally.otherKindsText(), "1 md5mesh");
    ASSERT_EQ(meshes.files.size(), 3u);
    EXPECT_EQ(meshes.filesRead(), 3u);
    EXPECT_NE(meshes.files[1].found.find("mapgen_models.zip:models/mapgen/lamp.lwo"), std::string::npos);
    ASSERT_EQ(meshes.placed.size(), 3u);
    // ASE groups show the material their bitmap names; the barrel's skin
    // replaces its side surface, the lamp's (no skin) keeps it.
    EXPECT_EQ(materialsOf(meshes.placed[0]), (std::vector<std::string>{"textures/gen/floor", "textures/gen/wall"}));
    EXPECT_EQ(materialsOf(meshes.placed[1]), (std::vector<std::string>{"mapgen/crate_top", "mapgen/crate_side"}));
    EXPECT_EQ(materialsOf(meshes.placed[2]), (std::vector<std::string>{"mapgen/crate_top", "textures/gen/trim"}));

    // 92 crates, named in two letter cases: one file, read once.
    std::string many;
    for (int i = 0; i < 92; ++i)
        many += entity(i % 2 ? "models/mapgen/crate.ase" : "MODELS/mapgen/Crate.ASE", std::to_string(i * 2) + " 0 0");
    load(many);
    EXPECT_EQ(map.meshModels.files.size(), 1u);
    EXPECT_EQ(map.meshModels.placed.size(), 92u);
}

TEST_F(MeshPlacement, TurnedAndMovedBoxStaysUprightInTheAreasItReaches) {
    // The same quarter turn by angle and by rotation rows; then one in the
    // doorway between the rooms (x from 128 to 144 in the file's axes).
    load(entity("models/mapgen/crate.ase", "40 30 0", "\"angle\" \"90\"\n") +
         entity("models/mapgen/barrel.lwo", "40 30 0", "\"rotation\" \"0 1 0 -1 0 0 0 0 1\"\n") +
         entity("models/mapgen/crate.ase", "136 0 0"));
    const MeshModels& meshes = map.meshModels;
    ASSERT_EQ(meshes.placed.size(), 3u) << allProblems();
    for (int i = 0; i < 2; ++i) {
        const Matrix& placement = meshes.placed[static_cast<size_t>(i)].placement;
        // The box's top middle (file z = 48) is 48 above the origin in map space (y up).
        const auto distance2 = [&](Vector3 from, Vector3 to) {
            const Vector3 d = transformCoord(from, placement) - to;
            return dot(d, d);
        };
        EXPECT_LT(distance2({0, 0, 48}, {40, 48, 30}), 1e-8f);
        // Its own +x turned a quarter to the file's +y, map +z.
        EXPECT_LT(distance2({8, 0, 0}, {40, 0, 38}), 1e-8f);
        EXPECT_EQ(meshes.placed[static_cast<size_t>(i)].bounds.mins, (Vector3{32, 0, 22}));
        EXPECT_EQ(meshes.placed[static_cast<size_t>(i)].bounds.maxs, (Vector3{48, 48, 38}));
    }
    const int west = map.areaHolding({0, 24, 0});
    const int east = map.areaHolding({272, 24, 0});
    ASSERT_GE(west, 0);
    ASSERT_GE(east, 0);
    ASSERT_NE(west, east);
    EXPECT_EQ(meshes.placed[0].areas, std::vector<int>{west});
    EXPECT_EQ(meshes.placed[2].areas, (std::vector<int>{std::min(west, east), std::max(west, east)}));
}

TEST_F(MeshPlacement, CollisionMaterialsAreNotDrawnAndBadFilesAreNamedAndSkipped) {
    std::string hull = mapgen::aseTestModel();
    const std::string floor = "//base/textures/gen/floor.tga";
    hull.replace(hull.find(floor), floor.size(), "//base/models/mapgen/crate_collision.tga");
    std::ofstream(files.path("models/mapgen/hull.ase")) << hull;
    std::ofstream(files.path("models/mapgen/barrel.lwo")) << "FORM";  // damaged
    const std::string entities = entity("models/mapgen/hull.ase", "0 0 0") +
                                 entity("models/mapgen/barrel.lwo", "0 0 0") +
                                 entity("models/mapgen/barrel.lwo", "8 0 0") + entity("models/mapgen/Lamp.LWO", "0 0 0") +
                                 entity("models/mapgen/none.ase", "0 0 0");
    load(entities);
    const MeshModels& meshes = map.meshModels;
    ASSERT_EQ(meshes.files.size(), 4u);
    EXPECT_EQ(meshes.files[0].materialsNotDrawn, std::vector<std::string>{"models/mapgen/crate_collision"});
    ASSERT_EQ(meshes.placed.size(), 2u);  // the hull and the lamp
    const std::vector<int>& hullGroups = meshes.placed[0].groupMaterials;
    ASSERT_EQ(hullGroups.size(), 2u);
    EXPECT_EQ(materialsOf(meshes.placed[0]),
              (std::vector<std::string>{"models/mapgen/crate_collision", "textures/gen/wall"}));
    EXPECT_FALSE(meshes.materials[static_cast<size_t>(hullGroups[0])].drawn);
    EXPECT_TRUE(meshes.materials[static_cast<size_t>(hullGroups[1])].drawn);
    EXPECT_EQ(meshes.filesFailed, 1);
    EXPECT_EQ(meshes.filesMissing, 1);
    // The damaged file named once, by the first entity placing it (line 7).
    ASSERT_EQ(problems.size(), 2u) << allProblems();
    EXPECT_NE(problems[0].find("barrel.lwo"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("test.map:6; left out"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("test.map:21: an entity of class 'func_static' places models/mapgen/none.ase, which is in no asset root"),
              std::string::npos)
        << problems[1];

    // Under a cap below the text model's size, the crate (a file) and, below
    // the binary one's too, the lamp (an archive member) are refused unread.
    const uint64_t lwoBytes = mapgen::lwoTestModel().size();
    load(entities, lwoBytes);
    EXPECT_EQ(meshes.placed.size(), 1u);
    EXPECT_NE(problems[0].find("hull.ase: " + std::to_string(hull.size()) + " bytes, more than a mesh file may have"),
              std::string::npos)
        << allProblems();
    load(entities, lwoBytes - 1);
    EXPECT_TRUE(meshes.placed.empty());
    EXPECT_NE(allProblems().find("mapgen_models.zip:models/mapgen/lamp.lwo: " + std::to_string(lwoBytes) + " bytes"),
              std::string::npos)
        << allProblems();
}

// What --meshes writes reads whole: the crate placed six times is one file,
// the hull's collision material is not drawn, the grate's material is
// alpha-tested, the marker's image is flat magenta, the turned slab lies
// along the file's y.
TEST_F(MeshPlacement, MapgenMeshesPresetReadsWholeAsItsUsageSays) {
    ASSERT_NO_FATAL_FAILURE(generateWithMeshes(0));
    load();
    const MeshModels& meshes = map.meshModels;
    EXPECT_TRUE(problems.empty()) << allProblems();
    EXPECT_EQ(meshes.files.size(), 3u + 5u);
    EXPECT_EQ(meshes.placed.size(), 3u + 11u);
    for (int i = 1; i <= 6; ++i)
        ASSERT_NE(placedAs("mesh_small_crate_" + std::to_string(i)), nullptr) << i;
    EXPECT_EQ(placedAs("mesh_small_crate_1")->file, placedAs("mesh_small_crate_6")->file);
    const MeshFile& hull = meshes.files[static_cast<size_t>(placedAs("mesh_hull")->file)];
    EXPECT_EQ(hull.materialsNotDrawn, std::vector<std::string>{"textures/common/collision"});
    EXPECT_EQ(materialsOf(*placedAs("mesh_grate")), std::vector<std::string>{"mapgen/grate"});
    EXPECT_EQ(library.find("mapgen/grate").look.alphaTest, 0.5f);
    const MaterialSource marker = library.find(materialsOf(*placedAs("mesh_marker")).at(0));
    ASSERT_TRUE(marker.file);
    Image image;
    std::string error;
    ASSERT_TRUE(loadImageFile(marker.file->c_str(), &image, &error)) << error;
    for (size_t i = 0; i < image.rgba.size(); i += 4)
        ASSERT_EQ((std::vector<int>{image.rgba[i], image.rgba[i + 1], image.rgba[i + 2]}), (std::vector<int>{255, 0, 255}));
    // The slab, 24 along its own x and 4 deep, turned a quarter by its rotation
    // key at (-20, 10): along the file's y, map z.
    const Bounds& slab = placedAs("mesh_slab_rotation")->bounds;
    EXPECT_EQ(slab.mins, (Vector3{-22, 0, -2}));
    EXPECT_EQ(slab.maxs, (Vector3{-18, 32, 22}));
}

// The 20 files of the set, placed over the room beyond the start: read on
// one thread or several, the same models, placements and messages in the
// same order; every placement grows the map's bounds.
TEST_F(MeshPlacement, ReadingOnSeveralThreadsGivesWhatOneGivesAndPlacementsGrowTheBounds) {
    ASSERT_NO_FATAL_FAILURE(generateWithMeshes(60));
    files.write("models/mapgen/set/prop_04.lwo", "FORM");  // damaged
    std::filesystem::remove(files.path("models/mapgen/set/prop_07.ase"));
    load("", kMaxMeshFileBytes, 1);
    const MeshModels one = map.meshModels;
    const std::vector<std::string> oneProblems = problems;
    load("", kMaxMeshFileBytes, 4);
    const MeshModels& many = map.meshModels;
    EXPECT_EQ(problems, oneProblems);
    ASSERT_EQ(problems.size(), 2u) << allProblems();
    EXPECT_NE(problems[0].find("prop_04.lwo"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("prop_07.ase, which is in no asset root"), std::string::npos) << problems[1];
    ASSERT_EQ(many.files.size(), one.files.size());
    EXPECT_EQ(many.files.size(), 3u + 5u + 20u);
    for (size_t i = 0; i < one.files.size(); ++i) {
        const MeshModel& a = one.files[i].model;
        const MeshModel& b = many.files[i].model;
        EXPECT_EQ(many.files[i].path, one.files[i].path);
        EXPECT_EQ(many.files[i].read, one.files[i].read);
        ASSERT_EQ(b.vertices.size(), a.vertices.size()) << one.files[i].path;
        for (size_t v = 0; v < a.vertices.size(); ++v)
            EXPECT_TRUE(b.vertices[v].position == a.vertices[v].position && b.vertices[v].s == a.vertices[v].s);
        ASSERT_EQ(b.groups.size(), a.groups.size());
        for (size_t g = 0; g < a.groups.size(); ++g) EXPECT_EQ(b.groups[g].indices, a.groups[g].indices);
    }
    // 60 placements of the set, less the three of each file left out.
    ASSERT_EQ(many.placed.size(), 3u + 11u + 54u);
    ASSERT_EQ(one.placed.size(), many.placed.size());
    const int east = map.areaHolding({272, 24, 0});
    for (size_t i = 0; i < many.placed.size(); ++i) {
        EXPECT_EQ(many.placed[i].file, one.placed[i].file);
        EXPECT_EQ(many.placed[i].groupMaterials, one.placed[i].groupMaterials);
        if (many.placed[i].entity.starts_with("mesh_prop_")) {
            EXPECT_EQ(many.placed[i].areas, std::vector<int>{east});
        }
    }
    // One placed far beyond the rooms takes the map's bounds with it.
    load(entity("models/mapgen/crate.ase", "1000 0 0"));
    EXPECT_EQ(map.bounds.maxs.x, 1008.0f);
}

}  // namespace
}  // namespace q
