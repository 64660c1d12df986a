#include "image/image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image_test_files.h"

namespace q {
namespace {

namespace fs = std::filesystem;
using test::ddsFile;
using test::DdsHeader;
using test::tgaFile;

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) /
               ("image_test_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }

    static std::vector<uint8_t> readBytes(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void writeBytes(const std::string& file, const std::vector<uint8_t>& bytes) {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    // Smooth colours (JPEG keeps them well): red grows along x, green along y.
    static Image gradient(uint32_t width, uint32_t height) {
        Image image{width, height, std::vector<uint8_t>(size_t{width} * height * 4)};
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t* p = &image.rgba[(size_t{y} * width + x) * 4];
                p[0] = uint8_t(40 + x * 150 / std::max(width, 32u));
                p[1] = uint8_t(40 + y * 150 / std::max(height, 32u));
                p[2] = 128;
                p[3] = 255;
            }
        return image;
    }

    // Loads a file that must fail and returns the message.
    std::string loadError(const std::string& file) {
        Image image;
        std::string error;
        EXPECT_FALSE(loadImageFile(file.c_str(), &image, &error)) << file;
        EXPECT_EQ(image.width, 0u);
        EXPECT_TRUE(image.rgba.empty());
        EXPECT_EQ(error.rfind(file + ": ", 0), 0u) << "message must name the file: " << error;
        return error;
    }

    std::vector<uint8_t> jpegBytes(uint32_t width, uint32_t height) {
        const std::string file = path("source.jpg");
        std::string error;
        EXPECT_TRUE(writeJpeg(file.c_str(), gradient(width, height), 90, &error)) << error;
        return readBytes(file);
    }

    std::vector<uint8_t> bmpBytes(uint32_t width, uint32_t height) {
        const std::string file = path("source.bmp");
        std::string error;
        EXPECT_TRUE(writeBmp(file.c_str(), gradient(width, height), &error)) << error;
        return readBytes(file);
    }

    std::vector<uint8_t> pngBytes(uint32_t width, uint32_t height) {
        const std::string file = path("source.png");
        std::string error;
        EXPECT_TRUE(writePng(file.c_str(), gradient(width, height), &error)) << error;
        return readBytes(file);
    }

    // Decodes bytes that must decode, as level 0 in RGBA8.
    static Image decoded(const std::vector<uint8_t>& bytes) {
        Image image;
        std::string error;
        EXPECT_TRUE(decodeImage(bytes.data(), bytes.size(), &image, &error, "test")) << error;
        return image;
    }
    // Decodes bytes that must fail and returns the message.
    static std::string refusal(const std::vector<uint8_t>& bytes) {
        Image image;
        std::string error;
        EXPECT_FALSE(decodeImage(bytes.data(), bytes.size(), &image, &error, "test.img"));
        EXPECT_TRUE(image.rgba.empty());
        EXPECT_EQ(error.rfind("test.img: ", 0), 0u) << error;
        return error;
    }

    fs::path dir_;
};

TEST_F(ImageTest, BmpRoundTripIsExactForAnySize) {
    // 3 and 17 texels give rows that need padding to four bytes; 1 x 1 is the minimum.
    const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {3, 5}, {17, 4}, {64, 33}};
    for (auto [w, h] : sizes) {
        const Image original = gradient(w, h);
        const std::string file = path("round.bmp");
        std::string error;
        ASSERT_TRUE(writeBmp(file.c_str(), original, &error)) << error;
        Image loaded;
        ASSERT_TRUE(loadImageFile(file.c_str(), &loaded, &error)) << error;
        EXPECT_EQ(loaded.width, w);
        EXPECT_EQ(loaded.height, h);
        EXPECT_EQ(loaded.rgba, original.rgba) << w << " x " << h;

        // The in-memory decoder gives the same pixels as the file loader.
        const std::vector<uint8_t> bytes = readBytes(file);
        Image fromMemory;
        ASSERT_TRUE(decodeImage(bytes.data(), bytes.size(), &fromMemory, &error)) << error;
        EXPECT_EQ(fromMemory.rgba, original.rgba);
    }
}

TEST_F(ImageTest, JpegRoundTripStaysCloseAndKeepsOddSizes) {
    const std::pair<uint32_t, uint32_t> sizes[] = {{3, 5}, {1, 1}, {37, 19}, {128, 64}};
    for (auto [w, h] : sizes) {
        const Image original = gradient(w, h);
        const std::string file = path("round.jpg");
        std::string error;
        ASSERT_TRUE(writeJpeg(file.c_str(), original, 95, &error)) << error;
        Image loaded;
        ASSERT_TRUE(loadImageFile(file.c_str(), &loaded, &error)) << error;
        ASSERT_EQ(loaded.width, w);
        ASSERT_EQ(loaded.height, h);
        ASSERT_EQ(loaded.rgba.size(), original.rgba.size());
        double totalError = 0;
        for (size_t i = 0; i < loaded.rgba.size(); ++i) {
            if (i % 4 == 3) {
                EXPECT_EQ(loaded.rgba[i], 255) << "JPEG pixels are opaque";
                continue;
            }
            totalError += std::abs(int(loaded.rgba[i]) - int(original.rgba[i]));
        }
        EXPECT_LT(totalError / (size_t{w} * h * 3), 6.0) << w << " x " << h;
    }
}

TEST_F(ImageTest, JpegQualityChangesTheFileSize) {
    const Image image = gradient(96, 96);
    std::string error;
    ASSERT_TRUE(writeJpeg(path("low.jpg").c_str(), image, 10, &error)) << error;
    ASSERT_TRUE(writeJpeg(path("high.jpg").c_str(), image, 98, &error)) << error;
    EXPECT_LT(fs::file_size(path("low.jpg")) * 2, fs::file_size(path("high.jpg")));
}

TEST_F(ImageTest, TopDownBmpKeepsItsFirstRowOnTop) {
    // 1 x 2, 24 bits, negative height: the first stored row is the top one.
    std::vector<uint8_t> bytes = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                                  40, 0, 0, 0, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 24, 0,
                                  0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0,
                                  0x00, 0x00, 0xFF, 0,   // red (B, G, R, pad)
                                  0xFF, 0x00, 0x00, 0};  // blue
    Image image;
    std::string error;
    ASSERT_TRUE(decodeImage(bytes.data(), bytes.size(), &image, &error)) << error;
    ASSERT_EQ(image.height, 2u);
    EXPECT_EQ(std::vector<uint8_t>(image.rgba.begin(), image.rgba.begin() + 4),
              (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(std::vector<uint8_t>(image.rgba.begin() + 4, image.rgba.end()),
              (std::vector<uint8_t>{0, 0, 255, 255}));
}

TEST_F(ImageTest, FilesThatAreNoImageGiveClearMessages) {
    EXPECT_NE(loadError(path("missing.jpg")).find("no such file"), std::string::npos);
    EXPECT_NE(loadError(dir_.string()).find("directory"), std::string::npos);

    writeBytes(path("empty.jpg"), {});
    EXPECT_NE(loadError(path("empty.jpg")).find("empty file"), std::string::npos);

    std::vector<uint8_t> noise(1000);
    uint32_t state = 12345;
    for (auto& b : noise) b = uint8_t((state = state * 1103515245u + 12345u) >> 16);
    noise[0] = 'x';
    writeBytes(path("noise.jpg"), noise);
    EXPECT_EQ(loadError(path("noise.jpg")), path("noise.jpg") + ": not a JPEG, PNG, TGA, DDS or BMP image");

    writeBytes(path("text.bmp"), {'P', '6', '\n'});
    EXPECT_EQ(loadError(path("text.bmp")), path("text.bmp") + ": not a JPEG, PNG, TGA, DDS or BMP image");
}

TEST_F(ImageTest, TruncatedJpegIsRejectedWhereverItIsCut) {
    const std::vector<uint8_t> whole = jpegBytes(64, 48);
    // Cut inside the headers, in the middle of the pixel data, and just before the end.
    for (size_t keep : {size_t{3}, size_t{40}, whole.size() / 2, whole.size() - 40}) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + keep);
        writeBytes(path("cut.jpg"), cut);
        EXPECT_EQ(loadError(path("cut.jpg")), path("cut.jpg") + ": truncated JPEG data") << keep;
    }
}

