#pragma once
// A view volume of six planes whose normals point out: a point is outside a
// plane when its signed distance is greater than 0.

#include <cstdint>

#include "math/bounds.h"
#include "math/plane.h"

namespace q {

class Camera;
struct Matrix;

enum FrustumSlot { kNear = 0, kFar = 1, kLeft = 2, kRight = 3, kTop = 4, kBottom = 5 };

struct Frustum {
    Plane planes[6];
    Plane& operator[](int slot) { return planes[slot]; }
    const Plane& operator[](int slot) const { return planes[slot]; }
};

// 0 when all `count` points lie outside one and the same plane; otherwise a mask
// whose bit 4*(slot-2)+j is set when point j is not outside side plane `slot`
// (bits beyond stay set). count must be at most 20.
uint32_t classifyPoints(const Vector3* points, const Frustum& frustum, int count);

// classifyPoints over the eight corners, x fastest, then y, then z.
uint32_t boundsInFrustum(const Bounds& bounds, const Frustum& frustum);

// The camera's frustum in the space whose points p reach the world as p * world;
// while lines are captured it also adds the camera's own view volume to them.
void buildFrustum(const Camera& camera, Frustum* out, const Matrix& world);

// Bit operations on arrays of 32-bit words; n is not checked against the array.
// Inline: the render pass tests one bit per area of every instance each frame.
inline bool bitTest(const uint32_t* words, uint32_t n) { return ((words[n / 32] >> (n % 32)) & 1u) != 0; }
inline void bitSet(uint32_t* words, uint32_t n) { words[n / 32] |= 1u << (n % 32); }
inline void bitClear(uint32_t* words, uint32_t n) { words[n / 32] &= ~(1u << (n % 32)); }

}  // namespace q
