#include "render/texture_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/gpu/recording/recording_device.h"
#include "platform/image.h"

namespace q {
namespace {

namespace fs = std::filesystem;

TEST(TextureFileTest, ImageBecomesATextureOfItsSizeWithItsTexels) {
    const fs::path file = fs::path(::testing::TempDir()) / ("texture_file_" + std::to_string(::getpid()) + ".bmp");
    Image image{3, 2, {}};
    for (uint8_t i = 0; i < 6; ++i) image.rgba.insert(image.rgba.end(), {uint8_t(10 * i), uint8_t(100 + i), 200, 255});
    std::string error;
    ASSERT_TRUE(writeBmp(file.c_str(), image, &error)) << error;

    gpu::RecordingDevice device;
    gpu::Texture* texture = loadTextureFile(device, file.c_str(), &error);
    ASSERT_TRUE(texture) << error;
    EXPECT_EQ(texture->width(), 3u);
    EXPECT_EQ(texture->height(), 2u);
    const std::vector<uint32_t>& texels = gpu::RecordingDevice::texels(texture);
    ASSERT_EQ(texels.size(), 6u);
    for (uint32_t i = 0; i < 6; ++i)  // 0xAARRGGBB, rows top to bottom
        EXPECT_EQ(texels[i], 0xff0000c8u | (10 * i) << 16 | (100 + i) << 8) << i;
    texture->release();

    // The device refusing the texture is a failure naming the file, as is a bad file.
    device.failNextTextureCreations(1);
    EXPECT_FALSE(loadTextureFile(device, file.c_str(), &error));
    EXPECT_EQ(error.rfind(file.string() + ": ", 0), 0u) << error;
    fs::remove(file);
    EXPECT_FALSE(loadTextureFile(device, file.c_str(), &error));
    EXPECT_EQ(error.rfind(file.string() + ": ", 0), 0u) << error;
    EXPECT_EQ(device.liveTextures(), 0u);
}

}  // namespace
}  // namespace q
