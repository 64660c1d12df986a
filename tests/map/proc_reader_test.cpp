// The area-portal reader on the recording device: what lands in the map and in
// the device buffers, and in which order the device is asked. Files it refuses
// are in malformed_map_files_test.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <cstring>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "map/pattern_reader.h"
#include "math/plane.h"
#include "map/name_text.h"
#include "map_test_files.h"
#include "proc_file_text.h"
#include "gpu/recording/recording_device.h"
#include "platform/report.h"
#include "recording_device_fixture.h"
#include "render/globals.h"

namespace q {
namespace {

using gpu::CallKind;
using gpu::RecordingDevice;

// Hands out a texture for names it knows, and notes when it was asked
// relative to the device calls.
class FakeTextures : public TextureSource {
public:
    explicit FakeTextures(RecordingDevice* device) : device_(device) {}
    gpu::Texture* getTexture(const char* fileName) override {
        asked.push_back(fileName);
        askedAfterCall.push_back(device_->calls.size());
        return std::strstr(fileName, "missing") ? nullptr : reinterpret_cast<gpu::Texture*>(&dummy_);
    }
    gpu::Texture* known() { return reinterpret_cast<gpu::Texture*>(&dummy_); }
    std::vector<std::string> asked;
    std::vector<size_t> askedAfterCall;

private:
    RecordingDevice* device_;
    int dummy_ = 0;
};

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
        return map.readProcFile(path.c_str(), &device, &textures, &error);
    }

    FakeTextures textures{&device};
    test::MapFiles files;
    MapData map;
    std::string error;
};

TEST_F(ProcReader, StandardFileFillsAreasBuffersPortalsAndNodes) {
    ASSERT_TRUE(read(standardFile())) << error;
    ASSERT_EQ(map.areas.size(), 3u);
    ASSERT_EQ(map.areas[0].surfaceGroups.size(), 1u);
    ASSERT_EQ(map.areas[0].surfaceGroups[0].surfaces.size(), 1u);
    const Surface& s = map.areas[0].surfaceGroups[0].surfaces[0];
    EXPECT_EQ(s.vertexCount, 4);
    EXPECT_EQ(s.indexCount, 6);
    EXPECT_EQ(s.texture, textures.known());
    EXPECT_EQ(textures.asked, std::vector<std::string>{"textures/base/floor"});  // quotes gone

    // The vertex line 1 2 3 0.5 0.25 0 0 1: position (1, 3, 2), normal (0, 1, 0).
    const std::vector<uint8_t>& vb = RecordingDevice::contents(s.vertexBuffer.get());
    ASSERT_EQ(vb.size(), 4 * sizeof(MapVertex));
    MapVertex first;
    std::memcpy(&first, vb.data(), sizeof first);
    EXPECT_EQ(first.position, Vector3(1, 3, 2));
    EXPECT_EQ(first.normal, Vector3(0, 1, 0));
    EXPECT_EQ(first.u, 0.5f);
    EXPECT_EQ(first.v, 0.25f);
    const std::vector<uint8_t>& ib = RecordingDevice::contents(s.indexBuffer.get());
    ASSERT_EQ(ib.size(), 12u);
    std::vector<uint16_t> indices(6);
    std::memcpy(indices.data(), ib.data(), 12);
    EXPECT_EQ(indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));

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

TEST_F(ProcReader, BuffersAreMadeThenTextureFetchedThenFilledStraightIn) {
    ASSERT_TRUE(read(standardFile())) << error;
    const Surface& s = map.areas[0].surfaceGroups[0].surfaces[0];
    std::vector<CallKind> kinds;
    for (const gpu::RecordedCall& c : device.calls) kinds.push_back(c.kind);
    ASSERT_EQ(kinds, (std::vector<CallKind>{CallKind::CreateVertexBuffer, CallKind::CreateIndexBuffer,
                                            CallKind::Lock, CallKind::Unlock, CallKind::Lock, CallKind::Unlock}));
    EXPECT_EQ(textures.askedAfterCall, std::vector<size_t>{2});  // between creating and filling
    EXPECT_EQ(device.calls[0].args[0], 128u);
    EXPECT_EQ(RecordingDevice::use(s.vertexBuffer.get()), gpu::BufferUse::Static);
    EXPECT_EQ(device.calls[1].args[0], 12u);
    EXPECT_EQ(device.calls[2].object, s.vertexBuffer.get());
    EXPECT_EQ(device.calls[4].object, s.indexBuffer.get());
    for (int i : {2, 4}) EXPECT_EQ(device.calls[i].args[0] | device.calls[i].args[1] | device.calls[i].args[2], 0u);
}

