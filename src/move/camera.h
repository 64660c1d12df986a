#pragma once
// The user's eye and body: position, angles, collision box, projection and
// view matrices, and the far corners the frustum is built from.

#include "math/bounds.h"
#include "math/matrix.h"
#include "math/vector.h"

namespace q {

class Scene;
class MapInstance;
struct Frustum;

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

    // Mouse look: 1 turns 1/256 radian per mouse count; invertY makes moving
    // the mouse forward look down instead of up.
    float mouseSensitivity = 1.0f;
    bool invertY = false;

    // Box (8, 32, 8), projection and far corners; view and viewDir are first
    // written by the first update.
    Camera();
    virtual ~Camera() = default;

    // Mouse look, key direction, frustum switch, movement, view matrix. An
    // instanceIndex outside the scene's list counts as no instance.
    virtual void update();
    // The movement step: vertical, horizontal, terrain phases, at most four
    // sweeps through `instance` (none when it is null). k is the camera-space key
    // direction, rotation the camera's pure rotation.
    void move(Vector3 k, bool flying, const MapInstance* instance, const Matrix& rotation);
    // The frustum in the space whose points p reach the world as p * world.
    void buildFrustum(Frustum* out, const Matrix& world) const;
};

}  // namespace q
