#include "render/texture_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "image_test_files.h"

#include "gpu/recording/recording_device.h"
#include "image/image.h"

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
    gpu::DeviceHandle<gpu::Texture> texture = loadTextureFile(device, file.c_str(), &error);
    ASSERT_TRUE(texture) << error;
    EXPECT_EQ(texture->width(), 3u);
    EXPECT_EQ(texture->height(), 2u);
    const std::vector<uint32_t>& texels = gpu::RecordingDevice::texels(texture.get());
    ASSERT_EQ(texels.size(), 6u);
    for (uint32_t i = 0; i < 6; ++i)  // 0xAARRGGBB, rows top to bottom
        EXPECT_EQ(texels[i], 0xff0000c8u | (10 * i) << 16 | (100 + i) << 8) << i;
    texture.reset();

    // The device refusing the texture is a failure naming the file, as is a bad file.
    device.failNextTextureCreations(1);
    EXPECT_FALSE(loadTextureFile(device, file.c_str(), &error));
    EXPECT_EQ(error.rfind(file.string() + ": ", 0), 0u) << error;
    fs::remove(file);
    EXPECT_FALSE(loadTextureFile(device, file.c_str(), &error));
    EXPECT_EQ(error.rfind(file.string() + ": ", 0), 0u) << error;
    EXPECT_EQ(device.liveTextures(), 0u);
}

TEST(TextureFileTest, DdsLevelsGoToTheDeviceCompressedOrExpanded) {
    // 4 x 4 BC1 with its own three levels: red, green, blue blocks.
    test::DdsHeader header;
    header.mipCount = 3;
    std::vector<uint8_t> blocks;
    for (uint16_t colour : {0xF800, 0x07E0, 0x001F}) {
        const std::vector<uint8_t> block = test::bc1Block(colour);
        blocks.insert(blocks.end(), block.begin(), block.end());
    }
    const std::vector<uint8_t> file = test::ddsFile(header, blocks);
    const fs::path path = fs::path(::testing::TempDir()) / ("texture_file_" + std::to_string(::getpid()) + ".dds");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));

    gpu::RecordingDevice device;
    std::string error;
    gpu::DeviceHandle<gpu::Texture> texture = loadTextureFile(device, path.c_str(), &error);
    ASSERT_TRUE(texture) << error;
    EXPECT_EQ(gpu::RecordingDevice::format(texture.get()), TexelFormat::Bc1);
    EXPECT_EQ(gpu::RecordingDevice::levelCount(texture.get()), 3u);
    EXPECT_EQ(gpu::RecordingDevice::storedLevels(texture.get()), blocks);
    texture.reset();

    // Without S3TC the same levels arrive decoded.
    device.setBlockCompression(false);
    texture = loadTextureFile(device, path.c_str(), &error);
    ASSERT_TRUE(texture) << error;
    EXPECT_EQ(gpu::RecordingDevice::format(texture.get()), TexelFormat::Rgba8);
    EXPECT_EQ(gpu::RecordingDevice::levelCount(texture.get()), 3u);
    const std::vector<uint8_t>& levels = gpu::RecordingDevice::storedLevels(texture.get());
    ASSERT_EQ(levels.size(), (16 + 4 + 1) * 4u);
    EXPECT_EQ(gpu::RecordingDevice::texels(texture.get()), std::vector<uint32_t>(16, 0xffff0000u));
    EXPECT_EQ(std::vector<uint8_t>(levels.begin() + 64, levels.begin() + 68), (std::vector<uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(std::vector<uint8_t>(levels.end() - 4, levels.end()), (std::vector<uint8_t>{0, 0, 255, 255}));
    texture.reset();

    // A device that claims S3TC but refuses these blocks gets them decoded.
    device.setBlockCompression(true);
    device.failNextTextureCreations(1);
    texture = loadTextureFile(device, path.c_str(), &error);
    ASSERT_TRUE(texture) << error;
    EXPECT_EQ(gpu::RecordingDevice::format(texture.get()), TexelFormat::Rgba8);
    texture.reset();
    fs::remove(path);
}

}  // namespace
}  // namespace q
