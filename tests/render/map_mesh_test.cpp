// A map's GPU side built from its model on the recording device: buffers
// holding the model's vertices and indices, and one draw per surface naming
// its range, its material's texture and its look.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "gpu/recording/recording_device.h"
#include "map/map_data.h"
#include "map/proc_reader.h"
#include "map_test_files.h"
#include "proc_file_text.h"
#include "recording_device_fixture.h"
#include "render/area_draw.h"
#include "render/lighting_program.h"
#include "render/tangent_vertex.h"
#include "render/map_mesh.h"

namespace q {
namespace {

using gpu::RecordingDevice;
using test::kQuad;
using test::model;
using test::surface;

std::vector<uint16_t> indicesIn(const gpu::IndexBuffer* buffer, uint32_t first, uint32_t count) {
    const std::vector<uint8_t>& bytes = RecordingDevice::contents(buffer);
    std::vector<uint16_t> indices(count);
    std::memcpy(indices.data(), bytes.data() + first * sizeof(uint16_t), count * sizeof(uint16_t));
    return indices;
}

class MapMeshTest : public test::RecordingDeviceTest {
protected:
    void drawAll(size_t area) {
        device.beginFrame(0);
        drawArea(mesh, area, {device, pipelines, uniforms.block()});
        device.endFrame();
    }

    test::MapFiles files;
    const gpu::DeviceHandle<gpu::Program> lighting = device.createProgram(lightingProgramDesc());
    SurfacePipelines pipelines;
    MapData map;
    MapMesh mesh;
    std::string error;
    LightingUniforms uniforms = [] {
        LightingUniforms u;
        u.light[3] = 4.0f;  // marks the block as this test's
        return u;
    }();
};

TEST_F(MapMeshTest, BuffersHoldTheModelAndEachSurfaceDrawsItsRangeWithItsTexture) {
    const std::string text = "mapProcFile003 " +
                             model("_area0", 2, surface("textures/a", 4, 7, kQuad + "0 1 2 0 2 3 1") +
                                                    surface("missing/b", 4, 3, kQuad + "0 1 2")) +
                             model("_area1", 0);
    ASSERT_TRUE(readProcFile(files.write("m.proc", text), {}, &map, &error)) << error;
    ASSERT_TRUE(pipelines.create(device, lighting.get()));
    ASSERT_TRUE(mesh.build(device, map, &pipelines, &error)) << error;
    const uint8_t texel[4] = {};
    const gpu::DeviceHandle<gpu::Texture> image = device.createTexture(TexelFormat::Rgba8, 1, 1, 1, texel);
    mesh.textures[0] = image.get();

    ASSERT_EQ(mesh.bufferCount(), 1u);
    const MapMesh::Buffers& buffers = mesh.buffers(0);
    const std::vector<uint8_t>& vertices = RecordingDevice::contents(buffers.vertices.get());
    ASSERT_EQ(vertices.size(), map.vertices.size() * sizeof(TangentVertex));
    for (size_t i = 0; i < map.vertices.size(); ++i) {
        TangentVertex uploaded;
        std::memcpy(&uploaded, vertices.data() + i * sizeof(TangentVertex), sizeof uploaded);
        EXPECT_EQ(std::memcmp(&uploaded, &map.vertices[i], sizeof(MapVertex)), 0) << i;
    }
    // Whole triangles only; the second surface's indices count from the buffer's first vertex.
    EXPECT_EQ(indicesIn(buffers.indices.get(), 0, 9), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6}));

    drawAll(1);  // an area without surfaces draws nothing
    EXPECT_TRUE(device.draws.empty());
    drawAll(0);
    ASSERT_EQ(device.draws.size(), 2u);
    for (const gpu::DrawRecord& d : device.draws) {
        EXPECT_EQ(d.problem, nullptr) << d.problem;
        EXPECT_EQ(d.pipelineObject, pipelines.opaque());
        EXPECT_EQ(d.vertices, buffers.vertices.get());
        EXPECT_EQ(d.indices, buffers.indices.get());
        EXPECT_EQ(d.uniformBytes, sizeof uniforms);
        EXPECT_EQ(std::memcmp(d.uniforms, &uniforms, sizeof uniforms), 0);
    }
    EXPECT_EQ(device.draws[0].textures.surfaceImage, image.get());
    EXPECT_EQ(device.draws[0].first, 0u);
    EXPECT_EQ(device.draws[0].count, 6u);
    EXPECT_EQ(device.draws[0].vertexCount, 4u);
    EXPECT_EQ(device.draws[1].textures.surfaceImage, nullptr);  // no image: drawn untextured
    EXPECT_EQ(device.draws[1].first, 6u);
    EXPECT_EQ(device.draws[1].count, 3u);
    EXPECT_EQ(device.draws[1].vertexCount, 8u);
}

