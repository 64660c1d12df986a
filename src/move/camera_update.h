#pragma once
// The camera's per-frame update and the frame's scene update that leads to it.

#include "world/camera.h"

namespace q {

class Scene;

// Mouse look, key direction, frustum switch, movement, view matrix. An
// instanceIndex outside the scene's list counts as no instance.
void updateCamera(Camera& camera);

// The frame's scene update: which instance and area hold the camera
// (Scene::locateCamera), then the camera's own update.
void updateScene(Scene& scene);

}  // namespace q
