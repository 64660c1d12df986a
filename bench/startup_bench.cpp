// Start-up on the demo map, headless: the whole viewer process from its start
// to its exit after the first presented frame, against reading the map's two
// files alone (both readers, surfaces into a recording device, no textures),
// each the median of several runs in this process. Then where the rest goes:
// the start-up steps done here in the viewer's order on a headless GL device,
// each timed on its own.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/overlay.h"
#include "figure.h"
#include "image/image.h"
#include "map/collision_reader.h"
#include "process_run.h"
#include "move/camera_update.h"
#include "gpu/gl/gl_device.h"
#include "gpu/recording/recording_device.h"
#include "map/proc_reader.h"
#include "map/light_entities.h"
#include "map/map_source.h"
#include "map/material_definitions.h"
#include "render/shadow_volumes.h"
#include "render/globals.h"
#include "render/map_mesh.h"
#include "render/graphics_device.h"
#include "render/text_font.h"
#include "render/texture_file.h"
#include "gpu/device.h"
#include "vis/render_pass.h"
#include "world/scene.h"
#include "world/terrain.h"
#include "world/standard_placements.h"
#include "support/bare_gl.h"

namespace q {
namespace {

constexpr int kProcessRuns = 7;
constexpr int kStepRuns = 3;

using bench::Clock;
using bench::median;
using bench::secondsSince;

// The viewer with one frame, headless, its output discarded; -1 when it fails.
double viewerRun(const std::string& viewer, const std::string& dir) {
    return bench::timeViewer(viewer, {"--headless", "--frames", "1", "--dir", dir});
}

double readMapFilesAlone() {
    gpu::RecordingDevice device;
    const auto start = Clock::now();
    MapData map;
    MapMesh mesh;
    std::string error;
    const bool ok = readProcFile("bbb.proc", {}, &map, &error) && readCollisionFile("bbb.cm", &map, &error) &&
                    mesh.build(device, map, nullptr, &error);
    const double seconds = secondsSince(start);
    if (!ok) std::fprintf(stderr, "startup_bench: %s\n", error.c_str());
    return ok ? seconds : -1;
}

struct Steps {
    double context = 0, programs = 0, font = 0, terrain = 0, map = 0, frame = 0, teardown = 0;
    double warmTerrain = 0;  // a second terrain, once the driver has made its first mip chain
    double terrainMesh = 0;  // the terrain's heights, normals and indices alone, no device
    double grassTexture = 0; // Grass.bmp read, decoded, uploaded and its mip levels made, warm driver
};

// The viewer's start-up, step by step, in the map's directory.
bool timeSteps(Steps* out) {
    std::string error;
    auto start = Clock::now();
    auto lap = [&start](double* into) {
        *into = secondsSince(start);
        start = Clock::now();
    };
    std::unique_ptr<gpu::Device> backend = gpu::createHeadlessDevice(1024, 768, &error);
    if (!backend) return std::fprintf(stderr, "startup_bench: %s\n", error.c_str()), false;
    bench::finishGl();
    lap(&out->context);

    GraphicsDevice graphics;
    graphics.create(std::move(backend));
    bench::finishGl();
    lap(&out->programs);

    TextFont font;
    const bool haveFont = font.init(graphics.device(), "Arial", 20);
    bench::finishGl();
    lap(&out->font);

    auto* scene = new Scene;
    scene->device = graphics.device();
    scene->graphics = &graphics;
    scene->init();
    scene->terrain->loadTexture({});
    bench::finishGl();
    lap(&out->terrain);

    MapData* map = scene->loadMap("bbb", &error);
    if (!map) return std::fprintf(stderr, "startup_bench: %s\n", error.c_str()), false;
    placeStandardInstances(*scene, map, kStandardInstanceCount);
    bench::finishGl();
    lap(&out->map);

    updateScene(*scene);
    graphics.beginFrame();
    const int areasDrawn = render(*scene);
    if (haveFont) {
        OverlayValues values;
        values.instanceIndex = scene->camera->instanceIndex;
        values.areaIndex = scene->camera->areaIndex;
        values.visibleAreas = areasDrawn;
        values.portalMode = g_portalMode;
        OverlayLines lines;
        buildOverlayLines(values, &lines);
        for (int i = 0; i < lines.count; ++i) font.drawText(0.0f, lines.lines[i].y, lines.lines[i].text, kOverlayColour);
    }
    graphics.endFrame(scene->camera->view, scene->camera->projection, g_portalMode);
    bench::finishGl();
    lap(&out->frame);

    {
        Terrain second(graphics.device(), 128, 128);
        bench::finishGl();
        lap(&out->warmTerrain);
    }
    {
        Terrain meshOnly(nullptr, 128, 128);
        lap(&out->terrainMesh);
    }
    {
        const gpu::DeviceHandle<gpu::Texture> grass = loadTextureFile(*graphics.device(), "Grass.bmp", &error);
        bench::finishGl();
        lap(&out->grassTexture);
    }

    font.release();
    delete scene;
    lap(&out->teardown);
    return true;
}

// Reading and decoding the terrain's image alone, as the terrain does.
double decodeGrassAlone() {
    const auto start = Clock::now();
    TextureImage image;
    std::string error;
    if (!loadTextureImage("Grass.bmp", &image, &error)) {
        std::fprintf(stderr, "startup_bench: %s\n", error.c_str());
        return -1;
    }
    return secondsSince(start);
}

// Start-up of a generated map with its map source against the same map
// without it (--no-entities), the two runs alternating so that drift in the
// machine's load falls on both alike. `what` names the figure, `extra` are
// arguments both runs take (an asset root), `limit` the target ratio. Both
// runs are lit by the camera: a source that places lights would otherwise
// start under them, and the figure would hold the first frame under the
// map's own lights (the lights figure's) besides the reading and placing it
// stands for.
int mapSourceFigure(const std::string& viewer, const std::string& dir, const std::string& map, const std::string& what,
                    const std::vector<std::string>& extra, double limit) {
    constexpr int kRuns = 9;
    std::vector<double> with, without;
    for (int i = 0; i < kRuns; ++i) {
        std::vector<std::string> common{"--headless", "--frames", "1", "--dir", dir, "--map", map, "--light", "camera"};
        common.insert(common.end(), extra.begin(), extra.end());
        std::vector<std::string> left = common;
        left.push_back("--no-entities");
        const double a = bench::timeViewer(viewer, common), b = bench::timeViewer(viewer, left);
        if (a < 0 || b < 0) return std::fprintf(stderr, "startup_bench: %s did not run on %s\n", viewer.c_str(), dir.c_str()), 1;
        with.push_back(a);
        without.push_back(b);
    }
    std::error_code ignored;
    const auto size = [&](const char* extension) {
        return static_cast<double>(std::filesystem::file_size(dir + "/" + map + extension, ignored));
    };
    const double ratio = median(with) / median(without);
    bench::printFigure("start-up with " + what + " (" + map + ", headless)",
                       bench::format("with %s.map (%.1f MB, the .proc %.1f MB) %.0f ms vs without it %.0f ms",
                                     map.c_str(), size(".map") / 1e6, size(".proc") / 1e6, median(with) * 1e3,
                                     median(without) * 1e3),
                       ratio, bench::format("at most %.1fx", limit), bench::verdict(ratio <= limit));
    return 0;
}

// Start-up of a generated map with its lights and the shadow volumes of
// those that cast shadows (mapgen --lights: the volumes read from the .proc,
// the model volumes made and every volume uploaded) against the same map
// generated without them, alternating as above.
int lightsFigure(const std::string& viewer, const std::string& litDir, const std::string& plainDir,
                 const std::string& map) {
    constexpr int kRuns = 9;
    std::vector<double> lit, plain, cameraLight;
    for (int i = 0; i < kRuns; ++i) {
        const double a = bench::timeViewer(viewer, {"--headless", "--frames", "1", "--dir", litDir, "--map", map});
        const double b = bench::timeViewer(viewer, {"--headless", "--frames", "1", "--dir", plainDir, "--map", map});
        const double c = bench::timeViewer(
            viewer, {"--headless", "--frames", "1", "--dir", litDir, "--map", map, "--light", "camera"});
        if (a < 0 || b < 0 || c < 0)
            return std::fprintf(stderr, "startup_bench: %s did not run on %s\n", viewer.c_str(), litDir.c_str()), 1;
        lit.push_back(a);
        plain.push_back(b);
        cameraLight.push_back(c);
    }
    std::error_code ignored;
    const auto megabytes = [&](const std::string& dir) {
        return static_cast<double>(std::filesystem::file_size(dir + "/" + map + ".proc", ignored)) / 1e6;
    };
    const double ratio = median(lit) / median(plain);
    bench::printFigure("start-up with lights and shadow volumes (" + map + ", headless)",
                       bench::format("with mapgen --lights (the .proc %.1f MB) %.0f ms vs without (%.1f MB) %.0f ms",
                                     megabytes(litDir), median(lit) * 1e3, megabytes(plainDir), median(plain) * 1e3),
                       ratio, "give the figure", "-");

    bench::printNote("start-up with lights and shadow volumes (" + map + ", headless)",
                     bench::format("the same map under --light camera (its lights and volumes loaded, the first "
                                   "frame lit by the camera as the plain map's is): %.0f ms, %.2fx the plain map's",
                                   median(cameraLight) * 1e3, median(cameraLight) / median(plain)));
    // Where the difference goes, in this process: the area-portal file read
    // both ways, the map source's lights placed, the volumes uploaded.
    std::vector<double> readLit, readPlain, lights, upload;
    std::string error;
    std::unique_ptr<gpu::Device> device = gpu::createHeadlessDevice(64, 64, &error);
    for (int i = 0; i < 3 && device; ++i) {
        MapData withLights, without;
        auto start = Clock::now();
        if (!readProcFile(litDir + "/" + map + ".proc", {}, &withLights, &error)) break;
        readLit.push_back(secondsSince(start));
        start = Clock::now();
        if (!readProcFile(plainDir + "/" + map + ".proc", {}, &without, &error)) break;
        readPlain.push_back(secondsSince(start));
        start = Clock::now();
        MapSource source;
        readMapSourceBeside(litDir + "/" + map, &source);
        placeLights(source, nullptr, &withLights);
        lights.push_back(secondsSince(start));
        start = Clock::now();
        ShadowVolumes volumes;
        if (!volumes.build(*device, withLights, MaterialDefinitions{}, &error)) break;
        bench::finishGl();
        upload.push_back(secondsSince(start));
    }
    if (upload.size() < 3) return std::fprintf(stderr, "startup_bench: %s\n", error.c_str()), 1;
    bench::printNote("start-up with lights and shadow volumes (" + map + ", headless)",
                     bench::format("of which: the .proc read %.0f ms vs %.0f ms, the map source's lights read and "
                                   "placed %.0f ms, the shadow volumes made and uploaded %.0f ms",
                                   median(readLit) * 1e3, median(readPlain) * 1e3, median(lights) * 1e3,
                                   median(upload) * 1e3));
    return 0;
}

// A whole number the report's JSON gives at the top level (the first "key":
// in the text, ahead of the per-area entries); -1 when missing.
long long reportTotal(const std::string& json, const char* key) {
    const std::string tag = std::string("\"") + key + "\":";
    const size_t at = json.find(tag);
    return at == std::string::npos ? -1 : std::atoll(json.c_str() + at + tag.size());
}

struct ReportCost {
    std::string map;
    double seconds = 0;
    long long areas = 0, eyes = 0, views = 0;
};

// --report on a generated map against --info on the same map (which reads it
// the same way and surveys nothing), alternating; the report is written into
// a scratch directory, and what it surveyed (areas, eyes, views) is read from
// its totals, so that the cost per view shows how the time grows (the
// process start and the map read are in it: on a small map they are most of it).
int reportFigure(const std::string& viewer, const std::string& dir, const std::string& map, ReportCost* cost) {
    constexpr int kRuns = 3;
    const std::string output = (std::filesystem::temp_directory_path() /
                                ("quorvane_report_bench_" + std::to_string(::getpid()) + ".json")).string();
    std::vector<double> report, info;
    for (int i = 0; i < kRuns; ++i) {
        const double a = bench::timeViewer(viewer, {"--dir", dir, "--map", map, "--report", output});
        const double b = bench::timeViewer(viewer, {"--dir", dir, "--map", map, "--info"});
        if (a < 0 || b < 0) return std::fprintf(stderr, "startup_bench: %s did not run on %s\n", viewer.c_str(), dir.c_str()), 1;
        report.push_back(a);
        info.push_back(b);
    }
    std::ifstream in(output);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(output);
    *cost = {map, median(report), reportTotal(json, "areaCount"), reportTotal(json, "eyes"), reportTotal(json, "views")};
    if (cost->areas <= 0 || cost->eyes <= 0 || cost->views <= 0)
        return std::fprintf(stderr, "startup_bench: the report on %s has no areaCount, eyes or views\n", map.c_str()), 1;
    // The target stands for the map of about a thousand areas; grid 64 keeps
    // its own, older one.
    const bool big = cost->areas > 4000;
    const bool target = big || cost->areas > 1000;
    const double limit = big ? 10.0 : 60.0;
    bench::printFigure("--report (" + map + ")",
                       bench::format("--report %.3f s (%lld areas, %lld eyes, %lld views: %.1f us per view) vs "
                                     "--info %.3f s on the same map",
                                     cost->seconds, cost->areas, cost->eyes, cost->views,
                                     cost->seconds / static_cast<double>(cost->views) * 1e6, median(info)),
                       cost->seconds / median(info), target ? bench::format("under %.0f s", limit) : "-",
                       target ? bench::verdict(cost->seconds < limit) : "-");
    return 0;
}

// How the report's cost grows from the smallest map measured to each larger one.
void reportGrowthNote(const std::vector<ReportCost>& costs) {
    for (size_t i = 1; i < costs.size(); ++i) {
        const ReportCost& a = costs.front();
        const ReportCost& b = costs[i];
        const auto times = [](double x, double y) { return y > 0 ? x / y : 0.0; };
        bench::printNote("--report (" + b.map + ")",
                         bench::format("against %s: %.1fx the areas, %.1fx the eyes, %.1fx the views, %.1fx the "
                                       "seconds; per view %.2fx",
                                       a.map.c_str(), times(b.areas, a.areas), times(b.eyes, a.eyes),
                                       times(b.views, a.views), times(b.seconds, a.seconds),
                                       times(b.seconds / b.views, a.seconds / a.views)));
    }
}

// The comma-separated parts of an option's value.
std::vector<std::string> commaList(const std::string& text) {
    std::vector<std::string> parts;
    for (size_t at = 0; at <= text.size();) {
        const size_t comma = std::min(text.find(',', at), text.size());
        parts.push_back(text.substr(at, comma - at));
        at = comma + 1;
    }
    return parts;
}

int run(const std::string& viewer, const std::string& dir) {
    std::vector<double> process, files;
    for (int i = 0; i < kProcessRuns; ++i) {
        const double seconds = viewerRun(viewer, dir);
        if (seconds < 0) return std::fprintf(stderr, "startup_bench: %s did not run on %s\n", viewer.c_str(), dir.c_str()), 1;
        process.push_back(seconds);
    }
    std::filesystem::current_path(dir);
    for (int i = 0; i < kProcessRuns; ++i) {
        const double seconds = readMapFilesAlone();
        if (seconds < 0) return 1;
        files.push_back(seconds);
    }
    std::vector<double> grass;
    for (int i = 0; i < kProcessRuns; ++i) {
        const double seconds = decodeGrassAlone();
        if (seconds < 0) return 1;
        grass.push_back(seconds);
    }
    std::vector<Steps> runs(kStepRuns);
    for (Steps& s : runs)
        if (!timeSteps(&s)) return 1;
    auto stepMedian = [&runs](double Steps::*field) {
        std::vector<double> values;
        for (const Steps& s : runs) values.push_back(s.*field);
        return median(values);
    };

    const double whole = median(process), alone = median(files);
    bench::printFigure("start-up (demo, headless)",
                       bench::format("process start to exit after the first frame %.0f ms vs reading the two map "
                                     "files %.1f ms",
                                     whole * 1e3, alone * 1e3),
                       whole / alone, "say where the rest goes", "-");
    struct Row {
        const char* what;
        double seconds;
    };
    const Row rows[] = {
        {"GL context and device (EGL, Mesa)", stepMedian(&Steps::context)},
        {"programs (GLSL compile: lighting, lines)", stepMedian(&Steps::programs)},
        {"font (fontconfig, FreeType, glyph texture)", stepMedian(&Steps::font)},
        {"scene: camera and terrain (Grass.bmp)", stepMedian(&Steps::terrain)},
        {"map load: both files, surfaces into GL buffers, material JPEGs", stepMedian(&Steps::map)},
        {"first frame (update, render, overlay, present, GL finish)", stepMedian(&Steps::frame)},
        {"teardown", stepMedian(&Steps::teardown)},
    };
    const double terrain = stepMedian(&Steps::terrain), grassAlone = median(grass);
    bench::printFigure("start-up terrain step (Grass.bmp)",
                       bench::format("camera and terrain %.1f ms vs reading and decoding Grass.bmp alone %.2f ms",
                                     terrain * 1e3, grassAlone * 1e3),
                       terrain / grassAlone, "at most 1.5x", bench::verdict(terrain / grassAlone <= 1.5));
    const double warm = stepMedian(&Steps::warmTerrain);
    bench::printNote("start-up terrain step (Grass.bmp)",
                     bench::format("the same step again once the GL driver has made its first mip chain (its "
                                   "one-off start-up, which the first texture with mip levels pays): %.1f ms, "
                                   "%.2fx the decoding",
                                   warm * 1e3, warm / grassAlone));
    const double mesh = stepMedian(&Steps::terrainMesh), texture = stepMedian(&Steps::grassTexture);
    bench::printNote("start-up terrain step (Grass.bmp)",
                     bench::format("its parts: the driver's one-off %.1f ms; then the mesh (heights, normals, "
                                   "indices) %.2f ms, Grass.bmp read, decoded, uploaded and its mip levels made "
                                   "by the GPU %.2f ms (%.1fx the decoding alone), the two buffers the rest",
                                   (terrain - warm) * 1e3, mesh * 1e3, texture * 1e3, texture / grassAlone));
    double inProcess = 0;
    for (const Row& row : rows) {
        inProcess += row.seconds;
        bench::printNote("start-up (demo, headless)",
                         bench::format("%s: %.1f ms (%.0f%%)", row.what, row.seconds * 1e3, 100 * row.seconds / whole));
    }
    bench::printNote("start-up (demo, headless)",
                     bench::format("the rest, outside these steps (exec, dynamic linking, driver loading, exit): "
                                   "%.1f ms (%.0f%%)",
                                   (whole - inProcess) * 1e3, 100 * (whole - inProcess) / whole));
    return 0;
}

}  // namespace
}  // namespace q

