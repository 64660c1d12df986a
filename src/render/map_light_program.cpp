#include "render/map_light_program.h"

#include <algorithm>
#include <cmath>

#include "map/light_entities.h"

namespace q {

namespace {

// One vertex stage for both programs, its position invariant: the light
// passes test depth Equal against what the depth pass wrote.
constexpr const char* kVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 texcoord;
layout(location = 4) in vec4 tangent;
layout(std140, row_major) uniform Uniforms {
    mat4 worldViewProjection;
    mat4 world;
    mat4 lightFrame;
    vec4 lightOrigin;
    vec4 colour;
    vec4 eye;
    vec4 terms;
    vec4 falloff;
};
invariant gl_Position;
out vec3 worldPosition;
out vec3 worldNormal;
out vec4 worldTangent;
out vec2 uv;
void main() {
    vec4 p = vec4(position, 1.0);
    vec4 clip = p * worldViewProjection;
    gl_Position = vec4(clip.x, clip.y, 2.0 * clip.z - clip.w, clip.w);
    worldPosition = (p * world).xyz;
    worldNormal = (vec4(normal, 0.0) * world).xyz;
    worldTangent = vec4((vec4(tangent.xyz, 0.0) * world).xyz, tangent.w);
    uv = texcoord;
}
)";

// Black where the surface is drawn (its alpha test kept): the lights add the rest.
constexpr const char* kDepthFragment = R"(#version 330 core
in vec2 uv;
uniform sampler2D surfaceImage;
uniform int texturesGiven;
uniform float alphaReference;
out vec4 fragColour;
void main() {
    float alpha = (texturesGiven & 1) != 0 ? texture(surfaceImage, uv).a : 1.0;
    if (floor(alpha * 255.0 + 0.5) < alphaReference) discard;
    fragColour = vec4(0.0, 0.0, 0.0, 1.0);
}
)";

// Slots by bit of texturesGiven: 1 surface image, 2 normal map, 4 specular
// map, 8 light image, 16 falloff image.
constexpr const char* kLightFragment = R"(#version 330 core
in vec3 worldPosition;
in vec3 worldNormal;
in vec4 worldTangent;
in vec2 uv;
layout(std140, row_major) uniform Uniforms {
    mat4 worldViewProjection;
    mat4 world;
    mat4 lightFrame;
    vec4 lightOrigin;
    vec4 colour;
    vec4 eye;
    vec4 terms;
    vec4 falloff;
};
uniform sampler2D surfaceImage, normalMap, specularMap, lightImage, lightFalloff;
uniform int texturesGiven;
uniform float alphaReference;
out vec4 fragColour;
vec3 unit(vec3 v) { return v * inversesqrt(max(dot(v, v), 1e-20)); }
void main() {
    vec4 texel = (texturesGiven & 1) != 0 ? texture(surfaceImage, uv) : vec4(1.0);
    if (floor(texel.a * 255.0 + 0.5) < alphaReference) discard;
    vec3 lit = vec3(0.0);
    vec4 frame = vec4(worldPosition, 1.0) * lightFrame;
    vec2 st = frame.xy / max(frame.w, 1e-20);
    float z = frame.z;
    if (frame.w > 0.0 && all(greaterThanEqual(st, vec2(0.0))) && all(lessThanEqual(st, vec2(1.0))) &&
        z >= falloff.z && z <= 1.0) {
        vec2 middle = st * 2.0 - 1.0;
        vec3 shape = (texturesGiven & 8) != 0 ? texture(lightImage, st).rgb
                                              : vec3(max(1.0 - dot(middle, middle), 0.0));
        vec3 fall = (texturesGiven & 16) != 0 ? texture(lightFalloff, vec2(z * falloff.x + falloff.y, 0.5)).rgb
                                              : vec3(max(1.0 - z * z, 0.0));
        vec3 n = unit(worldNormal);
        vec3 t = worldTangent.xyz - n * dot(n, worldTangent.xyz);
        if ((texturesGiven & 2) != 0 && dot(t, t) > 1e-12) {
            t = unit(t);
            vec3 m = texture(normalMap, uv).xyz * 2.0 - 1.0;
            n = unit(t * m.x + cross(n, t) * worldTangent.w * m.y + n * m.z);
        }
        vec3 l = unit(lightOrigin.w > 0.5 ? lightOrigin.xyz - worldPosition : lightOrigin.xyz);
        float nl = terms.x > 0.5 ? 1.0 : max(dot(n, l), 0.0);
        vec3 sum = texel.rgb * (nl * terms.y);
        if (terms.x < 0.5 && (texturesGiven & 4) != 0 && nl > 0.0) {
            vec3 h = unit(l + unit(eye.xyz - worldPosition));
            sum += texture(specularMap, uv).rgb * (pow(max(dot(n, h), 0.0), terms.w) * terms.z);
        }
        lit = colour.rgb * shape * fall * sum;
    }
    fragColour = vec4(lit, 1.0);
}
)";