// Offset of the height field of the first baseline frame header (big-endian
// height then width follow its length and precision).
size_t jpegSizeField(const std::vector<uint8_t>& bytes) {
    for (size_t i = 2; i + 9 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) return i + 5;
    ADD_FAILURE() << "no frame header";
    return 0;
}

TEST_F(ImageTest, JpegWithImpossibleSizeIsRejectedBeforeDecoding) {
    std::vector<uint8_t> bytes = jpegBytes(16, 16);
    const size_t field = jpegSizeField(bytes);
    bytes[field] = 0x4E; bytes[field + 1] = 0x20;      // height 20000
    bytes[field + 2] = 0x00; bytes[field + 3] = 0x10;  // width 16
    writeBytes(path("tall.jpg"), bytes);
    EXPECT_EQ(loadError(path("tall.jpg")), path("tall.jpg") + ": image too large (16 x 20000)");

    bytes[field] = 0; bytes[field + 1] = 0;  // height 0
    writeBytes(path("flat.jpg"), bytes);
    loadError(path("flat.jpg"));

    // Claims far more rows than its data holds: the missing rows are truncation.
    bytes[field] = 0x10; bytes[field + 1] = 0x00;  // height 4096
    writeBytes(path("short.jpg"), bytes);
    EXPECT_EQ(loadError(path("short.jpg")), path("short.jpg") + ": truncated JPEG data");
}

