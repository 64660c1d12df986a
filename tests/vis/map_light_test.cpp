// The map's own lights on the GPU: mapgen's two rooms drawn headless with
// OpenGL, their images left out (every surface white), lit by lights the test
// places, and the pixel the eye looks at held to mapLight, the light pass's
// arithmetic in C++.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "generated_maps.h"
#include "gl_required.h"
#include "map_test_files.h"
#include "mapgen/mapgen.h"
#include "move/camera_update.h"
#include "gpu/gl/gl_device.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "render/map_light_program.h"
#include "vis/render_pass.h"
#include "world/player_start.h"
#include "world/scene.h"
#include "world/standard_placements.h"

namespace q {
namespace {

constexpr uint32_t kWidth = 256;
constexpr uint32_t kHeight = 192;

struct Lit {
    MapLight light;
    bool ambient = false;
};

class MapLightPixels : public ::testing::Test {
protected:
    GraphicsDevice graphics;
    std::unique_ptr<Scene> scene;
    test::MapFiles files;
    MapData* map = nullptr;
    Vector3 wallPoint;  // map space: where the eye's line of sight meets the wall
    const Vector3 wallNormal{1, 0, 0};

    void SetUp() override {
        std::string error;
        std::unique_ptr<gpu::Device> device = gpu::createHeadlessDevice(kWidth, kHeight, &error);
        if (!device) QUORVANE_NO_GL_CONTEXT(error);
        ASSERT_TRUE(graphics.create(std::move(device)));
        mapgen::MapgenOptions options;
        options.preset = "tworooms";
        mapgen::GeneratedMap generated;
        ASSERT_TRUE(mapgen::generateMap(options, files.dir().string(), &error)) << error;
        ASSERT_TRUE(mapgen::buildMap(options, &generated, &error)) << error;
        std::filesystem::remove_all(files.dir() / "textures");  // white surfaces: the light alone shows

        scene = std::make_unique<Scene>();
        scene->device = graphics.device();
        scene->graphics = &graphics;
        scene->init();
        map = scene->loadMap(files.path("tworooms").c_str(), &error);
        ASSERT_NE(map, nullptr) << error;
        placeStandardInstances(*scene, map, 1);
        scene->mapLights = true;
        // In the first room, at standing height, looking at its wall at low x
        // (the doorway is in the other one); the files are z up, the map y up.
        const mapgen::Box& room = generated.layout.rooms[0].interior;
        const MapInstance& copy = *scene->instances[0];
        const Vector3 eye{float(room.centre(0)), float(room.lo[2] + 48), float(room.centre(1))};
        Camera& camera = *scene->camera;
        camera.position = transformCoord(eye, copy.world);
        camera.yaw = -1.5707963f;
        camera.pitch = 0.0f;
        updateScene(*scene, 0);
        const Vector3 seen = transformCoord(camera.position, copy.inverseWorld);
        wallPoint = {float(room.lo[0]), seen.y, seen.z};
    }
    void TearDown() override { scene.reset(); }

    // A texture of one texel, the same on every surface as its normal or specular map.
    gpu::DeviceHandle<gpu::Texture> texel(uint8_t r, uint8_t g, uint8_t b) {
        const uint8_t rgba[4] = {r, g, b, 255};
        return graphics.device()->createTexture(TexelFormat::Rgba8, 1, 1, 1, rgba);
    }

    // A light of the colour whose box (a cube of half-size radius) is centred
    // `fromWall` before the wall's point, reaching every area.
    MapLight lightBefore(float fromWall, float radius, Vector3 colour) const {
        MapLight light;
        light.origin = wallPoint + wallNormal * fromWall;
        light.radius = {radius, radius, radius};
        light.color = colour;
        light.bounds = Bounds::aroundPoint(light.origin, light.radius);
        for (int area = 0; area < static_cast<int>(map->areas.size()); ++area) light.areas.push_back(area);
        return light;
    }

