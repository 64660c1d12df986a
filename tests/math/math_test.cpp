#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/bounds.h"
#include "math/matrix.h"
#include "math/plane.h"
#include "math/vector.h"

namespace q {
namespace {

void expectNear(Vector3 a, Vector3 b, float eps = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

TEST(Normalize, ZeroUnitAndEpsilonWindow) {
    EXPECT_EQ(normalized({0, 0, 0}), Vector3(0, 0, 0));

    // A vector whose squared length is within float epsilon of 1 comes back bit for bit.
    const Vector3 nearlyUnit{0.6f, 0.8f, 0.0f};
    const Vector3 out = normalized(nearlyUnit);
    EXPECT_EQ(std::memcmp(&out, &nearlyUnit, sizeof out), 0);

    expectNear(normalized({3, 0, 4}), {0.6f, 0.0f, 0.8f});

    // Below the smallest normal float: zero, not a division blow-up.
    EXPECT_EQ(normalized({1e-20f, 0, 0}), Vector3(0, 0, 0));
}

TEST(TransformCoord, DividesByWOnlyOutsideEpsilon) {
    Matrix m = Matrix::identity();
    m.m[3][3] = 2.0f;
    Vector3 p{2, 4, 6};
    expectNear(transformCoord(p, m), {1, 2, 3});
    m.m[3][3] = 1.0f + 1e-7f;  // within epsilon: no division
    EXPECT_EQ(transformCoord(p, m), p);
    Matrix t = Matrix::translation(1, 2, 3);
    expectNear(transformCoord(p, t), {3, 6, 9});
    expectNear(transformNormal(p, t), p);
}

TEST(MatrixInverse, SingularHasNone) {
    const Matrix singular;  // all zeros
    EXPECT_FALSE(inverse(singular).has_value());
    EXPECT_EQ(determinant(singular), 0.0f);
}

TEST(MatrixInverse, RotationAndTranslationRoundTrip) {
    Matrix r = Matrix::rotationYawPitchRoll(10.0f, 0.3f, -0.2f);
    r.m[3][0] = 4000;
    r.m[3][1] = -64;
    r.m[3][2] = 4000;
    const std::optional<Matrix> inv = inverse(r);
    ASSERT_TRUE(inv.has_value());
    EXPECT_NEAR(determinant(r), 1.0f, 1e-5f);
    const Matrix product = r * *inv;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], i == j ? 1.0f : 0.0f, 1e-3f);
}

TEST(YawPitchRoll, ConventionsOfTheAxes) {
    Matrix m = Matrix::rotationYawPitchRoll(0.5f * 3.14159265f, 0, 0);
    expectNear(transformNormal({0, 0, 1}, m), {1, 0, 0});  // positive yaw turns forward to +x
    m = Matrix::rotationYawPitchRoll(0, 0.5f * 3.14159265f, 0);
    expectNear(transformNormal({0, 0, 1}, m), {0, -1, 0});  // positive pitch looks down
    m = Matrix::rotationYawPitchRoll(0, 0, 0.5f * 3.14159265f);
    expectNear(transformNormal({1, 0, 0}, m), {0, 1, 0});
    EXPECT_EQ(Matrix::rotationYawPitchRoll(0, 0, 0), Matrix::identity());
}

TEST(Perspective, RowsAsDefined) {
    const Matrix p = Matrix::perspective(1.33f, 1.0f, 1.0f, 20000.0f);
    const float h = std::cos(0.665f) / std::sin(0.665f);
    EXPECT_FLOAT_EQ(p.m[0][0], h);
    EXPECT_FLOAT_EQ(p.m[1][1], h);
    EXPECT_FLOAT_EQ(p.m[2][2], 20000.0f / 19999.0f);
    EXPECT_FLOAT_EQ(p.m[2][3], 1.0f);
    EXPECT_FLOAT_EQ(p.m[3][2], -20000.0f / 19999.0f);
    EXPECT_EQ(p.m[3][3], 0.0f);
}

TEST(Planes, FromPointsNormalAndTransform) {
    const Vector3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
    EXPECT_EQ(Plane::fromPoints(a, b, c), (Plane{0, 0, 1, 0}));
    EXPECT_EQ(Plane::fromPoints(a, a, c), (Plane{0, 0, 0, 0}));  // degenerate

    EXPECT_EQ(Plane::fromPointNormal({0, 0, 5}, {0, 0, 2}), (Plane{0, 0, 2, -10}));

    // Moving the plane z = 5 by +3 along z: pass transpose(inverse(T)).
    const Plane unit{0, 0, 1, -5};
    const Matrix carry = transposed(inverse(Matrix::translation(0, 0, 3)).value());
    EXPECT_FLOAT_EQ(transformed(unit, carry).distance({0, 0, 8}), 0.0f);
}

TEST(BoundsOps, EmptyGrowAroundDisjoint) {
    Bounds b = Bounds::empty();
    EXPECT_EQ(b.mins, Vector3(10000, 10000, 10000));
    EXPECT_EQ(b.maxs, Vector3(-10000, -10000, -10000));
    b.grow(Bounds{{0, 0, 0}, {10, 30, 20}});
    EXPECT_EQ(b.mins, Vector3(0, 0, 0));
    EXPECT_EQ(b.maxs, Vector3(10, 30, 20));

    const Bounds box = Bounds::aroundPoint({-100, 5, 5}, {100, 100, 100});
    EXPECT_FALSE(Bounds::disjoint(box, b));  // touching at x = 0
    const Bounds further = Bounds::aroundPoint({-100.01f, 5, 5}, {100, 100, 100});
    EXPECT_TRUE(Bounds::disjoint(further, b));

    // Beyond the empty value's ±10000, and growing by nothing.
    Bounds far = Bounds::empty();
    far.grow(Bounds::empty());
    EXPECT_TRUE(far.isEmpty());
    far.grow(Vector3{20000, -15000, 12000});
    EXPECT_EQ(far.mins, Vector3(20000, -15000, 12000));
    EXPECT_EQ(far.maxs, Vector3(20000, -15000, 12000));
}

}  // namespace
}  // namespace q
