// Map loading: the area-portal and collision readers against plain fscanf
// readers written from the same patterns, on a generated area-portal file of
// more than 20 MB and its collision file (bench/run passes the mapgen grid 64
// files with --proc= and --cm=; without them an area-portal file is generated
// here and the collision readers are not compared). Both fill the same MapData
// (compared, vertex bytes included); the figure that matters is the ratio
// printed at the end. Building the map's GPU side from it is timed apart.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include <time.h>

#include "figure.h"
#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/name_text.h"
#include "map/proc_reader.h"
#include "gpu/recording/recording_device.h"
#include "render/globals.h"
#include "render/map_mesh.h"

namespace {

using namespace q;

// ---------------------------------------------------------------------------
// A generated area-portal file shaped like a compiled one: area models with
// many surfaces, portals, a node block.

std::string g_path;
std::string g_collisionPath;  // empty: the collision readers are not compared

void appendNumber(std::string* out, float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g ", static_cast<double>(value));
    *out += text;
}

void generateFile(const std::string& path, size_t atLeastBytes) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> coordinate(-4096.0f, 4096.0f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    constexpr int kSurfaces = 10, kVertices = 240, kIndexes = 360;
    const int areaCount = static_cast<int>(atLeastBytes / (kSurfaces * kVertices * 46)) + 1;

    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::string text = "mapProcFile003\n\n";
    for (int a = 0; a < areaCount; ++a) {
        text += "model { /* name = */ \"_area" + std::to_string(a) + "\" /* numSurfaces = */ " +
                std::to_string(kSurfaces) + "\n\n";
        for (int s = 0; s < kSurfaces; ++s) {
            text += "/* surface " + std::to_string(s) + " */ { \"textures/base/m" + std::to_string(s) +
                    "\" /* numVerts = */ " + std::to_string(kVertices) + " /* numIndexes = */ " +
                    std::to_string(kIndexes) + "\n";
            for (int v = 0; v < kVertices; ++v) {
                text += "( ";
                for (int k = 0; k < 3; ++k) appendNumber(&text, std::round(coordinate(random) * 100) / 100);
                appendNumber(&text, unit(random));
                appendNumber(&text, unit(random));
                text += (v % 3 == 0) ? "0.0039215675 -0.7071067691 0.7071067691 ) " : "0 0 1 ) ";
                if (v % 3 == 2) text += "\n";
            }
            for (int i = 0; i < kIndexes; ++i) {
                text += std::to_string(static_cast<int>(random() % kVertices)) + " ";
                if (i % 24 == 23) text += "\n";
            }
            text += "}\n\n";
        }
        text += "}\n\n";
        std::fwrite(text.data(), 1, text.size(), file);
        text.clear();
    }
    const int portals = areaCount - 1;
    text += "interAreaPortals { /* numAreas = */ " + std::to_string(areaCount) + " /* numIAP = */ " +
            std::to_string(portals) +
            "\n\n/* interAreaPortal format is: numPoints positiveSideArea negativeSideArea ( point) ... */\n";
    for (int p = 0; p < portals; ++p) {
        const float x = static_cast<float>(p * 64);
        char line[256];
        std::snprintf(line, sizeof line,
                      "/* iap %d */ 4 %d %d ( %g 0 0 ) ( %g 0 128 ) ( %g 128 128 ) ( %g 128 0 ) \n", p, p, p + 1,
                      static_cast<double>(x), static_cast<double>(x), static_cast<double>(x), static_cast<double>(x));
        text += line;
    }
    text += "}\n\nnodes { /* numNodes = */ " + std::to_string(areaCount) +
            "\n\n/* node format is: ( planeVector ) positiveChild negativeChild */\n"
            "/* a child number of 0 is an opaque, solid area */\n"
            "/* negative child numbers are areas: (-1-child) */\n";
    for (int n = 0; n < areaCount; ++n) {
        const int next = n + 1 < areaCount ? n + 1 : 0;
        text += "/* node " + std::to_string(n) + " */ ( 1 0 0 " + std::to_string(-64 * n) + " ) " +
                std::to_string(next) + " " + std::to_string(-1 - n) + "\n";
    }
    text += "}\n\n";
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

// ---------------------------------------------------------------------------
// The plain reader: fscanf with the same patterns, trusting the file, writing
// into the same arrays of the model.

std::unordered_map<std::string, int> g_fscanfMaterials;

void fscanfSurfaces(std::FILE* f, MapData* map, Area* area, int count) {
    SurfaceGroup group;
    for (int i = 0; i < count; ++i) {
        int number = 0, vertexCount = 0, indexCount = 0;
        char material[128];
        std::fscanf(f, " /* surface %d */ { %s /* numVerts = */ %d /* numIndexes = */ %d ", &number, material,
                    &vertexCount, &indexCount);
        stripQuotes(trimBlanks(material));
        Surface s;
        s.vertexCount = vertexCount;
        s.indexCount = indexCount;
        s.firstVertex = static_cast<uint32_t>(map->vertices.size());
        s.firstIndex = static_cast<uint32_t>(map->indices.size());
        const auto [known, added] = g_fscanfMaterials.try_emplace(material, static_cast<int>(map->materials.size()));
        if (added) map->materials.push_back({material, {}, {}});
        s.material = known->second;
        map->vertices.resize(map->vertices.size() + static_cast<size_t>(vertexCount));
        float* v = reinterpret_cast<float*>(map->vertices.data() + s.firstVertex);
        for (int k = 0; k < vertexCount; ++k, v += 8)
            std::fscanf(f, "( %f %f %f %f %f %f %f %f ) ", &v[0], &v[2], &v[1], &v[6], &v[7], &v[3], &v[5], &v[4]);
        map->indices.resize(map->indices.size() + static_cast<size_t>(indexCount));
        uint16_t* out = map->indices.data() + s.firstIndex;
        for (int k = 0; k < indexCount; ++k) {
            int index = 0;
            std::fscanf(f, "%d ", &index);
            indices[k] = static_cast<uint16_t>(index);
        }
        std::fscanf(f, "} ");
        group.surfaces.push_back(std::move(s));
    }
    std::fscanf(f, "} ");
    area->surfaceGroups.push_back(std::move(group));
}

void fscanfProcFile(const char* path, MapData* map) {
    g_fscanfMaterials.clear();
    std::FILE* f = std::fopen(path, "r");
    std::fscanf(f, "mapProcFile003 ");
    int areaNumber = 0;
    char token[128];
    for (;;) {
        if (std::fscanf(f, " %s ", token) != 1) break;
        if (std::strstr(token, "model")) {
            char name[32];
            int count = 0;
            std::fscanf(f, " { /* name = */ %s /* numSurfaces = */ %d", name, &count);
            stripQuotes(trimBlanks(name));
            std::sscanf(name, "_area%d", &areaNumber);
            if (!map->areas.empty() && static_cast<unsigned>(areaNumber) < map->areas.size()) {
                fscanfSurfaces(f, map, &map->areas[static_cast<size_t>(areaNumber)], count);
            } else {
                map->areas.emplace_back();
                fscanfSurfaces(f, map, &map->areas.back(), count);
            }
        } else if (std::strstr(token, "interAreaPortals")) {
            int areas = 0, count = 0;
            std::fscanf(f,
                        " { /* numAreas = */ %d /* numIAP = */ %d /* interAreaPortal format is: numPoints "
                        "positiveSideArea negativeSideArea ( point) ... */",
                        &areas, &count);
            for (int i = 0; i < count; ++i) {
                Portal p;
                int number = 0, points = 0;
                std::fscanf(f, " /* iap %d */ %d %d %d", &number, &points, &p.positiveArea, &p.negativeArea);
                for (int k = 0; k < points; ++k) {
                    float x, y, z;
                    std::fscanf(f, " ( %f %f %f ) ", &x, &y, &z);
                    p.points.push_back({x, z, y});
                }
                const int index = static_cast<int>(map->portals.size());
                map->areas[static_cast<size_t>(p.positiveArea)].addPortal(index);
                map->areas[static_cast<size_t>(p.negativeArea)].addPortal(index);
                p.computePlane("bench");
                map->portals.push_back(std::move(p));
            }
            std::fscanf(f, " }");
        } else if (std::strstr(token, "nodes")) {
            int count = 0;
            std::fscanf(f,
                        " { /* numNodes = */ %d /* node format is: ( planeVector ) positiveChild negativeChild */ "
                        "/* a child number of 0 is an opaque, solid area */ /* negative child numbers are areas: "
                        "(-1-child) */ ",
                        &count);
            for (int i = 0; i < count; ++i) {
                int number = 0;
                float a, b, c, d;
                BspNode n;
                std::fscanf(f, " /* node %d */ ( %f %f %f %f ) %d %d ", &number, &a, &b, &c, &d, &n.positiveChild,
                            &n.negativeChild);
                n.plane = {a, c, b, d};  // file z up: b and c exchanged
                map->bspNodes.push_back(n);
            }
            std::fscanf(f, " } ");
        }
        if (std::feof(f)) break;
    }
    std::fclose(f);
}

// The plain collision reader: fscanf with the same patterns, trusting the file.

int fscanfCollisionNode(std::FILE* f, MapData* map) {
    CollisionNode node;
    std::fscanf(f, " ( %d %f ) ", &node.axis, &node.distance);
    if (node.axis == 1) node.axis = 2;
    else if (node.axis == 2) node.axis = 1;
    if (node.axis >= 0) {
        node.frontChild = fscanfCollisionNode(f, map);
        node.backChild = fscanfCollisionNode(f, map);
    }
    map->collisionNodes.push_back(std::move(node));
    return static_cast<int>(map->collisionNodes.size()) - 1;
}

void fscanfBrush(std::FILE* f, MapData* map, int sideCount) {
    Brush brush;
    std::fscanf(f, " { ");
    for (int i = 0; i < sideCount; ++i) {
        float a, b, c, d;
        std::fscanf(f, " ( %f %f %f ) %f ", &a, &b, &c, &d);
        brush.planes.push_back({a, c, b, d});
    }
    std::fscanf(f, " } ");
    float lo[3], hi[3];
    char word[64];
    std::fscanf(f, " ( %f %f %f ) ( %f %f %f ) %s ", &lo[0], &lo[1], &lo[2], &hi[0], &hi[1], &hi[2], word);
    brush.bounds.mins = {lo[0], lo[2], lo[1]};
    brush.bounds.maxs = {hi[0], hi[2], hi[1]};
    map->bounds.grow(brush.bounds.mins);
    map->bounds.grow(brush.bounds.maxs);
    map->brushes.push_back(std::move(brush));
    linkBrush(map, static_cast<int>(map->brushes.size()) - 1, static_cast<int>(map->collisionNodes.size()) - 1);
}

void fscanfCollisionFile(const char* path, MapData* map) {
    std::FILE* f = std::fopen(path, "r");
    char token[128];
    for (;;) {
        if (std::fscanf(f, " %s ", token) != 1) break;
        if (std::strstr(token, "nodes")) {
            std::fscanf(f, " { ");
            const int root = fscanfCollisionNode(f, map);
            if (map->collisionRoot < 0) map->collisionRoot = root;
            std::fscanf(f, " } ");
        } else if (std::strstr(token, "brushes")) {
            int memory = 0;
            std::fscanf(f, " /* brushMemory = */ %d { ", &memory);
            char count[64];
            while (std::fscanf(f, " %s ", count) == 1 && !std::strchr(count, '}'))
                fscanfBrush(f, map, std::atoi(count));
        }
        if (std::feof(f)) break;
    }
    std::fclose(f);
}

// ---------------------------------------------------------------------------

bool sameCollision(const MapData& a, const MapData& b, std::string* why) {
    if (a.collisionRoot != b.collisionRoot || a.collisionNodes.size() != b.collisionNodes.size())
        return *why = "collision node count or root", false;
    for (size_t i = 0; i < a.collisionNodes.size(); ++i) {
        const CollisionNode &x = a.collisionNodes[i], &y = b.collisionNodes[i];
        if (x.axis != y.axis || x.frontChild != y.frontChild || x.backChild != y.backChild ||
            std::memcmp(&x.distance, &y.distance, sizeof(float)) != 0 || x.brushIndices != y.brushIndices)
            return *why = "collision node " + std::to_string(i), false;
    }
    if (a.brushes.size() != b.brushes.size()) return *why = "brush count", false;
    for (size_t i = 0; i < a.brushes.size(); ++i) {
        const Brush &x = a.brushes[i], &y = b.brushes[i];
        if (std::memcmp(&x.bounds, &y.bounds, sizeof(Bounds)) != 0 || x.planes.size() != y.planes.size() ||
            std::memcmp(x.planes.data(), y.planes.data(), x.planes.size() * sizeof(Plane)) != 0)
            return *why = "brush " + std::to_string(i), false;
    }
    if (std::memcmp(&a.bounds, &b.bounds, sizeof(Bounds)) != 0) return *why = "map bounds", false;
    return true;
}

bool sameMap(const MapData& a, const MapData& b, std::string* why) {
    if (a.areas.size() != b.areas.size()) return *why = "area count", false;
    for (size_t i = 0; i < a.areas.size(); ++i) {
        const Area &x = a.areas[i], &y = b.areas[i];
        if (x.portalIndices != y.portalIndices || x.surfaceGroups.size() != y.surfaceGroups.size())
            return *why = "area " + std::to_string(i), false;
        for (size_t g = 0; g < x.surfaceGroups.size(); ++g) {
            const auto &sx = x.surfaceGroups[g].surfaces, &sy = y.surfaceGroups[g].surfaces;
            if (sx.size() != sy.size()) return *why = "group size", false;
            for (size_t s = 0; s < sx.size(); ++s)
                if (std::memcmp(&sx[s], &sy[s], sizeof(Surface)) != 0 ||
                    a.materials[static_cast<size_t>(sx[s].material)].name !=
                        b.materials[static_cast<size_t>(sy[s].material)].name)
                    return *why = "surface " + std::to_string(s) + " of area " + std::to_string(i), false;
        }
    }
    if (a.vertices.size() != b.vertices.size() ||
        std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(MapVertex)) != 0 ||
        a.indices != b.indices)
        return *why = "vertex or index arrays", false;
    if (a.portals.size() != b.portals.size()) return *why = "portal count", false;
    for (size_t i = 0; i < a.portals.size(); ++i)
        if (a.portals[i].points.size() != b.portals[i].points.size() ||
            std::memcmp(a.portals[i].points.data(), b.portals[i].points.data(),
                        a.portals[i].points.size() * sizeof(Vector3)) != 0 ||
            std::memcmp(&a.portals[i].plane, &b.portals[i].plane, sizeof(Plane)) != 0 ||
            a.portals[i].positiveArea != b.portals[i].positiveArea)
            return *why = "portal " + std::to_string(i), false;
    if (a.bspNodes.size() != b.bspNodes.size() ||
        std::memcmp(a.bspNodes.data(), b.bspNodes.data(), a.bspNodes.size() * sizeof(BspNode)) != 0)
        return *why = "nodes", false;
    return true;
}

// The readers are timed in rounds: each round reads both files with our
// readers and with the fscanf ones, alternating which goes first, and the ratio
// is the median of the rounds' ratios. Reads that follow each other meet the
// same load from whatever else shares the machine, where one reader timed for
// a second and then the other would not.
constexpr int kRounds = 15;

struct RoundTimes {
    double ourProc = 0, ourCollision = 0, theirProc = 0, theirCollision = 0;
    double ours() const { return ourProc + ourCollision; }
    double theirs() const { return theirProc + theirCollision; }
};
std::vector<RoundTimes> g_rounds;

// This thread's processor time in seconds.
double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One read into a fresh MapData. Freeing what was read is not part of
// loading and is left out of the time, for every reader alike.
template <class Read>
double timeRead(Read read) {
    auto map = std::make_unique<MapData>();
    const double start = cpuSeconds();
    read(*map);
    const double seconds = cpuSeconds() - start;
    map.reset();
    return seconds;
}

void BM_LoadRounds(benchmark::State& state) {
    const bool withCollision = !g_collisionPath.empty();
    auto readOurs = [&](RoundTimes& round) {
        round.ourProc = timeRead([&](MapData& map) {
            std::string error;
            if (!readProcFile(g_path, {}, &map, &error)) state.SkipWithError(error.c_str());
        });
        if (withCollision)
            round.ourCollision = timeRead([&](MapData& map) {
                std::string error;
                if (!readCollisionFile(g_collisionPath.c_str(), &map, &error)) state.SkipWithError(error.c_str());
            });
    };
    auto readTheirs = [&](RoundTimes& round) {
        round.theirProc = timeRead([&](MapData& map) { fscanfProcFile(g_path.c_str(), &map); });
        if (withCollision)
            round.theirCollision = timeRead([&](MapData& map) { fscanfCollisionFile(g_collisionPath.c_str(), &map); });
    };
    for (auto _ : state) {
        RoundTimes round;
        if (g_rounds.size() % 2 == 0) {
            readOurs(round);
            readTheirs(round);
        } else {
            readTheirs(round);
            readOurs(round);
        }
        g_rounds.push_back(round);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(g_path)));
}

