#pragma once
// 4 x 4 matrix of floats, rows m[0..3]; row vectors (p' = p * M), translation in
// the fourth row (m41, m42, m43).

namespace q {

struct Matrix {
    float m[4][4] = {};

    static Matrix identity();
    static Matrix translation(float x, float y, float z);
};

bool operator==(const Matrix& a, const Matrix& b);

// out = a * b: a's transform first, then b's. out may alias a or b.
Matrix* D3DXMatrixMultiply(Matrix* out, const Matrix* a, const Matrix* b);
Matrix* D3DXMatrixTranspose(Matrix* out, const Matrix* m);

// Inverse of m. Writes the determinant into det when det is not null. Fails,
// returning null and leaving out untouched, when 1/determinant is not finite.
Matrix* D3DXMatrixInverse(Matrix* out, float* det, const Matrix* m);

// Roll about Z, then pitch about X, then yaw about Y, built through the unit
// quaternion of the half angles.
Matrix* D3DXMatrixRotationYawPitchRoll(Matrix* out, float yaw, float pitch, float roll);

// Left-handed perspective projection with vertical field of view fovy.
Matrix* D3DXMatrixPerspectiveFovLH(Matrix* out, float fovy, float aspect, float zn, float zf);

Matrix operator*(const Matrix& a, const Matrix& b);
Matrix transposed(const Matrix& m);

}  // namespace q
