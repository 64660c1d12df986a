#include "app/main_entry.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "app/application.h"
#include "app/command_line.h"
#include "app/frame_trace.h"
#include "app/input_script.h"
#include "app/map_info.h"
#include "app/path_options.h"
#include "app/screenshot.h"
#include "app/scripted_window.h"
#include "app/visibility_report.h"
#include "gpu/gl/gl_device.h"
#include "image/image.h"
#include "platform/output_file.h"
#include "platform/reachable_directory.h"
#include "platform/report.h"
#include "platform/window.h"
#include "render/graphics_device.h"
#include "world/camera.h"
#include "world/player_start.h"
#include "world/scene.h"
#include "world/standard_placements.h"
#include "world/standing_point.h"

namespace q {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

SteppedClock* g_reportClock = nullptr;  // the simulated clock the reports read, if any
Window* g_boxWindow = nullptr;          // the window a report's box is shown over, if any

int failWith(int code, const std::string& message) {
    std::fprintf(stderr, "quorvane: %s\n", message.c_str());
    return code;
}

// A failure once the window is up ends the run before it shows anything: in
// an interactive run its box says why the window goes away.
int failAtStart(int code, const std::string& message) {
    reportStartFailure(message.c_str(), "quorvane");
    return code;
}

// File options name places relative to where the viewer was started, even when
// --dir moves the working directory to the map. Without --dir a relative path
// stays relative: it works however deep the working directory is.
std::string fromStartDirectory(const std::string& path, const Options& options) {
    return options.dir.empty() ? path : reachableDirectory(path);
}

// The camera's eye over a floor it stands on: its box rests a unit above.
float eyeAboveFloor() { return Camera().box.maxs.y + 1.0f; }

std::string areaRange(const MapData& map) {
    return "the map has areas 0 to " + std::to_string(map.areas.size() - 1);
}

// Where --area puts the camera: standing on a floor of the area in the first
// copy, in world space.
bool standInArea(const MapData& map, const AreaFloors& floors, int area, const MapInstance& firstCopy,
                 Vector3* eye, float* yaw, std::string* error) {
    if (static_cast<size_t>(area) >= map.areas.size()) {
        *error = "--area " + std::to_string(area) + ": no such area; " + areaRange(map);
        return false;
    }
    Vector3 local;
    if (!findStandingPoint(map, floors, area, eyeAboveFloor(), &local)) {
        *error = "--area " + std::to_string(area) + ": no floor to stand on in that area (an upward-facing "
                 "surface with the area's open space above it); " + areaRange(map) + " (--info lists them)";
        return false;
    }
    *eye = transformCoord(local, firstCopy.world);
    *yaw = firstCopy.yaw + yawIntoArea(map, floors, area, local);
    return true;
}

bool enterMapDirectory(const Options& options, std::string* error) {
    if (options.dir.empty() || ::chdir(options.dir.c_str()) == 0) return true;
    *error = "--dir expects a directory holding the map: cannot enter '" + options.dir + "' (" +
             std::strerror(errno) + ")";
    return false;
}

void printSummary(const Application& app) {
    const uint32_t spanMs = app.lastFrameMs - app.firstFrameMs;
    const double meanFps = (app.framesRun > 1 && spanMs > 0) ? (app.framesRun - 1) * 1000.0 / spanMs : 0.0;
    int instance = -1, area = -1;  // outside every copy there is no area, as in the trace
    if (app.scene && app.scene->camera && app.scene->camera->instanceIndex >= 0) {
        instance = app.scene->camera->instanceIndex;
        area = app.scene->camera->areaIndex;
    }
    std::printf("quorvane: %s, mean fps %.1f, last instance %d, area %d\n",
                countOf(app.framesRun, "frame", "frames").c_str(), meanFps, instance, area);
}

// Every file a scene's load read, or a reload will read: the map's files
// (its source too, there yet or not), the terrain's image where it is looked
// for, every material image opened (used or refused) and the asset roots'
// definition files and archives.
std::vector<std::string> filesTheSceneReads(const Options& options, const Scene& scene) {
    const std::filesystem::path mapDir = std::filesystem::path(options.mapBase).parent_path();
    std::vector<std::string> files{options.mapBase + ".proc", options.mapBase + ".cm", options.mapBase + ".map",
                                   (mapDir / Terrain::kTextureFile).string(), Terrain::kTextureFile};
    for (const TextureEntry& texture : scene.textures) files.push_back(texture.file);
    files.insert(files.end(), scene.imageFilesOpened.begin(), scene.imageFilesOpened.end());
    const std::vector<std::string>& definitions = scene.materialLibrary.filesRead();
    files.insert(files.end(), definitions.begin(), definitions.end());
    return files;
}

// Why an output may not be written where its path leads: it names an input.
std::string outputClash(const char* option, const std::string& output, const std::string& input) {
    return std::string(option) + " '" + output + "' names " + input +
           ", which this run reads: choose another file (it is left as it was)";
}

// Why an output (--trace, --screenshot) may not be written where its path
// leads: it names one of the files given (relative to the working directory
// now), which the run reads, however it is named. Empty when it names none.
std::string outputNamingAnInput(const Options& options, const FrameTrace& trace, const OutputFile& screenshot,
                                const std::vector<std::string>& inputs, const std::string& inputsAre = "") {
    for (const std::string& input : inputs) {
        const std::string what = inputsAre.empty() ? "'" + input + "'" : inputsAre;
        if (!options.traceFile.empty() && trace.names(input)) return outputClash("--trace", options.traceFile, what);
        if (!options.screenshotFile.empty() && screenshot.names(input))
            return outputClash("--screenshot", options.screenshotFile, what);
    }
    return {};
}

}  // namespace

