// The area-portal reader: what lands in the map (areas, surface ranges of its
// arrays, materials, portals, nodes). Files it refuses are in
// malformed_map_files_test.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <cstring>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "map/material_definitions.h"
#include "map/pattern_reader.h"
#include "map/proc_reader.h"
#include "math/plane.h"
#include "map/name_text.h"
#include "map_test_files.h"
#include "proc_file_text.h"
#include "platform/report.h"
#include "recording_device_fixture.h"

namespace q {
namespace {

using test::kNodeComments;
using test::kQuad;
using test::model;
using test::nodes;
using test::portals;
using test::surface;

// The file in the standard order, with Windows line ends.
std::string standardFile() {
    std::string text = "mapProcFile003\n\n" +
                       model("\"_area0\"", 1, surface("\"textures/base/floor\"", 4, 6, kQuad + "0 1 2 0 2 3")) +
                       model("\"_area1\"", 0) + model("\"_area2\"", 0) +
                       portals(1, "/* iap 0 */ 4 1 2 ( 0 0 0 ) ( 0 0 10 ) ( 0 10 10 ) ( 0 10 0 )\n") +
                       nodes(2, "/* node 0 */ ( 0 0 1 -64 ) 1 -2\n/* node 1 */ ( 1 0 0 0 ) -1 0\n");
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return crlf;
}

class ProcReader : public test::RecordingDeviceTest {
protected:
    bool read(const std::string& text) {
        const std::string path = files.write("m.proc", text);
        map = MapData{};
        return readProcFile(path, options, &map, &error);
    }

    ProcReadOptions options;
    test::MapFiles files;
    MapData map;
    std::string error;
};

TEST_F(ProcReader, StandardFileFillsAreasSurfacesPortalsAndNodes) {
    ASSERT_TRUE(read(standardFile())) << error;
    ASSERT_EQ(map.areas.size(), 3u);
    ASSERT_EQ(map.areas[0].surfaceGroups.size(), 1u);
    ASSERT_EQ(map.areas[0].surfaceGroups[0].surfaces.size(), 1u);
    const Surface& s = map.areas[0].surfaceGroups[0].surfaces[0];
    EXPECT_EQ(s.vertexCount, 4);
    EXPECT_EQ(s.indexCount, 6);
    ASSERT_EQ(map.materials.size(), 1u);
    EXPECT_EQ(map.materials[static_cast<size_t>(s.material)].name, "textures/base/floor");  // quotes gone

    // The vertex line 1 2 3 0.5 0.25 0 0 1: position (1, 3, 2), normal (0, 1, 0).
    ASSERT_EQ(map.vertices.size(), 4u);
    const MapVertex& first = map.verticesOf(s)[0];
    EXPECT_EQ(first.position, Vector3(1, 3, 2));
    EXPECT_EQ(first.normal, Vector3(0, 1, 0));
    EXPECT_EQ(first.u, 0.5f);
    EXPECT_EQ(first.v, 0.25f);
    EXPECT_EQ(map.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));

    // Empty models still add an (empty) group.
    EXPECT_EQ(map.areas[1].surfaceGroups.size(), 1u);
    EXPECT_TRUE(map.areas[1].surfaceGroups[0].surfaces.empty());

    // The portal, first read, is index 0 in both of its areas.
    ASSERT_EQ(map.portals.size(), 1u);
    EXPECT_EQ(map.portals[0].positiveArea, 1);
    EXPECT_EQ(map.portals[0].negativeArea, 2);
    EXPECT_EQ(map.areas[1].portalIndices, std::vector<int>{0});
    EXPECT_EQ(map.areas[2].portalIndices, std::vector<int>{0});
    EXPECT_TRUE(map.areas[0].portalIndices.empty());

