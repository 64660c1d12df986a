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

    // Loads the meshes of a map source: the generated one, or entities given as text.
    void load(const std::string& entitiesText = "", uint64_t maxBytes = kMaxMeshFileBytes) {
        MapSource written;
        written.fileName = "test.map";
        if (!entitiesText.empty()) {
            PatternReader file(entitiesText, "test.map");
            ASSERT_TRUE(written.readText(file)) << file.error();
        }
        problems.clear();
        loadMeshModels(entitiesText.empty() ? generated : written, definitions, library, &map, &problems, maxBytes);
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

}  // namespace
}  // namespace q
