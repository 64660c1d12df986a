// The portal flow's CPU time per frame: the flow that looks through a portal
// again when a later view reaches more of it ("after") against the flow that
// passed each portal once, by the first path to reach it ("before", kept in
// bench/support/first_path_flow), both run in this process from the same
// viewpoints on the same five copies of each map: grid 32, the same grid sealed
// with its middle room as area 0, grid 64, and twodoors. Per map: the mean time
// per frame of each, their ratio, the portal passes and the areas they mark; on
// grid 32 also the worst frame of the measured viewpoints.

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "figure.h"
#include "mapgen/mapgen.h"
#include "move/camera_update.h"
#include "move/movement.h"
#include "gpu/recording/recording_device.h"
#include "render/globals.h"
#include "support/first_path_flow.h"
#include "vis/frustum.h"
#include "vis/portal_flow.h"
#include "world/scene.h"
#include "world/standard_placements.h"

namespace q {
namespace {

struct Viewpoint {
    Vector3 position;
    float yaw;
};

struct MapRun {
    const char* label;
    mapgen::MapgenOptions options;
    const char* directory;  // under --maps, as bench/run names it
};

// The flows of one viewpoint, each run this many times in a row per round; the
// fastest of the rounds counts, the others having been slowed by the machine.
constexpr int kRepeats = 40;
constexpr int kRounds = 5;

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Eyes 48 units above the floor of every `step`-th room, looking along each axis
// (as the frame benchmark places them); on twodoors also eyes in the first room
// looking at its two doorways.
std::vector<Viewpoint> viewpoints(const mapgen::Layout& layout, const MapInstance& first, size_t step, bool doorways) {
    std::vector<Viewpoint> out;
    const auto local = [](double x, double y, double z) {
        return Vector3{static_cast<float>(x), static_cast<float>(z), static_cast<float>(y)};  // files are z up
    };
    for (size_t r = 0; r < layout.rooms.size(); r += step) {
        const mapgen::Box& b = layout.rooms[r].interior;
        const Vector3 eye = transformCoord(local(b.centre(0), b.centre(1), b.lo[2] + 48), first.world);
        for (int turn = 0; turn < 4; ++turn) out.push_back({eye, 1.5707963f * static_cast<float>(turn)});
    }
    if (doorways) {
        const mapgen::Box& b = layout.rooms[0].interior;
        for (int i = 0; i < 9; ++i) {
            const double x = b.lo[0] + 40 + (b.hi[0] - b.lo[0] - 80) * (i % 3) / 2.0;
            const double y = b.lo[1] + 40 + (b.centre(1) - b.lo[1] - 40) * (i / 3) / 2.0;
            out.push_back({transformCoord(local(x, y, b.lo[2] + 48), first.world), 0.0f});  // yaw 0: along +y of the file
        }
    }
    return out;
}

struct Tally {
    double seconds = 0;   // per frame, summed over viewpoints
    double passes = 0;    // portal passes, summed over viewpoints
    double areas = 0;     // areas marked, summed over viewpoints
    double worst = 0;     // the slowest viewpoint's frame
    size_t worstAt = 0;
    double mostPasses = 0;  // in one frame
    std::vector<double> frames;  // per viewpoint
};

double countBits(const std::vector<uint32_t>& words) {
    double n = 0;
    for (uint32_t w : words) n += __builtin_popcount(w);
    return n;
}

void runFlow(Scene& scene, const Frustum& frustum, bool after) {
    for (const auto& instance : scene.instances) instance->enteredThisFrame = false;
    if (after)
        flowFromCamera(scene, frustum);
    else
        bench::firstPathFlowFromCamera(scene, frustum);
}

// One frame of the flow's marks: areas marked, and portal passes (the first-path
// flow passes each portal it marks once).
void countMarks(const Scene& scene, bool after, Tally* tally) {
    const double passesBefore = tally->passes;
    for (const auto& instance : scene.instances) {
        if (!instance->enteredThisFrame) continue;
        const size_t areas = instance->map->areas.size();
        double marked = 0;
        for (size_t i = 0; i < areas; ++i) marked += bitTest(instance->visibleAreas.data(), static_cast<uint32_t>(i));
        tally->areas += marked;
        tally->passes += after ? kFlowPassesPerPortal * static_cast<double>(instance->map->portals.size()) +
                                     kMinimumFlowPasses - instance->flowPassesLeft
                               : countBits(instance->passedPortals);
    }
    tally->mostPasses = std::max(tally->mostPasses, tally->passes - passesBefore);
}

void measure(Scene& scene, const std::vector<Viewpoint>& views, Tally* before, Tally* after) {
    for (size_t v = 0; v < views.size(); ++v) {
        scene.camera->position = views[v].position;
        scene.camera->yaw = views[v].yaw;
        scene.camera->pitch = 0.0f;
        scene.camera->fallSpeed = 0.0f;
        updateScene(scene);
        Frustum frustum;
        buildFrustum(*scene.camera, &frustum, Matrix::identity());
        double best[2] = {1e9, 1e9};
        for (int round = 0; round < kRounds; ++round)
            for (int kind = 0; kind < 2; ++kind) {
                const double start = threadSeconds();
                for (int i = 0; i < kRepeats; ++i) runFlow(scene, frustum, kind == 1);
                best[kind] = std::min(best[kind], (threadSeconds() - start) / kRepeats);
            }
        Tally* tallies[2] = {before, after};
        for (int kind = 0; kind < 2; ++kind) {
            Tally& t = *tallies[kind];
            runFlow(scene, frustum, kind == 1);
            countMarks(scene, kind == 1, &t);
            t.seconds += best[kind];
            t.frames.push_back(best[kind]);
            if (best[kind] > t.worst) {
                t.worst = best[kind];
                t.worstAt = v;
            }
        }
    }
}

bool loadCopies(Scene& scene, gpu::RecordingDevice& device, const MapRun& run, const char* mapsDir, std::string* error) {
    std::string dir = mapsDir ? std::string(mapsDir) + "/" + run.directory : std::string();
    char scratch[] = "/tmp/quorvane-flow-bench-XXXXXX";
    if (dir.empty()) {
        if (!mkdtemp(scratch) || !mapgen::generateMap(run.options, scratch, error)) return false;
        dir = scratch;
    }
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    scene.device = &device;
    scene.init();
    MapData* map = scene.loadMap(mapgen::mapName(run.options).c_str(), error);
    std::filesystem::current_path(previous);
    if (!mapsDir) std::filesystem::remove_all(dir);
    if (!map) return false;
    placeStandardInstances(scene, map, kStandardInstanceCount);
    return true;
}

int runMap(const MapRun& run, const char* mapsDir) {
    gpu::RecordingDevice device;
    Scene scene;
    std::string error;
    mapgen::Layout layout;
    if (!mapgen::buildLayout(run.options, &layout, &error) || !loadCopies(scene, device, run, mapsDir, &error)) {
        std::fprintf(stderr, "flow_bench: %s: %s\n", run.label, error.c_str());
        return 1;
    }
    const bool doorways = run.options.preset == "twodoors";
    const std::vector<Viewpoint> views = viewpoints(layout, *scene.instances[0], doorways ? 1 : 7, doorways);
    Tally before, after;
    measure(scene, views, &before, &after);
    const double n = static_cast<double>(views.size());
    const std::string figure = std::string("portal flow CPU, ") + run.label;
    bench::printFigure(figure,
                       bench::format("%zu viewpoints, 5 copies: looking again %.2f us per frame (%.1f portal passes, "
                                     "%.1f areas) vs first path only %.2f us (%.1f passes, %.1f areas)",
                                     views.size(), after.seconds / n * 1e6, after.passes / n, after.areas / n,
                                     before.seconds / n * 1e6, before.passes / n, before.areas / n),
                       after.seconds / before.seconds, "- (cost of looking again)", "-");
    if (run.options.preset == "grid" && run.options.count == 32 && run.options.areaZeroRoom == 0) {
        const Viewpoint& worst = views[after.worstAt];
        bench::printNote(figure, bench::format("worst frame of the %zu viewpoints: looking again %.2f us (viewpoint %zu, "
                                               "yaw %.0f deg; first path only there %.2f us); first path only, its "
                                               "worst: %.2f us",
                                               views.size(), after.worst * 1e6, after.worstAt,
                                               worst.yaw * 57.29578f, before.frames[after.worstAt] * 1e6,
                                               before.worst * 1e6));
    }
    bench::printNote(figure, bench::format("most portal passes in one frame: %.0f looking again, %.0f first path only "
                                           "(budget per copy: %d per portal, plus %d)",
                                           after.mostPasses, before.mostPasses, kFlowPassesPerPortal,
                                           kMinimumFlowPasses));
    return 0;
}

}  // namespace
}  // namespace q

int main(int argc, char** argv) {
    // --maps=DIR: where bench/run generated the maps (grid32/, grid32-area0/,
    // grid64/, twodoors/); without it each map is generated into a scratch
    // directory first.
    const char* maps = q::bench::takeOption(&argc, argv, "--maps");
    const auto options = [](const char* preset, int count, int areaZeroRoom) {
        q::mapgen::MapgenOptions o;
        o.preset = preset;
        o.count = count;
        o.areaZeroRoom = areaZeroRoom;
        return o;
    };
    const q::MapRun runs[] = {
        {"grid 32", options("grid", 32, 0), "grid32"},
        {"grid 32, area 0 a room", options("grid", 32, 529), "grid32-area0"},
        {"grid 64", options("grid", 64, 0), "grid64"},
        {"twodoors", options("twodoors", 0, 0), "twodoors"},
    };
    int failed = 0;
    for (const q::MapRun& run : runs) failed |= q::runMap(run, maps);
    return failed;
}