TEST_F(ProcReader, AnObserverSeesEachDrawnSurfaceAndTheBuffersHoldTheSame) {
    struct Seen : SurfaceObserver {
        void surfaceRead(int area, const MapVertex* v, int vertexCount, const uint16_t* i, int indexCount) override {
            areas.push_back(area);
            vertices.assign(v, v + vertexCount);
            indices.assign(i, i + indexCount);
        }
        std::vector<int> areas;
        std::vector<MapVertex> vertices;
        std::vector<uint16_t> indices;
    } seen;
    ProcReading how;
    how.device = &device;
    how.textures = &textures;
    how.observer = &seen;
    const std::string text = "mapProcFile003\n" + model("_area0", 0) +
                             model("func_door", 1, surface("d", 4, 3, kQuad + "0 1 2")) +
                             model("_area1", 1, surface("\"textures/base/floor\"", 4, 6, kQuad + "0 1 2 0 2 3"));
    ASSERT_TRUE(map.readProcFile(files.write("m.proc", text).c_str(), how, &error)) << error;
    EXPECT_EQ(seen.areas, std::vector<int>{1});  // not the entity's
    ASSERT_EQ(seen.vertices.size(), 4u);
    EXPECT_EQ(seen.vertices[0].position, Vector3(1, 3, 2));
    EXPECT_EQ(seen.indices, (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    // Read once, for the observer and the buffers alike, in the usual order.
    const Surface& s = map.areas[1].surfaceGroups[0].surfaces[0];
    std::vector<CallKind> kinds;
    for (const gpu::RecordedCall& c : device.calls) kinds.push_back(c.kind);
    EXPECT_EQ(kinds, (std::vector<CallKind>{CallKind::CreateVertexBuffer, CallKind::CreateIndexBuffer,
                                            CallKind::Lock, CallKind::Unlock, CallKind::Lock, CallKind::Unlock}));
    const std::vector<uint8_t>& vb = RecordingDevice::contents(s.vertexBuffer.get());
    ASSERT_EQ(vb.size(), 4 * sizeof(MapVertex));
    EXPECT_EQ(std::memcmp(vb.data(), seen.vertices.data(), vb.size()), 0);
    const std::vector<uint8_t>& ib = RecordingDevice::contents(s.indexBuffer.get());
    ASSERT_EQ(ib.size(), 12u);
    EXPECT_EQ(std::memcmp(ib.data(), seen.indices.data(), ib.size()), 0);
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
    // Entity surfaces: no buffers, no textures looked for, only counted.
    EXPECT_TRUE(device.calls.empty());
    EXPECT_TRUE(textures.asked.empty());
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
    Plane facing;
    D3DXPlaneFromPoints(&facing, &p.viewCorners[0], &p.viewCorners[1], &p.viewCorners[2]);
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
    // must fail cleanly at its line, not read past anything.
    EXPECT_FALSE(read(text));
    EXPECT_NE(error.find(":16: expected \"/* numVerts = */\" in a shadowModel header"), std::string::npos) << error;

    MapData clean;
    const std::string path = files.write("c.proc", text.substr(0, text.find("shadowModel")) +
                                                       "shadowModel { \"_prelight_light_1\" 0 0 0 0 " +
                                                       std::string(5000, '9') + " }\n");
    ASSERT_TRUE(clean.readProcFile(path.c_str(), &device, &textures, &error)) << error;
    MapVertex v;
    std::memcpy(&v, RecordingDevice::contents(clean.areas[0].surfaceGroups[0].surfaces[0].vertexBuffer.get()).data(), sizeof v);
    EXPECT_EQ(v.normal, Vector3(0.0039215675f, 0, -0.99999f));
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

TEST_F(ProcReader, DrawMakesFourCallsPerSurfaceAndRoundsTrianglesDown) {
    const std::string seven = "0 1 2 0 2 3 1";
    ASSERT_TRUE(read("mapProcFile003 " +
                     model("_area0", 2, surface("textures/a", 4, 7, kQuad + seven) +
                                            surface("missing/b", 4, 3, kQuad + "0 1 2")) +
                     model("_area1", 0)))
        << error;
    SurfacePipelines pipelines;
    ASSERT_TRUE(pipelines.create(device, nullptr));
    device.clearLog();
    const float placement[4][4] = {{1, 2, 3, 4}};
    const SurfaceDraw context{device, pipelines, {placement, 4}};
    map.areas[1].draw(context);  // groups without surfaces draw nothing
    EXPECT_TRUE(device.calls.empty());

    map.areas[0].draw(context);
    const auto& group = map.areas[0].surfaceGroups[0];
    ASSERT_EQ(device.draws.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const Surface& s = group.surfaces[i];
        const gpu::DrawRecord& d = device.draws[i];
        EXPECT_EQ(d.pipelineObject, pipelines.opaque());
        EXPECT_EQ(d.texture, s.texture);
        EXPECT_EQ(d.vertices, s.vertexBuffer.get());
        EXPECT_EQ(d.indices, s.indexBuffer.get());
        EXPECT_EQ(d.constantCount, 4u);
        EXPECT_EQ(d.constants[0][3], 4.0f);
    }
    EXPECT_EQ(group.surfaces[1].texture, nullptr);  // missing image: drawn untextured
    EXPECT_EQ(device.draws[0].vertexCount, 4u);
    EXPECT_EQ(device.draws[0].count, 6u);  // 7 indices: 2 whole triangles
    EXPECT_EQ(device.draws[1].count, 3u);

    map.releaseBuffers();
    EXPECT_EQ(device.liveBuffers(), 0u);
}

TEST_F(ProcReader, DeviceRefusingABufferIsAnErrorNotACrash) {
    device.failNextBufferCreations(1);
    EXPECT_FALSE(read("mapProcFile003 " + model("_area0", 1, surface("a", 4, 3, kQuad + "0 1 2"))));
    EXPECT_NE(error.find("m.proc:2: cannot create a vertex buffer of 128 bytes"), std::string::npos) << error;
    device.failNextBufferCreations(0);
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
    const bool read = map.readProcText(file, &device, &textures);
    EXPECT_FALSE(file.outcome(read, &error));
    EXPECT_EQ(error, path + ": the file was cut short while it was being read");
    map.releaseBuffers();

    // Read whole, the same file is fine.
    MapData whole;
    std::string message;
    const std::string again = files.write("n.proc", "mapProcFile003\n" + model("\"_area0\"", 1, surface("a", 4, 3, kQuad + "0 1 2")));
    PatternReader same;
    ASSERT_TRUE(same.open(again.c_str(), &message));
    EXPECT_TRUE(same.outcome(whole.readProcText(same, &device, &textures), &message)) << message;
    whole.releaseBuffers();
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