int main(int argc, char** argv) {
    std::string viewer, dir;
    if (!q::bench::takeViewerAndDir(&argc, argv, "startup_bench --viewer=QUORVANE --dir=DEMO_MAP_DIR", &viewer,
                                    &dir)) {
        return 2;
    }
    // --entities-dir=DIR --entities-map=NAME: a generated map with its map
    // source, for the start-up figure with the source against without it.
    const char* entitiesDir = q::bench::takeOption(&argc, argv, "--entities-dir");
    const char* entitiesMap = q::bench::takeOption(&argc, argv, "--entities-map");
    if (entitiesDir && entitiesMap &&
        q::mapSourceFigure(viewer, std::filesystem::absolute(entitiesDir).string(), entitiesMap, "the map source", {},
                           1.1) != 0)
        return 1;
    // --meshes-dir=DIR --meshes-map=NAME: a generated map whose entities
    // place mesh models (mapgen --mesh-count 1000: 1,000 placements of 20
    // files besides the 14 of --meshes and --entities), its asset root DIR.
    const char* meshesDir = q::bench::takeOption(&argc, argv, "--meshes-dir");
    const char* meshesMap = q::bench::takeOption(&argc, argv, "--meshes-map");
    if (meshesDir && meshesMap) {
        const std::string root = std::filesystem::absolute(meshesDir).string();
        if (q::mapSourceFigure(viewer, root, meshesMap, "1,000 mesh placements of 20 files", {"--assets", root},
                               1.3) != 0)
            return 1;
    }
    // --lights-dir=DIR --plain-dir=DIR --lights-map=NAME: a generated map
    // with lights and without, for the start-up figure of the lights.
    const char* lightsDir = q::bench::takeOption(&argc, argv, "--lights-dir");
    const char* plainDir = q::bench::takeOption(&argc, argv, "--plain-dir");
    const char* lightsMap = q::bench::takeOption(&argc, argv, "--lights-map");
    if (lightsDir && plainDir && lightsMap &&
        q::lightsFigure(viewer, std::filesystem::absolute(lightsDir).string(),
                        std::filesystem::absolute(plainDir).string(), lightsMap) != 0)
        return 1;
    // --report-dir=DIR,... --report-map=NAME,...: generated maps of growing
    // size, for the report's time against --info's on each and its growth.
    const char* reportDirs = q::bench::takeOption(&argc, argv, "--report-dir");
    const char* reportMaps = q::bench::takeOption(&argc, argv, "--report-map");
    if (reportDirs && reportMaps) {
        const std::vector<std::string> dirs = q::commaList(reportDirs), maps = q::commaList(reportMaps);
        if (dirs.size() != maps.size()) {
            std::fprintf(stderr, "startup_bench: --report-dir and --report-map need as many entries each\n");
            return 2;
        }
        std::vector<q::ReportCost> costs(dirs.size());
        for (size_t i = 0; i < dirs.size(); ++i)
            if (q::reportFigure(viewer, std::filesystem::absolute(dirs[i]).string(), maps[i], &costs[i]) != 0) return 1;
        q::reportGrowthNote(costs);
    }
    return q::run(viewer, dir);
}
