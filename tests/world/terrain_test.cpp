#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>

#include "gpu/recording/recording_device.h"
#include "image/image.h"
#include "render/globals.h"
#include "render/lighting_program.h"
#include "render/tangent_vertex.h"
#include "world/terrain.h"

namespace q {
namespace {

// Height at (dx, dz) inside the cell at row i, column g, interpolated directly
// from the four corner heights over triangle A (dz >= dx side) or B.
float triangleA(const Terrain& t, int i, int g, float dx, float dz) {
    const float h00 = t.height(i, g), h01 = t.height(i + 1, g), h11 = t.height(i + 1, g + 1);
    return h00 + (h11 - h01) * dx / 128.0f + (h01 - h00) * dz / 128.0f;
}
float triangleB(const Terrain& t, int i, int g, float dx, float dz) {
    const float h00 = t.height(i, g), h10 = t.height(i, g + 1), h11 = t.height(i + 1, g + 1);
    return h00 + (h10 - h00) * dx / 128.0f + (h11 - h10) * dz / 128.0f;
}
float cellX(int g) { return -8192.0f + 128.0f * static_cast<float>(g); }

class TerrainGrid : public ::testing::Test {
protected:
    Terrain terrain{nullptr, 128, 128};
};

TEST(TerrainRandom, ReproducesTheFixedSequence) {
    TerrainRandom random;
    for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(random.next(), expected);
}

TEST_F(TerrainGrid, HeightsFollowTheSequenceRowByRow) {
    EXPECT_EQ(terrain.vertsX, 129);
    EXPECT_EQ(terrain.vertsZ, 129);
    const float firstRow[] = {-455, -461, -434, -492, -399};
    for (int j = 0; j < 5; ++j) EXPECT_EQ(terrain.height(0, j), firstRow[j]) << "column " << j;
    for (float h : terrain.heights) {
        ASSERT_GE(h, -496.0f);
        ASSERT_LE(h, -369.0f);
    }
    // Building again gives the same ground: the sequence is the terrain's own.
    Terrain again(nullptr, 128, 128);
    EXPECT_EQ(again.heights, terrain.heights);
}

TEST_F(TerrainGrid, OnAVertexTheHeightIsThatVertexHeight) {
    for (auto [i, j] : {std::pair{0, 0}, {5, 9}, {64, 64}, {127, 3}, {100, 127}}) {
        EXPECT_FLOAT_EQ(terrain.heightAt({cellX(j), 999.0f, cellX(i)}), terrain.height(i, j))
            << "row " << i << " column " << j;
    }
    // The far edge and corner belong to the last cells, answered by their planes.
    EXPECT_NEAR(terrain.heightAt({8192.0f, 0, 8192.0f}), terrain.height(128, 128), 1e-3f);
    EXPECT_NEAR(terrain.heightAt({8192.0f, 0, cellX(40)}), terrain.height(40, 128), 1e-3f);
}

TEST_F(TerrainGrid, PointsInACellUseTheTriangleTheyLieIn) {
    const int i = 70, g = 33;
    struct Case { float dx, dz; bool inB; };
    for (Case c : {Case{100, 20, true}, Case{20, 100, false}, Case{50, 50, false}, Case{127, 1, true}}) {
        const float a = triangleA(terrain, i, g, c.dx, c.dz);
        const float b = triangleB(terrain, i, g, c.dx, c.dz);
        const float got = terrain.heightAt({cellX(g) + c.dx, 0, cellX(i) + c.dz});
        EXPECT_NEAR(got, c.inB ? b : a, 1e-3f) << c.dx << "," << c.dz;
        // On the diagonal both planes meet; elsewhere the wrong one is off.
        if (c.dx != c.dz) {
            EXPECT_GT(std::fabs(a - b), 1e-2f) << "cell too flat for this check";
        }
    }
}

TEST_F(TerrainGrid, OutsideTheGridTheHeightIsThatOfTheNearestEdgePoint) {
    // Beyond one edge: the height of the edge point straight in from there, so
    // walking outwards never climbs or sinks past the ground drawn.
    const float z = cellX(10) + 64.0f;
    EXPECT_NEAR(terrain.heightAt({-8192.5f, 0, z}), triangleA(terrain, 10, 0, 0.0f, 64.0f), 1e-3f);
    const float highEdge = triangleB(terrain, 10, 127, 128.0f, 64.0f);
    for (float x : {8192.5f, 9000.0f, 30000.0f}) EXPECT_NEAR(terrain.heightAt({x, 0, z}), highEdge, 1e-3f) << x;
    // Beyond a corner: the corner vertex's own height.
    EXPECT_NEAR(terrain.heightAt({-20000.0f, 0, -20000.0f}), terrain.height(0, 0), 1e-3f);
    EXPECT_NEAR(terrain.heightAt({30000.0f, 0, 1e30f}), terrain.height(128, 128), 1e-3f);

    // Values no cell index can hold are clamped before conversion, not converted.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(std::isfinite(terrain.heightAt({1e30f, 0, -1e30f})));
    for (Vector3 p : {Vector3{inf, 0, 0}, Vector3{0, 0, -inf}, Vector3{nan, 0, 0}, Vector3{0, 0, nan}}) {
        (void)terrain.heightAt(p);  // the sanitizer build checks these convert nothing out of range
    }
}

TEST(Terrain, CellCountsStayAddressableBySixteenBitIndices) {
    Terrain big(nullptr, 1000, 0);
    EXPECT_EQ(big.cellsX, Terrain::kMaxCells);
    EXPECT_EQ(big.cellsZ, 1);
    EXPECT_EQ(big.heights.size(), 256u * 2u);
    // A small grid still answers the fixed query safely from its own cells, and
    // beyond them it is as level as the edge of its own last cell.
    EXPECT_TRUE(std::isfinite(big.heightAt({8000, 0, 8000})));
    EXPECT_NEAR(big.heightAt({0, 0, 8000}), big.heightAt({0, 0, -8192.0f + 128.0f}), 1e-3f);
}

}  // namespace
}  // namespace q

