#pragma once
// The programs of the map-light frame mode: a depth pass that lays down the
// visible surfaces' depth in black (alpha test kept), then one additive pass
// per light over the surfaces it reaches, depth Equal. mapLight below is the
// light pass's arithmetic in C++, which the tests hold the drawn pixels to.
//
// A light pass adds, per pixel:
//   colour x shape(s, t) x falloff(z) x (diffuse image x N.L + specular)
// where (s, t, z) is the pixel in the light's frame (lightFrame): s and t
// across its box (or its projection's frustum), 0 to 1, z along it. The shape
// is the light's image, or without one round: 1 - r^2, r the distance from
// the middle (1 at the box's edge). The falloff is the falloff image at
// (z x scale + offset, 0.5), or without one smooth: 1 - z^2. Outside the box
// (or behind a projected light, or outside its start and end) nothing is
// added. N is the material's normal map in the surface's tangent frame, the
// vertex normal without one; L points to where the light comes from (from
// its direction for a parallel light); an ambient light takes N.L as 1 and
// adds no specular. The specular term is the specular map's colour x
// (N.H)^16, H halfway between L and the eye, where the material has one.

#include <cstdint>

#include "math/matrix.h"
#include "math/vector.h"
#include "gpu/device.h"

namespace q {

struct MapLight;

constexpr float kSpecularExponent = 16.0f;

// The light programs' uniform block, std140: what a light pass (and the
// depth pass, which reads only the placement) names.
struct MapLightUniforms {
    Matrix worldViewProjection;  // the model's space to clip space
    Matrix world;                // the model's space to the world
    // The world to the light's frame: a point p gives (s q, t q, z, q).
    Matrix lightFrame;
    // xyz: where the light comes from (world); w 1. A parallel light: w 0,
    // xyz the direction towards it.
    float lightOrigin[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float colour[4] = {};  // rgb, each 0..1; w unused
    float eye[4] = {};     // xyz: the camera in the world; w unused
    // x: 1 for an ambient light (no direction); y: the diffuse term's weight
    // (0 under nodiffuse); z: the specular term's (0 under nospecular); w: its
    // exponent.
    float terms[4] = {0.0f, 1.0f, 1.0f, kSpecularExponent};
    // The falloff: x, y the image's coordinate from z (u = z x + y), z the
    // lowest z lit (-1 across a box, 0 from a projected light's start).
    float falloff[4] = {0.5f, 0.5f, -1.0f, 0.0f};

    void setPlacement(const Matrix& world, const Matrix& view, const Matrix& projection);
    void setEye(Vector3 eye);
    // The light placed by its copy (mapToWorld, worldToMap), lit by the eye.
    void setLight(const MapLight& light, bool ambient, const Matrix& mapToWorld, const Matrix& worldToMap);
    gpu::UniformBlock block() const { return gpu::UniformBlock(*this); }
};
static_assert(sizeof(MapLightUniforms) == 272, "the block is laid out as std140 lays out Uniforms");

// Both read the inputs of gpu::VertexFormat::LitTextured (the light pass the
// tangent too) and place the vertices alike, so that the light passes meet
// the depth pass's depth exactly.
gpu::ProgramDesc mapLightDepthProgramDesc();
gpu::ProgramDesc mapLightProgramDesc();

// What a light pass adds at a point of a surface (the model's space, normal
// unit length) whose image is `surface` and whose specular map is `specular`
// (rgb 0..1; 0: none), without light, falloff or normal images: the
// arithmetic of the program.
Vector3 mapLight(const MapLightUniforms& uniforms, Vector3 position, Vector3 normal, Vector3 surface,
                 Vector3 specular = {});

}  // namespace q
