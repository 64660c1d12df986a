#pragma once
// 4 x 4 matrix of floats, rows m[0..3]; row vectors (p' = p * M), translation in
// the fourth row (m41, m42, m43).

#include <optional>

namespace q {

struct Matrix {
    float m[4][4] = {};

    static Matrix identity();
    static Matrix translation(float x, float y, float z);

    // Roll about Z, then pitch about X, then yaw about Y, built through the unit
    // quaternion of the half angles.
    static Matrix rotationYawPitchRoll(float yaw, float pitch, float roll);

    // Left-handed perspective projection with vertical field of view fovy.
    static Matrix perspective(float fovy, float aspect, float zn, float zf);
};

bool operator==(const Matrix& a, const Matrix& b);

// a * b: a's transform first, then b's.
Matrix operator*(const Matrix& a, const Matrix& b);
Matrix transposed(const Matrix& m);

float determinant(const Matrix& m);

// Inverse of m; nothing when 1/determinant is not finite, so the caller says
// what stands in for it (usually value_or of the matrix it had).
std::optional<Matrix> inverse(const Matrix& m);

}  // namespace q
