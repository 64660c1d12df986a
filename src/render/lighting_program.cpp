#include "render/lighting_program.h"

#include <algorithm>

namespace q {

const char kLightingProgramText[] =
    "vs.1.1\n"
    "dp4 oPos.x, v0, c0             ; clip position: the vertex through W*V*P\n"
    "dp4 oPos.y, v0, c1\n"
    "dp4 oPos.z, v0, c2\n"
    "dp4 oPos.w, v0, c3\n"
    "dp3 r1.x, v3, c7               ; normal into world space (rotation part of W)\n"
    "dp3 r1.y, v3, c8\n"
    "dp3 r1.z, v3, c9\n"
    "dp4 r2.x, v0,c7                ; vertex into world space, translation from .w\n"
    "dp4 r2.y, v0,c8\n"
    "dp4 r2.z, v0,c9\n"
    "dp3  r11.x, r1.xyz, r1.xyz     ; the world normal may be scaled: renormalise\n"
    "rsq  r11.y, r11.x\n"
    "mul  r1.xyz, r1.xyz, r11.y\n"
    "sub  r0, c5.xyz, r2.xyz        ; towards the light at the camera\n"
    "dp3  r11.x, r0, r0\n"
    "rsq  r11.y, r11.x              ; r11.y = 1 / distance to the light\n"
    "mul  r0, r0, r11.y\n"
    "dp3 r0.x, r1, r0               ; N.L\n"
    "max r0.x, r0.x, c6.x           ; surfaces facing away still get the floor\n"
    "mul r11.y, r11.y, c6.y         ; attenuation: scale / distance\n"
    "max r11.y, r11.y, c6.z         ; far vertices keep the attenuation floor\n"
    "mov oT0, v7                    ; texture coordinate unchanged\n"
    "mul oD0, r0.x, r11.y           ; grey level in every channel, alpha too\n";

void LightingConstants::setEye(Vector3 eye, float yaw) {
    const float light[4] = {eye.x, eye.y, eye.z, yaw};
    std::copy(light, light + 4, registers[5]);
    std::copy(kLightingFactors, kLightingFactors + 4, registers[6]);
}

void LightingConstants::setPlacement(const Matrix& world, const Matrix& view, const Matrix& projection) {
    const Matrix worldViewProjection = transposed(world * view * projection);
    std::copy(&worldViewProjection.m[0][0], &worldViewProjection.m[0][0] + 16, &registers[0][0]);
    // The first three rows of the transposed world carry normals and positions
    // to world space inside the program.
    const Matrix worldRows = transposed(world);
    std::copy(&worldRows.m[0][0], &worldRows.m[0][0] + 12, &registers[7][0]);
}

}  // namespace q
