#pragma once
// The movement step and its constants. Speeds and distances are per step, and
// a step stands for 1/60 s: the frame takes as many steps as the time that
// passed holds (app/frame_timer.h), so motion keeps its speed at any frame
// rate. The fall speed it keeps between steps is the camera's.

#include "math/matrix.h"
#include "math/vector.h"

namespace q {

class Camera;
class MapInstance;

constexpr float kClimbPerUpdate = 4.0f;   // while the left button is held
constexpr float kGravity = 0.2f;          // added to the fall speed per falling update
constexpr float kWalkSpeed = 2.0f;        // length of the move before its vertical part is dropped
constexpr float kWallNormalY = 0.1f;      // |normal.y| below this: a wall, worth a step-up
constexpr float kStepHeight = 16.0f;
constexpr float kEyeAboveGround = 32.0f;  // half the box height
constexpr float kFastFactor = 4.0f;       // Shift held: walking and free flight this much faster

// The movement step: vertical, horizontal, terrain phases, at most four sweeps
// through `instance` (none when it is null). k is the camera-space key
// direction, rotation the camera's pure rotation; speedFactor scales the
// walk (kFastFactor while Shift is held). In free flight (camera.freeFlight)
// the key direction is followed in all three dimensions through everything,
// and nothing falls.
void moveCamera(Camera& camera, Vector3 k, bool flying, const MapInstance* instance, const Matrix& rotation,
                float speedFactor = 1.0f);

}  // namespace q
