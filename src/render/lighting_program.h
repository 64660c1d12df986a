#pragma once
// The vertex program that lights every map surface and the terrain: one point
// light at the camera, a diffuse term with a floor times a distance
// attenuation with a floor. Constants it reads:
//   c0..c3  rows of transpose(W * V * P)
//   c5.xyz  light position in world space (the camera)
//   c6      (lower bound of N.L, attenuation scale, lower bound of attenuation, -)
//   c7..c9  the first three rows of transpose(W)

#include <cstdint>

namespace q {

extern const char kLightingProgramText[];

// Stream 0: v0 position (3 floats), v3 normal (3 floats), v7 uv (2 floats).
extern const uint32_t kLightingDeclaration[5];

// Bytes per vertex in stream 0 under kLightingDeclaration.
constexpr uint32_t kLitVertexBytes = 32;

// The values c6 holds while lit geometry is drawn: the lower limit of N.L, the
// scale of the 1/distance attenuation and its lower limit.
constexpr float kLightingFactors[4] = {0.5f, 500.0f, 0.75f, 0.0f};

}  // namespace q
