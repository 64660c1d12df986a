// A fuzzed map walked for a few frames. The input is an area-portal file, a
// line "=====", a collision file and, optionally, another "=====" line and an
// input script for the frames. The map is loaded through the scene on the
// recording device, placed five times, and run for up to eight frames of
// update, portal flow, movement and render, in both render modes. The camera
// starts in the middle of the first copy.
//
// Promises checked: a refused map names its file and line; a loaded one runs
// every frame without a faulty draw, the camera's position stays finite, and
// dropping the map gives back every buffer and texture it made.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/input_script.h"
#include "fuzz_support.h"
#include "map/map_data.h"
#include "move/camera_update.h"
#include "gpu/recording/recording_device.h"
#include "platform/input.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "vis/render_pass.h"
#include "world/scene.h"
#include "world/standard_placements.h"

namespace {

constexpr std::string_view kSeparator = "\n=====\n";
constexpr uint64_t kMaxFrames = 8;

struct Rig {
    q::GraphicsDevice graphics;
    q::gpu::RecordingDevice* device = nullptr;
    uint32_t baseBuffers = 0;
    uint32_t baseTextures = 0;

    // One scene for the whole run: its terrain costs more to build than a
    // small map to walk. Each input gets a new camera and its own map.
    q::Scene scene;

    Rig() {
        auto backend = std::make_unique<q::gpu::RecordingDevice>();
        device = backend.get();
        graphics.create(std::move(backend));
        scene.device = graphics.device();
        scene.graphics = &graphics;
        scene.init();
        baseBuffers = device->liveBuffers();
        baseTextures = device->liveTextures();
    }

    void freshCamera() {
        scene.camera = std::make_unique<q::Camera>();
        scene.camera->scene = &scene;
    }
    // The maps (their buffers with them) and instances go; the rest stays.
    void dropMaps() {
        scene.instances.clear();
        scene.meshes.clear();
        scene.maps.clear();
    }
};

bool finite(q::Vector3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The frames to run: the script's lines, or a walk that uses every control.
q::InputScript framesFrom(std::string_view text) {
    q::InputScript script;
    std::string error;
    if (!text.empty() && q::parseInputScript(std::string(text), "walk.txt", &script, &error)) return script;
    script.lines.clear();
    const char* walk = "2* 40 -10 W\n1 0 0 W L F\n1 -300 200 A TAB\n2* 5 5 S D F L\n1 0 900 W TAB\n";
    q::parseInputScript(walk, "walk.txt", &script, &error);
    return script;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    static const std::string base = q::fuzz::scratchPath("-map");
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t first = input.find(kSeparator);
    if (first == std::string_view::npos) return 0;
    const std::string_view proc = input.substr(0, first);
    std::string_view rest = input.substr(first + kSeparator.size());
    const size_t second = rest.find(kSeparator);
    const std::string_view cm = rest.substr(0, second);
    const std::string_view script =
        second == std::string_view::npos ? std::string_view() : rest.substr(second + kSeparator.size());
    q::fuzz::writeFile(base + ".proc", reinterpret_cast<const uint8_t*>(proc.data()), proc.size());
    q::fuzz::writeFile(base + ".cm", reinterpret_cast<const uint8_t*>(cm.data()), cm.size());

    rig.device->clearLog();
    const uint32_t faultsBefore = rig.device->faultyDraws();
    q::InputState state;
    q::g_portalMode = true;
    {
        q::Scene& scene = rig.scene;
        scene.input = &state;
        rig.freshCamera();
        std::string error;
        q::MapData* map = scene.loadMap(base.c_str(), &error);
        if (!map) {
            if (!q::fuzz::hasFileLineShape(error, base + ".proc") && !q::fuzz::hasFileLineShape(error, base + ".cm"))
                q::fuzz::broken("refusal without <file>:<line>:", error);
            return 0;
        }
        q::placeStandardInstances(scene, map);
        const q::Bounds& start = scene.instances[0]->worldBounds;
        if (finite(start.mins) && finite(start.maxs))
            scene.camera->position = (start.mins + start.maxs) * 0.5f;

        uint64_t frames = 0;
        for (const q::ScriptLine& line : framesFrom(script).lines) {
            for (uint32_t r = 0; r < line.repeat && frames < kMaxFrames; ++r, ++frames) {
                if (line.releaseTab) q::g_portalMode = !q::g_portalMode;
                state.mouseState.dx = line.dx;
                state.mouseState.dy = line.dy;
                state.mouseState.buttons[0] = line.leftButton ? q::kKeyDown : 0;
                state.key(q::Key::W) = line.w ? q::kKeyDown : 0;
                state.key(q::Key::S) = line.s ? q::kKeyDown : 0;
                state.key(q::Key::A) = line.a ? q::kKeyDown : 0;
                state.key(q::Key::D) = line.d ? q::kKeyDown : 0;
                state.key(q::Key::F) = line.f ? q::kKeyDown : 0;
                q::updateScene(scene);
                rig.graphics.beginFrame();
                q::render(scene);
                rig.graphics.endFrame(scene.camera->view, scene.camera->projection, q::g_portalMode);
                if (!finite(scene.camera->position))
                    q::fuzz::broken("camera position not finite after a frame", std::to_string(frames));
            }
        }
        if (rig.device->faultyDraws() != faultsBefore) {
            const char* problem = "";
            for (const q::gpu::DrawRecord& draw : rig.device->draws)
                if (draw.problem) problem = draw.problem;
            q::fuzz::broken("faulty draw while walking a loaded map", problem);
        }
        rig.dropMaps();
    }
    if (rig.device->liveBuffers() != rig.baseBuffers || rig.device->liveTextures() != rig.baseTextures + rig.scene.textures.size())
        q::fuzz::broken("the map did not give back its device resources", "");
    return 0;
}