BENCHMARK(BM_LoadRounds)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// What each round gives, lowest first.
template <class Of>
std::vector<double> perRound(Of of) {
    std::vector<double> values;
    for (const RoundTimes& round : g_rounds) values.push_back(of(round));
    std::sort(values.begin(), values.end());
    return values;
}

double medianOf(const std::vector<double>& sorted) {
    const size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

template <class Of>
double medianOf(Of of) {
    return medianOf(perRound(of));
}

}  // namespace

int main(int argc, char** argv) {
    const char* procArgument = q::bench::takeOption(&argc, argv, "--proc");
    const char* cmArgument = q::bench::takeOption(&argc, argv, "--cm");
    const bool generated = procArgument == nullptr;
    if (generated) {
        g_path = (std::filesystem::temp_directory_path() / "quorvane_load_bench.proc").string();
        generateFile(g_path, 20u << 20);
    } else {
        g_path = procArgument;
    }
    if (cmArgument) g_collisionPath = cmArgument;
    std::error_code sizeError;
    const auto bytes = std::filesystem::file_size(g_path, sizeError);
    const auto collisionBytes = g_collisionPath.empty() ? 0 : std::filesystem::file_size(g_collisionPath, sizeError);
    if (sizeError) {
        std::fprintf(stderr, "load_bench: %s\n", sizeError.message().c_str());
        return 1;
    }
    std::printf("area-portal file %s: %.1f MB\n", g_path.c_str(), static_cast<double>(bytes) / (1 << 20));

    std::string sameness;
    {
        MapData ours, theirs;
        std::string error;
        if (!readProcFile(g_path, {}, &ours, &error) ||
            (!g_collisionPath.empty() && !readCollisionFile(g_collisionPath.c_str(), &ours, &error))) {
            std::fprintf(stderr, "pattern reader failed: %s\n", error.c_str());
            return 1;
        }
        fscanfProcFile(g_path.c_str(), &theirs);
        if (!g_collisionPath.empty()) fscanfCollisionFile(g_collisionPath.c_str(), &theirs);
        std::string why;
        if (!sameMap(ours, theirs, &why) || !sameCollision(ours, theirs, &why)) {
            std::fprintf(stderr, "the readers disagree: %s\n", why.c_str());
            return 1;
        }
        sameness = q::bench::format("identical MapData from both: %zu areas, %zu portals, %zu area nodes, "
                                    "%zu brushes, %zu collision nodes",
                                    ours.areas.size(), ours.portals.size(), ours.bspNodes.size(),
                                    ours.brushes.size(), ours.collisionNodes.size());
        // The GPU side built from the model, on the recording device: a few
        // buffers, however many surfaces.
        gpu::RecordingDevice device;
        MapMesh mesh;
        const double start = cpuSeconds();
        if (!mesh.build(device, ours, nullptr, &error)) {
            std::fprintf(stderr, "mesh build failed: %s\n", error.c_str());
            return 1;
        }
        const double seconds = cpuSeconds() - start;
        sameness += q::bench::format("\nmesh built from it: %zu buffer pairs for %zu vertices, %zu indices, "
                                     "%zu materials, in %.1f ms (recording device)",
                                     mesh.bufferCount(), ours.vertices.size(), ours.indices.size(),
                                     ours.materials.size(), seconds * 1000.0);
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (generated) std::filesystem::remove(g_path);
    if (g_rounds.empty()) return 1;

    auto ratio = [](double theirs, double ours) { return ours > 0 ? theirs / ours : 0.0; };
    const std::vector<double> ratios = perRound([&](const RoundTimes& r) { return ratio(r.theirs(), r.ours()); });
    const double median = medianOf(ratios);
    const double ours = medianOf([](const RoundTimes& r) { return r.ours(); });
    const double theirs = medianOf([](const RoundTimes& r) { return r.theirs(); });
    q::bench::printFigure(
        "load",
        q::bench::format("%.1f MB .proc + %.1f MB .cm: pattern readers %.0f ms vs fscanf readers %.0f ms CPU "
                         "(medians of %zu rounds)",
                         static_cast<double>(bytes) / (1 << 20), static_cast<double>(collisionBytes) / (1 << 20),
                         ours * 1e3, theirs * 1e3, g_rounds.size()),
        median, ">= 5x, identical MapData", q::bench::verdict(median >= 5.0));
    q::bench::printNote("load", sameness);
    q::bench::printNote("load", q::bench::format("ratio per round: median %.2fx, lowest %.2fx, highest %.2fx",
                                                 median, ratios.front(), ratios.back()));
    const double ourProc = medianOf([](const RoundTimes& r) { return r.ourProc; });
    const double theirProc = medianOf([](const RoundTimes& r) { return r.theirProc; });
    q::bench::printNote("load", q::bench::format("area-portal file alone: %.1fx (%.1f ms vs %.0f ms)",
                                                 ratio(theirProc, ourProc), ourProc * 1e3, theirProc * 1e3));
    if (!g_collisionPath.empty()) {
        const double ourCollision = medianOf([](const RoundTimes& r) { return r.ourCollision; });
        const double theirCollision = medianOf([](const RoundTimes& r) { return r.theirCollision; });
        q::bench::printNote("load", q::bench::format("collision file alone: %.1fx (%.1f ms vs %.1f ms)",
                                                     ratio(theirCollision, ourCollision), ourCollision * 1e3,
                                                     theirCollision * 1e3));
    }
    return 0;
}
