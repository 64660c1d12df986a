#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "map/map_data.h"
#include "math/matrix.h"
#include "world/camera.h"
#include "platform/gpu/recording/recording_device.h"
#include "platform/report.h"
#include "render/globals.h"
#include "vis/render_pass.h"
#include "world/map_instance.h"
#include "world/scene.h"
#include "world/terrain.h"
#include "vis_test_maps.h"

namespace q {
namespace {

using testmaps::aimCamera;
using testmaps::kPi;

constexpr uint32_t kProgram = gpu::kProgramHandleBit | 7u;
constexpr int kAreaTag = 100;  // an area's surface is drawn with 100 + area vertices

// The corridor with one surface per area, so that every drawn area leaves one
// indexed draw in the device's log, telling which area it was.
MapData corridorWithSurfaces() {
    MapData map = testmaps::corridor();
    for (size_t i = 0; i < map.areas.size(); ++i) {
        Surface surface;
        surface.vertexCount = kAreaTag + static_cast<int>(i);
        surface.indexCount = 3;
        map.areas[i].surfaceGroups.resize(1);
        map.areas[i].surfaceGroups[0].surfaces.push_back(surface);
    }
    return map;
}

struct RenderPass : ::testing::Test {
    gpu::RecordingDevice device;
    Scene scene;
    Camera* camera = new Camera();
    MapData map = corridorWithSurfaces();

    RenderPass() {
        g_device = &device;
        g_lightingShader = kProgram;
        g_portalMode = true;
        scene.device = &device;
        scene.camera.reset(camera);
        camera->scene = &scene;
    }
    ~RenderPass() override {
        g_device = nullptr;
        g_lightingShader = 0;
        g_portalMode = true;
        // The terrain's warning about its missing texture must not hold back the
        // same line in later tests.
        resetReportsForTest();
    }
    MapInstance* place(Vector3 position, float yaw = 0.0f) {
        MapInstance* instance = scene.addInstance(&map);
        instance->position = position;
        instance->yaw = yaw;
        instance->placeInWorld();
        return instance;
    }
    // The areas drawn, in draw order, as (instance-independent) area numbers.
    std::vector<int> drawnAreas() const {
        std::vector<int> areas;
        for (const gpu::DrawRecord& draw : device.draws)
            if (draw.vertexCount >= kAreaTag) areas.push_back(static_cast<int>(draw.vertexCount) - kAreaTag);
        return areas;
    }
};

void expectRegisters(const float (*constants)[4], int first, const Matrix& m, int rows) {
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(constants[first + r][c], m.m[r][c], 1e-3f * (1.0f + std::fabs(m.m[r][c])))
                << "c" << first + r << "[" << c << "]";
}

TEST_F(RenderPass, ConstantsOfTheFrameAndOfEachInstance) {
    scene.terrain = std::make_unique<Terrain>(&device, 2, 2);
    MapInstance* straight = place({0, -64, 0});
    MapInstance* turned = place({4000, -64, 4000}, 10.0f);
    aimCamera(*camera, {100, 30, -700}, 0.4f, 0.2f);
    g_portalMode = false;
    render(scene);

    ASSERT_EQ(device.draws.size(), 1u + 8u);
    // The terrain is drawn first, with the frame's constants.
    const gpu::DrawRecord& ground = device.draws[0];
    expectRegisters(ground.constants, 0, transposed(camera->view * camera->projection), 4);
    EXPECT_EQ(ground.constants[5][0], 100.0f);
    EXPECT_EQ(ground.constants[5][1], 30.0f);
    EXPECT_EQ(ground.constants[5][2], -700.0f);
    EXPECT_EQ(ground.constants[5][3], 0.4f);  // the yaw rides along
    EXPECT_EQ(ground.constants[6][0], 0.5f);
    EXPECT_EQ(ground.constants[6][1], 500.0f);
    EXPECT_EQ(ground.constants[6][2], 0.75f);
    EXPECT_EQ(ground.constants[6][3], 0.0f);

    // Then every area of each instance in order, with that instance's transform.
    EXPECT_EQ(drawnAreas(), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
    const MapInstance* byDraw[2] = {straight, turned};
    for (size_t i = 1; i < device.draws.size(); ++i) {
        const gpu::DrawRecord& draw = device.draws[i];
        const Matrix& world = byDraw[(i - 1) / 4]->world;
        expectRegisters(draw.constants, 0, transposed(world * camera->view * camera->projection), 4);
        expectRegisters(draw.constants, 7, transposed(world), 3);
        EXPECT_EQ(draw.constants[6][1], 500.0f);
        EXPECT_EQ(draw.vertexShader, kProgram);
    }
    EXPECT_EQ(g_visibleAreaCount, 8);
}

TEST_F(RenderPass, WithoutPortalsEveryAreaOfEveryInstanceIsCounted) {
    for (int i = 0; i < 5; ++i) place({4000.0f * i, 0, 0});
    aimCamera(*camera, {0, 0, 50}, kPi / 2);
    camera->instanceIndex = 0;
    camera->areaIndex = 1;
    g_portalMode = false;
    render(scene);
    EXPECT_EQ(g_visibleAreaCount, 5 * 4);

    // In portal mode, looking at a wall of room 1 with no portal in view.
    g_portalMode = true;
    device.draws.clear();
    render(scene);
    EXPECT_EQ(g_visibleAreaCount, 1);
    EXPECT_EQ(drawnAreas(), (std::vector<int>{1}));
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
        render(scene);
        EXPECT_TRUE(own->enteredThisFrame);
        EXPECT_TRUE(ahead->enteredThisFrame);
        EXPECT_FALSE(behind->enteredThisFrame);
        // Both copies in view, each from its area 0 in through its first portal.
        EXPECT_EQ(drawnAreas(), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
        EXPECT_EQ(g_visibleAreaCount, 8);
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
