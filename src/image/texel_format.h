#pragma once
// How the texels of a texture's levels are stored: decoded RGBA8, or the S3TC
// blocks (BC1 to BC3) a DDS file carries, which the GPU can sample directly.

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace q {

enum class TexelFormat : uint32_t { Rgba8, Bc1, Bc2, Bc3 };

inline bool isBlockFormat(TexelFormat format) { return format != TexelFormat::Rgba8; }

// Bytes of one level of width x height texels: RGBA8 rows without padding, or
// whole 4 x 4 blocks of 8 (BC1) or 16 bytes.
inline uint64_t levelBytes(TexelFormat format, uint32_t width, uint32_t height) {
    if (format == TexelFormat::Rgba8) return uint64_t{width} * height * 4;
    const uint64_t blocks = uint64_t{(width + 3) / 4} * ((height + 3) / 4);
    return blocks * (format == TexelFormat::Bc1 ? 8 : 16);
}

// The side of level `level` of a texture whose level 0 is `side` texels.
inline uint32_t levelSide(uint32_t side, uint32_t level) { return std::max(1u, level < 32 ? side >> level : 0u); }

// Levels from width x height down to 1 x 1.
inline uint32_t fullChainLevels(uint32_t width, uint32_t height) {
    uint32_t levels = 1;
    for (uint32_t side = std::max(width, height); side > 1; side >>= 1) ++levels;
    return levels;
}

// Bytes of the first levelCount levels, one after another.
inline uint64_t chainBytes(TexelFormat format, uint32_t width, uint32_t height, uint32_t levelCount) {
    uint64_t bytes = 0;
    for (uint32_t level = 0; level < levelCount; ++level)
        bytes += levelBytes(format, levelSide(width, level), levelSide(height, level));
    return bytes;
}

}  // namespace q
