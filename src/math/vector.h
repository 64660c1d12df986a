#pragma once
// Three-component vector in single precision, y up. Points are row vectors
// multiplied on the left of a Matrix (p' = p * M).

namespace q {

struct Matrix;

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vector3() = default;
    constexpr Vector3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

constexpr Vector3 operator+(Vector3 a, Vector3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vector3 operator-(Vector3 a, Vector3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vector3 operator-(Vector3 a) { return {-a.x, -a.y, -a.z}; }
constexpr Vector3 operator*(Vector3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
constexpr Vector3 operator*(float s, Vector3 a) { return {a.x * s, a.y * s, a.z * s}; }
constexpr bool operator==(Vector3 a, Vector3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

constexpr float dot(Vector3 a, Vector3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr Vector3 cross(Vector3 a, Vector3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Scales v to unit length. A squared length within float epsilon of 1 returns v
// unchanged (bit for bit); a squared length at or below the smallest normal float
// gives (0, 0, 0).
Vector3 normalized(Vector3 v);

// (v, 1) * M divided by the resulting w; w within float epsilon of 1 is not divided.
Vector3 transformCoord(Vector3 v, const Matrix& m);

// (v, 0) * M: the upper 3 x 3 only.
Vector3 transformNormal(Vector3 v, const Matrix& m);

}  // namespace q