TEST_F(ImageTest, BmpLyingAboutItsSizeIsRejected) {
    std::vector<uint8_t> bytes = bmpBytes(4, 4);
    auto putU32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
    };
    putU32(18, 100000);
    putU32(22, 100000);
    writeBytes(path("huge.bmp"), bytes);
    EXPECT_EQ(loadError(path("huge.bmp")), path("huge.bmp") + ": image too large (100000 x 100000)");

    putU32(18, 4);
    putU32(22, 0);
    writeBytes(path("none.bmp"), bytes);
    EXPECT_NE(loadError(path("none.bmp")).find("no pixels"), std::string::npos);

    putU32(22, 400);  // 400 rows claimed, 4 stored
    writeBytes(path("tall.bmp"), bytes);
    EXPECT_EQ(loadError(path("tall.bmp")), path("tall.bmp") + ": truncated BMP data");

    const std::vector<uint8_t> whole = bmpBytes(4, 4);
    for (size_t keep : {size_t{2}, size_t{20}, whole.size() - 1}) {
        writeBytes(path("cut.bmp"), std::vector<uint8_t>(whole.begin(), whole.begin() + keep));
        loadError(path("cut.bmp"));
    }
}

TEST_F(ImageTest, DamagedBytesNeverCrashTheDecoders) {
    // Deterministic byte damage over every format: every result is either a
    // consistent image or a failure with a message, and nothing reads out of bounds
    // (the sanitizer build checks that).
    DdsHeader dds;
    dds.mipCount = 3;
    const std::vector<uint8_t> sources[] = {
        jpegBytes(24, 20), bmpBytes(9, 7), pngBytes(9, 7), ddsFile(dds, test::repeated(test::bc1Block(0xF800), 3)),
        tgaFile(10, 5, 1, 24, 0x20, {0x82, 0, 0, 0xFF, 0x01, 0xFF, 0, 0, 0, 0xFF, 0})};
    uint32_t state = 2024;
    auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 8; };
    for (const auto& source : sources) {
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> bytes = source;
            for (int hits = 1 + next() % 4; hits > 0; --hits)
                bytes[next() % bytes.size()] = uint8_t(next());
            if (round % 3 == 0) bytes.resize(1 + next() % bytes.size());
            Image image;
            std::string error;
            if (decodeImage(bytes.data(), bytes.size(), &image, &error, "damaged")) {
                EXPECT_EQ(image.rgba.size(), size_t{image.width} * image.height * 4);
                EXPECT_GT(image.width, 0u);
            } else {
                EXPECT_EQ(error.rfind("damaged: ", 0), 0u) << error;
            }
        }
    }
}

