#pragma once
// The movement step's own state and constants. Speeds and distances are per
// update: nothing is scaled by elapsed time, so motion follows the frame rate.

namespace q {

// Downward speed of the camera in units per update; 0 at start.
extern float g_fallSpeed;

constexpr float kClimbPerUpdate = 4.0f;   // while the left button is held
constexpr float kGravity = 0.2f;          // added to the fall speed per falling update
constexpr float kWalkSpeed = 2.0f;        // length of the move before its vertical part is dropped
constexpr float kWallNormalY = 0.1f;      // |normal.y| below this: a wall, worth a step-up
constexpr float kStepHeight = 16.0f;
constexpr float kEyeAboveGround = 32.0f;  // half the box height

}  // namespace q
