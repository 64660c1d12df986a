#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "map/map_data.h"
#include "map/material_definitions.h"
#include "map/mesh_materials.h"
#include "math/matrix.h"
#include "world/camera.h"
#include "gpu/recording/recording_device.h"
#include "platform/report.h"
#include "render/globals.h"
#include "render/map_mesh.h"
#include "render/lighting_program.h"
#include "render/map_light_program.h"
#include "vis/light_pass.h"
#include "vis/render_pass.h"
#include "world/map_instance.h"
#include "world/scene.h"
#include "world/terrain.h"
#include "recording_graphics.h"
#include "vis_test_maps.h"

namespace q {
namespace {

using testmaps::aimCamera;
using testmaps::kPi;

constexpr int kAreaTag = 100;  // an area's surface is drawn as 100 + area triangles

// A surface of `triangles` triangles (the same one over and over) of the
// material, added to the group.
void addSurface(MapData& map, SurfaceGroup& group, int triangles, int material) {
    Surface surface;
    surface.firstVertex = static_cast<uint32_t>(map.vertices.size());
    surface.firstIndex = static_cast<uint32_t>(map.indices.size());
    surface.vertexCount = 3;
    surface.indexCount = 3 * triangles;
    surface.material = material;
    map.vertices.resize(map.vertices.size() + 3);
    for (int i = 0; i < surface.indexCount; ++i) map.indices.push_back(static_cast<uint16_t>(i % 3));
    group.surfaces.push_back(surface);
}

// The tag of a draw: its triangles.
uint32_t tagOf(const gpu::DrawRecord& draw) { return draw.count / 3; }

// The corridor with one surface per area, so that every drawn area leaves one
// indexed draw in the device's log, telling which area it was.
MapData corridorWithSurfaces() {
    MapData map = testmaps::corridor();
    map.materials.resize(1);
    for (size_t i = 0; i < map.areas.size(); ++i) {
        map.areas[i].surfaceGroups.resize(1);
        addSurface(map, map.areas[i].surfaceGroups[0], kAreaTag + static_cast<int>(i), 0);
    }
    return map;
}

struct RenderPass : ::testing::Test {
    GraphicsDevice graphics;
    gpu::RecordingDevice& device = test::recordOn(graphics);
    Scene scene;
    Camera* camera = new Camera();
    MapData map = corridorWithSurfaces();
    MapMesh mesh;

