#include "platform/font.h"

#include <gtest/gtest.h>

#include <vector>

namespace q {
namespace {

constexpr int kCell = 27;  // 20 points at 96 pixels per inch

std::unique_ptr<Font> openArial() {
    std::string error;
    std::unique_ptr<Font> font = Font::open("Arial", kCell, &error);
    EXPECT_TRUE(font) << error;
    return font;
}

TEST(FontTest, ArialResolvesToAMetricCompatibleFaceWithTheRequestedCell) {
    const std::unique_ptr<Font> font = openArial();
    ASSERT_TRUE(font);
    EXPECT_NE(font->file().find("LiberationSans"), std::string::npos) << font->file();
    for (int code = 32; code <= 126; ++code) {
        const Font::Extent extent = font->measure(static_cast<char>(code));
        EXPECT_EQ(extent.height, kCell) << char(code);
        EXPECT_GT(extent.width, 0) << char(code);
        EXPECT_LT(extent.width, kCell) << char(code);
    }
    // Figures share one advance in this face; W is far wider than i.
    for (char digit = '1'; digit <= '9'; ++digit)
        EXPECT_EQ(font->measure(digit).width, font->measure('0').width) << digit;
    EXPECT_GT(font->measure('W').width, 3 * font->measure('i').width);
}

// Rows and columns of a bitmap that hold any coverage.
struct Ink {
    int top = 1 << 30, bottom = -1, left = 1 << 30, right = -1, full = 0;
};
Ink inkOf(const std::vector<uint8_t>& bitmap, int size) {
    Ink ink;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const uint8_t c = bitmap[size_t(y) * size + x];
            if (!c) continue;
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.full += c == 255;
        }
    return ink;
}

TEST(FontTest, GlyphsSitOnOneBaselineInsideTheirCell) {
    const std::unique_ptr<Font> font = openArial();
    ASSERT_TRUE(font);
    constexpr int kSize = 64;
    std::vector<uint8_t> h(kSize * kSize, 0), g(kSize * kSize, 0);
    font->draw('H', 10, 5, h.data(), kSize);
    font->draw('g', 10, 5, g.data(), kSize);
    const Ink hInk = inkOf(h, kSize), gInk = inkOf(g, kSize);

    // H: solid stems, inside its advance, standing on the baseline about four
    // fifths down the cell; g hangs below that baseline but stays in the cell.
    EXPECT_GT(hInk.full, 20);
    EXPECT_GE(hInk.left, 10);
    EXPECT_LE(hInk.right, 10 + font->measure('H').width);
    EXPECT_GE(hInk.top, 5 + 2);
    EXPECT_NEAR(hInk.bottom, 5 + 21, 1);
    EXPECT_GT(gInk.bottom, hInk.bottom + 3);
    EXPECT_LT(gInk.bottom, 5 + kCell);
    // The space draws nothing.
    std::vector<uint8_t> space(kSize * kSize, 0);
    font->draw(' ', 10, 5, space.data(), kSize);
    EXPECT_EQ(inkOf(space, kSize).bottom, -1);
}

TEST(FontTest, DrawingClipsAtEveryEdgeOfTheBitmap) {
    const std::unique_ptr<Font> font = openArial();
    ASSERT_TRUE(font);
    constexpr int kSize = 32, kGuard = 256;
    std::vector<uint8_t> memory(kGuard + kSize * kSize + kGuard, 0xAB);
    uint8_t* bitmap = memory.data() + kGuard;
    std::fill(bitmap, bitmap + kSize * kSize, 0);
    const int places[][2] = {{-8, -8}, {kSize - 6, kSize - 10}, {-12, 10}, {10, -20},
                             {kSize - 4, 0}, {0, kSize - 3}, {-100000, 5}, {5, 100000}};
    for (auto [x, y] : places) font->draw('W', x, y, bitmap, kSize);
    for (int i = 0; i < kGuard; ++i) {
        ASSERT_EQ(memory[i], 0xAB) << "written before the bitmap";
        ASSERT_EQ(memory[kGuard + kSize * kSize + i], 0xAB) << "written after the bitmap";
    }
    // Partly visible glyphs still leave their visible part.
    const Ink ink = inkOf(std::vector<uint8_t>(bitmap, bitmap + kSize * kSize), kSize);
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.right, kSize - 1);
}

TEST(FontTest, ImpossibleHeightsAreRefusedWithAReason) {
    for (int height : {0, -27, 100000}) {
        std::string error;
        EXPECT_FALSE(Font::open("Arial", height, &error));
        EXPECT_NE(error.find("height"), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace q