TEST_F(ImageTest, PngDecodesExactlyAndRefusesCutOrLyingFiles) {
    const std::vector<uint8_t> bytes = pngBytes(37, 5);
    const Image image = decoded(bytes);
    EXPECT_EQ(image.width, 37u);
    EXPECT_EQ(image.height, 5u);
    EXPECT_EQ(image.rgba, gradient(37, 5).rgba);

    EXPECT_NE(refusal(std::vector<uint8_t>(bytes.begin(), bytes.end() - 20)).find("PNG"), std::string::npos);
    // A few bytes claiming 16000 x 16000 pixels (with a correct IHDR checksum)
    // are refused before the pixels are made.
    std::vector<uint8_t> tiny = pngBytes(2, 2);
    test::putU32(tiny, 16, 0x803E0000);  // big-endian 16000
    test::putU32(tiny, 20, 0x803E0000);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 12; i < 29; ++i) {  // chunk type and data
        crc ^= tiny[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i) tiny[29 + i] = uint8_t(crc >> (24 - 8 * i));
    EXPECT_NE(refusal(tiny).find("cannot hold a 16000 x 16000 image"), std::string::npos);
}

TEST_F(ImageTest, TgaReadsBothOriginsGreyAndRunLengthData) {
    // 2 x 2, 24 bits, stored bottom row first: blue red / green white on top.
    const std::vector<uint8_t> bottomUp = {0xFF, 0, 0, 0, 0, 0xFF,         // bottom: blue, red (B, G, R)
                                           0, 0xFF, 0, 0xFF, 0xFF, 0xFF};  // top: green, white
    Image image = decoded(tgaFile(2, 2, 2, 24, 0x00, bottomUp));
    EXPECT_EQ(image.rgba, (std::vector<uint8_t>{0, 255, 0, 255, 255, 255, 255, 255,    // top row first
                                                0, 0, 255, 255, 255, 0, 0, 255}));
    // 32 bits, first stored row on top, alpha kept.
    image = decoded(tgaFile(2, 2, 1, 32, 0x28, {0, 0, 0xFF, 0x40, 0xFF, 0, 0, 0x80}));
    EXPECT_EQ(image.rgba, (std::vector<uint8_t>{255, 0, 0, 0x40, 0, 0, 255, 0x80}));
    // 8-bit grey.
    image = decoded(tgaFile(3, 3, 1, 8, 0x20, {0, 0x7F, 0xFF}));
    EXPECT_EQ(image.rgba, (std::vector<uint8_t>{0, 0, 0, 255, 127, 127, 127, 255, 255, 255, 255, 255}));
    // Run-length, 24 bits: a run of three reds, then two literal pixels.
    const std::vector<uint8_t> runs = {0x82, 0, 0, 0xFF, 0x01, 0xFF, 0, 0, 0, 0xFF, 0};
    image = decoded(tgaFile(10, 5, 1, 24, 0x20, runs));
    EXPECT_EQ(image.rgba, (std::vector<uint8_t>{255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255,
                                                0, 255, 0, 255}));

    // Uncompressed true colour of both depths behind an ID field, three rows
    // stored bottom first (the middle one stays), from memory and from a file
    // (whose bytes the pixels are decoded within).
    for (const uint8_t bits : {24, 32}) {
        const uint32_t width = 5, height = 3, depth = bits / 8;
        std::vector<uint8_t> stored(size_t{width} * height * depth);
        for (size_t i = 0; i < stored.size(); ++i) stored[i] = uint8_t(i * 7 + 1);
        std::vector<uint8_t> expected;
        for (uint32_t row = height; row-- > 0;)
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* bgra = &stored[(size_t{row} * width + x) * depth];
                expected.insert(expected.end(), {bgra[2], bgra[1], bgra[0], depth == 4 ? bgra[3] : uint8_t(255)});
            }
        std::vector<uint8_t> file = tgaFile(2, width, height, bits, 0x00, {'i', 'd', '!'});
        file[0] = 3;
        file.insert(file.end(), stored.begin(), stored.end());
        EXPECT_EQ(decoded(file).rgba, expected) << int(bits);
        writeBytes(path("id.tga"), file);
        std::string error;
        ASSERT_TRUE(loadImageFile(path("id.tga").c_str(), &image, &error)) << error;
        EXPECT_EQ(image.rgba, expected) << int(bits);
        file.pop_back();
        EXPECT_NE(refusal(file).find("truncated TGA data"), std::string::npos);
    }

    // Cut data, run-length or not, is refused instead of padded.
    EXPECT_NE(refusal(tgaFile(10, 6, 1, 24, 0x20, runs)).find("truncated TGA data"), std::string::npos);
    EXPECT_NE(refusal(tgaFile(10, 5, 1, 24, 0x20, {runs.begin(), runs.end() - 1})).find("truncated TGA data"),
              std::string::npos);
    EXPECT_NE(refusal(tgaFile(2, 2, 3, 24, 0x20, bottomUp)).find("truncated TGA data"), std::string::npos);
    EXPECT_NE(refusal(tgaFile(2, 0, 3, 24, 0x20, bottomUp)).find("no pixels"), std::string::npos);
    EXPECT_NE(refusal(tgaFile(2, 2, 2, 7, 0x20, bottomUp)).find("7 bits per pixel"), std::string::npos);
}

