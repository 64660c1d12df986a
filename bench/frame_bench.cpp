// A whole frame of the world on the recording device: Scene::update (instance
// and area lookup, camera update) and Scene::render (constants, terrain, flow,
// area draws) for the generated grid of 32 x 32 rooms placed five times, from a
// fixed set of viewpoints inside rooms. Reported: time per frame in portal mode
// and with every area drawn, areas drawn per frame in each, and, measured in the
// same run, how much cheaper the portal frame is.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "mapgen/mapgen.h"
#include "move/camera.h"
#include "move/movement.h"
#include "platform/gpu/recording/recording_device.h"
#include "render/globals.h"
#include "vis/render_pass.h"
#include "world/scene.h"
#include "world/standard_placements.h"

namespace q {
namespace {

constexpr int kGrid = 32;

struct Viewpoint {
    Vector3 position;
    float yaw;
};

struct World {
    gpu::RecordingDevice device;
    Scene scene;
    std::vector<Viewpoint> viewpoints;
    bool ready = false;
};

// Generates the grid into a scratch directory, loads it as the viewer does and
// places the five copies. Viewpoints: every seventh room, eye 48 units above
// its floor, looking along each of the four axes.
World& world() {
    static World w;
    if (w.ready) return w;

    char dir[] = "/tmp/quorvane-frame-bench-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    mapgen::MapgenOptions options;
    options.preset = "grid";
    options.count = kGrid;
    std::string error;
    mapgen::GeneratedMap generated;
    if (!mapgen::generateMap(options, dir, &error) || !mapgen::buildMap(options, &generated, &error)) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        std::abort();
    }
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);

    g_device = &w.device;
    w.scene.device = &w.device;
    w.scene.init();
    MapData* map = w.scene.loadMap(mapgen::mapName(options).c_str(), &error);
    if (!map) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        std::abort();
    }
    placeStandardInstances(w.scene, map, kStandardInstanceCount);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);

    const MapInstance& first = *w.scene.instances[0];
    const auto& rooms = generated.layout.rooms;
    for (size_t r = 0; r < rooms.size(); r += 7) {
        const mapgen::Box& b = rooms[r].interior;
        // File frame is z up; the map's own space is y up.
        const Vector3 local{static_cast<float>(b.centre(0)), static_cast<float>(b.lo[2] + 48),
                            static_cast<float>(b.centre(1))};
        const Vector3 eye = transformCoord(local, first.world);
        for (int turn = 0; turn < 4; ++turn) w.viewpoints.push_back({eye, 1.5707963f * turn});
    }
    w.ready = true;
    return w;
}

void frame(benchmark::State& state, bool portals) {
    World& w = world();
    g_portalMode = portals;
    size_t next = 0;
    uint64_t areasDrawn = 0;
    for (auto _ : state) {
        const Viewpoint& v = w.viewpoints[next];
        next = (next + 1) % w.viewpoints.size();
        w.scene.camera->position = v.position;
        w.scene.camera->yaw = v.yaw;
        w.scene.camera->pitch = 0.0f;
        g_fallSpeed = 0.0f;
        w.scene.update();
        w.scene.render();
        areasDrawn += static_cast<uint64_t>(g_visibleAreaCount);
        w.device.clearLog();
    }
    state.counters["areas_drawn"] = static_cast<double>(areasDrawn) / static_cast<double>(state.iterations());
    state.counters["viewpoints"] = static_cast<double>(w.viewpoints.size());
    g_portalMode = true;
}

void BM_FramePortalMode(benchmark::State& state) { frame(state, true); }
void BM_FrameEveryArea(benchmark::State& state) { frame(state, false); }
BENCHMARK(BM_FramePortalMode);
BENCHMARK(BM_FrameEveryArea);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nsPerFrame;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) nsPerFrame[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace
}  // namespace q

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    q::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto portals = reporter.nsPerFrame.find("BM_FramePortalMode");
    const auto every = reporter.nsPerFrame.find("BM_FrameEveryArea");
    if (portals != reporter.nsPerFrame.end() && every != reporter.nsPerFrame.end() && portals->second > 0) {
        std::printf("grid %d x 5 copies: a portal-mode frame costs %.3f of a frame that draws every area "
                    "(%.1f times faster)\n",
                    q::kGrid, portals->second / every->second, every->second / portals->second);
    }
    benchmark::Shutdown();
    return 0;
}
