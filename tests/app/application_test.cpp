#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/input_devices.h"
#include "app/screenshot.h"
#include "gpu/recording/recording_device.h"
#include "platform/reachable_directory.h"
#include "platform/report.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "render/lighting_program.h"
#include "world/scene.h"
#include "world/standard_placements.h"

namespace q {
namespace {

// What happened at teardown, in order, and what the device still held then.
struct TeardownLog {
    std::vector<std::string> steps;
    uint32_t buffersAtDeviceEnd = 99;
    uint32_t texturesAtDeviceEnd = 99;
};

class WatchedDevice : public gpu::RecordingDevice {
public:
    explicit WatchedDevice(TeardownLog* log) : log_(log) {}
    ~WatchedDevice() override {
        log_->buffersAtDeviceEnd = liveBuffers();
        log_->texturesAtDeviceEnd = liveTextures();
        log_->steps.push_back("device");
    }

private:
    TeardownLog* log_;
};

// A window whose events are scheduled by frame: events[n] are pending before frame n.
class FakeWindow : public Window {
public:
    FakeWindow(std::map<int, std::vector<WindowEvent>> schedule, TeardownLog* log)
        : schedule_(std::move(schedule)), log_(log) {}
    ~FakeWindow() override { log_->steps.push_back("window"); }

    bool pollEvent(WindowEvent* event) override {
        if (!armed_) {
            for (const WindowEvent& e : schedule_[frame_]) pending_.push_back(e);
            armed_ = true;
        }
        if (pending_.empty()) return false;
        *event = pending_.front();
        pending_.pop_front();
        return true;
    }
    void destroy() override {
        ++destroyCalls;
        pending_.push_back({WindowEvent::Type::Close, Key::Unknown});
    }
    void readInput(InputState* out) override {
        *out = InputState{};
        ++frame_;
        armed_ = false;
    }
    void* nativeHandle() override { return nullptr; }
    bool isMinimized() const override { return minimizedWaits > 0; }
    // Each wait is one the loop made instead of a frame; the last one restores.
    void waitForEvents(uint32_t) override {
        framesAtWaits.push_back(frame_);
        --minimizedWaits;
    }
    bool isFullscreen() const override { return fullscreen; }
    void setFullscreen(bool on) override { fullscreen = on; }

    int destroyCalls = 0;
    int minimizedWaits = 0;  // the window is minimised until this many waits are done
    std::vector<int> framesAtWaits;
    bool fullscreen = false;

private:
    std::map<int, std::vector<WindowEvent>> schedule_;
    std::deque<WindowEvent> pending_;
    TeardownLog* log_;
    int frame_ = 0;
    bool armed_ = false;
};

WindowEvent keyUp(Key key) { return {WindowEvent::Type::KeyUp, key}; }
WindowEvent keyDown(Key key, bool alt = false) { return {WindowEvent::Type::KeyDown, key, alt}; }

class AppApplication : public ::testing::Test {
protected:
    void TearDown() override { g_portalMode = true; }

    std::unique_ptr<Application> makeApp(std::map<int, std::vector<WindowEvent>> schedule) {
        AppPlatform platform;
        platform.createWindow = [this, schedule](int, int, const char*, std::string*) {
            auto made = std::make_unique<FakeWindow>(schedule, &log);
            window = made.get();
            return std::unique_ptr<Window>(std::move(made));
        };
        platform.createDevice = [this](Window&, uint32_t width, uint32_t height, std::string*) {
            EXPECT_EQ(width, 1024u);
            EXPECT_EQ(height, 768u);
            auto made = std::make_unique<WatchedDevice>(&log);
            recording = made.get();
            return std::unique_ptr<gpu::Device>(std::move(made));
        };
        platform.clock = &clock;
        return std::make_unique<Application>(std::move(platform));
    }

    // Window, device and scene as the viewer starts them.
    std::unique_ptr<Application> startApp(std::map<int, std::vector<WindowEvent>> schedule) {
        auto app = makeApp(std::move(schedule));
        std::string error;
        EXPECT_TRUE(app->createWindow(800, 600, "quorvane", &error)) << error;
        EXPECT_NE(app->initDevice(1024, 768, &error), nullptr) << error;
        EXPECT_NE(app->createScene(), nullptr);
        return app;
    }

    std::string modeLine(const Application& app) {
        OverlayLines lines;
        app.overlayLines(&lines);
        for (int i = 0; i < lines.count; ++i)
            if (lines.lines[i].y == 550) return lines.lines[i].text;
        return "";
    }