// ---- the device side: buffers, texture and the draw ----

namespace q {
namespace {

using gpu::CallKind;
using gpu::RecordingDevice;

// Runs a test body in a fresh directory, with or without a readable Grass.bmp.
class TerrainOnDevice : public ::testing::Test {
protected:
    void SetUp() override {
        previous = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() /
              ("quorvane_terrain_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }
    static void writeGrass() {
        Image image;
        image.width = 4;
        image.height = 2;
        image.rgba.assign(4 * 2 * 4, 0x80);
        std::string error;
        ASSERT_TRUE(writeBmp("Grass.bmp", image, &error)) << error;
    }
    template <typename T>
    static const T* contentsAs(const gpu::Buffer* buffer) {
        return reinterpret_cast<const T*>(RecordingDevice::contents(buffer).data());
    }

    // The context a frame draws the terrain in: the opaque look's pipeline
    // and a uniform block the terrain passes on as it is.
    SurfaceDraw context() {
        if (!pipelines.opaque()) {
            lighting = device.createProgram(lightingProgramDesc());
            pipelines.create(device, lighting.get());
        }
        uniforms.light[3] = 4.0f;
        return {device, pipelines, uniforms.block()};
    }

    std::filesystem::path previous, dir;
    RecordingDevice device;
    gpu::DeviceHandle<gpu::Program> lighting;
    SurfacePipelines pipelines;
    LightingUniforms uniforms;
};

TEST_F(TerrainOnDevice, BuffersHoldTheGridUploadedOnce) {
    writeGrass();
    auto owned = std::make_unique<Terrain>(&device, 128, 128);
    Terrain& terrain = *owned;
    ASSERT_NE(terrain.vertexBuffer.get(), nullptr);
    ASSERT_NE(terrain.indexBuffer.get(), nullptr);
    ASSERT_NE(terrain.texture.get(), nullptr);
    EXPECT_EQ(terrain.texture->width(), 4u);

    for (const gpu::RecordedCall& call : device.calls) {
        if (call.kind == CallKind::CreateVertexBuffer) {
            EXPECT_EQ(call.args[0], 129u * 129u * 48u);
        }
        if (call.kind == CallKind::CreateIndexBuffer) {
            EXPECT_EQ(call.args[0], 98304u * 2u);
        }
    }

    const uint16_t* indices = contentsAs<uint16_t>(terrain.indexBuffer.get());
    const uint16_t firstSix[] = {0, 129, 130, 0, 130, 1};
    for (int n = 0; n < 6; ++n) EXPECT_EQ(indices[n], firstSix[n]) << n;
    // The last cell closes the grid at its far corner.
    EXPECT_EQ(indices[98304 - 2], 129 * 129 - 1);

    const TangentVertex* v = contentsAs<TangentVertex>(terrain.vertexBuffer.get());
    EXPECT_EQ(v[0].position, Vector3(-8192, -455, -8192));
    EXPECT_EQ(v[129 * 129 - 1].position, Vector3(8192, terrain.height(128, 128), 8192));
    // One texture copy per cell, mirrored from cell to cell.
    EXPECT_EQ(v[1].u, 1.0f);
    EXPECT_EQ(v[2].u, 0.0f);
    EXPECT_EQ(v[129].v, 1.0f);
    EXPECT_EQ(v[129].u, 0.0f);

    // An inner vertex's normal: the six triangles around it, summed and made unit.
    const int i = 40, j = 77;
    const Vector3 sum = terrain.faceNormal(i, j, 0) + terrain.faceNormal(i, j, 1) +
                        terrain.faceNormal(i, j - 1, 1) + terrain.faceNormal(i - 1, j, 0) +
                        terrain.faceNormal(i - 1, j - 1, 0) + terrain.faceNormal(i - 1, j - 1, 1);
    const Vector3 expected = normalized(sum);
    const Vector3 got = v[i * 129 + j].normal;
    EXPECT_NEAR(got.x, expected.x, 1e-6f);
    EXPECT_NEAR(got.y, expected.y, 1e-6f);
    EXPECT_NEAR(got.z, expected.z, 1e-6f);

    owned.reset();  // the buffers and the texture go with the terrain
    EXPECT_EQ(device.liveBuffers(), 0u);
    EXPECT_EQ(device.liveTextures(), 0u);
}

TEST_F(TerrainOnDevice, DrawIsOneIndexedDrawOfTheWholeGridInTheOpaqueLook) {
    writeGrass();
    Terrain terrain(&device, 128, 128);
    const SurfaceDraw frame = context();
    device.beginFrame(0);
    device.clearLog();
    terrain.draw(frame);
    device.endFrame();

    ASSERT_EQ(device.calls.size(), 2u);
    ASSERT_EQ(device.draws.size(), 1u);
    const gpu::DrawRecord& draw = device.draws[0];
    EXPECT_EQ(draw.problem, nullptr);
    EXPECT_EQ(draw.pipelineObject, pipelines.opaque());
    EXPECT_EQ(draw.first, 0u);
    EXPECT_EQ(draw.count, 32768u * 3u);
    EXPECT_EQ(draw.vertexCount, 129u * 129u);
    EXPECT_EQ(draw.vertices, terrain.vertexBuffer.get());
    EXPECT_EQ(draw.indices, terrain.indexBuffer.get());
    EXPECT_EQ(draw.textures.surfaceImage, terrain.texture.get());
    EXPECT_EQ(std::memcmp(draw.uniforms, &uniforms, sizeof uniforms), 0);
}

TEST_F(TerrainOnDevice, MissingTextureWarnsOnceAndDrawsUntextured) {
    ::testing::internal::CaptureStderr();
    Terrain terrain(&device, 128, 128);
    const std::string warned = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(terrain.texture.get(), nullptr);
    EXPECT_EQ(std::count(warned.begin(), warned.end(), '\n'), 1) << warned;
    EXPECT_NE(warned.find("Grass.bmp"), std::string::npos) << warned;
    device.clearLog();
    terrain.draw(context());
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_EQ(device.draws[0].textures.surfaceImage, nullptr);

    // A file that is not an image counts as missing too.
    std::FILE* f = std::fopen("Grass.bmp", "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not a bitmap", f);
    std::fclose(f);
    Terrain again(&device, 4, 4);
    EXPECT_EQ(again.texture.get(), nullptr);
}

TEST_F(TerrainOnDevice, WithoutBuffersNothingIsDrawnAndHeightsStillAnswer) {
    device.failNextBufferCreations(1);
    Terrain terrain(&device, 128, 128);
    EXPECT_EQ(terrain.vertexBuffer.get(), nullptr);
    EXPECT_EQ(terrain.indexBuffer.get(), nullptr);
    EXPECT_EQ(device.liveBuffers(), 0u);
    const SurfaceDraw frame = context();
    device.clearLog();
    terrain.draw(frame);
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(terrain.heightAt({-8192, 0, -8192}), -455.0f);
}

}  // namespace
}  // namespace q