TEST_F(ImageTest, DdsKeepsItsBlocksAndLevelsOrExpandsThem) {
    // 8 x 4 BC1 in three levels (8 x 4, 4 x 2, 2 x 1): two red blocks, then one block each.
    DdsHeader header;
    header.width = 8;
    header.mipCount = 3;
    std::vector<uint8_t> blocks = test::repeated(test::bc1Block(0xF800), 2);
    for (const auto& block : {test::bc1Block(0x07E0), test::bc1Block(0x001F)})
        blocks.insert(blocks.end(), block.begin(), block.end());
    const std::vector<uint8_t> file = ddsFile(header, blocks);
    TextureImage texture;
    std::string error;
    ASSERT_TRUE(decodeTextureImage(file.data(), file.size(), &texture, &error, "test")) << error;
    EXPECT_EQ(texture.format, TexelFormat::Bc1);
    EXPECT_EQ(texture.levelCount, 3u);
    EXPECT_EQ(std::vector<uint8_t>(texture.levels(), texture.levels() + blocks.size()), blocks);

    expandBlocks(&texture);
    ASSERT_EQ(texture.format, TexelFormat::Rgba8);
    ASSERT_EQ(texture.bytes.size(), (8 * 4 + 4 * 2 + 2 * 1) * 4u);
    EXPECT_EQ(std::vector<uint8_t>(texture.bytes.begin(), texture.bytes.begin() + 4), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(std::vector<uint8_t>(texture.bytes.begin() + 128, texture.bytes.begin() + 132),
              (std::vector<uint8_t>{0, 255, 0, 255}));  // level 1
    EXPECT_EQ(std::vector<uint8_t>(texture.bytes.end() - 4, texture.bytes.end()), (std::vector<uint8_t>{0, 0, 255, 255}));

    // BC3: a flat alpha of 0x80 before a red colour block.
    header = DdsHeader{};
    header.fourCc = "DXT5";
    std::vector<uint8_t> bc3 = {0x80, 0x80, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> red = test::bc1Block(0xF800);
    bc3.insert(bc3.end(), red.begin(), red.end());
    Image image = decoded(ddsFile(header, bc3));
    EXPECT_EQ(std::vector<uint8_t>(image.rgba.begin(), image.rgba.begin() + 4), (std::vector<uint8_t>{255, 0, 0, 0x80}));
    // BC2: explicit 4-bit alpha 0x5 everywhere.
    header.fourCc = "DXT3";
    std::vector<uint8_t> bc2(8, 0x55);
    bc2.insert(bc2.end(), red.begin(), red.end());
    image = decoded(ddsFile(header, bc2));
    EXPECT_EQ(std::vector<uint8_t>(image.rgba.begin(), image.rgba.begin() + 4), (std::vector<uint8_t>{255, 0, 0, 0x55}));

    // 32-bit texels stored B, G, R, A become R, G, B, A; a second level follows the first.
    header = DdsHeader{};
    header.fourCc.clear();
    header.width = 2, header.height = 1, header.mipCount = 2;
    const std::vector<uint8_t> bgra = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    texture = TextureImage{};
    const std::vector<uint8_t> plain = ddsFile(header, bgra);
    ASSERT_TRUE(decodeTextureImage(plain.data(), plain.size(), &texture, &error, "test")) << error;
    EXPECT_EQ(texture.format, TexelFormat::Rgba8);
    EXPECT_EQ(texture.levelCount, 2u);
    EXPECT_EQ(texture.bytes, (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12}));
}

TEST_F(ImageTest, DdsHeaderThatDoesNotFitItsFileIsRefused) {
    const std::vector<uint8_t> block = test::bc1Block(0xF800);
    DdsHeader header;
    header.mipCount = 3;  // 4 x 4, 2 x 2, 1 x 1: three blocks needed, one given
    EXPECT_NE(refusal(ddsFile(header, block)).find("truncated DDS data"), std::string::npos);
    header.mipCount = 4;  // a 4 x 4 image has three levels
    EXPECT_NE(refusal(ddsFile(header, test::repeated(block, 4))).find("4 mip levels"), std::string::npos);
    header = DdsHeader{};
    header.width = 100000;
    EXPECT_NE(refusal(ddsFile(header, block)).find("too large"), std::string::npos);
    header = DdsHeader{};
    header.caps2 = 0x200;
    EXPECT_NE(refusal(ddsFile(header, block)).find("cube map"), std::string::npos);
    header = DdsHeader{};
    header.fourCc = "ATI2";
    EXPECT_NE(refusal(ddsFile(header, block)).find("'ATI2'"), std::string::npos);
    header.fourCc.clear();
    header.masks[0] = 0x00FFF000;  // not one byte per channel
    EXPECT_NE(refusal(ddsFile(header, test::repeated(block, 8))).find("colour masks"), std::string::npos);
    std::vector<uint8_t> badSize = ddsFile(DdsHeader{}, block);
    test::putU32(badSize, 4, 100);
    EXPECT_NE(refusal(badSize).find("header size"), std::string::npos);
    EXPECT_NE(refusal(std::vector<uint8_t>(badSize.begin(), badSize.begin() + 60)).find("truncated DDS header"),
              std::string::npos);
}

TEST_F(ImageTest, WritersRefuseWhatTheyCannotWrite) {
    std::string error;
    const std::string nowhere = path("no/such/dir/out.png");
    EXPECT_FALSE(writePng(nowhere.c_str(), gradient(2, 2), &error));
    EXPECT_EQ(error.rfind(nowhere + ": cannot create", 0), 0u) << error;
    EXPECT_FALSE(writeBmp(path("empty.bmp").c_str(), Image{}, &error));
    EXPECT_FALSE(fs::exists(path("empty.bmp")));
    Image wrongSize = gradient(4, 4);
    wrongSize.rgba.pop_back();
    EXPECT_FALSE(writeJpeg(path("bad.jpg").c_str(), wrongSize, 90, &error));
    EXPECT_NE(error.find("does not match"), std::string::npos);
}

TEST_F(ImageTest, PngScreenshotHasItsSignatureAndSize) {
    std::string error;
    ASSERT_TRUE(writePng(path("shot.png").c_str(), gradient(300, 7), &error)) << error;
    const std::vector<uint8_t> bytes = readBytes(path("shot.png"));
    ASSERT_GT(bytes.size(), 33u);
    const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(std::begin(signature), std::end(signature), bytes.begin()));
    // IHDR: big-endian width and height right after the chunk type.
    EXPECT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "IHDR");
    EXPECT_EQ((bytes[16] << 24) | (bytes[17] << 16) | (bytes[18] << 8) | bytes[19], 300);
    EXPECT_EQ((bytes[20] << 24) | (bytes[21] << 16) | (bytes[22] << 8) | bytes[23], 7);
}

}  // namespace
}  // namespace q