    // Draws the frame lit by the lights; the centre pixel, and the same worked
    // out by mapLight (0 to 255 per channel).
    void drawn(const std::vector<Lit>& lights, float pixel[3], float expected[3], Vector3 specular = {}) {
        map->lights.clear();
        MapMesh& mesh = *scene->meshes[0];
        mesh.ambientLights.clear();
        for (const Lit& lit : lights) {
            map->lights.push_back(lit.light);
            mesh.ambientLights.push_back(lit.ambient);
        }
        graphics.beginFrame();
        render(*scene);
        const Camera& camera = *scene->camera;
        graphics.endFrame(camera.view, camera.projection, true);
        std::vector<uint8_t> rgba(size_t{kWidth} * kHeight * 4);
        ASSERT_TRUE(graphics.device()->readBackBuffer(rgba.data()));
        const MapInstance& copy = *scene->instances[0];
        Vector3 sum;
        for (const Lit& lit : lights) {
            MapLightUniforms uniforms;
            uniforms.setPlacement(copy.world, camera.view, camera.projection);
            uniforms.setEye(camera.position);
            uniforms.setLight(lit.light, lit.ambient, copy.world, copy.inverseWorld);
            sum = sum + mapLight(uniforms, wallPoint, wallNormal, {1, 1, 1}, specular);
        }
        const size_t at = (size_t{kHeight / 2} * kWidth + kWidth / 2) * 4;
        for (int c = 0; c < 3; ++c) {
            pixel[c] = rgba[at + c];
            expected[c] = 255.0f * std::fmin(sum[c], 1.0f);
        }
    }
};

void expectNear(const float pixel[3], const float expected[3], const char* what) {
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(pixel[c], expected[c], 3.0f) << what << ", channel " << c;
}

TEST_F(MapLightPixels, LightsShowTheirColourFallOffAndTheAmbientOneHasNoDirection) {
    float pixel[3], expected[3];
    // Facing the wall near it: its colour, a little less than full.
    drawn({{lightBefore(48, 256, {1, 0.5f, 0.25f})}}, pixel, expected);
    expectNear(pixel, expected, "a near light");
    EXPECT_GT(pixel[0], 200);
    EXPECT_NEAR(pixel[1], pixel[0] / 2, 3);
    EXPECT_NEAR(pixel[2], pixel[0] / 4, 3);
    const float near = pixel[0];
    // Farther off, the same light gives less.
    drawn({{lightBefore(160, 256, {1, 0.5f, 0.25f})}}, pixel, expected);
    expectNear(pixel, expected, "a far light");
    EXPECT_LT(pixel[0], near - 40);
    EXPECT_GT(pixel[0], 20);

    // Behind the wall: the wall faces away from a point light, not from an
    // ambient one, which lights it as if it faced it.
    drawn({{lightBefore(-48, 256, {0, 0, 1})}}, pixel, expected);
    expectNear(pixel, expected, "a point light behind the wall");
    EXPECT_EQ(pixel[2], 0);
    drawn({{lightBefore(-48, 256, {0, 0, 1}), true}}, pixel, expected);
    expectNear(pixel, expected, "an ambient light behind the wall");
    EXPECT_GT(pixel[2], 200);

    // A box that stops short of the wall leaves it dark, but for the ambient
    // light; the two add up where both reach.
    drawn({{lightBefore(100, 64, {1, 1, 1})}}, pixel, expected);
    EXPECT_EQ(pixel[0] + pixel[1] + pixel[2], 0);
    const Lit ambient{lightBefore(0, 512, {0.2f, 0.2f, 0.25f}), true};
    drawn({{lightBefore(100, 64, {1, 1, 1})}, ambient}, pixel, expected);
    expectNear(pixel, expected, "out of the box, with the ambient light");
    EXPECT_GT(pixel[2], 40);
    drawn({{lightBefore(48, 256, {1, 0.5f, 0.25f})}, ambient}, pixel, expected);
    expectNear(pixel, expected, "a near light with the ambient one");
    EXPECT_EQ(scene->frameCost.lightsDrawn, 2);
}

// A normal map turns the normal: one along the surface's tangent leaves a
// wall lit straight on unlit. A specular map adds its highlight, here where
// the eye looks straight at the light's reflection.
TEST_F(MapLightPixels, NormalAndSpecularMapsTurnTheNormalAndAddAHighlight) {
    MapMesh& mesh = *scene->meshes[0];
    const gpu::DeviceHandle<gpu::Texture> alongTangent = texel(255, 128, 128), flat = texel(128, 128, 255),
                                          white = texel(255, 255, 255);
    const Lit lamp{lightBefore(48, 256, {0.5f, 0.5f, 0.5f})};
    float pixel[3], expected[3];
    mesh.normalMaps.assign(map->materials.size(), alongTangent.get());
    drawn({lamp}, pixel, expected);
    EXPECT_GT(expected[0], 100);  // the vertex normal's
    EXPECT_LT(pixel[0], 8);
    mesh.normalMaps.assign(map->materials.size(), flat.get());
    mesh.specularMaps.assign(map->materials.size(), white.get());
    drawn({lamp}, pixel, expected, {1, 1, 1});
    expectNear(pixel, expected, "a flat normal map and a white specular map");
    EXPECT_GT(pixel[0], 200);
}

// The frame as a person sees it: mapgen's two rooms with their entities and
// the lights of their map source, looked at all round from the player start.
// The point light's shadows (the file's volume and the models') leave some
// of what it lights darker than the same light without shadows, and nothing
// brighter; taken `noshadows`, it lights everything it reaches again.
TEST(MapShadowPixels, ShadowsDarkenWhatTheOccludersHideAndNoshadowsLightsItAgain) {
    GraphicsDevice graphics;
    std::string error;
    std::unique_ptr<gpu::Device> device = gpu::createHeadlessDevice(kWidth, kHeight, &error);
    if (!device) QUORVANE_NO_GL_CONTEXT(error);
    ASSERT_TRUE(graphics.create(std::move(device)));
    test::MapFiles files;
    std::string base;
    ASSERT_NO_FATAL_FAILURE(test::generateTwoRoomsWithEntities(files, &base));
    Scene scene;
    scene.device = graphics.device();
    scene.graphics = &graphics;
    scene.init();
    scene.assetDirs = {files.dir().string()};
    MapData* map = scene.loadMap(base.c_str(), &error);
    ASSERT_NE(map, nullptr) << error;
    ASSERT_TRUE(map->hasPlayerStart);
    placeStandardInstances(scene, map, 1);
    scene.mapLights = true;
    MapLight* point = nullptr;
    for (MapLight& light : map->lights)
        if (light.name == "light_point") point = &light;
    ASSERT_NE(point, nullptr);
    ASSERT_GE(point->shadowVolume, 0);
    const ShadowVolumes* shadows = scene.shadowVolumesOf(map);
    ASSERT_NE(shadows, nullptr);
    ASSERT_TRUE(shadows->hasVolumes(static_cast<size_t>(point - map->lights.data())));

    Camera& camera = *scene.camera;
    auto frame = [&](float yaw) {
        camera.position = playerStartEye(*map, *scene.instances[0], 32.0f);
        camera.yaw = yaw;
        camera.pitch = -0.35f;
        updateScene(scene, 0);
        graphics.beginFrame();
        render(scene);
        graphics.endFrame(camera.view, camera.projection, true);
        std::vector<uint8_t> rgba(size_t{kWidth} * kHeight * 4);
        EXPECT_TRUE(graphics.device()->readBackBuffer(rgba.data()));
        return rgba;
    };
    size_t darker = 0, brighter = 0;
    for (int step = 0; step < 8; ++step) {
        const float yaw = static_cast<float>(step) * 0.785398f;
        point->noShadows = false;
        const std::vector<uint8_t> shadowed = frame(yaw);
        point->noShadows = true;
        const std::vector<uint8_t> unshadowed = frame(yaw);
        for (size_t i = 0; i < shadowed.size(); i += 4) {
            const int a = shadowed[i] + shadowed[i + 1] + shadowed[i + 2];
            const int b = unshadowed[i] + unshadowed[i + 1] + unshadowed[i + 2];
            darker += a + 24 < b;
            brighter += a > b + 6;
        }
    }
    EXPECT_GT(darker, size_t{500}) << "the point light casts no shadow that shows";
    EXPECT_EQ(brighter, 0u);
}

}  // namespace
}  // namespace q
