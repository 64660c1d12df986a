// Proves that a frame allocates nothing once the first frame has run. Global
// operator new is replaced for the whole test binary, so it only counts while a
// test asks it to.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "app/application.h"
#include "app/input_script.h"
#include "app/scripted_window.h"
#include "gpu/recording/recording_device.h"
#include "render/globals.h"
#include "world/scene.h"
#include "world/standard_placements.h"

namespace {

std::atomic<bool> g_countAllocations{false};
std::atomic<uint64_t> g_allocations{0};

void* allocate(std::size_t size) {
    if (g_countAllocations.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace q {
namespace {

TEST(AllocCount, CountsOnlyWhileAsked) {
    g_allocations = 0;
    auto before = std::make_unique<int>(1);
    EXPECT_EQ(g_allocations.load(), 0u);
    g_countAllocations = true;
    auto counted = std::make_unique<int>(2);
    g_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 1u);  // the counter does see allocations
}

TEST(AllocCount, AFrameAfterTheFirstAllocatesNothing) {
    const std::string dir = ::testing::TempDir() + "quorvane_alloc_map_" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    // With its entities: entity models, mesh models and lights are drawn too.
    const std::string command = std::string("'") + MAPGEN_BINARY + "' demo --entities '" + dir + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    // Every input the camera acts on, F (line collection), both render modes,
    // the portal display (on from the first frame), free flight and Shift, the
    // map's lights (from the first frame) and the camera's.
    InputScript script;
    std::string error;
    ASSERT_TRUE(parseInputScript("0 0 P LIGHT\n2* 3 1 W F SHIFT\n4* -5 2 W A L F\n0 0 TAB N\n3* 1 -1 S D F SHIFT\n"
                                 "0 0 TAB N LIGHT\n6* 0 0 W\n",  // 18 frames of 16 ms: the files are looked at again
                                 "frames", &script, &error))
        << error;

    gpu::RecordingDevice* recording = nullptr;
    AppPlatform platform;
    platform.createWindow = [&](int, int, const char*, std::string*) {
        return std::unique_ptr<Window>(std::make_unique<ScriptedWindow>(script, nullptr));
    };
    platform.createDevice = [&](Window&, uint32_t w, uint32_t h, std::string*) {
        auto made = std::make_unique<gpu::RecordingDevice>(w, h);
        recording = made.get();
        return std::unique_ptr<gpu::Device>(std::move(made));
    };
    SteppedClock clock(16);
    platform.clock = &clock;
    Application app(std::move(platform));
    ASSERT_TRUE(app.createWindow(800, 600, "quorvane", &error));
    ASSERT_NE(app.initDevice(1024, 768, &error), nullptr) << error;
    ASSERT_NE(app.font, nullptr) << "the overlay is part of the frame";
    Scene* scene = app.createScene();
    scene->assetDirs = {dir};  // where the mesh files are
    MapData* map = scene->loadMap((dir + "/bbb").c_str(), &error);
    ASSERT_NE(map, nullptr) << error;
    ASSERT_FALSE(map->meshModels.placed.empty());
    placeStandardInstances(*scene, map, 5);
    // The map's files are watched: looking at them costs no allocation.
    app.mapBase = dir + "/bbb";
    app.watchMapFiles();

    // The first frame may size what it keeps (the recording log among it).
    recording->clearLog();
    app.run(1);
    // The recording log is the test's instrument, not the frame's: room for any frame.
    recording->calls.reserve(1 << 20);
    recording->draws.reserve(1 << 16);
    for (int frame = 1; frame < static_cast<int>(script.frameCount()); ++frame) {
        recording->clearLog();  // keeps its capacity
        g_allocations = 0;
        g_countAllocations = true;
        app.run(frame + 1);
        g_countAllocations = false;
        EXPECT_EQ(g_allocations.load(), 0u) << "frame " << frame;
        EXPECT_FALSE(recording->draws.empty());
        if (frame == 1) {
            EXPECT_GT(scene->frameCost.lightsDrawn, 0);
        }
    }
    EXPECT_TRUE(g_portalMode);  // toggled twice
    EXPECT_TRUE(scene->showPortals);
    EXPECT_FALSE(scene->mapLights);  // switched twice
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace q