void setRow(float out[4], Vector3 v, float w) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
    out[3] = w;
}

Vector3 rowOf(const Matrix& m, int row) { return {m.m[row][0], m.m[row][1], m.m[row][2]}; }

// The column of a row-vector matrix that gives dot(p, along) + offset.
void setColumn(Matrix* m, int column, Vector3 along, float offset) {
    m->m[0][column] = along.x;
    m->m[1][column] = along.y;
    m->m[2][column] = along.z;
    m->m[3][column] = offset;
}

float lengthSquared(Vector3 v) { return dot(v, v); }

// (s q, t q, z, q) of a map-space point: across the box and along its z (a
// point or parallel light), or through the target, up and right of a
// projected one, from its start to its end. +y (up) is the image's top row.
Matrix lightFrameInMap(const MapLight& light, float* lowestZ) {
    Matrix frame;
    const Vector3 origin = light.origin;
    if (light.projected) {
        const Vector3 target = transformNormal(light.target, light.axes);
        const Vector3 up = transformNormal(light.up, light.axes);
        const Vector3 right = transformNormal(light.right, light.axes);
        const Vector3 start = transformNormal(light.hasStartEnd ? light.start : Vector3{}, light.axes);
        const Vector3 end = transformNormal(light.hasStartEnd ? light.end : light.target, light.axes);
        const float targetSq = std::max(lengthSquared(target), 1e-12f);
        const float rightSq = std::max(lengthSquared(right), 1e-12f);
        const float upSq = std::max(lengthSquared(up), 1e-12f);
        const Vector3 q = target * (1.0f / targetSq);
        const Vector3 s = q * 0.5f + right * (0.5f / rightSq);
        const Vector3 t = q * 0.5f - up * (0.5f / upSq);
        const Vector3 span = end - start;
        const Vector3 z = span * (1.0f / std::max(lengthSquared(span), 1e-12f));
        setColumn(&frame, 0, s, -dot(origin, s));
        setColumn(&frame, 1, t, -dot(origin, t));
        setColumn(&frame, 2, z, -dot(origin + start, z));
        setColumn(&frame, 3, q, -dot(origin, q));
        *lowestZ = 0.0f;
        return frame;
    }
    const Vector3 x = rowOf(light.axes, 0) * (0.5f / std::max(light.radius.x, 1e-6f));
    const Vector3 y = rowOf(light.axes, 1) * (-0.5f / std::max(light.radius.y, 1e-6f));
    const Vector3 z = rowOf(light.axes, 2) * (1.0f / std::max(light.radius.z, 1e-6f));
    setColumn(&frame, 0, x, 0.5f - dot(origin, x));
    setColumn(&frame, 1, y, 0.5f - dot(origin, y));
    setColumn(&frame, 2, z, -dot(origin, z));
    setColumn(&frame, 3, {}, 1.0f);
    *lowestZ = -1.0f;
    return frame;
}

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

}  // namespace

