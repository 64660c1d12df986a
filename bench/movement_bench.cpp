// A frame's movement step on the generated grid 32 map: the camera stands on a floor
// against a wall and walks diagonally into it, so every step makes all four
// sweeps (fall, walk, step-up, slide). Reported: sweeps per second, brushes
// clipped per sweep against the brushes in the map, and, measured in the same
// run, how much faster the split tree is than clipping every brush.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "figure.h"
#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/proc_reader.h"
#include "mapgen/mapgen.h"
#include "math/matrix.h"
#include "move/camera_update.h"
#include "move/collision_trace.h"
#include "move/movement.h"
#include "world/map_instance.h"

namespace q {
namespace {

constexpr int kGrid = 32;  // rooms along each side
// A directory that already holds grid32.cm (bench/run makes it with mapgen);
// without it the map is generated into a scratch directory.
const char* g_mapDir = nullptr;
// A directory holding grid 32 written with its entities (mapgen --entities):
// the movement step is measured again there, against the solid step.
const char* g_entitiesDir = nullptr;

struct BenchMap {
    MapData map;
    Vector3 start;  // eye position: on the middle room's floor, 1/32 before its +x wall
};

// The generator's grid 32 written to a scratch directory and read back through
// the collision file reader, exactly as the viewer loads it.
BenchMap loadGrid() {
    BenchMap out;
    mapgen::MapgenOptions options;
    options.preset = "grid";
    options.count = kGrid;
    mapgen::Layout layout;
    std::string error;
    const std::string dir = g_mapDir ? std::string(g_mapDir)
                                     : (std::filesystem::temp_directory_path() /
                                        ("quorvane_movement_bench_" + std::to_string(::getpid()))).string();
    if (!mapgen::buildLayout(options, &layout, &error) ||
        (!g_mapDir && !mapgen::generateMap(options, dir, &error))) {
        std::fprintf(stderr, "movement_bench: %s\n", error.c_str());
        std::exit(1);
    }
    const std::string cm = dir + "/" + mapgen::mapName(options) + ".cm";
    if (!readCollisionFile(cm.c_str(), &out.map, &error)) {
        std::fprintf(stderr, "movement_bench: %s\n", error.c_str());
        std::exit(1);
    }
    if (!g_mapDir) std::filesystem::remove_all(dir);

    // Files are z up: the room's floor height is its interior's third coordinate.
    const mapgen::Box& room = layout.rooms[static_cast<size_t>(kGrid / 2 * kGrid + kGrid / 2)].interior;
    out.start = {static_cast<float>(room.hi[0]) - 8.0f - 0.03125f,
                 static_cast<float>(room.lo[2]) + 32.03125f,
                 static_cast<float>(room.lo[1]) + 20.0f};  // near a corner, away from the doorway
    return out;
}

const BenchMap& treeMap() {
    static const BenchMap bench = loadGrid();
    return bench;
}

// The same brushes in one leaf: every sweep clips every brush.
const BenchMap& flatMap() {
    static const BenchMap bench = [] {
        BenchMap b = loadGrid();
        CollisionNode leaf;
        for (int i = 0; i < static_cast<int>(b.map.brushes.size()); ++i) leaf.brushIndices.push_back(i);
        b.map.collisionNodes = {leaf};
        b.map.collisionRoot = 0;
        return b;
    }();
    return bench;
}

// Grid 32 with its entity models placed by its map source, as the viewer loads
// it; the camera stands against the solid step in the middle room (file x 40,
// y -60), so the walk and the step-up sweep its brushes in the entity's space.
const BenchMap& entityMap() {
    static const BenchMap bench = [] {
        BenchMap b;
        const std::string base = std::string(g_entitiesDir) + "/grid32";
        MapSource source;
        ProcReadOptions options;
        options.source = &source;
        std::string error = base + ".map: no map source";
        if (!readMapSourceBeside(base, &source) || !readProcFile(base + ".proc", options, &b.map, &error) ||
            !readCollisionFile((base + ".cm").c_str(), &b.map, &error)) {
            std::fprintf(stderr, "movement_bench: %s\n", error.c_str());
            std::exit(1);
        }
        b.map.placeEntities(source);
        b.start = {40.0f - 8.0f - 0.03125f, 32.03125f, -60.0f};
        return b;
    }();
    return bench;
}

void movementStep(benchmark::State& state, const BenchMap& bench) {
    const MapData& map = bench.map;
    MapInstance instance;
    instance.map = const_cast<MapData*>(&map);
    Camera camera;  // no scene: the terrain plays no part in the sweeps
    const Vector3 start = bench.start;
    const Vector3 forwardRight{1, 0, 1};
    const Matrix rotation = Matrix::identity();

    const uint64_t sweeps0 = g_traceSweeps, clips0 = g_traceBrushClips;
    for (auto _ : state) {
        camera.position = start;
        camera.fallSpeed = 0.0f;
        moveCamera(camera, forwardRight, false, &instance, rotation);
        benchmark::DoNotOptimize(camera.position);
    }
    const double sweeps = static_cast<double>(g_traceSweeps - sweeps0);
    const double steps = static_cast<double>(state.iterations());
    state.counters["sweeps_per_step"] = sweeps / steps;
    state.counters["sweeps_per_s"] = benchmark::Counter(sweeps, benchmark::Counter::kIsRate);
    state.counters["brushes_clipped_per_sweep"] = static_cast<double>(g_traceBrushClips - clips0) / sweeps;
    state.counters["brushes_in_map"] = static_cast<double>(map.brushes.size());
}

void BM_MovementStepSplitTree(benchmark::State& state) { movementStep(state, treeMap()); }
void BM_MovementStepEveryBrush(benchmark::State& state) { movementStep(state, flatMap()); }
BENCHMARK(BM_MovementStepSplitTree);
BENCHMARK(BM_MovementStepEveryBrush);
void BM_MovementStepWithEntityModels(benchmark::State& state) {
    if (!g_entitiesDir) return state.SkipWithError("no --entities-grid");
    const BenchMap& bench = entityMap();
    movementStep(state, bench);
    int solid = 0;
    for (const EntityModel& model : bench.map.entityModels) solid += model.solid;
    state.counters["entity_models"] = static_cast<double>(bench.map.entityModels.size());
    state.counters["solid_entity_models"] = solid;
}
BENCHMARK(BM_MovementStepWithEntityModels);

// Keeps each run's time per step so the ratio can be printed after the runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nsPerStep;
    std::map<std::string, benchmark::UserCounters> counters;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            nsPerStep[run.benchmark_name()] = run.GetAdjustedCPUTime();
            counters[run.benchmark_name()] = run.counters;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace
}  // namespace q

int main(int argc, char** argv) {
    q::g_mapDir = q::bench::takeOption(&argc, argv, "--grid");
    q::g_entitiesDir = q::bench::takeOption(&argc, argv, "--entities-grid");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    q::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto tree = reporter.nsPerStep.find("BM_MovementStepSplitTree");
    const auto flat = reporter.nsPerStep.find("BM_MovementStepEveryBrush");
    if (tree != reporter.nsPerStep.end() && flat != reporter.nsPerStep.end() && tree->second > 0) {
        benchmark::UserCounters& c = reporter.counters["BM_MovementStepSplitTree"];
        // Sweeps per CPU second from the CPU time per step, so that other load
        // on the machine does not lower it.
        const double sweepsPerSecond = c["sweeps_per_step"].value * 1e9 / tree->second;
        q::bench::printFigure(
            "movement (grid 32)",
            q::bench::format("%.2fM sweeps/s, %.1f brushes clipped per sweep (of %.0f); step %.0f ns vs %.0f ns "
                             "clipping every brush",
                             sweepsPerSecond / 1e6, c["brushes_clipped_per_sweep"].value,
                             c["brushes_in_map"].value, tree->second, flat->second),
            flat->second / tree->second, "-", "-");
        const auto entities = reporter.nsPerStep.find("BM_MovementStepWithEntityModels");
        if (q::g_entitiesDir && entities != reporter.nsPerStep.end()) {
            benchmark::UserCounters& e = reporter.counters["BM_MovementStepWithEntityModels"];
            q::bench::printFigure(
                "movement with entity models (grid 32)",
                q::bench::format("against the solid step (%.0f entity models, %.0f solid): step %.0f ns, %.1f brushes "
                                 "clipped per sweep, vs %.0f ns against a wall of the map without them",
                                 e["entity_models"].value, e["solid_entity_models"].value, entities->second,
                                 e["brushes_clipped_per_sweep"].value, tree->second),
                entities->second / tree->second, "-", "-");
        }
    }
    benchmark::Shutdown();
    return 0;
}