    // The node plane 0 0 1 -64 is stored (0, 1, 0, -64), its children as read.
    ASSERT_EQ(map.bspNodes.size(), 2u);
    EXPECT_EQ(map.bspNodes[0].plane, (Plane{0, 1, 0, -64}));
    EXPECT_EQ(map.bspNodes[0].positiveChild, 1);
    EXPECT_EQ(map.bspNodes[0].negativeChild, -2);
    EXPECT_EQ(map.bspNodes[1].plane, (Plane{1, 0, 0, 0}));
}

TEST_F(ProcReader, SurfacesAreRangesOfTheMapsArraysNamingMaterialsByIndex) {
    MaterialDefinitions definitions;
    ASSERT_TRUE(definitions.readText("textures/glass { { blend add\n map textures/glass_d } }\n"
                                     "textures/grate { { alphaTest 0.5\n map textures/grate_d } }\n",
                                     "a.mtr", &error))
        << error;
    options.definitions = &definitions;
    std::vector<std::string> named;
    options.materialNamed = [&](size_t index, const Material& material) {
        EXPECT_EQ(index, named.size());
        named.push_back(material.name);
    };
    // Two model blocks of area 0 (two groups), area 1 between them, and a
    // material named again later: one table entry.
    const std::string text = "mapProcFile003\n" +
                             model("_area0", 2, surface("textures/grate", 4, 6, kQuad + "0 1 2 0 2 3") +
                                                    surface("plain", 3, 3,
                                                            "( 9 9 9 0 0 0 0 1 ) ( 0 0 0 0 0 0 0 1 ) "
                                                            "( 0 1 0 0 1 0 0 1 )\n2 1 0")) +
                             model("_area1", 1, surface("textures/glass", 4, 3, kQuad + "3 2 1")) +
                             model("_area0", 1, surface("textures/grate", 4, 3, kQuad + "0 1 3"));
    ASSERT_TRUE(read(text)) << error;
    EXPECT_EQ(named, (std::vector<std::string>{"textures/grate", "plain", "textures/glass"}));
    ASSERT_EQ(map.materials.size(), 3u);
    EXPECT_EQ(map.materials[0].look.alphaTest, 0.5f);
    EXPECT_EQ(map.materials[0].definition, "a.mtr:3");
    EXPECT_EQ(map.materials[1].definition, "");  // none: opaque
    EXPECT_EQ(map.materials[1].look.blend, MaterialBlend::Opaque);
    EXPECT_EQ(map.materials[2].look.blend, MaterialBlend::Add);
    EXPECT_TRUE(map.hasBlendedSurfaces);

    ASSERT_EQ(map.areas[0].surfaceGroups.size(), 2u);
    const Surface& plain = map.areas[0].surfaceGroups[0].surfaces[1];
    const Surface& glass = map.areas[1].surfaceGroups[0].surfaces[0];
    const Surface& again = map.areas[0].surfaceGroups[1].surfaces[0];
    EXPECT_EQ(plain.firstVertex, 4u);
    EXPECT_EQ(plain.firstIndex, 6u);
    EXPECT_EQ(plain.material, 1);
    EXPECT_EQ(map.verticesOf(plain)[0].position, Vector3(9, 9, 9));
    EXPECT_EQ(glass.firstVertex, 7u);
    EXPECT_EQ(glass.firstIndex, 9u);
    EXPECT_EQ(again.firstVertex, 11u);
    EXPECT_EQ(again.material, 0);
    // Indices stay counted from their own surface's first vertex.
    EXPECT_EQ(std::vector<uint16_t>(map.indicesOf(glass), map.indicesOf(glass) + 3), (std::vector<uint16_t>{3, 2, 1}));
    EXPECT_EQ(map.vertices.size(), 15u);
    EXPECT_EQ(map.indices.size(), 15u);
}

TEST_F(ProcReader, AreaNumbersFollowPositionAndEntityModelsAreReadButNotKept) {
    std::string text = "mapProcFile003\n";
    text += model("func_static_1", 1, surface("textures/door", 4, 6, kQuad + "0 1 2 0 2 3"));  // first: area 0
    text += model("_area0", 0);          // joins area 0
    text += model("_area3", 0);          // two... one area exists: a new area 1
    for (int i = 2; i <= 5; ++i) text += model("\"_area" + std::to_string(i) + "\"", 0);
    text += model("\"func_static_54\"", 2, surface("textures/x", 0, 0, "") + surface("textures/y", 4, 3, kQuad + "0 1 2"));
    text += model("_area6", 0);          // after an entity model, numbering goes on as before
    text += "Model { /* name = */ _area9 /* numSurfaces = */ 0 }\n";          // capital M: skipped
    text += "shadowModel { /* name = */ \"_prelight_x\" /* numVerts = */ 0 /* noCaps = */ 0 /* noFrontCaps = */ 0 "
            "/* numIndexes = */ 0 /* planeBits = */ " + std::string(300, '7') + " }\n";
    ASSERT_TRUE(read(text)) << error;
    ASSERT_EQ(map.areas.size(), 7u);
    EXPECT_EQ(map.areas[0].surfaceGroups.size(), 1u);  // _area0's group only
    EXPECT_EQ(map.areas[1].surfaceGroups.size(), 1u);  // _area3 became area 1
    EXPECT_EQ(map.areas[5].surfaceGroups.size(), 1u);
    EXPECT_EQ(map.areas[6].surfaceGroups.size(), 1u);
    // Entity surfaces no entity places: not kept, only counted.
    EXPECT_TRUE(map.vertices.empty());
    EXPECT_TRUE(map.indices.empty());
    EXPECT_EQ(map.undrawnModels, 2);
    EXPECT_EQ(map.undrawnSurfaces, 3);
    EXPECT_TRUE(map.materials.empty());
    EXPECT_TRUE(map.portals.empty());  // one-area style files: no portals, no nodes
    EXPECT_TRUE(map.bspNodes.empty());

    // They are checked all the same: a bad index in one fails at its line.
    EXPECT_FALSE(read("mapProcFile003\n" + model("_area0", 0) + model("func_static_1", 1, surface("a", 4, 3, kQuad + "0 1 4"))));
    EXPECT_NE(error.find("m.proc:8: expected vertex indices from 0 below numVerts (4)"), std::string::npos) << error;
}

TEST_F(ProcReader, TwoAreasAndModelArea3GivesArea2) {
    ASSERT_TRUE(read("mapProcFile003 " + model("_area0", 0) + model("_area1", 0) + model("_area3", 0))) << error;
    EXPECT_EQ(map.areas.size(), 3u);
}

TEST_F(ProcReader, PortalsAreReorderedPaddedDroppedAndReported) {
    // 0: plane facing x, p0 and p1 share stored z: reordered p3 p0 p1 p2, fifth kept.
    // 1: two points: dropped, the areas never hear of it.
    // 2: three points: a fourth repeats the third; slanted, so reported "zop".
    // 3: facing x but off the axis by a compiler's rounding: neither reported
    //    nor left out of the reordering of 0.
    const std::string body =
        "/* iap 0 */ 5 0 1 ( 0 0 0 ) ( 0 0 10 ) ( 0 10 10 ) ( 0 10 0 ) ( 0 5 -3 )\n"
        "/* iap 1 */ 2 1 2 ( 0 0 0 ) ( 1 1 1 )\n"
        "/* iap 2 */ 3 2 2 ( 0 0 0 ) ( 10 0 1 ) ( 0 10 3 )\n"
        "/* iap 3 */ 4 0 2 ( 1657.9932861328 4923.6005859375 704 ) ( 1658 4923.59375 768 ) "
        "( 1658 4987.59375 768 ) ( 1657.9932861328 4987.6005859375 704 )\n";
    testing::internal::CaptureStderr();
    const bool ok = read("mapProcFile003 " + model("_area0", 0) + model("_area1", 0) + model("_area2", 0) +
                         portals(4, body));
    const std::string lines = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok) << error;
    EXPECT_NE(lines.find("dropped the portal on line 14 of " + files.path("m.proc") + ": it has 2 points"),
              std::string::npos) << lines;
    EXPECT_NE(lines.find("zop (portal 1 of " + files.path("m.proc") + ")"), std::string::npos) << lines;
    ASSERT_EQ(map.portals.size(), 3u);
    EXPECT_EQ(map.portals[2].points[0], Vector3(1657.9932861328f, 704, 4987.6005859375f)) << "p3 first";
    EXPECT_EQ(map.portals[2].points[1], Vector3(1657.9932861328f, 704, 4923.6005859375f));
    const Portal& p = map.portals[0];
    EXPECT_EQ(p.plane, (Plane{1, 0, 0, -0.0f}));
    ASSERT_EQ(p.points.size(), 5u);
    EXPECT_EQ(p.points[0], Vector3(0, 0, 10));  // p3 (file 0 10 0)
    EXPECT_EQ(p.points[1], Vector3(0, 0, 0));
    EXPECT_EQ(p.points[2], Vector3(0, 10, 0));
    EXPECT_EQ(p.points[3], Vector3(0, 10, 10));
    EXPECT_EQ(p.points[4], Vector3(0, -3, 5));

