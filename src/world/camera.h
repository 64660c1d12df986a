#pragma once
// The user's eye and body: position, angles, collision box, projection and
// view matrices, and the far corners the frustum is built from. The scene owns
// it; its per-frame update (mouse look, movement, view matrix) is the movement
// code's (move/camera_update.h), its frustum the visibility code's (vis/frustum.h).

#include "math/bounds.h"
#include "math/matrix.h"
#include "math/vector.h"

namespace q {

class Scene;

class Camera {
public:
    Bounds box;  // only maxs is used: the half extents (8, 32, 8)
    Vector3 position;
    float yaw = 0.0f;
    float pitch = 0.0f;
    float roll = 0.0f;
    int instanceIndex = -1;  // -1: no instance holds the camera
    int areaIndex = 0;       // defined start value until an instance holds the camera
    Vector3 farCorners[4];   // view space: bottom-left, bottom-right, top-left, top-right
    Vector3 viewDir;
    Matrix view = Matrix::identity();
    Matrix projection;

    Scene* scene = nullptr;  // reaches the input, the instances, the terrain, the lines

    // Downward speed in units per update; 0 at start. Kept from one movement
    // step to the next and read by the frame trace.
    float fallSpeed = 0.0f;
    // F held this frame: the update sets it, and the frustum and the portal
    // flow add their lines while it is on.
    bool collectingLines = false;

    // Mouse look: 1 turns 1/256 radian per mouse count; invertY makes moving
    // the mouse forward look down instead of up.
    float mouseSensitivity = 1.0f;
    bool invertY = false;

    // Free flight (N): no gravity and nothing solid, the keys move along the
    // view itself. Switched off, the camera falls or is pushed out from
    // wherever it is, as at any start.
    bool freeFlight = false;

    // Box (8, 32, 8), projection and far corners; view and viewDir are first
    // written by the first update.
    Camera();
};

}  // namespace q