    TeardownLog log;
    SteppedClock clock{16};
    FakeWindow* window = nullptr;
    WatchedDevice* recording = nullptr;
};

TEST_F(AppApplication, TabReleaseFlipsTheModeOtherKeysDoNot) {
    auto app = startApp({{1, {keyUp(Key::Tab)}}, {2, {keyUp(Key::W), keyUp(Key::F)}}, {3, {keyUp(Key::Tab), keyUp(Key::Tab), keyUp(Key::Tab)}}});
    ASSERT_TRUE(g_portalMode);
    app->run(1);
    EXPECT_TRUE(g_portalMode);
    EXPECT_EQ(modeLine(*app), "Now rendering with portals");
    app->run(2);
    EXPECT_FALSE(g_portalMode);
    EXPECT_EQ(modeLine(*app), "Now rendering without portals");
    app->run(3);
    EXPECT_FALSE(g_portalMode);
    app->run(4);
    EXPECT_TRUE(g_portalMode);  // three more releases: flipped three times
    EXPECT_EQ(app->framesRun, 4u);
    EXPECT_FALSE(app->quitRequested());
}

TEST_F(AppApplication, NSwitchesFreeFlightCPrintsThePlaceAndShowsItForAWhile) {
    auto app = startApp({{1, {keyUp(Key::N), keyUp(Key::C)}}, {2, {keyUp(Key::N)}}});
    Camera& camera = *app->scene->camera;
    camera.yaw = 7.0f;  // more than a turn: printed within (-pi, pi]
    app->run(2);
    EXPECT_TRUE(camera.freeFlight);
    auto notice = [&] {
        OverlayLines lines;
        app->overlayLines(&lines);
        return lines.count > 3 && lines.lines[3].y == 125 ? std::string(lines.lines[3].text) : std::string();
    };
    float x = 0, y = 0, z = 0, yaw = 0, pitch = 0;
    ASSERT_EQ(std::sscanf(notice().c_str(), "quorvane: --start %f %f %f --look %f %f", &x, &y, &z, &yaw, &pitch), 5);
    EXPECT_EQ(Vector3(x, y, z), camera.position);  // the same floats back: nothing moved in free flight
    EXPECT_NEAR(yaw, 7.0f - 2.0f * 3.14159265f, 1e-5f);
    app->run(3);
    EXPECT_FALSE(camera.freeFlight);
    app->run(400);  // 16 ms a reading: several seconds later the notice is gone
    EXPECT_EQ(notice(), "");
}

TEST_F(AppApplication, ReloadKeepsTheCameraFreesTheOldMapAndKeepsItWhenTheNewOneDoesNotRead) {
    const std::string dir = ::testing::TempDir() + "quorvane_reload_" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    ASSERT_EQ(std::system(("'" MAPGEN_BINARY "' tworooms --name site '" + dir + "' >/dev/null 2>&1").c_str()), 0);
    const std::string base = dir + "/site";
    auto app = startApp({{1, {keyUp(Key::F5)}}});
    std::string error;
    MapData* map = app->scene->loadMap(base.c_str(), &error);
    ASSERT_NE(map, nullptr) << error;
    placeStandardInstances(*app->scene, map, 2);
    app->mapBase = base;
    app->instanceCount = 2;
    Camera* camera = app->scene->camera.get();
    camera->freeFlight = true;
    camera->position = {10, 20, 30};
    camera->yaw = 1.25f;
    app->scene->showPortals = true;

    const Scene* before = app->scene.get();
    app->run(2);  // F5 before the second frame
    ASSERT_NE(app->scene.get(), before);
    EXPECT_TRUE(app->scene->camera.get() == camera && camera->scene == app->scene.get());
    EXPECT_TRUE(camera->position == Vector3(10, 20, 30) && camera->yaw == 1.25f && camera->freeFlight);
    EXPECT_TRUE(app->scene->showPortals && app->scene->instances.size() == 2u);

    // Fifty more: the device holds as many buffers and textures as after one.
    const uint32_t buffers = recording->liveBuffers(), textures = recording->liveTextures();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(app->reloadMap());
    EXPECT_EQ(recording->liveBuffers(), buffers);
    EXPECT_EQ(recording->liveTextures(), textures);

    // A file cut short: the scene, its map and the camera stay.
    std::filesystem::resize_file(base + ".proc", 200);
    const Scene* kept = app->scene.get();
    EXPECT_FALSE(app->reloadMap());
    EXPECT_TRUE(app->scene.get() == kept && app->scene->camera.get() == camera && app->scene->terrain);
    app->run(3);
    OverlayLines lines;
    app->overlayLines(&lines);
    EXPECT_TRUE(std::any_of(lines.lines, lines.lines + lines.count, [](const OverlayLine& line) {
        return std::string(line.text).rfind("The map site was not reloaded", 0) == 0;
    })) << "the failure shows over the picture";
    std::filesystem::remove_all(dir);
}

// Beside the map's own files, the mesh files its entities place and the
// entity definition files are watched: editing either reads the map again.
TEST_F(AppApplication, EditingAMeshOrAnEntityDefinitionReloadsTheMap) {
    const std::string dir = ::testing::TempDir() + "quorvane_reload_meshes_" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    ASSERT_EQ(std::system(("'" MAPGEN_BINARY "' tworooms --entities --name site '" + dir + "' >/dev/null 2>&1").c_str()), 0);
    auto app = startApp({});
    app->scene->assetDirs = {dir};
    std::string error;
    MapData* map = app->scene->loadMap((dir + "/site").c_str(), &error);
    ASSERT_NE(map, nullptr) << error;
    ASSERT_EQ(map->meshModels.filesRead(), 3u);
    app->mapBase = dir + "/site";
    app->instanceCount = 1;
    app->watchMapFiles();
    // Frames of 16 ms: a change is read once it has stayed for half a second.
    const auto reloadsAfter = [&](const std::string& file, const std::string& added) {
        const Scene* before = app->scene.get();
        std::ofstream(dir + "/" + file, std::ios::app) << added;
        app->run(static_cast<int64_t>(app->framesRun) + 60);
        return app->scene.get() != before;
    };
    EXPECT_FALSE(reloadsAfter("site.proc", "")) << "nothing changed";
    EXPECT_TRUE(reloadsAfter("models/mapgen/crate.ase", "\n"));
    EXPECT_TRUE(reloadsAfter("def/mapgen.def", "// edited\n"));
    EXPECT_TRUE(reloadsAfter("skins/mapgen.skin", "// edited\n"));
    EXPECT_EQ(app->scene->maps.back()->meshModels.filesRead(), 3u);
    std::filesystem::remove_all(dir);
}

TEST_F(AppApplication, EscEndsTheLoopAfterThePendingEventsAndTeardownKeepsItsOrder) {
    {
        auto app = startApp({{3, {keyUp(Key::Escape), keyUp(Key::Tab)}}});
        app->run();
        EXPECT_EQ(app->framesRun, 3u);  // no frame after the ESC release
        EXPECT_TRUE(app->quitRequested());
        EXPECT_EQ(window->destroyCalls, 1);
        EXPECT_FALSE(g_portalMode);  // the TAB pending behind ESC was still handled
    }
    // Font, scene and line buffer all went before the device; the window last.
    EXPECT_EQ(log.steps, (std::vector<std::string>{"device", "window"}));
    EXPECT_EQ(log.buffersAtDeviceEnd, 0u);
    EXPECT_EQ(log.texturesAtDeviceEnd, 0u);
}

TEST_F(AppApplication, CloseEventEndsTheLoopAndFrameLimitStopsIt) {
    auto app = startApp({{2, {{WindowEvent::Type::Close, Key::Unknown}}}});
    app->run(1);
    EXPECT_EQ(app->framesRun, 1u);
    app->run();
    EXPECT_EQ(app->framesRun, 2u);
    EXPECT_TRUE(app->quitRequested());
}

TEST_F(AppApplication, AltEnterAndF11SwitchFullScreenPlainEnterDoesNot) {
    auto app = startApp({{1, {keyDown(Key::Return, true)}},
                         {2, {keyDown(Key::Return), keyUp(Key::Return)}},
                         {3, {keyDown(Key::F11)}},
                         {4, {keyDown(Key::F11), keyDown(Key::Return, true)}}});
    app->run(2);
    EXPECT_TRUE(window->fullscreen);
    app->run(3);
    EXPECT_TRUE(window->fullscreen);  // Enter alone is no switch
    app->run(4);
    EXPECT_FALSE(window->fullscreen);
    app->run(5);
    EXPECT_FALSE(window->fullscreen);  // there and back in one frame
    EXPECT_TRUE(g_portalMode);
}

TEST_F(AppApplication, MinimisedWindowRunsNoFramesAndWaitsForEvents) {
    auto app = startApp({});
    app->run(1);
    window->minimizedWaits = 3;
    app->run(3);
    EXPECT_EQ(window->framesAtWaits, (std::vector<int>{1, 1, 1}));  // no frame between the waits
    EXPECT_EQ(app->framesRun, 3u);
}

// Reports open no box, while the map loads or after: each goes to stderr and
// to the overlay, those of the loading once the first frame is drawn, the same
// text counted on one line. Only a failure that ends the start opens a box.
TEST_F(AppApplication, ReportsGoToTheOverlayAndOnlyAFailedStartOpensABox) {
    static int boxes = 0;
    boxes = 0;
    resetReportsForTest();
    configureReports({true, nullptr, [](const char*, const char*) { ++boxes; }});
    auto app = startApp({});
    auto timedRows = [&] {
        OverlayLines lines;
        app->overlayLines(&lines);
        std::vector<std::string> rows;
        for (int i = 0; i < lines.count; ++i)
            if (lines.lines[i].y >= 125 && lines.lines[i].y < 500) rows.push_back(lines.lines[i].text);
        return rows;
    };
    testing::internal::CaptureStderr();
    report("zop", "ff", "portal 20 of m.proc");
    report("zop", "ff", "portal 21 of m.proc");
    report("我在墙里!", "error", "instance 0");
    app->run(1);
    report("later", "ff");
    app->run(3);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("quorvane: zop (portal 21 of m.proc)"), std::string::npos) << errors;
    EXPECT_EQ(timedRows(), (std::vector<std::string>{"zop (x2)", "我在墙里! (instance 0)", "later"}));
    EXPECT_EQ(boxes, 0);
    app->run(400);  // 16 ms a frame: gone a few seconds later
    EXPECT_TRUE(timedRows().empty());

