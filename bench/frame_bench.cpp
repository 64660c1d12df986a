// A whole frame of the world on the recording device: updateScene (instance
// and area lookup, camera update) and render (constants, terrain, flow,
// area draws) for the generated grid of 32 x 32 rooms placed five times, from a
// fixed set of viewpoints inside rooms. Reported: time per frame in portal mode
// and with every area drawn, areas drawn per frame in each, and, measured in the
// same run, how much cheaper the portal frame is; the share of the portal frame
// spent in the flow alone; and the allocations made by the measured frames.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "figure.h"

#include "mapgen/mapgen.h"
#include "move/camera_update.h"
#include "move/movement.h"
#include "gpu/recording/recording_device.h"
#include "render/graphics_device.h"
#include "render/globals.h"
#include "vis/frustum.h"
#include "vis/portal_flow.h"
#include "vis/render_pass.h"
#include "world/scene.h"
#include "world/standard_placements.h"

// Every allocation of the process is counted; the frames are measured after a
// first frame of each kind, so any count there is a per-frame allocation.
namespace {
uint64_t g_allocations = 0;
void* allocate(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace q {
namespace {

constexpr int kGrid = 32;
// A directory that already holds grid32.proc and grid32.cm (bench/run makes
// it with mapgen); without it the map is generated into a scratch directory.
const char* g_mapDir = nullptr;
int g_areaZeroRoom = 0;  // --area0-room: the grid sealed with that room as area 0
size_t g_entityModelsPlaced = 0;  // by the map source beside the grid, if any
size_t g_meshModelsPlaced = 0;    // likewise, mesh models (mapgen --mesh-count)

struct Viewpoint {
    Vector3 position;
    float yaw;
};

struct World {
    GraphicsDevice graphics;
    gpu::RecordingDevice* device = nullptr;  // owned by graphics
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

    char scratch[] = "/tmp/quorvane-frame-bench-XXXXXX";
    mapgen::MapgenOptions options;
    options.preset = "grid";
    options.count = kGrid;
    options.areaZeroRoom = g_areaZeroRoom;
    std::string error;
    mapgen::Layout layout;
    if (!mapgen::buildLayout(options, &layout, &error)) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        std::abort();
    }
    const char* dir = g_mapDir;
    if (!dir) {
        if (!mkdtemp(scratch) || !mapgen::generateMap(options, scratch, &error)) {
            std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
            std::abort();
        }
        dir = scratch;
    }
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);

    auto backend = std::make_unique<gpu::RecordingDevice>();
    w.device = backend.get();
    w.graphics.create(std::move(backend));
    w.scene.device = w.device;
    w.scene.graphics = &w.graphics;
    w.scene.init();
    // A grid written with mesh models holds them in its folder, its asset root.
    if (std::filesystem::is_directory("models")) w.scene.assetDirs = {std::filesystem::current_path().string()};
    MapData* map = w.scene.loadMap(mapgen::mapName(options).c_str(), &error);
    if (!map) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        std::abort();
    }
    placeStandardInstances(w.scene, map, kStandardInstanceCount);
    g_entityModelsPlaced = map->entityModels.size();
    g_meshModelsPlaced = map->meshModels.placed.size();
    std::filesystem::current_path(previous);
    if (!g_mapDir) std::filesystem::remove_all(dir);

    const MapInstance& first = *w.scene.instances[0];
    const auto& rooms = layout.rooms;
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

void placeCamera(World& w, size_t* next) {
    const Viewpoint& v = w.viewpoints[*next];
    *next = (*next + 1) % w.viewpoints.size();
    w.scene.camera->position = v.position;
    w.scene.camera->yaw = v.yaw;
    w.scene.camera->pitch = 0.0f;
    w.scene.camera->fallSpeed = 0.0f;
}

// Allocations per measured frame, by benchmark name.
std::map<std::string, double> g_allocationsPerFrame;

void frame(benchmark::State& state, bool portals) {
    World& w = world();
    g_portalMode = portals;
    size_t next = 0;
    uint64_t areasDrawn = 0;
    // One frame of this kind first: the recording log and anything sized on
    // first use reach their size outside the count.
    placeCamera(w, &next);
    updateScene(w.scene);
    render(w.scene);
    w.device->clearLog();
    next = 0;

    const uint64_t allocationsBefore = g_allocations;
    for (auto _ : state) {
        placeCamera(w, &next);
        updateScene(w.scene);
        areasDrawn += static_cast<uint64_t>(render(w.scene));
        w.device->clearLog();
    }
    const double frames = static_cast<double>(state.iterations());
    g_allocationsPerFrame[portals ? "BM_FramePortalMode" : "BM_FrameEveryArea"] = static_cast<double>(g_allocations - allocationsBefore) / frames;
    state.counters["areas_drawn"] = static_cast<double>(areasDrawn) / frames;
    state.counters["viewpoints"] = static_cast<double>(w.viewpoints.size());
    g_portalMode = true;
}

// The flow alone, as the render pass runs it: the camera frustum, then the
// flow from the camera's instance and area (the update that finds them is
// done outside the timing).
void BM_FlowOnly(benchmark::State& state) {
    World& w = world();
    g_portalMode = true;
    size_t next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        placeCamera(w, &next);
        updateScene(w.scene);
        state.ResumeTiming();
        for (const auto& instance : w.scene.instances) instance->enteredThisFrame = false;
        Frustum frustum;
        buildFrustum(*w.scene.camera, &frustum, Matrix::identity());
        flowFromCamera(w.scene, frustum);
        benchmark::DoNotOptimize(w.scene.instances[0]->visibleAreas.data());
    }
}

void BM_FramePortalMode(benchmark::State& state) { frame(state, true); }
void BM_FrameEveryArea(benchmark::State& state) { frame(state, false); }
BENCHMARK(BM_FramePortalMode);
BENCHMARK(BM_FrameEveryArea);
BENCHMARK(BM_FlowOnly);

}  // namespace