    RenderPass() {
        g_portalMode = true;
        scene.device = &device;
        scene.graphics = &graphics;
        scene.camera.reset(camera);
        camera->scene = &scene;
    }
    ~RenderPass() override {
        g_portalMode = true;
        // The terrain's warning about its missing texture must not hold back the
        // same line in later tests.
        resetReportsForTest();
    }
    // The mesh is built from the map as it is when the first copy is placed.
    void buildMesh(SurfacePipelines* pipelines) {
        std::string error;
        ASSERT_TRUE(mesh.build(device, map, pipelines, &error)) << error;
    }
    MapInstance* place(Vector3 position, float yaw = 0.0f) {
        if (scene.instances.empty()) buildMesh(&graphics.surfaces());
        MapInstance* instance = scene.addInstance(&map);
        instance->mesh = &mesh;
        instance->position = position;
        instance->yaw = yaw;
        instance->placeInWorld();
        return instance;
    }
    // The areas drawn, in draw order, as (instance-independent) area numbers.
    std::vector<int> drawnAreas() const {
        std::vector<int> areas;
        for (const gpu::DrawRecord& draw : device.draws)
            if (tagOf(draw) >= kAreaTag) areas.push_back(static_cast<int>(tagOf(draw)) - kAreaTag);
        return areas;
    }
};

// The lighting program's arithmetic on one vertex, with the uniform block a
// draw was made with.
LitVertex shade(const gpu::DrawRecord& draw, Vector3 position, Vector3 normal) {
    EXPECT_EQ(draw.uniformBytes, sizeof(LightingUniforms));
    LightingUniforms uniforms;
    std::memcpy(&uniforms, draw.uniforms, sizeof uniforms);
    return cameraLight(uniforms, position, normal);
}

TEST_F(RenderPass, EachDrawPutsItsVerticesOnScreenAndLightsThemFromTheEye) {
    scene.terrain = std::make_unique<Terrain>(&device, 2, 2);
    MapInstance* straight = place({0, -64, 0});
    MapInstance* turned = place({4000, -64, 4000}, 10.0f);
    aimCamera(*camera, {100, 30, -700}, 0.4f, 0.2f);
    g_portalMode = false;
    const int areasDrawn = render(scene);
    ASSERT_EQ(device.draws.size(), 1u + 8u);

    // The terrain is drawn first, its vertices already in world space: a point
    // on the line of sight lands in the middle of the screen, in front of the eye.
    const gpu::DrawRecord& ground = device.draws[0];
    const Vector3 ahead = camera->position + 300.0f * camera->viewDir;
    const LitVertex centre = shade(ground, ahead, -camera->viewDir);
    EXPECT_NEAR(centre.clip[0] / centre.clip[3], 0.0f, 1e-4f);
    EXPECT_NEAR(centre.clip[1] / centre.clip[3], 0.0f, 1e-4f);
    EXPECT_GT(centre.clip[2] / centre.clip[3], 0.0f);
    EXPECT_LT(centre.clip[2] / centre.clip[3], 1.0f);
    // The light sits at the eye: a surface turned to it is lit more than one
    // turned away, a near one more than a far one.
    EXPECT_GT(centre.grey, shade(ground, ahead, camera->viewDir).grey);
    const Vector3 far = camera->position + 3000.0f * camera->viewDir;
    EXPECT_GT(centre.grey, shade(ground, far, -camera->viewDir).grey);

    // Then every area of each instance in order, each with its placement: a
    // point and normal of the map are drawn and lit exactly as the same point
    // and normal placed in the world are by the terrain's draw.
    EXPECT_EQ(drawnAreas(), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
    const MapInstance* byDraw[2] = {straight, turned};
    const Vector3 mapPoint{50, 20, 30};
    const Vector3 mapNormal = normalized(Vector3{1, 2, 0});
    for (size_t i = 1; i < device.draws.size(); ++i) {
        const gpu::DrawRecord& draw = device.draws[i];
        const Matrix& world = byDraw[(i - 1) / 4]->world;
        const LitVertex drawn = shade(draw, mapPoint, mapNormal);
        const LitVertex placed =
            shade(ground, transformCoord(mapPoint, world), transformNormal(mapNormal, world));
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(drawn.clip[k], placed.clip[k], 1e-3f * (1.0f + std::fabs(placed.clip[k]))) << i << " " << k;
        EXPECT_NEAR(drawn.grey, placed.grey, 1e-4f) << i;
        EXPECT_EQ(draw.pipeline.program, graphics.lightingProgram());
    }
    EXPECT_EQ(areasDrawn, 8);
}

TEST_F(RenderPass, WithoutPortalsEveryAreaOfEveryInstanceIsCounted) {
    for (int i = 0; i < 5; ++i) place({4000.0f * i, 0, 0});
    aimCamera(*camera, {0, 0, 50}, kPi / 2);
    camera->instanceIndex = 0;
    camera->areaIndex = 1;
    g_portalMode = false;
    EXPECT_EQ(render(scene), 5 * 4);
    EXPECT_EQ(scene.frameCost.copiesDrawn, 5);

    // In portal mode, looking at a wall of room 1 with no portal in view.
    g_portalMode = true;
    device.draws.clear();
    EXPECT_EQ(render(scene), 1);
    EXPECT_EQ(drawnAreas(), (std::vector<int>{1}));
    EXPECT_EQ(scene.frameCost.visibleAreas, 1);
    EXPECT_EQ(scene.frameCost.copiesDrawn, 1);
}

// Glass in room 0 and a grate in room 2 of two copies: the grate is drawn with
// the opaque surfaces, alpha-tested; the glass after every opaque surface of
// both copies, blended without writing depth; every other surface with the
// opaque look.
TEST_F(RenderPass, BlendedSurfacesComeAfterEveryOpaqueOneEachWithItsLook) {
    const uint8_t texel[4] = {};
    const gpu::DeviceHandle<gpu::Texture> image = device.createTexture(TexelFormat::Rgba8, 1, 1, 1, texel);
    map.materials.push_back({"glass", "", {"", MaterialBlend::Blend, 0.0f}});
    map.materials.push_back({"grate", "", {"", MaterialBlend::Opaque, 0.5f}});
    addSurface(map, map.areas[0].surfaceGroups[0], 50, 1);
    addSurface(map, map.areas[2].surfaceGroups[0], 60, 2);
    map.hasBlendedSurfaces = true;
    for (int i = 0; i < 2; ++i) place({4000.0f * i, 0, 0});
    mesh.textures[2] = image.get();
    aimCamera(*camera, {0, 0, 50}, kPi / 2);
    g_portalMode = false;
    EXPECT_EQ(render(scene), 2 * 4);
    std::vector<uint32_t> order;
    for (const gpu::DrawRecord& draw : device.draws) {
        if (tagOf(draw) < 50 || tagOf(draw) >= kAreaTag + 4) continue;  // the terrain
        order.push_back(tagOf(draw));
        const bool blended = tagOf(draw) == 50u;
        EXPECT_EQ(draw.pipeline.blend, blended ? gpu::Blend::Alpha : gpu::Blend::None) << tagOf(draw);
        EXPECT_EQ(draw.pipeline.depthWrite, !blended) << tagOf(draw);
        EXPECT_EQ(draw.pipeline.alphaReference, tagOf(draw) == 60u ? 128u : 0u) << tagOf(draw);
        EXPECT_EQ(draw.pipeline.program, graphics.lightingProgram());
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{100, 101, 102, 60, 103, 100, 101, 102, 60, 103, 50, 50}));

    // Without its image the grate has no texels to test: drawn untested.
    mesh.textures[2] = nullptr;
    device.draws.clear();
    render(scene);
    int grates = 0;
    for (const gpu::DrawRecord& draw : device.draws) {
        if (tagOf(draw) != 60u) continue;
        EXPECT_EQ(draw.pipeline.alphaReference, 0u);
        ++grates;
    }
    EXPECT_EQ(grates, 2);

    // A look whose pipeline was never made is left out, not drawn as another.
    map.materials.push_back({"light", "", {"", MaterialBlend::Add, 0.0f}});
    map.areas[1].surfaceGroups[0].surfaces[0].material = 3;
    buildMesh(nullptr);
    device.draws.clear();
    render(scene);
    for (const gpu::DrawRecord& draw : device.draws) EXPECT_NE(tagOf(draw), kAreaTag + 1u);
}

// Mesh models: one file of two groups (7 and 9 triangles) placed three
// times. A placement is drawn when an area it reaches is marked, or with its
// copy when it reaches none, placed by its matrix and then the copy's; each
// group shows its placement's material, in that material's pass, and a
// material that is not drawn leaves its group out.
TEST_F(RenderPass, MeshModelsAreDrawnPerAreaMembershipInTheirPlacementsMaterials) {
    map.materials[0].name = "stone";
    MeshModels& meshes = map.meshModels;
    MeshFile& file = meshes.files.emplace_back();
    file.model.vertices.resize(3);
    file.model.groups.resize(2);
    for (int t = 0; t < 16; ++t) file.model.groups[t < 7 ? 0 : 1].indices.insert(file.model.groups[t < 7 ? 0 : 1].indices.end(), {0, 1, 2});
    meshes.materials = {{"stone", true}, {"glass", true}, {"clip", false}};
    const std::vector<int> areas[3] = {{2}, {}, {3}};  // the third reaches none
    const std::vector<int> groupMaterials[3] = {{0, 1}, {2, 0}, {0, 0}};
    for (int p = 0; p < 3; ++p) {
        PlacedMesh& placed = meshes.placed.emplace_back();
        placed.placement = Matrix::translation(10.0f * (p + 1), 0, 0);
        placed.areas = areas[p];
        placed.groupMaterials = groupMaterials[p];
    }
    MaterialDefinitions definitions;
    std::string error;
    ASSERT_TRUE(definitions.readText("glass { translucent\n diffusemap textures/glass }\n", "m.mtr", &error)) << error;
    std::vector<size_t> named;
    addMeshMaterials(&map, &definitions, [&](size_t index, const Material&) { named.push_back(index); });
    // The stone the corridor shows keeps its one entry; the glass is added,
    // with its definition's look; the clip has none.
    EXPECT_EQ(named, std::vector<size_t>{1});
    for (int m = 0; m < 3; ++m) EXPECT_EQ(meshes.materials[m].mapMaterial, m < 2 ? m : -1);
    EXPECT_EQ(map.materials[1].definition, "m.mtr:1");
    EXPECT_TRUE(map.hasBlendedSurfaces);

    MapInstance* instance = place({500, 0, 0});
    std::fill(instance->visibleAreas.begin(), instance->visibleAreas.end(), 0u);
    instance->visibleAreas[0] = 1u << 2;
    aimCamera(*camera, {0, 0, 50}, kPi / 2);
    // Each draw as (placement, triangles, blended).
    auto drawn = [&](SurfacePass pass) {
        device.draws.clear();
        drawMeshModels(*instance, *camera, {device, graphics.surfaces(), {}, pass});
        std::vector<std::array<int, 3>> out;
        for (const gpu::DrawRecord& draw : device.draws) {
            LightingUniforms uniforms;
            std::memcpy(&uniforms, draw.uniforms, sizeof uniforms);
            const int p = static_cast<int>(std::lround(uniforms.world.m[3][0] - 500.0f)) / 10;
            const Matrix expected = meshDrawPlacement(Matrix::translation(10.0f * p, 0, 0)) * instance->world;
            EXPECT_EQ(std::memcmp(&uniforms.world, &expected, sizeof expected), 0);
            out.push_back({p, static_cast<int>(draw.count / 3), draw.pipeline.blend != gpu::Blend::None});
        }
        return out;
    };
    EXPECT_EQ(drawn(SurfacePass::Opaque), (std::vector<std::array<int, 3>>{{1, 7, 0}, {2, 9, 0}}));
    EXPECT_EQ(drawn(SurfacePass::Blended), (std::vector<std::array<int, 3>>{{1, 9, 1}}));
    instance->visibleAreas[0] = 1u << 3;
    EXPECT_EQ(drawn(SurfacePass::Opaque), (std::vector<std::array<int, 3>>{{2, 9, 0}, {3, 7, 0}, {3, 9, 0}}));
}

// A light lying in one area, lit by the camera in room 1 looking at its wall.
MapLight lightAt(Vector3 origin, float radius, int area) {
    MapLight light;
    light.origin = origin;
    light.radius = {radius, radius, radius};
    light.bounds = Bounds::aroundPoint(origin, light.radius);
    light.areas = {area};
    return light;
}

// In the map-light mode a copy's drawn areas are laid down black, then each
// light that reaches a drawn area adds over the drawn areas it reaches, within
// the rectangle its box covers, the stencil cleared there first when it casts
// shadows; a light of areas not drawn, or whose box is off the screen, costs
// no draw. Drawing everything draws every light over every area it reaches.
TEST_F(RenderPass, MapLightsAreDrawnOnlyWhereTheyReachWhatIsDrawn) {
    map.lights = {lightAt({40, 0, 50}, 3, 1),     // before the eye, casts shadows
                  lightAt({40, 0, 50}, 3, 3),     // reaching room 3 only, which is not drawn
                  lightAt({40, 0, 50}, 6, 1),     // ambient
                  lightAt({-30, 0, 50}, 2, 1)};   // behind the eye
    place({0, 0, 0});
    mesh.ambientLights = {0, 0, 1, 0};
    scene.mapLights = true;
    aimCamera(*camera, {0, 0, 50}, kPi / 2);
    camera->instanceIndex = 0;
    camera->areaIndex = 1;
    render(scene);
    EXPECT_EQ(scene.frameCost.lightsDrawn, 2);
    EXPECT_EQ(scene.frameCost.lightsOfCopies, 4);
    std::vector<const gpu::DrawRecord*> passes;
    for (const gpu::DrawRecord& draw : device.draws) {
        if (tagOf(draw) < kAreaTag) continue;  // the terrain
        EXPECT_EQ(tagOf(draw), kAreaTag + 1u);
        if (draw.pipeline.depthTest == gpu::DepthTest::Equal) passes.push_back(&draw);
        else EXPECT_TRUE(draw.pipeline.depthWrite);  // the depth pass
        EXPECT_NE(draw.pipeline.program, graphics.lightingProgram());
    }
    ASSERT_EQ(passes.size(), 2u);
    for (const gpu::DrawRecord* pass : passes) {
        EXPECT_EQ(pass->pipeline.blend, gpu::Blend::Add);
        EXPECT_FALSE(pass->pipeline.depthWrite);
        EXPECT_FALSE(pass->scissor.whole);
        EXPECT_FALSE(pass->scissor.empty());
    }
    // Only the shadow-casting light clears the stencil, in its own rectangle,
    // and is masked by it; the larger ambient light's rectangle holds its.
    EXPECT_EQ(passes[0]->pipeline.stencilTest, gpu::StencilTest::Equal);
    EXPECT_EQ(passes[1]->pipeline.stencilTest, gpu::StencilTest::Off);
    int clears = 0;
    for (const gpu::RecordedCall& call : device.calls) {
        if (call.kind != gpu::CallKind::ClearStencil) continue;
        ++clears;
        EXPECT_EQ(call.args[0], static_cast<uint32_t>(passes[0]->scissor.x));
        EXPECT_EQ(call.args[2], static_cast<uint32_t>(passes[0]->scissor.width));
    }
    EXPECT_EQ(clears, 1);
    EXPECT_GT(passes[1]->scissor.width, passes[0]->scissor.width);
    EXPECT_LE(passes[1]->scissor.x, passes[0]->scissor.x);

    g_portalMode = false;
    render(scene);
    EXPECT_EQ(scene.frameCost.lightsDrawn, 3);
}

// The screen rectangle of a box: around its projected corners; the whole
// screen with the eye inside it; none when it lies behind the eye or off the
// screen's side.
TEST_F(RenderPass, ALightsRectangleIsWhatItsBoxCoversOnTheScreen) {
    aimCamera(*camera, {0, 0, 0}, 0.0f);  // looking along +z
    const Matrix toClip = camera->view * camera->projection;
    const gpu::ScreenRect ahead = screenRectOf(Bounds::aroundPoint({0, 0, 200}, {10, 10, 10}), toClip, 1024, 768);
    ASSERT_FALSE(ahead.whole);
    EXPECT_LT(ahead.x, 512);
    EXPECT_GT(ahead.x + ahead.width, 512);
    EXPECT_LT(ahead.y, 384);
    EXPECT_GT(ahead.y + ahead.height, 384);
    EXPECT_LT(ahead.width, 200);
    // Up and to the right of the line of sight: the upper right of the screen.
    const gpu::ScreenRect upRight = screenRectOf(Bounds::aroundPoint({60, 40, 200}, {5, 5, 5}), toClip, 1024, 768);
    EXPECT_GT(upRight.x, 512);
    EXPECT_LT(upRight.y + upRight.height, 384);
    EXPECT_TRUE(screenRectOf(Bounds::aroundPoint({0, 0, 0}, {10, 10, 10}), toClip, 1024, 768).whole);
    EXPECT_TRUE(screenRectOf(Bounds::aroundPoint({0, 0, -200}, {10, 10, 10}), toClip, 1024, 768).empty());
    EXPECT_TRUE(screenRectOf(Bounds::aroundPoint({5000, 0, 200}, {10, 10, 10}), toClip, 1024, 768).empty());
    EXPECT_TRUE(screenRectOf(Bounds::empty(), toClip, 1024, 768).empty());
}

TEST_F(RenderPass, CameraInAreaZeroOrInNoInstanceStartsInEveryInstanceInView) {
    MapInstance* own = place({0, 0, 0});
    MapInstance* ahead = place({0, 0, 1000});
    MapInstance* behind = place({0, 0, -2000});
    aimCamera(*camera, {0, 0, -500}, 0.0f);
    for (int instanceIndex : {0, -1}) {
        camera->instanceIndex = instanceIndex;
        camera->areaIndex = 0;
        device.draws.clear();
        const int drawn = render(scene);
        EXPECT_TRUE(own->enteredThisFrame);
        EXPECT_TRUE(ahead->enteredThisFrame);
        EXPECT_FALSE(behind->enteredThisFrame);
        // Both copies in view, each from its area 0 in through its first portal.
        EXPECT_EQ(drawnAreas(), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
        EXPECT_EQ(drawn, 8);
    }
}

TEST_F(RenderPass, FlowStartsFromTheEyeNotFromAStaleAreaNumber) {
    place({0, 0, 0});
    aimCamera(*camera, {0, 0, 150}, 0.0f);  // room 2, looking on into room 3
    camera->instanceIndex = 0;
    camera->areaIndex = 3;  // left over from an earlier frame
    render(scene);
    EXPECT_EQ(drawnAreas(), (std::vector<int>{0, 2, 3}));

    // Held by the copy but standing in area 0 by now (the area number is from
    // before the frame's move): entered from area 0, the rooms behind show.
    aimCamera(*camera, {0, 0, -20}, 0.0f);
    device.draws.clear();
    render(scene);
    EXPECT_EQ(drawnAreas(), (std::vector<int>{0, 1, 2, 3}));

    aimCamera(*camera, {0, 0, 150}, 0.0f);
    camera->instanceIndex = 7;  // no such instance: treated as none
    device.draws.clear();
    render(scene);
    // From room 2 on through room 3 into the copy's own area 0.
    EXPECT_EQ(drawnAreas(), (std::vector<int>{0, 2, 3}));
}

}  // namespace
}  // namespace q