    testing::internal::CaptureStderr();
    reportStartFailure("m.proc:3: expected a model", "quorvane");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "quorvane: m.proc:3: expected a model\n");
    EXPECT_EQ(boxes, 1);
    resetReportsForTest();
}

TEST(Screenshot, NameCarriesDateAndTimeAndNeverReplacesAnEarlierPicture) {
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "quorvane_names";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 2;
    t.tm_hour = 3;
    t.tm_min = 4;
    t.tm_sec = 5;
    const std::string first = newScreenshotPath(dir.string(), t);
    EXPECT_EQ(first, (dir / "quorvane-20260102-030405.png").string());
    std::ofstream(first) << "taken";
    const std::string second = newScreenshotPath(dir.string(), t);
    EXPECT_EQ(second, (dir / "quorvane-20260102-030405-2.png").string());
    std::ofstream(second) << "taken";
    EXPECT_EQ(newScreenshotPath(dir.string(), t), (dir / "quorvane-20260102-030405-3.png").string());
    EXPECT_EQ(newScreenshotPath("", t), "quorvane-20260102-030405.png");

    // F12 with --dir: the start directory, named before the working directory
    // moves, is still reached after, however deep it lies.
    const int back = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const std::string part(200, 'd');
    auto descend = [&] {
        for (int i = 0; i < 24; ++i) {
            std::filesystem::create_directory(part);
            ASSERT_EQ(::chdir(part.c_str()), 0);
        }
    };
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    descend();
    const std::string start = reachableDirectory(".");
    ASSERT_EQ(::fchdir(back), 0);
    std::ofstream(newScreenshotPath(start, t)) << "taken";
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    descend();
    EXPECT_TRUE(std::filesystem::exists("quorvane-20260102-030405.png"));
    ASSERT_EQ(::fchdir(back), 0);
    ::close(back);
    EXPECT_EQ(std::system(("rm -rf '" + dir.string() + "'").c_str()), 0);  // rm walks a tree deeper than any path
}