// 16-bit indices reach 65,536 vertices: surfaces past that go to a further
// buffer pair, whole, their indices counted from its first vertex.
TEST_F(MapMeshTest, MoreVerticesThanSixteenBitIndicesReachSplitIntoBuffers) {
    constexpr int kVertices = 30000;
    map.areas.resize(1);
    map.areas[0].surfaceGroups.resize(1);
    map.materials.resize(1);
    for (int s = 0; s < 3; ++s) {
        Surface surface;
        surface.firstVertex = static_cast<uint32_t>(map.vertices.size());
        surface.firstIndex = static_cast<uint32_t>(map.indices.size());
        surface.vertexCount = kVertices;
        surface.indexCount = 3;
        map.areas[0].surfaceGroups[0].surfaces.push_back(surface);
        for (int v = 0; v < kVertices; ++v) map.vertices.push_back({{float(map.vertices.size()), 0, 0}, {}, 0, 0});
        map.indices.insert(map.indices.end(), {0, kVertices - 1, 1});
    }
    ASSERT_TRUE(pipelines.create(device, lighting.get()));
    ASSERT_TRUE(mesh.build(device, map, &pipelines, &error)) << error;
    ASSERT_EQ(mesh.bufferCount(), 2u);
    drawAll(0);
    ASSERT_EQ(device.draws.size(), 3u);
    const MapMesh::Buffers& first = mesh.buffers(0);
    const MapMesh::Buffers& second = mesh.buffers(1);
    EXPECT_EQ(device.draws[1].vertices, first.vertices.get());
    EXPECT_EQ(device.draws[1].vertexCount, 2u * kVertices);
    EXPECT_EQ(indicesIn(first.indices.get(), device.draws[1].first, 3),
              (std::vector<uint16_t>{kVertices, 2 * kVertices - 1, kVertices + 1}));
    EXPECT_EQ(device.draws[2].vertices, second.vertices.get());
    EXPECT_EQ(device.draws[2].first, 0u);
    EXPECT_EQ(device.draws[2].vertexCount, uint32_t{kVertices});
    EXPECT_EQ(indicesIn(second.indices.get(), 0, 3), (std::vector<uint16_t>{0, kVertices - 1, 1}));
    TangentVertex firstOfSecond;
    std::memcpy(&firstOfSecond, RecordingDevice::contents(second.vertices.get()).data(), sizeof firstOfSecond);
    EXPECT_EQ(firstOfSecond.position.x, float(2 * kVertices));
    for (const gpu::DrawRecord& d : device.draws) EXPECT_EQ(d.problem, nullptr) << d.problem;
}

// A floor (file axes: z up) whose s runs along x and t along y: in map space
// (y up) the tangent runs along x, and cross(normal, tangent) * w along the
// file's y, which is map z. A surface whose texture coordinates do not vary
// still gets a unit tangent perpendicular to its normal.
TEST_F(MapMeshTest, UploadedVerticesCarryTangentsAlongTheirTextureCoordinates) {
    const std::string floor = "( 0 0 0 0 0 0 0 1 ) ( 64 0 0 1 0 0 0 1 ) ( 64 64 0 1 1 0 0 1 ) ( 0 64 0 0 1 0 0 1 )\n";
    const std::string flat = "( 0 0 0 0 0 1 0 0 ) ( 0 64 0 0 0 1 0 0 ) ( 0 64 64 0 0 1 0 0 )\n";
    const std::string text = "mapProcFile003 " + model("_area0", 2, surface("a", 4, 6, floor + "0 1 2 0 2 3") +
                                                                         surface("b", 3, 3, flat + "0 1 2"));
    ASSERT_TRUE(readProcFile(files.write("m.proc", text), {}, &map, &error)) << error;
    ASSERT_TRUE(mesh.build(device, map, nullptr, &error)) << error;
    const std::vector<uint8_t>& bytes = RecordingDevice::contents(mesh.buffers(0).vertices.get());
    ASSERT_EQ(bytes.size(), 7 * sizeof(TangentVertex));
    std::vector<TangentVertex> lit(7);
    std::memcpy(lit.data(), bytes.data(), bytes.size());
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(lit[i].tangent[0], 1.0f, 1e-6f) << i;
        EXPECT_NEAR(lit[i].tangent[1], 0.0f, 1e-6f) << i;
        EXPECT_NEAR(lit[i].tangent[2], 0.0f, 1e-6f) << i;
        const Vector3 alongV = cross(lit[i].normal, {lit[i].tangent[0], lit[i].tangent[1], lit[i].tangent[2]}) *
                               lit[i].tangent[3];
        EXPECT_NEAR(alongV.z, 1.0f, 1e-6f) << i;
    }
    for (int i = 4; i < 7; ++i) {
        const Vector3 t{lit[i].tangent[0], lit[i].tangent[1], lit[i].tangent[2]};
        EXPECT_NEAR(dot(t, t), 1.0f, 1e-5f) << i;
        EXPECT_NEAR(dot(t, lit[i].normal), 0.0f, 1e-6f) << i;
    }
}

TangentVertex uploadedVertex(const gpu::VertexBuffer* buffer, uint32_t index) {
    TangentVertex vertex;
    std::memcpy(&vertex, RecordingDevice::contents(buffer).data() + index * sizeof vertex, sizeof vertex);
    return vertex;
}