int runViewer(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseCommandLine(argc, argv, &options, &error)) return failWith(kExitUsage, error);
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (!checkPathOptions(options, &error)) return failWith(kExitUsage, error);

    std::vector<std::string> textureDirs;
    for (const std::string& dir : options.textureDirs) textureDirs.push_back(fromStartDirectory(dir, options));
    std::vector<std::string> assetDirs;
    for (const std::string& dir : options.assetDirs) assetDirs.push_back(fromStartDirectory(dir, options));

    if (options.info) {
        if (!enterMapDirectory(options, &error)) return failWith(kExitUsage, error);
        if (printMapInfo(options.mapBase, textureDirs, assetDirs, options.json, eyeAboveFloor(), {options.maxImageSide, options.imageBudgetMiB << 20}, stdout,
                         &error, !options.noEntities) != 0)
            return failWith(kExitFailure, error);
        return 0;
    }

    if (!options.reportFile.empty()) {
        // Found relative to where the viewer was started; written only once
        // complete, and never over one of the map's own files.
        OutputFile report;
        if (!report.prepare(options.reportFile, &error)) return failWith(kExitUsage, error + " (cannot write the report)");
        if (!enterMapDirectory(options, &error)) return failWith(kExitUsage, error);
        for (const char* suffix : {".proc", ".cm", ".map"})
            if (report.names(options.mapBase + suffix))
                return failWith(kExitUsage, outputClash("--report", options.reportFile, "'" + options.mapBase + suffix + "'"));
        if (!report.create(&error)) return failWith(kExitUsage, error + " (cannot write the report)");
        if (writeVisibilityReport(options.mapBase, eyeAboveFloor(), !options.noEntities,
                                  options.reportFile.ends_with(".html"), report.stream(), &error) != 0)
            return failWith(kExitFailure, error);
        if (!report.commit(&error)) return failWith(kExitFailure, error);
        return 0;
    }

    InputScript script;
    const bool scripted = !options.inputFile.empty();
    if (scripted && !loadInputScript(options.inputFile, &script, &error)) return failWith(kExitUsage, error);

    // Both outputs are found now, relative to where the viewer was started,
    // but made only once every file the run reads is known (after the map
    // is read), so that neither takes the place of one; each takes its
    // place only when complete.
    FrameTrace trace;
    if (!options.traceFile.empty() && !trace.prepare(options.traceFile, &error)) return failWith(kExitUsage, error);
    OutputFile screenshot;
    if (!options.screenshotFile.empty() && !screenshot.prepare(options.screenshotFile, &error))
        return failWith(kExitUsage, error + " (cannot write the screenshot)");
    if (!options.traceFile.empty() && !options.screenshotFile.empty() &&
        (options.traceFile == options.screenshotFile || screenshot.names(options.traceFile) ||
         (screenshot.replaced() && screenshot.replaced() == trace.replaced())))
        return failWith(kExitUsage, "--trace and --screenshot name the same file '" + options.traceFile + "'");
    if (scripted) {
        const std::string clash =
            outputNamingAnInput(options, trace, screenshot, {options.inputFile}, "the input script '" + options.inputFile + "'");
        if (!clash.empty()) return failWith(kExitUsage, clash);
    }
    // Where F12's pictures go; empty (the working directory) without --dir.
    const std::string startDirectory = options.dir.empty() ? std::string() : reachableDirectory(".");

    if (!options.headless && !displayAvailable())
        return failWith(kExitFailure,
                        "no display found (DISPLAY and WAYLAND_DISPLAY are not set): use --headless to run "
                        "without a window");

    if (!enterMapDirectory(options, &error)) return failWith(kExitUsage, error);

    SteppedClock steppedClock(options.tickMs);
    ReportSettings reports;
    // A person at the screen, in a window or full screen, may never see
    // stderr (started from a launcher): a failure that ends the start gets a
    // box; what is reported while the viewer runs shows in its overlay. A run
    // driven by a script, or one without a display, keeps to stderr.
    reports.messageBoxes = !options.headless && !scripted;
    reports.showBox = [](const char* text, const char* caption) {
        if (g_boxWindow) g_boxWindow->showMessageBox(text, caption);
        else showMessageBox(text, caption);
    };
    // With a simulated clock a report's once-a-second limit counts simulated
    // seconds too, so what a scripted run writes to stderr does not depend on
    // how fast the machine draws.
    if (options.simulatedClock) {
        g_reportClock = &steppedClock;
        reports.clockMs = [] { return g_reportClock->now; };
    }
    configureReports(reports);
    struct ReportClockRelease {
        ~ReportClockRelease() {
            configureReports({});
            g_reportClock = nullptr;
        }
    } releaseReportClock;  // the stepped clock ends with this function

    AppPlatform platform;
    if (options.simulatedClock) platform.clock = &steppedClock;
    const bool headless = options.headless;
    const bool fullscreen = !options.windowed;
    platform.createWindow = [&](int width, int height, const char* title, std::string* why) -> std::unique_ptr<Window> {
        std::unique_ptr<Window> real;
        if (!headless) {
            real = Window::create(width, height, title, fullscreen, why);
            if (!real) return nullptr;
        }
        if (scripted) return std::make_unique<ScriptedWindow>(std::move(script), std::move(real));
        if (real) return real;
        return std::make_unique<HeadlessWindow>();
    };
    platform.createDevice = [&](Window& window, uint32_t width, uint32_t height,
                                std::string* why) -> std::unique_ptr<gpu::Device> {
        if (headless) return gpu::createHeadlessDevice(width, height, why);
        return gpu::createWindowDevice(window, width, height, why);
    };

    Application app(std::move(platform));
    // The title names the map, as a desktop program names its document.
    const std::string title = std::filesystem::path(options.mapBase).filename().string() + " - quorvane";
    if (!app.createWindow(800, 600, title.c_str(), &error)) return failWith(kExitFailure, error);
    g_boxWindow = app.window.get();
    struct BoxWindowRelease {
        ~BoxWindowRelease() { g_boxWindow = nullptr; }
    } releaseBoxWindow;  // goes before the window does
    app.screenshotDirectory = startDirectory;
    if (!app.initDevice(1024, 768, &error))
        return failAtStart(kExitFailure, "cannot create the graphics device: " + error);

    Scene* scene = app.createScene();
    scene->textureDirs = textureDirs;
    scene->assetDirs = assetDirs;
    scene->untexturedGrid = options.untexturedGrid;
    scene->useMapSource = !options.noEntities;
    scene->imageLimits = {options.maxImageSide, options.imageBudgetMiB << 20};
    MapData* map = scene->loadMap(options.mapBase.c_str(), &error);
    if (!map) return failAtStart(kExitFailure, error);
    AreaFloors floors;  // collected only when --area asks for a floor
    if (options.area >= 0) floors.collect(*map);
    // Every file the run reads is known now; an output may replace none of them.
    const std::string clash = outputNamingAnInput(options, trace, screenshot, filesTheSceneReads(options, *scene));
    if (!clash.empty()) return failAtStart(kExitUsage, clash);
    if (!options.traceFile.empty() && !trace.create(&error)) return failAtStart(kExitUsage, error);
    if (!options.screenshotFile.empty() && !screenshot.create(&error))
        return failAtStart(kExitUsage, error + " (cannot write the screenshot)");

    placeStandardInstances(*scene, map, options.instances);
    scene->mapLights = options.light == 'm' || (options.light == 0 && !map->lights.empty());
    if (options.hasStart) scene->camera->position = options.start;
    const bool startFromMap = map->hasPlayerStart && !options.hasStart && options.area < 0;
    if (startFromMap) {
        scene->camera->position = playerStartEye(*map, *scene->instances[0], eyeAboveFloor());
        if (!options.hasLook) scene->camera->yaw = playerStartYaw(*map, *scene->instances[0]);
    }
    if (options.area >= 0 &&
        !standInArea(*map, floors, options.area, *scene->instances[0], &scene->camera->position,
                     &scene->camera->yaw, &error))
        return failAtStart(kExitUsage, error);
    if (options.hasLook) {
        scene->camera->yaw = options.yaw;
        scene->camera->pitch = options.pitch;
    }
    app.mapBase = options.mapBase;
    app.instanceCount = options.instances;
    if (options.watch) app.watchMapFiles();
    app.oneStepPerFrame = scripted && !options.simulatedClock;
    scene->camera->mouseSensitivity = options.sensitivity;
    scene->camera->invertY = options.invertY;

    if (trace.isOpen()) app.trace = &trace;
    int64_t frameLimit = options.frames;
    if (frameLimit < 0 && headless && !scripted) frameLimit = kDefaultHeadlessFrames;
    app.run(frameLimit);

    // A reload may have read files the first load did not: neither output
    // takes the place of one of them either.
    if (const Scene* now = app.scene.get()) {
        const std::string late = outputNamingAnInput(options, trace, screenshot, filesTheSceneReads(options, *now));
        if (!late.empty()) return failWith(kExitUsage, late);
    }
    int status = 0;
    if (screenshot.isOpen()) {
        // Without a frame the back buffer holds nothing worth a picture.
        if (app.framesRun == 0)
            status = failWith(kExitFailure, options.screenshotFile +
                                                ": no screenshot written: the run ended before its first frame");
        else if (!writeScreenshot(*app.device, screenshot, options.screenshotFile, &error,
                                  app.cameraPlaceLine().c_str()) ||
                 !screenshot.commit(&error))
            status = failWith(kExitFailure, error);
    }
    if (trace.isOpen() && !trace.close(&error)) status = failWith(kExitFailure, error);
    if (options.summary) printSummary(app);
    return status;
}

}  // namespace q
