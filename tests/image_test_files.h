#pragma once
// Small TGA and DDS files built byte by byte, for the decoders' tests: we ship
// no image files, and these formats have no writer in the viewer.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace q::test {

inline void putU16(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    bytes[at] = uint8_t(v);
    bytes[at + 1] = uint8_t(v >> 8);
}
inline void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    putU16(bytes, at, v);
    putU16(bytes, at + 2, v >> 16);
}

// An 18-byte TGA header and the pixel data as given (no colour map).
// descriptor 0x20: first stored row on top; 0: at the bottom.
inline std::vector<uint8_t> tgaFile(uint8_t type, uint32_t width, uint32_t height, uint8_t bits, uint8_t descriptor,
                                    const std::vector<uint8_t>& pixelData) {
    std::vector<uint8_t> bytes(18 + pixelData.size(), 0);
    bytes[2] = type;
    putU16(bytes, 12, width);
    putU16(bytes, 14, height);
    bytes[16] = bits;
    bytes[17] = descriptor;
    std::copy(pixelData.begin(), pixelData.end(), bytes.begin() + 18);
    return bytes;
}

// A 128-byte DDS header followed by data. fourCc empty: 32-bit texels with the
// given red, green, blue and alpha masks (alpha 0: none).
struct DdsHeader {
    uint32_t width = 4, height = 4, mipCount = 1;
    std::string fourCc = "DXT1";
    uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    uint32_t caps2 = 0;
};

inline std::vector<uint8_t> ddsFile(const DdsHeader& h, const std::vector<uint8_t>& data) {
    // Header and texels sized at once (GCC 12 takes an append to a vector of
    // a size it knows for an out-of-bounds write at -O2).
    std::vector<uint8_t> bytes(128 + data.size(), 0);
    bytes[0] = 'D', bytes[1] = 'D', bytes[2] = 'S', bytes[3] = ' ';
    putU32(bytes, 4, 124);
    putU32(bytes, 8, 0x1 | 0x2 | 0x4 | 0x1000 | (h.mipCount > 1 ? 0x20000 : 0));
    putU32(bytes, 12, h.height);
    putU32(bytes, 16, h.width);
    putU32(bytes, 28, h.mipCount);
    putU32(bytes, 76, 32);
    if (!h.fourCc.empty()) {
        putU32(bytes, 80, 0x4);
        for (size_t i = 0; i < 4 && i < h.fourCc.size(); ++i) bytes[84 + i] = uint8_t(h.fourCc[i]);
    } else {
        putU32(bytes, 80, 0x40 | (h.masks[3] ? 0x1 : 0));
        putU32(bytes, 88, 32);
        for (int i = 0; i < 4; ++i) putU32(bytes, 92 + 4 * i, h.masks[i]);
    }
    putU32(bytes, 108, 0x1000);
    putU32(bytes, 112, h.caps2);
    std::copy(data.begin(), data.end(), bytes.begin() + 128);
    return bytes;
}

// One BC1 block of a single 5:6:5 colour (every index picks colour 0).
inline std::vector<uint8_t> bc1Block(uint16_t colour565) {
    return {uint8_t(colour565), uint8_t(colour565 >> 8), 0, 0, 0, 0, 0, 0};
}

inline std::vector<uint8_t> repeated(const std::vector<uint8_t>& block, size_t times) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < times; ++i) bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

}  // namespace q::test