TEST_F(AppApplication, StartUpPiecesNeedTheirPredecessors) {
    auto app = makeApp({});
    std::string error;
    EXPECT_EQ(app->createScene(), nullptr);  // no device yet: nothing made
    EXPECT_EQ(app->initDevice(1024, 768, &error), nullptr);  // no window yet
    EXPECT_EQ(app->scene, nullptr);
    ASSERT_TRUE(app->createWindow(800, 600, "quorvane", &error));
    EXPECT_EQ(app->width, 800);
    EXPECT_EQ(app->height, 600);
    ASSERT_NE(app->input, nullptr);
    GraphicsDevice* device = app->initDevice(1024, 768, &error);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(app->initDevice(1024, 768, &error), device);  // the same device again
    ASSERT_NE(device->lightingProgram(), nullptr);
    EXPECT_EQ(gpu::RecordingDevice::program(device->lightingProgram()).uniformBytes, sizeof(LightingUniforms));
    Scene* scene = app->createScene();
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(app->createScene(), scene);
    EXPECT_EQ(scene->device, device->device());
    EXPECT_EQ(scene->graphics, device);
    EXPECT_EQ(scene->input, &app->input->state);
    EXPECT_NE(scene->camera, nullptr);
}

TEST_F(AppApplication, DeviceThatCannotBeMadeStopsStartUpWithAReason) {
    AppPlatform platform;
    platform.createWindow = [this](int, int, const char*, std::string*) {
        return std::unique_ptr<Window>(std::make_unique<FakeWindow>(std::map<int, std::vector<WindowEvent>>{}, &log));
    };
    platform.createDevice = [](Window&, uint32_t, uint32_t, std::string* error) {
        *error = "no OpenGL 3.3 context";
        return std::unique_ptr<gpu::Device>();
    };
    Application app(std::move(platform));
    std::string error;
    ASSERT_TRUE(app.createWindow(800, 600, "quorvane", &error));
    EXPECT_EQ(app.initDevice(1024, 768, &error), nullptr);
    EXPECT_EQ(error, "no OpenGL 3.3 context");
    EXPECT_EQ(app.createScene(), nullptr);
}

}  // namespace
}  // namespace q
