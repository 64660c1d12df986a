#pragma once
// The camera's per-frame update and the frame's scene update that leads to it.

#include <cstdint>

#include "world/camera.h"

namespace q {

class Scene;

// Mouse look, key direction, frustum switch, movement, view matrix. The mouse
// turns once a frame (its counts are a distance, not a speed); the keys held
// this frame move the camera `steps` movement steps, each the same step. Before
// each step after the first the scene finds the camera's instance again, as a
// frame would. An instanceIndex outside the scene's list counts as no instance.
void updateCamera(Camera& camera, uint32_t steps = 1);

// The frame's scene update: which instance and area hold the camera
// (Scene::locateCamera), then the camera's own update.
void updateScene(Scene& scene, uint32_t steps = 1);

}  // namespace q