// A mesh file goes up once, after the surfaces, in its own axes: a group's
// draws, in turn, give its triangles' corners as the file does. One too large
// for a buffer is cut between triangles, a group drawn in each buffer it
// reaches, a vertex used on both sides of a cut uploaded to both.
TEST_F(MapMeshTest, MeshFilesGoUpOnceAfterTheSurfacesCutBetweenTrianglesPastABuffer) {
    const std::string text = "mapProcFile003 " + model("_area0", 1, surface("textures/a", 4, 6, kQuad + "0 1 2 0 2 3"));
    ASSERT_TRUE(readProcFile(files.write("m.proc", text), {}, &map, &error)) << error;
    // Vertex i lies at x = i. A small file, flat in the file's axes (z up),
    // s along x and t along y; a large one whose first group uses 30,000
    // vertices alone and whose second fans 70,000 more round vertex 0.
    MeshFile& small = map.meshModels.files.emplace_back();
    for (int i = 0; i < 4; ++i) small.model.vertices.push_back({{float(i), float(i / 2), 0}, {0, 0, 1}, float(i), float(i / 2)});
    small.model.groups = {{"a", "", {0, 1, 2}}, {"b", "", {0, 2, 3, 3, 2, 1}}};
    MeshFile& large = map.meshModels.files.emplace_back();
    constexpr uint32_t kLarge = 100000;
    for (uint32_t i = 0; i < kLarge; ++i) large.model.vertices.push_back({{float(i), 0, 0}, {0, 0, 1}, 0, 0});
    large.model.groups.resize(2);
    for (uint32_t i = 0; i < 30000; i += 3) large.model.groups[0].indices.insert(large.model.groups[0].indices.end(), {i, i + 1, i + 2});
    for (uint32_t i = 30000; i < kLarge; i += 2) large.model.groups[1].indices.insert(large.model.groups[1].indices.end(), {0, i, i + 1});
    ASSERT_TRUE(mesh.build(device, map, nullptr, &error)) << error;
    ASSERT_EQ(mesh.bufferCount(), 3u);

    // Each group's corners read back through its draws: the file's, in order.
    auto cornersOf = [&](size_t file, size_t group, std::vector<uint32_t>* buffersUsed) {
        std::vector<uint32_t> corners;
        const MapMesh::Range range = mesh.meshGroupDraws(file, group);
        for (const MapMesh::Draw* draw = range.begin; draw != range.end; ++draw) {
            buffersUsed->push_back(draw->buffer);
            const MapMesh::Buffers& buffers = mesh.buffers(draw->buffer);
            for (const uint16_t index : indicesIn(buffers.indices.get(), draw->firstIndex, draw->count)) {
                EXPECT_LT(index, draw->vertexCount);
                corners.push_back(static_cast<uint32_t>(uploadedVertex(buffers.vertices.get(), index).position.x));
            }
        }
        return corners;
    };
    for (size_t file = 0; file < 2; ++file)
        for (size_t group = 0; group < 2; ++group) {
            std::vector<uint32_t> buffersUsed;
            EXPECT_EQ(cornersOf(file, group, &buffersUsed), map.meshModels.files[file].model.groups[group].indices);
            // The small file shares the surfaces' buffer; the large one
            // starts its own, its second group reaching into a third.
            EXPECT_EQ(buffersUsed, file == 0    ? std::vector<uint32_t>{0}
                                   : group == 0 ? std::vector<uint32_t>{1}
                                                : std::vector<uint32_t>({1, 2}));
        }
    // In the map's axes (y up) as the surfaces are, with the file's texture
    // coordinates and a tangent frame made there: along increasing t is +z.
    const TangentVertex third = uploadedVertex(mesh.buffers(0).vertices.get(), 4 + 2);
    EXPECT_EQ(third.position, (Vector3{2, 0, 1}));
    EXPECT_EQ(std::make_pair(third.u, third.v), std::make_pair(2.0f, 1.0f));
    const Vector3 alongT = cross(third.normal, {third.tangent[0], third.tangent[1], third.tangent[2]}) * third.tangent[3];
    EXPECT_NEAR(alongT.z, 1.0f, 1e-6f);
}

TEST_F(MapMeshTest, DeviceRefusingABufferIsAnErrorAndLeavesNoBuffer) {
    const std::string text = "mapProcFile003 " + model("_area0", 1, surface("a", 4, 3, kQuad + "0 1 2"));
    ASSERT_TRUE(readProcFile(files.write("m.proc", text), {}, &map, &error)) << error;
    device.failNextBufferCreations(1);
    EXPECT_FALSE(mesh.build(device, map, nullptr, &error));
    EXPECT_EQ(error, "the graphics device refused a buffer of 192 bytes for the map's surfaces");
    EXPECT_EQ(device.liveBuffers(), 0u);
    EXPECT_EQ(mesh.bufferCount(), 0u);
}

}  // namespace
}  // namespace q