    // The view through the pentagon is narrowed to the rectangle around it in
    // its plane, wound as its points go (so it faces the same side); a
    // four-point portal is narrowed to its own points.
    const Vector3 around[4] = {{0, -3, 10}, {0, -3, 0}, {0, 10, 0}, {0, 10, 10}};
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(dot(p.viewCorners[i] - around[i], p.viewCorners[i] - around[i]), 1e-8f) << "corner " << i;
    Plane facing = Plane::fromPoints(p.viewCorners[0], p.viewCorners[1], p.viewCorners[2]);
    EXPECT_GT(dot(facing.normal(), p.plane.normal()), 0.99f);

    const Portal& tri = map.portals[1];
    ASSERT_EQ(tri.points.size(), 4u);
    EXPECT_EQ(tri.points[3], tri.points[2]);
    EXPECT_TRUE(std::equal(tri.viewCorners.begin(), tri.viewCorners.end(), tri.points.begin()));
    EXPECT_EQ(map.areas[0].portalIndices, (std::vector<int>{0, 2}));
    EXPECT_EQ(map.areas[1].portalIndices, std::vector<int>{0});
    EXPECT_EQ(map.areas[2].portalIndices, (std::vector<int>{1, 1, 2}));  // both sides the same area
    EXPECT_EQ(reportCount(), 1u);  // one "zop", for the slanted portal only
    EXPECT_EQ(messageBoxCount(), 0u);
}

