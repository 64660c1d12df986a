#pragma once
// The program that lights every map surface, entity model and the terrain:
// one point light at the camera, a diffuse term with a floor times a distance
// attenuation with a floor, the grey level it gives modulating the surface's
// image. cameraLight below is the same arithmetic in C++, which the tests
// hold the drawn pixels to.

#include <cstdint>

#include "math/matrix.h"
#include "math/vector.h"
#include "gpu/device.h"

namespace q {

// The lower limit of N.L, the scale of the 1/distance attenuation and its
// lower limit.
constexpr float kDiffuseFloor = 0.5f;
constexpr float kAttenuationScale = 500.0f;
constexpr float kAttenuationFloor = 0.75f;

// The program's uniform block, std140: what a lit draw names.
struct LightingUniforms {
    Matrix worldViewProjection;  // the model's space to clip space
    Matrix world;                // the model's space to the world
    float light[4] = {};         // xyz: the light (the eye) in the world; w unused
    // kDiffuseFloor, kAttenuationScale, kAttenuationFloor; w unused.
    float factors[4] = {kDiffuseFloor, kAttenuationScale, kAttenuationFloor, 0.0f};

    void setEye(Vector3 eye);
    // What carries the vertices from the model's space (world) to the world
    // and on through the camera to the screen.
    void setPlacement(const Matrix& world, const Matrix& view, const Matrix& projection);
    gpu::UniformBlock block() const { return gpu::UniformBlock(*this); }
};
static_assert(sizeof(LightingUniforms) == 160, "the block is laid out as std140 lays out Uniforms");

// Reads the inputs of gpu::VertexFormat::LitTextured: position, normal and
// texture coordinate.
gpu::ProgramDesc lightingProgramDesc();

// One vertex as the program places and lights it: its clip position (depth
// 0..w) and its grey level, 0 to 1.
struct LitVertex {
    float clip[4];
    float grey;
};
LitVertex cameraLight(const LightingUniforms& uniforms, Vector3 position, Vector3 normal);

}  // namespace q
