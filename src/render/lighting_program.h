#pragma once
// The vertex program that lights every map surface and the terrain: one point
// light at the camera, a diffuse term with a floor times a distance
// attenuation with a floor. Constants it reads:
//   c0..c3  rows of transpose(W * V * P)
//   c5.xyz  light position in world space (the camera)
//   c6      (lower bound of N.L, attenuation scale, lower bound of attenuation, -)
//   c7..c9  the first three rows of transpose(W)

#include <cstdint>

#include "math/matrix.h"
#include "math/vector.h"
#include "gpu/device.h"

namespace q {

// Reads the inputs of gpu::VertexFormat::LitTextured: v0 position, v3 normal,
// v7 texture coordinate.
extern const char kLightingProgramText[];

// The values c6 holds while lit geometry is drawn: the lower limit of N.L, the
// scale of the 1/distance attenuation and its lower limit.
constexpr float kLightingFactors[4] = {0.5f, 500.0f, 0.75f, 0.0f};

// The registers c0..c9 the program reads, as one block a lit draw names.
struct LightingConstants {
    float registers[10][4] = {};

    // c5 and c6: the light at the eye. The fourth float of the eye register
    // carries the camera's yaw; the program ignores it.
    void setEye(Vector3 eye, float yaw);
    // c0..c3 and c7..c9: what carries the vertices from the model's space
    // (world) to the world and on through the camera to the screen.
    void setPlacement(const Matrix& world, const Matrix& view, const Matrix& projection);
    gpu::Constants constants() const { return {registers, 10}; }
};

}  // namespace q