// The measured frames of a profile run; not inlined, so that callgrind can
// collect inside it alone.
[[gnu::noinline]] uint64_t q_profiledFrames(World& w, int count) {
    size_t next = 0;
    uint64_t areas = 0;
    for (int i = 0; i < count; ++i) {
        placeCamera(w, &next);
        updateScene(w.scene);
        areas += static_cast<uint64_t>(render(w.scene));
        w.device->clearLog();
    }
    return areas;
}

int profileFrames(bool portals, int count) {
    World& w = world();
    g_portalMode = portals;
    size_t next = 0;
    placeCamera(w, &next);
    updateScene(w.scene);
    render(w.scene);
    w.device->clearLog();
    const uint64_t areas = q_profiledFrames(w, count);
    std::printf("%d frames, %.1f areas drawn per frame\n", count, static_cast<double>(areas) / count);
    return 0;
}

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nsPerFrame;
    std::map<std::string, double> areasDrawn;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            nsPerFrame[run.benchmark_name()] = run.GetAdjustedCPUTime();
            const auto areas = run.counters.find("areas_drawn");
            if (areas != run.counters.end()) areasDrawn[run.benchmark_name()] = areas->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace
}  // namespace q

int main(int argc, char** argv) {
    q::g_mapDir = q::bench::takeOption(&argc, argv, "--grid");
    if (const char* room = q::bench::takeOption(&argc, argv, "--area0-room")) q::g_areaZeroRoom = std::atoi(room);
    std::string figure = q::bench::gridFigureName("frame CPU (recording device)", q::g_areaZeroRoom);
    // --profile=portal|every --frames=N: only N frames of that kind after one
    // unmeasured frame, for an instruction count per frame under callgrind
    // (collect with --toggle-collect='q::q_profiledFrames*').
    const char* profile = q::bench::takeOption(&argc, argv, "--profile");
    const char* frames = q::bench::takeOption(&argc, argv, "--frames");
    if (profile) return q::profileFrames(std::string(profile) == "portal", frames ? std::atoi(frames) : 100);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    q::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto& ns = reporter.nsPerFrame;
    if (!ns.count("BM_FramePortalMode") || !ns.count("BM_FrameEveryArea")) return 0;
    // A grid written with its map source has its entity models placed.
    if (q::g_entityModelsPlaced > 0)
        figure += ", " + std::to_string(q::g_entityModelsPlaced) + " entity models placed";
    if (q::g_meshModelsPlaced > 0) figure += ", " + std::to_string(q::g_meshModelsPlaced) + " mesh models";
    const double portal = ns["BM_FramePortalMode"], every = ns["BM_FrameEveryArea"];
    const double allocations = q::g_allocationsPerFrame["BM_FramePortalMode"] + q::g_allocationsPerFrame["BM_FrameEveryArea"];
    q::bench::printFigure(
        figure,
        q::bench::format("grid %d x 5: portal frame %.1f us (%.1f areas) vs every area %.1f us (%.0f areas)", q::kGrid,
                         portal / 1e3, reporter.areasDrawn["BM_FramePortalMode"], every / 1e3,
                         reporter.areasDrawn["BM_FrameEveryArea"]),
        every / portal, "0 allocations per frame", q::bench::verdict(allocations == 0));
    if (ns.count("BM_FlowOnly"))
        q::bench::printNote(figure,
                            q::bench::format("the flow (camera frustum + portal flow) takes %.0f%% of the portal "
                                             "frame (%.1f us)",
                                             100.0 * ns["BM_FlowOnly"] / portal, ns["BM_FlowOnly"] / 1e3));
    q::bench::printNote(figure,
                        q::bench::format("allocations per measured frame: %.3f in portal mode, %.3f drawing every area",
                                         q::g_allocationsPerFrame["BM_FramePortalMode"],
                                         q::g_allocationsPerFrame["BM_FrameEveryArea"]));
    return 0;
}
