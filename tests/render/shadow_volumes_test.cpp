// Shadow volumes drawn into the stencil on the GL device headless, on
// mapgen's two rooms with entities: the depth of the map's surfaces, then a
// light's volumes, then a marker wherever the stencil stayed 0 (lit).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "generated_maps.h"
#include "gl_required.h"
#include "gpu/device.h"
#include "gpu/gl/gl_device.h"
#include "gpu/recording/recording_device.h"
#include "map/light_entities.h"
#include "map/material_definitions.h"
#include "map/shadow_volume_builder.h"
#include "render/shadow_volumes.h"
#include "render/text_font.h"

namespace q {
namespace {

constexpr uint32_t kWidth = 128;
constexpr uint32_t kHeight = 96;

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};

// Left-handed, y up, as the camera's view.
Matrix lookAt(Vector3 eye, Vector3 at) {
    const Vector3 z = normalized(at - eye);
    const Vector3 x = normalized(cross({0, 1, 0}, z));
    const Vector3 y = cross(z, x);
    Matrix m = Matrix::identity();
    for (int i = 0; i < 3; ++i) m.m[i][0] = x[i], m.m[i][1] = y[i], m.m[i][2] = z[i];
    m.m[3][0] = -dot(x, eye), m.m[3][1] = -dot(y, eye), m.m[3][2] = -dot(z, eye);
    return m;
}

class ShadowVolumesTest : public testing::Test {
protected:
    void SetUp() override {
        std::string base;
        ASSERT_NO_FATAL_FAILURE(test::generateTwoRoomsWithEntities(files, &base));
        ASSERT_NO_FATAL_FAILURE(test::readWithEntities(base, &source, &map));
        placeLights(source, nullptr, &map);
        std::string error;
        device = gpu::createHeadlessDevice(kWidth, kHeight, &error);
        if (!device) QUORVANE_NO_GL_CONTEXT(error);
        ASSERT_TRUE(volumes.build(*device, map, definitions, &error)) << error;

        // Every surface of the map, placed, for the depth the volumes are tested against.
        std::vector<Vector3> corners;
        auto addSurfaces = [&](const Area& area, const Matrix& placement) {
            for (const SurfaceGroup& group : area.surfaceGroups)
                for (const Surface& surface : group.surfaces)
                    for (int i = 0; i < surface.indexCount; ++i)
                        corners.push_back(transformCoord(map.verticesOf(surface)[map.indicesOf(surface)[i]].position,
                                                         placement));
        };
        for (const Area& area : map.areas) addSurfaces(area, Matrix::identity());
        for (const EntityModel& model : map.entityModels) addSurfaces(model.geometry, model.placement);
        sceneCount = static_cast<uint32_t>(corners.size());
        scene = device->createVertexBuffer(sceneCount * sizeof(Vector3), gpu::BufferUse::Static, corners.data());
        depthProgram = device->createProgram(shadowVolumeProgramDesc());
        ASSERT_NE(depthProgram, nullptr);
        depthOnly = device->createPipeline({.program = depthProgram.get(), .format = gpu::VertexFormat::Position,
                                            .colourWrite = false});
        textProgram = device->createProgram(textProgramDesc());
        ASSERT_NE(textProgram, nullptr);
        marker = device->createPipeline({.program = textProgram.get(), .format = gpu::VertexFormat::ScreenText,
                                         .depthTest = gpu::DepthTest::Always, .depthWrite = false,
                                         .stencilTest = gpu::StencilTest::Equal});
        const ScreenVertex white[6] = {{0, kHeight, 0, 1, ~0u, 0, 0}, {kWidth, 0, 0, 1, ~0u, 0, 0},
                                       {0, 0, 0, 1, ~0u, 0, 0},       {kWidth, 0, 0, 1, ~0u, 0, 0},
                                       {0, kHeight, 0, 1, ~0u, 0, 0}, {kWidth, kHeight, 0, 1, ~0u, 0, 0}};
        quad = device->createVertexBuffer(sizeof white, gpu::BufferUse::Static, white);
        ASSERT_TRUE(scene && depthOnly && marker && quad);
    }

    size_t lightIndex(const std::string& name) const {
        for (size_t i = 0; i < map.lights.size(); ++i)
            if (map.lights[i].name == name) return i;
        ADD_FAILURE() << name;
        return 0;
    }

    // The file's points (z up) in map space.
    static Vector3 at(float x, float y, float z) { return fromFileAxes(x, y, z); }

    // Draws the map's depth and the light's volumes seen from eye, then
    // white where the stencil stayed 0.
    void frame(size_t light, Vector3 eye, Vector3 target) {
        ASSERT_GE(map.areaHolding(eye), 0) << "the eye stands in a room";
        view = lookAt(eye, target);
        device->beginFrame(0xff000000);
        gpu::DrawCall depth;
        depth.pipeline = depthOnly.get();
        depth.vertices = scene.get();
        const ShadowVolumeUniforms uniforms{view * projection};
        depth.uniforms = gpu::UniformBlock(uniforms);
        depth.count = sceneCount;
        device->draw(depth);
        volumes.draw(*device, light, Matrix::identity(), view, projection, {});
        gpu::DrawCall mark;
        mark.pipeline = marker.get();
        mark.vertices = quad.get();
        mark.uniforms = gpu::UniformBlock(textUniforms);
        mark.count = 6;
        device->draw(mark);
        pixels.assign(kWidth * kHeight * 4, 0);
        ASSERT_TRUE(device->readBackBuffer(pixels.data()));
    }