TEST_F(ProcReader, RealCompilerDetailsReadAsWritten) {
    const std::string text = "mapProcFile003\n" +
                             model("_area0", 1, surface("textures/a", 1, 0, "( 0 0 0 0 0 0.0039215675 -0.99999 0 )")) +
                             nodes(1, "/* node 0 */ ( 0.7071067691 0 0.7071067691 -12.3456789 ) -1 -1\n") +
                             "shadowModel { /* name = */ \"_prelight_light_1\"\n" + std::string(5000, '1') +
                             " model 2 3\n}\n";
    // The shadow block holds a long run of digits where its counts belong: it
    // is named at its line and passed over, reading nothing of it.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(read(text)) << error;
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find(":16: expected \"/* numVerts = */\" in a shadowModel header"), std::string::npos)
        << warnings;
    EXPECT_TRUE(map.shadowVolumes.empty());

    MapData clean;
    const std::string path = files.write("c.proc", text.substr(0, text.find("shadowModel")) +
                                                       "shadowModel { \"_prelight_light_1\" 0 0 0 0 " +
                                                       std::string(5000, '9') + " }\n");
    ASSERT_TRUE(readProcFile(path, options, &clean, &error)) << error;
    ASSERT_EQ(clean.vertices.size(), 1u);
    EXPECT_EQ(clean.vertices[0].normal, Vector3(0.0039215675f, 0, -0.99999f));
    EXPECT_EQ(clean.bspNodes[0].plane, (Plane{0.7071067691f, 0.7071067691f, 0, -12.3456789f}));
}

