// Frame rate on the OpenGL device, headless (Mesa's software rasteriser here):
// the generated grid of 32 x 32 rooms placed five times, the fixed viewpoints
// of the frame benchmark (every seventh room, four directions), each frame
// drawn once in portal mode and once with every area, alternately, so that a
// change in the machine's load falls on both alike. A frame is update, begin,
// render, end and a wait until GL has carried it out. Reported: frames per
// second in each mode over the viewpoints where portal mode draws at most a
// tenth of the areas, and their ratio.
//
// With --lights=map (on a map whose source places lights) the frames are lit
// by the map's lights: portal mode, where a light is drawn only over the
// drawn areas it reaches, against drawing every area with every light, and
// against portal mode under the camera's light, at the same viewpoints.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "figure.h"
#include "mapgen/mapgen.h"
#include "move/camera_update.h"
#include "move/movement.h"
#include "gpu/gl/gl_device.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "vis/render_pass.h"
#include "world/scene.h"
#include "world/standard_placements.h"
#include "support/bare_gl.h"

namespace q {
namespace {

constexpr int kGrid = 32;
// Wall-clock budget of the measured frames; the viewpoints are taken evenly
// spread so that a short budget still covers the whole grid.
constexpr double kBudgetSeconds = 60.0;

struct Viewpoint {
    Vector3 position;
    float yaw;
};

double drawFrame(GraphicsDevice& graphics, Scene& scene, const Viewpoint& v, bool portals, int* areas,
                 bool mapLights = false) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    g_portalMode = portals;
    scene.mapLights = mapLights;
    scene.camera->position = v.position;
    scene.camera->yaw = v.yaw;
    scene.camera->pitch = 0.0f;
    scene.camera->fallSpeed = 0.0f;
    updateScene(scene);
    graphics.beginFrame();
    *areas = render(scene);
    graphics.endFrame(scene.camera->view, scene.camera->projection, g_portalMode);
    bench::finishGl();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int run(const char* mapDir, int areaZeroRoom, bool mapLights) {
    mapgen::MapgenOptions options;
    options.preset = "grid";
    options.count = kGrid;
    options.areaZeroRoom = areaZeroRoom;
    options.entities = mapLights;
    const std::string figure = mapLights ? std::string("frame rate, the map's lights (headless GL)")
                                         : bench::gridFigureName("frame rate (headless GL)", areaZeroRoom);
    std::string error;
    mapgen::Layout layout;
    char scratch[] = "/tmp/quorvane-gl-frame-bench-XXXXXX";
    if (!mapgen::buildLayout(options, &layout, &error)) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
    if (!mapDir) {
        if (!mkdtemp(scratch) || !mapgen::generateMap(options, scratch, &error))
            return std::fprintf(stderr, "gl_frame_bench: %s\n", error.c_str()), 1;
        mapDir = scratch;
    }

    GraphicsDevice graphics;
    if (!graphics.create(gpu::createHeadlessDevice(1024, 768, &error)))
        return std::fprintf(stderr, "gl_frame_bench: no headless GL: %s\n", error.c_str()), 1;

    int status = 0;
    {
        Scene scene;
        scene.device = graphics.device();
        scene.graphics = &graphics;
        // The terrain's image is read from the map's directory, as the viewer does.
        const std::filesystem::path previous = std::filesystem::current_path();
        std::filesystem::current_path(mapDir);
        scene.init();
        MapData* map = scene.loadMap(mapgen::mapName(options).c_str(), &error);
        std::filesystem::current_path(previous);
        if (mapDir == scratch) std::filesystem::remove_all(scratch);
        if (!map) {
            std::fprintf(stderr, "gl_frame_bench: %s\n", error.c_str());
            return 1;
        }
        placeStandardInstances(scene, map, kStandardInstanceCount);
        const int totalAreas = static_cast<int>(map->areas.size() * scene.instances.size());

        std::vector<Viewpoint> viewpoints;
        for (size_t r = 0; r < layout.rooms.size(); r += 7) {
            const mapgen::Box& b = layout.rooms[r].interior;
            const Vector3 local{static_cast<float>(b.centre(0)), static_cast<float>(b.lo[2] + 48),
                                static_cast<float>(b.centre(1))};
            const Vector3 eye = transformCoord(local, scene.instances[0]->world);
            for (int turn = 0; turn < 4; ++turn) viewpoints.push_back({eye, 1.5707963f * turn});
        }

        // A first frame of each kind: textures and buffers reach the driver.
        int areas = 0;
        // Lit as they will be measured: under a map's many lights a frame of
        // every area costs far more than under the camera's.
        drawFrame(graphics, scene, viewpoints[0], true, &areas, mapLights);
        const double everyFirst = drawFrame(graphics, scene, viewpoints[0], false, &areas, mapLights);
        const double pairEstimate = std::max(everyFirst, 1e-3);
        const size_t affordable = std::max<size_t>(8, static_cast<size_t>(kBudgetSeconds / pairEstimate));
        const size_t step = std::max<size_t>(1, viewpoints.size() / affordable);

        double portalSeconds = 0, everySeconds = 0, allPortalSeconds = 0, allEverySeconds = 0, cameraSeconds = 0;
        int portalFrames = 0, everyFrames = 0, measured = 0;
        long portalAreas = 0, everyAreas = 0, portalLights = 0, everyLights = 0;
        for (size_t i = 0; i < viewpoints.size(); i += step) {
            int portalCount = 0, everyCount = 0, cameraCount = 0;
            const double p = drawFrame(graphics, scene, viewpoints[i], true, &portalCount, mapLights);
            const int lightsInPortalFrame = scene.frameCost.lightsDrawn;
            const double e = drawFrame(graphics, scene, viewpoints[i], false, &everyCount, mapLights);
            const int lightsInEveryFrame = scene.frameCost.lightsDrawn;
            const double c = mapLights ? drawFrame(graphics, scene, viewpoints[i], true, &cameraCount) : 0.0;
            allPortalSeconds += p;
            allEverySeconds += e;
            ++measured;
            if (portalCount * 10 > totalAreas) continue;  // more than a tenth in view
            portalSeconds += p;
            everySeconds += e;
            cameraSeconds += c;
            portalLights += lightsInPortalFrame;
            everyLights += lightsInEveryFrame;
            ++portalFrames;
            ++everyFrames;
            portalAreas += portalCount;
            everyAreas += everyCount;
        }
        g_portalMode = true;
        if (portalFrames == 0) {
            std::fprintf(stderr, "gl_frame_bench: no viewpoint with at most a tenth of the areas in view\n");
            status = 1;
        } else {
            const double portalFps = portalFrames / portalSeconds, everyFps = everyFrames / everySeconds;
            const double ratio = portalFps / everyFps;
            bench::printFigure(
                figure,
                bench::format("grid %d x 5, %d viewpoints: portal %.1f fps (%.1f areas) vs every area %.2f fps "
                              "(%.0f areas)",
                              kGrid, portalFrames, portalFps, static_cast<double>(portalAreas) / portalFrames,
                              everyFps, static_cast<double>(everyAreas) / everyFrames),
                ratio, ">= 3x where at most 1/10 of the areas are drawn", bench::verdict(ratio >= 3.0));
            bench::printNote(figure,
                             bench::format("%d of %d measured viewpoints draw at most a tenth of the %d areas; over "
                                           "all of them: %.1fx",
                                           portalFrames, measured, totalAreas,
                                           (allEverySeconds / measured) / (allPortalSeconds / measured)));
            if (mapLights)
                bench::printNote(figure,
                                 bench::format("lights drawn a frame: %.2f in portal mode, %.2f drawing every area "
                                               "(of %zu); portal mode under the camera's light %.1f fps: the map's "
                                               "lights cost %.2fx its frame",
                                               static_cast<double>(portalLights) / portalFrames,
                                               static_cast<double>(everyLights) / everyFrames, map->lights.size(),
                                               portalFrames / cameraSeconds, portalSeconds / cameraSeconds));
        }
    }
    return status;
}

}  // namespace
}  // namespace q

int main(int argc, char** argv) {
    const char* grid = q::bench::takeOption(&argc, argv, "--grid");
    const char* room = q::bench::takeOption(&argc, argv, "--area0-room");
    const char* lights = q::bench::takeOption(&argc, argv, "--lights");
    const bool mapLights = lights && std::string(lights) == "map";
    return q::run(grid, room ? std::atoi(room) : 0, mapLights);
}