void MapLightUniforms::setPlacement(const Matrix& placement, const Matrix& view, const Matrix& projection) {
    worldViewProjection = placement * view * projection;
    world = placement;
}

void MapLightUniforms::setEye(Vector3 position) { setRow(eye, position, 0.0f); }

void MapLightUniforms::setLight(const MapLight& light, bool ambient, const Matrix& mapToWorld,
                                const Matrix& worldToMap) {
    float lowestZ = -1.0f;
    lightFrame = worldToMap * lightFrameInMap(light, &lowestZ);
    if (light.parallel && !light.projected) {
        Vector3 towards = transformNormal(light.center, light.axes);
        if (lengthSquared(towards) < 1e-12f) towards = rowOf(light.axes, 2);
        setRow(lightOrigin, normalized(transformNormal(towards, mapToWorld)), 0.0f);
    } else {
        const Vector3 from = light.projected ? light.origin : light.origin + transformNormal(light.center, light.axes);
        setRow(lightOrigin, transformCoord(from, mapToWorld), 1.0f);
    }
    setRow(colour, light.color, 0.0f);
    terms[0] = ambient ? 1.0f : 0.0f;
    terms[1] = light.noDiffuse ? 0.0f : 1.0f;
    terms[2] = light.noSpecular ? 0.0f : 1.0f;
    // Across a box the falloff image's middle is the light's; from a
    // projected light's start its left edge.
    falloff[0] = light.projected ? 1.0f : 0.5f;
    falloff[1] = light.projected ? 0.0f : 0.5f;
    falloff[2] = lowestZ;
}

gpu::ProgramDesc mapLightDepthProgramDesc() {
    return {kVertex, kDepthFragment, gpu::VertexFormat::LitTextured, sizeof(MapLightUniforms)};
}

gpu::ProgramDesc mapLightProgramDesc() {
    return {kVertex, kLightFragment, gpu::VertexFormat::LitTextured, sizeof(MapLightUniforms)};
}

Vector3 mapLight(const MapLightUniforms& u, Vector3 position, Vector3 normal, Vector3 surface, Vector3 specular) {
    const Vector3 world = transformCoord(position, u.world);
    float frame[4];
    for (int c = 0; c < 4; ++c)
        frame[c] = world.x * u.lightFrame.m[0][c] + world.y * u.lightFrame.m[1][c] +
                   world.z * u.lightFrame.m[2][c] + u.lightFrame.m[3][c];
    if (!(frame[3] > 0.0f)) return {};
    const float s = frame[0] / frame[3], t = frame[1] / frame[3], z = frame[2];
    if (s < 0.0f || s > 1.0f || t < 0.0f || t > 1.0f || z < u.falloff[2] || z > 1.0f) return {};
    const float ms = s * 2.0f - 1.0f, mt = t * 2.0f - 1.0f;
    const float shape = std::max(1.0f - (ms * ms + mt * mt), 0.0f);
    const float fall = std::max(1.0f - z * z, 0.0f);
    const Vector3 n = normalized(transformNormal(normal, u.world));
    const Vector3 origin{u.lightOrigin[0], u.lightOrigin[1], u.lightOrigin[2]};
    const Vector3 l = normalized(u.lightOrigin[3] > 0.5f ? origin - world : origin);
    const float nl = u.terms[0] > 0.5f ? 1.0f : std::max(dot(n, l), 0.0f);
    Vector3 sum = surface * (nl * u.terms[1]);
    if (u.terms[0] < 0.5f && nl > 0.0f) {
        const Vector3 eye{u.eye[0], u.eye[1], u.eye[2]};
        const float nh = std::max(dot(n, normalized(l + normalized(eye - world))), 0.0f);
        sum = sum + specular * (std::pow(nh, u.terms[3]) * u.terms[2]);
    }
    const float scale = shape * fall;
    return {clamp01(u.colour[0] * sum.x * scale), clamp01(u.colour[1] * sum.y * scale),
            clamp01(u.colour[2] * sum.z * scale)};
}

}  // namespace q
