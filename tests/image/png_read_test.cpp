#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "image/image.h"
#include "image/image_png_read.h"

namespace q {
namespace {

TEST(AppPngRead, ReadsBackWhatWasWrittenAndRejectsBrokenFiles) {
    Image image;
    image.width = 3;
    image.height = 2;
    for (uint32_t i = 0; i < 6; ++i)
        image.rgba.insert(image.rgba.end(), {uint8_t(i * 40), uint8_t(255 - i), uint8_t(i), uint8_t(200 + i)});
    const std::string path = ::testing::TempDir() + "app_png_read.png";
    std::string error;
    ASSERT_TRUE(writePng(path.c_str(), image, &error)) << error;

    Image back;
    ASSERT_TRUE(loadPng(path.c_str(), &back, &error)) << error;
    EXPECT_EQ(back.width, 3u);
    EXPECT_EQ(back.height, 2u);
    EXPECT_EQ(back.rgba, image.rgba);

    // Cut in the middle of the pixel data: an error naming the file, no crash.
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size() - 20));
    EXPECT_FALSE(loadPng(path.c_str(), &back, &error));
    EXPECT_NE(error.find(path), std::string::npos);

    std::ofstream(path, std::ios::binary | std::ios::trunc) << "not a png at all";
    EXPECT_FALSE(loadPng(path.c_str(), &back, &error));
    EXPECT_NE(error.find("expected a PNG"), std::string::npos);
    EXPECT_FALSE(loadPng("/nonexistent/x.png", &back, &error));
    std::remove(path.c_str());
}

}  // namespace
}  // namespace q