    // Whether the map point's pixel was left lit (it must be on screen).
    bool lit(Vector3 p) const {
        const Vector3 ndc = transformCoord(p, view * projection);
        const int x = static_cast<int>((ndc.x + 1.0f) * 0.5f * kWidth), y = static_cast<int>((1.0f - ndc.y) * 0.5f * kHeight);
        EXPECT_TRUE(x >= 0 && x < int(kWidth) && y >= 0 && y < int(kHeight) && ndc.z > 0.0f) << x << " " << y;
        if (x < 0 || x >= int(kWidth) || y < 0 || y >= int(kHeight)) return false;
        return pixels[(static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 4] == 255;
    }

    test::MapFiles files;
    MapSource source;
    MapData map;
    MaterialDefinitions definitions;
    std::unique_ptr<gpu::Device> device;
    ShadowVolumes volumes;
    gpu::DeviceHandle<gpu::VertexBuffer> scene, quad;
    uint32_t sceneCount = 0;
    gpu::DeviceHandle<gpu::Program> depthProgram, textProgram;
    gpu::DeviceHandle<gpu::Pipeline> depthOnly, marker;
    const TextUniforms textUniforms{{float(kWidth), float(kHeight), 0, 0}};
    // A far plane nearer than the volumes' far caps: they count by the clamp.
    const Matrix projection = Matrix::perspective(1.5707964f, 4.0f / 3.0f, 1.0f, 180.0f);
    Matrix view;
    std::vector<uint8_t> pixels;
};

// The point light north-east of the wall turned by 90 degrees (x -98..-82,
// y -48..48, 48 high), above its top: the floor west of the wall is in its
// shadow, the floor north of the shadow's edge and under the light is not.
TEST_F(ShadowVolumesTest, FloorBehindTheOccluderIsMarkedFromOutsideAndFromInsideTheShadow) {
    const size_t point = lightIndex("light_point");
    ASSERT_TRUE(volumes.hasVolumes(point));
    const Vector3 behindWall = at(-120, 0, 0), besideShadow = at(-120, 100, 0), underLight = at(-40, 70, 0);
    const Vector3 wallTop = at(-90, 0, 48);
    ASSERT_NO_FATAL_FAILURE(frame(point, at(-100, -120, 110), at(-90, 30, 0)));
    EXPECT_FALSE(lit(behindWall));
    EXPECT_TRUE(lit(besideShadow));
    EXPECT_TRUE(lit(underLight));
    // The wall's own top faces the light: its volume's near cap lies on it
    // and must not shadow it.
    EXPECT_TRUE(lit(wallTop));

    // The eye in the shadow, between the wall and the floor it darkens.
    const Vector3 lightPoint = shadowCastingPoint(map.lights[point]);
    const Vector3 inShadow = lightPoint + (at(-90, 0, 24) - lightPoint) * 1.4f;
    ASSERT_NO_FATAL_FAILURE(frame(point, inShadow, at(-118, 50, 0)));
    EXPECT_FALSE(lit(behindWall));
    EXPECT_TRUE(lit(besideShadow));

    // A light with noshadows, and the ambient one, have no volumes and mark nothing.
    for (const char* name : {"light_noshadows", "light_ambient"}) {
        EXPECT_FALSE(volumes.hasVolumes(lightIndex(name))) << name;
        ASSERT_NO_FATAL_FAILURE(frame(lightIndex(name), at(60, -60, 100), at(-100, 20, 0)));
        EXPECT_TRUE(lit(behindWall)) << name;
    }
}

// A volume of more points than 16-bit indices reach is split by its
// triangles, each part's indices naming its own copies of the points; far
// points are put past the light's box and near ones a unit inside.
TEST(ShadowVolumeParts, AVolumePastSixteenBitIndicesIsSplitByItsTriangles) {
    MapData map;
    MapLight& light = map.lights.emplace_back();
    light.bounds = Bounds::aroundPoint({}, light.radius);
    light.shadowVolume = 0;
    ShadowVolume& volume = map.shadowVolumes.emplace_back();
    constexpr int kPairs = 40000;
    for (int i = 0; i < kPairs; ++i) {
        const Vector3 p{float(i % 200), float(i / 200), 0.0f};
        volume.points.insert(volume.points.end(), {p, p + Vector3{0, -10, 0}});
    }
    for (int i = 0; i + 1 < kPairs; ++i) volume.indices.insert(volume.indices.end(), {2 * i, 2 * i + 1, 2 * i + 3});
    gpu::RecordingDevice device;
    ShadowVolumes volumes;
    std::string error;
    ASSERT_TRUE(volumes.build(device, map, MaterialDefinitions{}, &error)) << error;
    device.beginFrame(0);
    volumes.draw(device, 0, Matrix::identity(), Matrix::identity(), Matrix::identity(), {});
    ASSERT_EQ(device.draws.size(), 2u);
    const float extrusion = shadowExtrusion(light);
    size_t triangles = 0;
    for (const gpu::DrawRecord& draw : device.draws) {
        EXPECT_EQ(draw.problem, nullptr);
        EXPECT_LE(draw.vertexCount, 65536u);
        std::vector<Vector3> points(draw.vertexCount);
        std::memcpy(points.data(), gpu::RecordingDevice::contents(draw.vertices).data(), points.size() * sizeof(Vector3));
        std::vector<uint16_t> indices(draw.count);
        std::memcpy(indices.data(), gpu::RecordingDevice::contents(draw.indices).data(), indices.size() * 2);
        for (size_t t = 0; t < indices.size(); t += 3, ++triangles) {
            const Vector3 nearPoint = points[indices[t]], farPoint = points[indices[t + 1]];
            EXPECT_EQ(farPoint.x, nearPoint.x) << triangles;
            EXPECT_NEAR(nearPoint.y + 1.0f - farPoint.y, extrusion, 1e-2f) << triangles;
        }
    }
    EXPECT_EQ(triangles, size_t{kPairs - 1});
}

}  // namespace
}  // namespace q
