#pragma once
// The viewer's one application object: the main window, the graphics device with
// the lighting program and the text font, the input devices and the scene; the
// event handling, the frame loop and the teardown.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/frame_timer.h"
#include "app/input_devices.h"
#include "app/overlay.h"
#include "platform/file_watch.h"
#include "gpu/device.h"
#include "platform/window.h"
#include "render/graphics_device.h"
#include "render/text_font.h"
#include "vis/portal_outlines.h"
#include "world/scene.h"

namespace q {

class FrameTrace;

// What the application takes from the outside world. The viewer passes the
// real window, GL backend and tick clock; tests pass fakes.
struct AppPlatform {
    // A window of width x height with the title; null with a message when none
    // can be made.
    std::function<std::unique_ptr<Window>(int width, int height, const char* title, std::string* error)>
        createWindow;
    // A device with a back buffer of width x height presenting into the window.
    std::function<std::unique_ptr<gpu::Device>(Window& window, uint32_t width, uint32_t height,
                                               std::string* error)>
        createDevice;
    FrameClock* clock = nullptr;  // null: the tick count
};

class Application {
public:
    int width = 0;
    int height = 0;
    // Members go in the reverse of this order: the scene and the font, which
    // hold device objects, before the device; the input devices before the
    // window they read.
    std::unique_ptr<Window> window;
    std::unique_ptr<InputDevices> input;
    std::unique_ptr<GraphicsDevice> device;
    std::unique_ptr<TextFont> font;  // null when no font could be made
    std::unique_ptr<Scene> scene;
    std::unique_ptr<PortalOutlines> portalOutlines;  // the portal display's lines (P)
    float fps = 0.0f;
    int visibleAreaCount = 0;  // areas the last render pass drew, over all instances

    FrameTrace* trace = nullptr;  // not owned; one record per frame when set
    std::string screenshotDirectory;  // where F12 puts its pictures; empty: the working directory
    // The map as loadMap was given it and the copies placed of it: what a
    // reload (F5, or the files changing with watchMapFiles) reads again.
    std::string mapBase;
    int instanceCount = 5;
    uint64_t framesRun = 0;
    uint32_t firstFrameMs = 0;  // clock readings of the first and the last frame
    uint32_t lastFrameMs = 0;
    // One movement step a frame, whatever the clock says: a scripted run
    // without a simulated clock, whose figures must not depend on the
    // machine's speed. Otherwise the steps follow the clock (MovementSteps).
    bool oneStepPerFrame = false;

    explicit Application(AppPlatform platform);
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    ~Application();

    // Creates the main window and the input devices reading it.
    bool createWindow(int width, int height, const char* title, std::string* error);
    // Creates the device, publishes it, creates the lighting program and the
    // font. Returns the existing device on a second call; null without a window
    // or when the device cannot be created (error says why).
    GraphicsDevice* initDevice(int width, int height, std::string* error);
    // Makes the scene on the first call once a device exists (null before) and
    // returns the one made on later calls.
    Scene* createScene();

    // The window's event handler: TAB released flips the render mode, ESC
    // released closes the window, the close ends the loop. Alt+Enter and F11
    // switch between full screen and the window; F12 writes a screenshot.
    void handleEvent(const WindowEvent& event);
    bool quitRequested() const { return quit_; }

    // Pending events first, then one frame, until the window closes or
    // frameLimit frames have run (frameLimit < 0: no limit). While the window
    // is minimised no frame runs: the loop waits for the next event.
    void run(int64_t frameLimit = -1);
    void runFrame();

    // Watches the map's files (.proc, .cm and the map source .map, and the
    // definition, skin and mesh files the scene read: watchedFiles) from now
    // on: once they have changed and stayed unchanged for a while, the map is
    // read again before the next frame. A reload watches what it read.
    void watchMapFiles();
    // Reads the map again now (F5): on success one stderr line "quorvane:
    // reloaded NAME (N areas)"; on failure the old map stays and the error is
    // reported. The camera keeps its place, look and mode either way.
    bool reloadMap();

    // This frame's overlay (also what the font draws).
    void overlayLines(OverlayLines* out) const;

    // "quorvane: --start X Y Z --look YAW PITCH" for the camera as it is now;
    // empty without a camera. C prints it; screenshots carry it.
    std::string cameraPlaceLine() const;

private:
    void drawOverlay();
    void takeScreenshot();
    void printCameraPlace();
    // M: what lies under the centre of the screen, on stderr and for a while
    // in the overlay (world/surface_pick.h).
    void printPick();
    void writeTrace();
    static void showReport(void* app, const char* text, const char* detail);

    AppPlatform platform_;
    TickClock tickClock_;
    FrameTimer timer_;
    MovementSteps movementSteps_;
    OverlayLines overlay_;
    // Shown for a while over the picture: the place C printed, the reports.
    TimedLines timedLines_;
    bool quit_ = false;
    PortalCount portalCount_;
    FileWatch mapWatch_;
    bool reloadRequested_ = false;  // F5 released: reload before the next frame  // this frame's, while the portal display is on
};

}  // namespace q
