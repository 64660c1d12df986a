#include "move/camera.h"

#include "platform/input.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "world/map_instance.h"
#include "world/scene.h"

namespace q {

namespace {

constexpr float kFieldOfView = 1.33f;  // vertical, radians
constexpr float kAspect = 1.0f;
constexpr float kNearPlane = 1.0f;
constexpr float kFarPlane = 20000.0f;
constexpr float kRadiansPerCount = 0.00390625f;  // 1/256 radian per mouse count
const Vector3 kHalfExtents{8.0f, 32.0f, 8.0f};

bool held(uint8_t state) { return (state & kKeyDown) != 0; }

}  // namespace

Camera::Camera() {
    box.setEmpty();
    box.maxs = kHalfExtents;
    D3DXMatrixPerspectiveFovLH(&projection, kFieldOfView, kAspect, kNearPlane, kFarPlane);

    // The far plane's corners in view space: the clip-space corners at depth 1
    // carried back through the projection.
    Matrix inverseProjection;
    D3DXMatrixInverse(&inverseProjection, nullptr, &projection);
    const Vector3 clipCorners[4] = {{-1, -1, 1}, {1, -1, 1}, {-1, 1, 1}, {1, 1, 1}};
    for (int i = 0; i < 4; ++i) D3DXVec3TransformCoord(&farCorners[i], &clipCorners[i], &inverseProjection);
}

void Camera::update() {
    static const InputState kNoInput;
    const InputState& input = (scene && scene->input) ? *scene->input : kNoInput;

    const MapInstance* instance = nullptr;
    if (scene && instanceIndex >= 0 && static_cast<size_t>(instanceIndex) < scene->instances.size())
        instance = scene->instances[static_cast<size_t>(instanceIndex)];

    // Mouse look: neither angle is limited, so pitching on turns the view over.
    // At sensitivity 1 the factor is exactly 1/256, so the default turns bit
    // for bit as it always has. The count is negated as a float: -INT32_MIN
    // does not exist as an integer.
    const float radiansPerCount = kRadiansPerCount * mouseSensitivity;
    const float countsY = static_cast<float>(input.mouseState.lY);
    yaw += static_cast<float>(input.mouseState.lX) * radiansPerCount;
    pitch += (invertY ? -countsY : countsY) * radiansPerCount;
    D3DXMatrixRotationYawPitchRoll(&view, yaw, pitch, roll);

    // Key direction in camera space: W wins over S, A over D.
    const uint8_t* keys = input.keyState;
    Vector3 k;
    k.z = held(keys[DIK_W]) ? 1.0f : (held(keys[DIK_S]) ? -1.0f : 0.0f);
    k.x = held(keys[DIK_A]) ? -1.0f : (held(keys[DIK_D]) ? 1.0f : 0.0f);

    // Frustum lines are collected exactly while F is held.
    if (held(keys[DIK_F])) {
        g_captureLines = true;
        if (scene && scene->graphics) scene->graphics->beginLines();
    } else {
        g_captureLines = false;
    }

    const Matrix rotation = view;
    move(k, held(input.mouseState.rgbButtons[0]), instance, rotation);

    viewDir = transformNormal({0.0f, 0.0f, 1.0f}, view);
    // Placement in the world, then inverted into the view matrix.
    view.m[3][0] = position.x;
    view.m[3][1] = position.y;
    view.m[3][2] = position.z;
    D3DXMatrixInverse(&view, nullptr, &view);
}

}  // namespace q
