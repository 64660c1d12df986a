#include "app/application.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <utility>

#include "app/camera_place.h"
#include "app/frame_trace.h"
#include "app/input_devices.h"
#include "app/map_reload.h"
#include "app/screenshot.h"
#include "math/matrix.h"
#include "move/camera_update.h"
#include "platform/report.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "render/text_font.h"
#include "vis/render_pass.h"
#include "world/scene.h"
#include "world/surface_pick.h"

namespace q {

namespace {

// Long enough to cost nothing, short enough that a window restored without an
// event of its own (some desktops send none) shows frames again at once.
constexpr uint32_t kMinimizedWaitMs = 100;
// How long the overlay shows the place C printed (and what M found), and a
// report (from its latest repeat).
constexpr uint32_t kPlaceShownMs = 4000;
constexpr uint32_t kReportShownMs = 6000;

}  // namespace

Application::Application(AppPlatform platform) : platform_(std::move(platform)) {
    if (!platform_.clock) platform_.clock = &tickClock_;
    // Reports, those of the map's loading included, go to the overlay: a box
    // would stop the frames, the file watch and the keys until answered.
    setReportLineSink(&Application::showReport, this);
}

Application::~Application() { clearReportLineSink(this); }

void Application::showReport(void* app, const char* text, const char* detail) {
    Application& self = *static_cast<Application*>(app);
    self.timedLines_.show(text, text, detail, true, self.lastFrameMs, kReportShownMs);
}

bool Application::createWindow(int newWidth, int newHeight, const char* title, std::string* error) {
    width = newWidth;
    height = newHeight;
    std::unique_ptr<Window> created = platform_.createWindow(newWidth, newHeight, title, error);
    if (!created) return false;
    window = std::move(created);
    input = std::make_unique<InputDevices>();
    input->init(window.get());
    return true;
}

GraphicsDevice* Application::initDevice(int backBufferWidth, int backBufferHeight, std::string* error) {
    if (device) return device.get();
    if (!window) {
        *error = "no window to present into";
        return nullptr;
    }
    std::unique_ptr<gpu::Device> backend = platform_.createDevice(
        *window, static_cast<uint32_t>(backBufferWidth), static_cast<uint32_t>(backBufferHeight), error);
    if (!backend) return nullptr;
    device = std::make_unique<GraphicsDevice>();
    device->create(std::move(backend));

    // Without a font the viewer still runs; only the overlay is missing (init
    // has already said what to install).
    font = std::make_unique<TextFont>();
    if (!font->init(device->device(), "Arial", 20)) font.reset();
    return device.get();
}

Scene* Application::createScene() {
    if (scene) return scene.get();
    if (!device) return nullptr;
    scene = std::make_unique<Scene>();
    scene->device = device->device();
    scene->graphics = device.get();
    scene->input = input ? &input->state : nullptr;
    scene->init();
    return scene.get();
}

void Application::handleEvent(const WindowEvent& event) {
    switch (event.type) {
        case WindowEvent::Type::Close:
            quit_ = true;
            break;
        case WindowEvent::Type::KeyUp:
            // Acting on the release means a held, auto-repeating TAB flips once.
            if (event.key == Key::Tab) g_portalMode = !g_portalMode;
            else if (event.key == Key::N && scene && scene->camera) scene->camera->freeFlight = !scene->camera->freeFlight;
            else if (event.key == Key::C) printCameraPlace();
            else if (event.key == Key::M) printPick();
            else if (event.key == Key::F5) reloadRequested_ = true;
            else if (event.key == Key::P && scene) scene->showPortals = !scene->showPortals;
            else if (event.key == Key::L && scene) scene->mapLights = !scene->mapLights;
            else if (event.key == Key::Escape && window) window->destroy();
            break;
        case WindowEvent::Type::KeyDown:
            if (!window) break;
            if (event.key == Key::F11 || ((event.key == Key::Return || event.key == Key::NumpadEnter) && event.alt))
                window->setFullscreen(!window->isFullscreen());
            else if (event.key == Key::F12)
                takeScreenshot();
            break;
    }
}

void Application::takeScreenshot() {
    if (!device) return;
    // The back buffer still holds the last frame shown.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string path = newScreenshotPath(screenshotDirectory, local);
    std::string error;
    if (writeScreenshot(*device, path, &error, cameraPlaceLine().c_str())) std::fprintf(stderr, "quorvane: screenshot written to %s\n", path.c_str());
    else report(("The screenshot could not be written: " + error).c_str(), "quorvane");
}

std::string Application::cameraPlaceLine() const {
    if (!scene || !scene->camera) return {};
    char place[112];
    formatCameraPlace(*scene->camera, place, sizeof place);
    return std::string("quorvane: ") + place;
}

void Application::printCameraPlace() {
    const std::string line = cameraPlaceLine();
    if (line.empty()) return;
    std::fprintf(stderr, "%s\n", line.c_str());
    timedLines_.show("camera place", line.c_str(), nullptr, false, lastFrameMs, kPlaceShownMs);
}

void Application::printPick() {
    if (!scene || !scene->camera) return;
    const Camera& camera = *scene->camera;
    const std::string line = describePick(*scene, pickSurface(*scene, camera.position, camera.viewDir));
    std::fprintf(stderr, "%s\n", line.c_str());
    // In the overlay each part of the line (material, area, entity) starts a row.
    std::string rows = line;
    for (size_t at = rows.find("; "); at != std::string::npos; at = rows.find("; ", at)) rows.replace(at, 2, "\n");
    timedLines_.show("what is under the view", rows.c_str(), nullptr, false, lastFrameMs, kPlaceShownMs);
}

void Application::watchMapFiles() {
    mapWatch_.watch({mapBase + ".proc", mapBase + ".cm", mapBase + ".map"});
}

bool Application::reloadMap() {
    if (!scene || mapBase.empty()) return false;
    // What is on disk now is what this attempt reads: a later change tries again.
    mapWatch_.accept();
    const std::string name = std::filesystem::path(mapBase).filename().string();
    std::string error;
    if (!reloadScene(scene, mapBase, instanceCount, &error)) {
        report(("The map " + name + " was not reloaded; the one read before stays: " + error).c_str(), "quorvane");
        return false;
    }
    const size_t areas = scene->maps.empty() ? 0 : scene->maps.back()->areas.size();
    std::fprintf(stderr, "quorvane: reloaded %s (%s)\n", name.c_str(), countOf(areas, "area", "areas").c_str());
    return true;
}

void Application::run(int64_t frameLimit) {
    while (frameLimit < 0 || framesRun < static_cast<uint64_t>(frameLimit)) {
        WindowEvent event;
        while (window && window->pollEvent(&event)) handleEvent(event);
        if (quit_) return;
        if (reloadRequested_ || mapWatch_.settled(lastFrameMs)) {
            reloadRequested_ = false;
            reloadMap();
        }
        if (window && window->isMinimized()) {
            window->waitForEvents(kMinimizedWaitMs);
            continue;
        }
        runFrame();
    }
}

void Application::runFrame() {
    const uint32_t now = platform_.clock->nowMs();
    if (framesRun == 0) firstFrameMs = now;
    lastFrameMs = now;
    timer_.tick(now);
    fps = timer_.fps;
    timedLines_.start(now);
    const uint32_t steps = oneStepPerFrame ? 1 : movementSteps_.stepsAt(now);

    if (input) input->update();
    if (scene) updateScene(*scene, steps);
    device->beginFrame();
    visibleAreaCount = scene ? render(*scene) : 0;
    const Camera* camera = scene ? scene->camera.get() : nullptr;
    if (scene && scene->showPortals && camera) {
        if (!portalOutlines) portalOutlines = std::make_unique<PortalOutlines>();
        portalCount_ = portalOutlines->draw(*scene, camera->view, camera->projection);
    }
    drawOverlay();
    device->endFrame(camera ? camera->view : Matrix::identity(), camera ? camera->projection : Matrix::identity(),
                     g_portalMode);
    writeTrace();
    ++framesRun;
}

void Application::overlayLines(OverlayLines* out) const {
    OverlayValues values;
    if (scene && scene->camera) {
        values.instanceIndex = scene->camera->instanceIndex;
        values.areaIndex = scene->camera->areaIndex;
    }
    values.fps = fps;
    values.visibleAreas = visibleAreaCount;
    values.portalMode = g_portalMode;
    if (scene && scene->mapLights) {
        values.lightsDrawn = scene->frameCost.lightsDrawn;
        values.lightsTotal = scene->frameCost.lightsOfCopies;
    }
    if (scene && scene->showPortals) {
        values.portalsPassed = portalCount_.passed;
        values.portalsTotal = portalCount_.total;
        values.cost = scene->frameCost;
    }
    values.timedLines = &timedLines_;
    values.nowMs = lastFrameMs;
    buildOverlayLines(values, out);
}

void Application::drawOverlay() {
    if (!font) return;
    overlayLines(&overlay_);
    for (int i = 0; i < overlay_.count; ++i) font->drawText(0.0f, overlay_.lines[i].y, overlay_.lines[i].text, kOverlayColour);
}

void Application::writeTrace() {
    if (!trace) return;
    TraceRecord record;
    record.frame = framesRun;
    if (scene && scene->camera) {
        const Camera& camera = *scene->camera;
        record.x = camera.position.x;
        record.y = camera.position.y;
        record.z = camera.position.z;
        record.yaw = camera.yaw;
        record.pitch = camera.pitch;
        record.instance = camera.instanceIndex;
        // Outside every copy there is no area: the last one found belongs to
        // a copy the camera has left, and area 0 is a real area.
        record.area = camera.instanceIndex < 0 ? -1 : camera.areaIndex;
        record.fallSpeed = camera.fallSpeed;
        record.freeFlight = camera.freeFlight;
    }
    record.visibleAreas = visibleAreaCount;
    if (scene) record.cost = scene->frameCost;
    record.portalMode = g_portalMode;
    record.fps = fps;
    trace->write(record);
}

}  // namespace q
