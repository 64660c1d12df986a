// A frame's movement step against a grid of rooms: the camera stands on a floor
// against a wall and walks diagonally into it, so every step makes all four
// sweeps (fall, walk, step-up, slide). Reported: sweeps per second, brushes
// clipped per sweep against the brushes in the map, and, measured in the same
// run, how much faster the split tree is than clipping every brush.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "math/matrix.h"
#include "move/camera.h"
#include "move/collision_trace.h"
#include "move/movement.h"
#include "world/map_instance.h"

namespace q {
namespace {

constexpr int kGrid = 32;       // rooms along x and along z
constexpr float kCell = 256.0f;  // room pitch
constexpr int kLeafBrushes = 4;

Brush boxBrush(Vector3 mins, Vector3 maxs) {
    Brush b;
    b.bounds = {mins, maxs};
    b.planes = {{0, 1, 0, maxs.y}, {0, -1, 0, -mins.y}, {1, 0, 0, maxs.x},
                {-1, 0, 0, -mins.x}, {0, 0, 1, maxs.z}, {0, 0, -1, -mins.z}};
    return b;
}

// Each room: a floor, a ceiling, and a wall on its +x and +z sides with a
// doorway left open in each.
void addRooms(MapData* map) {
    for (int cz = 0; cz < kGrid; ++cz) {
        for (int cx = 0; cx < kGrid; ++cx) {
            const float x0 = kCell * static_cast<float>(cx), z0 = kCell * static_cast<float>(cz);
            map->brushes.push_back(boxBrush({x0, -16, z0}, {x0 + kCell, 0, z0 + kCell}));
            map->brushes.push_back(boxBrush({x0, 128, z0}, {x0 + kCell, 144, z0 + kCell}));
            map->brushes.push_back(boxBrush({x0 + 240, 0, z0}, {x0 + 256, 128, z0 + 160}));
            map->brushes.push_back(boxBrush({x0, 0, z0 + 240}, {x0 + 160, 128, z0 + 256}));
        }
    }
    for (const Brush& b : map->brushes) map->bounds.grow(b.bounds);
}

// A split tree like the collision file's: children stored before their parent,
// each brush listed in every leaf its bounds reach (touching the split from one
// side puts it on that side only).
int buildTree(MapData* map, const std::vector<int>& ids, int depth) {
    auto leaf = [&] {
        CollisionNode node;
        node.brushIndices = ids;
        map->collisionNodes.push_back(node);
        return static_cast<int>(map->collisionNodes.size()) - 1;
    };
    if (ids.size() <= kLeafBrushes || depth >= 24) return leaf();

    Bounds extent = Bounds::empty();
    for (int id : ids) extent.grow(map->brushes[static_cast<size_t>(id)].bounds);
    int axis = 0;
    for (int a = 1; a < 3; ++a)
        if (extent.maxs[a] - extent.mins[a] > extent.maxs[axis] - extent.mins[axis]) axis = a;
    std::vector<float> centres;
    for (int id : ids) {
        const Bounds& b = map->brushes[static_cast<size_t>(id)].bounds;
        centres.push_back(0.5f * (b.mins[axis] + b.maxs[axis]));
    }
    std::nth_element(centres.begin(), centres.begin() + static_cast<long>(centres.size() / 2), centres.end());
    const float split = centres[centres.size() / 2];

    std::vector<int> front, back;
    for (int id : ids) {
        const Bounds& b = map->brushes[static_cast<size_t>(id)].bounds;
        if (b.mins[axis] >= split) {
            front.push_back(id);
        } else if (b.maxs[axis] <= split) {
            back.push_back(id);
        } else {
            front.push_back(id);
            back.push_back(id);
        }
    }
    if (front.size() == ids.size() || back.size() == ids.size()) return leaf();
    const int frontChild = buildTree(map, front, depth + 1);
    const int backChild = buildTree(map, back, depth + 1);
    CollisionNode node;
    node.axis = axis;
    node.distance = split;
    node.frontChild = frontChild;
    node.backChild = backChild;
    map->collisionNodes.push_back(node);
    return static_cast<int>(map->collisionNodes.size()) - 1;
}

std::vector<int> allBrushes(const MapData& map) {
    std::vector<int> ids(map.brushes.size());
    for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<int>(i);
    return ids;
}

const MapData& treeMap() {
    static const MapData map = [] {
        MapData m;
        addRooms(&m);
        m.collisionRoot = buildTree(&m, allBrushes(m), 0);
        return m;
    }();
    return map;
}

// The same brushes in one leaf: every sweep clips every brush.
const MapData& flatMap() {
    static const MapData map = [] {
        MapData m;
        addRooms(&m);
        CollisionNode leaf;
        leaf.brushIndices = allBrushes(m);
        m.collisionNodes.push_back(leaf);
        m.collisionRoot = 0;
        return m;
    }();
    return map;
}

void movementStep(benchmark::State& state, const MapData& map) {
    MapInstance instance;
    instance.map = const_cast<MapData*>(&map);
    Camera camera;  // no scene: the terrain lies far below the rooms anyway
    // In the middle room, resting on its floor, 1/32 in front of its +x wall.
    const float x0 = kCell * (kGrid / 2), z0 = kCell * (kGrid / 2);
    const Vector3 start{x0 + 240 - 8 - 0.03125f, 32.03125f, z0 + 60};
    const Vector3 forwardRight{1, 0, 1};
    const Matrix rotation = Matrix::identity();

    const uint64_t sweeps0 = g_traceSweeps, clips0 = g_traceBrushClips;
    for (auto _ : state) {
        camera.position = start;
        g_fallSpeed = 0.0f;
        camera.move(forwardRight, false, &instance, rotation);
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

// Keeps each run's time per step so the ratio can be printed after the runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nsPerStep;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) nsPerStep[run.benchmark_name()] = run.GetAdjustedRealTime();
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
    const auto tree = reporter.nsPerStep.find("BM_MovementStepSplitTree");
    const auto flat = reporter.nsPerStep.find("BM_MovementStepEveryBrush");
    if (tree != reporter.nsPerStep.end() && flat != reporter.nsPerStep.end() && tree->second > 0) {
        std::printf("split tree vs clipping every brush: %.1f times faster per movement step\n",
                    flat->second / tree->second);
    }
    benchmark::Shutdown();
    return 0;
}
