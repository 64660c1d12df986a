#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "math/matrix.h"
#include "math/vector.h"
#include "gpu/device.h"
#include "render/lighting_program.h"

namespace q {
namespace {

// Fills the uniform block the way the render pass does and lights one vertex.
class LightingRun {
public:
    LightingRun() {
        setMatrices(Matrix::identity(), Matrix::identity());
        setLight({0, 0, 0});
    }

    void setMatrices(const Matrix& world, const Matrix& viewProjection) {
        uniforms_.setPlacement(world, viewProjection, Matrix::identity());
    }
    void setLight(Vector3 p) { uniforms_.setEye(p); }

    LitVertex run(Vector3 position, Vector3 normal) const { return cameraLight(uniforms_, position, normal); }
    float brightness(Vector3 position, Vector3 normal) const { return run(position, normal).grey; }

private:
    LightingUniforms uniforms_;
};

float length(Vector3 v) { return std::sqrt(dot(v, v)); }

TEST(LightingProgram, BrightnessHasBothFloors) {
    LightingRun lighting;
    lighting.setLight({0, 0, 0});
    const Vector3 up{0, 1, 0};
    // Below the light, facing it, closer than 500: full brightness.
    EXPECT_FLOAT_EQ(lighting.brightness({0, -200, 0}, up), 1.0f);
    EXPECT_FLOAT_EQ(lighting.brightness({0, -499, 0}, up), 1.0f);
    // Facing away: the diffuse floor times the attenuation, never black; close
    // in, the attenuation above 1 still brings it to full brightness.
    EXPECT_FLOAT_EQ(lighting.brightness({0, 500, 0}, up), 0.5f);
    EXPECT_FLOAT_EQ(lighting.brightness({0, 200, 0}, up), 1.0f);
    // 1000 away, facing: attenuation floor 0.75 (500/1000 = 0.5 is raised).
    EXPECT_FLOAT_EQ(lighting.brightness({0, -1000, 0}, up), 0.75f);
    // Both floors together: the darkest any vertex gets.
    EXPECT_FLOAT_EQ(lighting.brightness({0, 1000, 0}, up), 0.375f);
    // Between the floors: 500 / 600 facing.
    EXPECT_NEAR(lighting.brightness({0, -600, 0}, up), 500.0f / 600.0f, 1e-6f);
    // Grazing light at 400 (N.L = 0): the diffuse floor times 500/400; the
    // attenuation is not limited to 1 before the product.
    EXPECT_FLOAT_EQ(lighting.brightness({400, 0, 0}, up), 0.625f);
}

TEST(LightingProgram, NormalLengthDoesNotMatter) {
    LightingRun lighting;
    lighting.setLight({30, 40, -20});
    Matrix world = Matrix::rotationYawPitchRoll(0.7f, -0.3f, 0.2f);
    world.m[3][0] = 5;
    world.m[3][1] = -7;
    lighting.setMatrices(world, Matrix::identity());
    const Vector3 position{-120, -300, 60};
    const Vector3 unit = normalized(Vector3{0.3f, 0.9f, -0.2f});
    float reference = lighting.brightness(position, unit);
    for (float scale : {0.01f, 0.5f, 3.0f, 250.0f})
        EXPECT_NEAR(lighting.brightness(position, unit * scale), reference, 1e-5f) << scale;
}

// The program against the same lighting worked out with the math library,
// for placed instances (rotation and translation in W).
TEST(LightingProgram, MatchesWorldSpaceLightingOfPlacedInstances) {
    LightingRun lighting;
    Matrix world = Matrix::rotationYawPitchRoll(1.1f, 0.0f, 0.0f);
    world.m[3][0] = 2000;
    world.m[3][1] = 35;
    world.m[3][2] = -800;
    lighting.setMatrices(world, Matrix::identity());
    const Vector3 light{2100, 60, -700};
    lighting.setLight(light);
    const Vector3 normals[] = {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}, {0.6f, 0.0f, 0.8f}};
    const Vector3 positions[] = {{0, 0, 0}, {-300, 20, 100}, {50, -40, 900}, {400, 0, -10}};
    for (Vector3 n : normals)
        for (Vector3 p : positions) {
            Vector3 worldPos = transformCoord(p, world);
            Vector3 toLight = light - worldPos;
            float diffuse = std::max(dot(normalized(transformNormal(n, world)), normalized(toLight)), 0.5f);
            float attenuation = std::max(500.0f / length(toLight), 0.75f);
            float expected = std::min(diffuse * attenuation, 1.0f);
            EXPECT_NEAR(lighting.brightness(p, n), expected, 2e-5f);
        }
}

TEST(LightingProgram, PositionsGoThroughWorldViewProjection) {
    LightingRun lighting;
    Matrix world = Matrix::rotationYawPitchRoll(0.4f, 0.0f, 0.0f);
    world.m[3][0] = 100;
    world.m[3][2] = 250;
    Matrix camera = Matrix::rotationYawPitchRoll(0.15f, 0.05f, 0.0f);
    camera.m[3][0] = -50;
    camera.m[3][1] = 80;
    camera.m[3][2] = -1000;
    const std::optional<Matrix> inverted = inverse(camera);
    ASSERT_TRUE(inverted.has_value());
    const Matrix view = *inverted;
    const Matrix projection = Matrix::perspective(0.785398f, 4.0f / 3.0f, 1.0f, 10000.0f);
    lighting.setMatrices(world, view * projection);
    const Matrix wvp = world * view * projection;
    for (Vector3 p : {Vector3{0, 0, 0}, Vector3{10, -20, 30}, Vector3{-200, 5, 600}}) {
        const LitVertex o = lighting.run(p, {0, 1, 0});
        Vector3 expected = transformCoord(p, wvp);
        ASSERT_GT(o.clip[3], 0.0f);
        EXPECT_NEAR(o.clip[0] / o.clip[3], expected.x, 1e-4f);
        EXPECT_NEAR(o.clip[1] / o.clip[3], expected.y, 1e-4f);
        EXPECT_NEAR(o.clip[2] / o.clip[3], expected.z, 1e-5f);
    }
}

}  // namespace
}  // namespace q