TEST_F(ProcReader, NamesHoldingAKeywordAreWordsUnlessTheirBlockOpens) {
    // A shadow model's name holding "model", an entity's holding "nodes" and a
    // word holding "interAreaPortals", none followed by its block's opening.
    const std::string text = "mapProcFile003\n" + model("\"_area0\"", 0) + model("\"_area1\"", 0) +
                             "shadowModel { /* name = */ \"_prelight_lamp_model_1\"\n"
                             "/* numVerts = */ 4 /* noCaps = */ 3 /* noFrontCaps = */ 6 /* numIndexes = */ 6\n"
                             "( 0 0 0 ) ( 1 0 0 ) ( 1 1 0 ) ( 0 1 0 ) 0 1 2 0 2 3\n}\n"
                             "\"func_nodes_2\" interAreaPortals_seen\n" +
                             nodes(1, "/* node 0 */ ( 0 0 1 0 ) -1 -2\n");
    ASSERT_TRUE(read(text)) << error;
    EXPECT_EQ(map.areas.size(), 2u);
    EXPECT_EQ(map.bspNodes.size(), 1u);

    // With its block's opening after it such a word is that block, so damage
    // inside is reported at its line.
    EXPECT_FALSE(read("mapProcFile003\n" + model("_area0", 0) + "\"func_nodes_2\" { /* numNodes = */ 1\n" +
                      kNodeComments + "/* node 0 */ ( 0 0 1 0 ) -1\n}\n"));
    EXPECT_NE(error.find("m.proc:10: expected an integer in a node"), std::string::npos) << error;
}

TEST_F(ProcReader, FileCutShortWhileReadIsRefused) {
    // Another program shortens the file between opening and reading: the
    // reading meets zeros where the text was, and the file is refused as cut
    // short, not read as a smaller map.
    std::string vertices;
    for (int i = 0; i < 400; ++i) vertices += kQuad;
    const std::string path = files.write(
        "m.proc", "mapProcFile003\n" + model("\"_area0\"", 1, surface("a", 1600, 3, vertices + "0 1 2")));
    PatternReader file;
    ASSERT_TRUE(file.open(path.c_str(), &error));
    std::filesystem::resize_file(path, 200);
    const bool read = readProcText(file, options, &map);
    EXPECT_FALSE(file.outcome(read, &error));
    EXPECT_EQ(error, path + ": the file was cut short while it was being read");

    // Read whole, the same file is fine.
    MapData whole;
    std::string message;
    const std::string again = files.write("n.proc", "mapProcFile003\n" + model("\"_area0\"", 1, surface("a", 4, 3, kQuad + "0 1 2")));
    PatternReader same;
    ASSERT_TRUE(same.open(again.c_str(), &message));
    EXPECT_TRUE(same.outcome(readProcText(same, options, &whole), &message)) << message;
}

TEST(NameText, TrimBlanksThenStripQuotes) {
    char a[] = " \t\"textures/base/wall\"\t\n";
    EXPECT_STREQ(stripQuotes(trimBlanks(a)), "textures/base/wall");
    char b[] = "\"\"\"";  // only quotes: empty
    EXPECT_STREQ(stripQuotes(b), "");
    char c[] = "a\"b\"";  // inner quotes stay
    EXPECT_STREQ(stripQuotes(c), "a\"b");
    char d[] = "   ";
    EXPECT_STREQ(trimBlanks(d), "");
}

}  // namespace
}  // namespace q
