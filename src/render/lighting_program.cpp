#include "render/lighting_program.h"

#include <algorithm>
#include <cmath>

namespace q {

namespace {

// row_major: the matrices are sent as they are kept, and p * M is the row
// vector times the matrix as everywhere else.
constexpr const char* kVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 texcoord;
layout(std140, row_major) uniform Uniforms {
    mat4 worldViewProjection;
    mat4 world;
    vec4 light;
    vec4 factors;
};
out float grey;
out vec2 uv;
void main() {
    vec4 p = vec4(position, 1.0);
    vec4 clip = p * worldViewProjection;
    gl_Position = vec4(clip.x, clip.y, 2.0 * clip.z - clip.w, clip.w);
    // The world may scale normals: renormalised after the rotation.
    vec3 worldNormal = (vec4(normal, 0.0) * world).xyz;
    worldNormal *= 1.0 / sqrt(dot(worldNormal, worldNormal));
    vec3 toLight = light.xyz - (p * world).xyz;
    float inverseDistance = 1.0 / sqrt(dot(toLight, toLight));
    float diffuse = max(dot(worldNormal, toLight * inverseDistance), factors.x);
    float attenuation = max(inverseDistance * factors.y, factors.z);
    grey = clamp(diffuse * attenuation, 0.0, 1.0);
    uv = texcoord;
}
)";

// The image's colour times the grey level, its alpha the image's; without an
// image the grey level in every channel, alpha too.
constexpr const char* kFragment = R"(#version 330 core
in float grey;
in vec2 uv;
uniform sampler2D surfaceImage;
uniform int texturesGiven;
uniform float alphaReference;
out vec4 fragColour;
void main() {
    vec4 colour = vec4(grey);
    if ((texturesGiven & 1) != 0) {
        vec4 texel = texture(surfaceImage, uv);
        colour = vec4(texel.rgb * grey, texel.a);
    }
    if (floor(colour.a * 255.0 + 0.5) < alphaReference) discard;
    fragColour = colour;
}
)";

float dot4(const float a[4], const float b[4]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]; }

// Row vector p times the matrix.
void transform(const float p[4], const Matrix& m, float out[4]) {
    for (int column = 0; column < 4; ++column) {
        const float c[4] = {m.m[0][column], m.m[1][column], m.m[2][column], m.m[3][column]};
        out[column] = dot4(p, c);
    }
}

}  // namespace

void LightingUniforms::setEye(Vector3 eye) {
    light[0] = eye.x;
    light[1] = eye.y;
    light[2] = eye.z;
}

void LightingUniforms::setPlacement(const Matrix& placement, const Matrix& view, const Matrix& projection) {
    worldViewProjection = placement * view * projection;
    world = placement;
}

gpu::ProgramDesc lightingProgramDesc() {
    return {kVertex, kFragment, gpu::VertexFormat::LitTextured, sizeof(LightingUniforms)};
}

LitVertex cameraLight(const LightingUniforms& u, Vector3 position, Vector3 normal) {
    LitVertex out{};
    const float p[4] = {position.x, position.y, position.z, 1.0f};
    const float n[4] = {normal.x, normal.y, normal.z, 0.0f};
    transform(p, u.worldViewProjection, out.clip);
    float worldPosition[4], worldNormal[4];
    transform(p, u.world, worldPosition);
    transform(n, u.world, worldNormal);
    const Vector3 turned{worldNormal[0], worldNormal[1], worldNormal[2]};
    const Vector3 unitNormal = turned * (1.0f / std::sqrt(dot(turned, turned)));
    const Vector3 toLight{u.light[0] - worldPosition[0], u.light[1] - worldPosition[1], u.light[2] - worldPosition[2]};
    const float inverseDistance = 1.0f / std::sqrt(dot(toLight, toLight));
    const float diffuse = std::max(dot(unitNormal, toLight * inverseDistance), u.factors[0]);
    const float attenuation = std::max(inverseDistance * u.factors[1], u.factors[2]);
    out.grey = std::clamp(diffuse * attenuation, 0.0f, 1.0f);
    return out;
}

}  // namespace q
