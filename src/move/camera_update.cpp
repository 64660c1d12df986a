#include "move/camera_update.h"

#include "move/movement.h"
#include "platform/input.h"
#include "render/graphics_device.h"
#include "world/map_instance.h"
#include "world/scene.h"

namespace q {

namespace {

constexpr float kRadiansPerCount = 0.00390625f;  // 1/256 radian per mouse count

bool held(uint8_t state) { return (state & kKeyDown) != 0; }

}  // namespace

void updateCamera(Camera& camera, uint32_t steps) {
    static const InputState kNoInput;
    Scene* scene = camera.scene;
    const InputState& input = (scene && scene->input) ? *scene->input : kNoInput;

    // Mouse look: neither angle is limited, so pitching on turns the view over.
    // At sensitivity 1 the factor is exactly 1/256, so the default turns bit
    // for bit as it always has. The count is negated as a float: -INT32_MIN
    // does not exist as an integer.
    const float radiansPerCount = kRadiansPerCount * camera.mouseSensitivity;
    const float countsY = static_cast<float>(input.mouseState.dy);
    camera.yaw += static_cast<float>(input.mouseState.dx) * radiansPerCount;
    camera.pitch += (camera.invertY ? -countsY : countsY) * radiansPerCount;
    camera.view = Matrix::rotationYawPitchRoll(camera.yaw, camera.pitch, camera.roll);

    // Key direction in camera space: W wins over S, A over D.
    Vector3 k;
    k.z = held(input.key(Key::W)) ? 1.0f : (held(input.key(Key::S)) ? -1.0f : 0.0f);
    k.x = held(input.key(Key::A)) ? -1.0f : (held(input.key(Key::D)) ? 1.0f : 0.0f);

    // Frustum lines are collected exactly while F is held.
    camera.collectingLines = held(input.key(Key::F));
    if (camera.collectingLines && scene && scene->graphics) scene->graphics->beginLines();

    const Matrix rotation = camera.view;
    const bool fast = held(input.key(Key::LeftShift)) || held(input.key(Key::RightShift));
    for (uint32_t step = 0; step < steps; ++step) {
        if (step > 0 && scene) scene->locateCamera();
        const MapInstance* instance = scene ? scene->instanceAt(camera.instanceIndex) : nullptr;
        moveCamera(camera, k, held(input.mouseState.buttons[0]), instance, rotation, fast ? kFastFactor : 1.0f);
    }

    camera.viewDir = transformNormal({0.0f, 0.0f, 1.0f}, camera.view);
    // Placement in the world, then inverted into the view matrix.
    camera.view.m[3][0] = camera.position.x;
    camera.view.m[3][1] = camera.position.y;
    camera.view.m[3][2] = camera.position.z;
    camera.view = inverse(camera.view).value_or(camera.view);
}

void updateScene(Scene& scene, uint32_t steps) {
    scene.locateCamera();
    if (scene.camera) updateCamera(*scene.camera, steps);
}

}  // namespace q
