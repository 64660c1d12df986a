#include "mapgen/textures.h"

#include <algorithm>
#include <cmath>

namespace q::mapgen {

namespace {

struct Rgb {
    float r, g, b;
};

// Hash noise on a lattice that wraps at `period`, so the image tiles.
float latticeNoise(int x, int y, int period, uint32_t seed) {
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<float>(h & 0xffff) / 65535.0f;
}

// Smooth value noise, 0..1, `cells` lattice cells across the image.
float smoothNoise(int px, int py, int cells, uint32_t seed) {
    const float fx = static_cast<float>(px) * cells / kTextureSize;
    const float fy = static_cast<float>(py) * cells / kTextureSize;
    const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
    const float tx = fx - x0, ty = fy - y0;
    const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const float a = latticeNoise(x0, y0, cells, seed), b = latticeNoise(x0 + 1, y0, cells, seed);
    const float c = latticeNoise(x0, y0 + 1, cells, seed), d = latticeNoise(x0 + 1, y0 + 1, cells, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

float grain(int x, int y, uint32_t seed) {
    return 0.5f * smoothNoise(x, y, 8, seed) + 0.3f * smoothNoise(x, y, 32, seed + 1) +
           0.2f * smoothNoise(x, y, 128, seed + 2);
}

// Distance (in pixels) from the nearest edge of a tile of the given size.
int edgeDistance(int x, int y, int tileW, int tileH) {
    const int ix = x % tileW, iy = y % tileH;
    return std::min(std::min(ix, tileW - 1 - ix), std::min(iy, tileH - 1 - iy));
}

// Light from the top left on a bevelled tile edge: lit on the upper and left
// rims, shadowed on the lower and right.
float bevel(int x, int y, int tileW, int tileH, int width) {
    const int ix = x % tileW, iy = y % tileH;
    if (ix < width || iy < width) return 1.25f;
    if (ix >= tileW - width || iy >= tileH - width) return 0.7f;
    return 1.0f;
}

Rgb pixelFor(int material, int x, int y, uint32_t seed) {
    const float n = grain(x, y, seed + material * 97);
    switch (material) {
        case kFloor: {
            // Large checker tiles with dark grout.
            const int tile = 64;
            if (edgeDistance(x, y, tile, tile) < 2) return {40, 38, 36};
            const bool dark = ((x / tile) + (y / tile)) % 2 == 1;
            const float base = dark ? 105.0f : 170.0f;
            const float shade = bevel(x, y, tile, tile, 4) * (0.8f + 0.4f * n);
            return {base * shade, base * 0.92f * shade, base * 0.8f * shade};
        }
        case kWall: {
            // Bricks, every other row offset by half a brick.
            const int brickW = 64, brickH = 32;
            const int row = y / brickH;
            const int bx = x + ((row % 2) ? brickW / 2 : 0);
            if (edgeDistance(bx, y, brickW, brickH) < 2) return {200, 196, 186};
            const float tone = 0.8f + 0.4f * latticeNoise(bx / brickW, row, 8, seed + 11);
            const float shade = bevel(bx, y, brickW, brickH, 3) * tone * (0.85f + 0.3f * n);
            return {150 * shade, 72 * shade, 52 * shade};
        }
        case kCeiling: {
            // Square panels with a light rim.
            const int tile = 128;
            const int d = edgeDistance(x, y, tile, tile);
            if (d < 3) return {90, 96, 110};
            const float shade = (d < 10 ? 1.2f : 1.0f) * (0.85f + 0.3f * n);
            return {185 * shade, 190 * shade, 200 * shade};
        }
        case kTrim: {
            // Diagonal warning stripes.
            const bool stripe = ((x + y) / 32) % 2 == 0;
            const float shade = 0.8f + 0.4f * n;
            return stripe ? Rgb{230 * shade, 180 * shade, 30 * shade} : Rgb{45 * shade, 45 * shade, 50 * shade};
        }
        default: {
            // Outside: large stone blocks.
            const int blockW = 128, blockH = 64;
            const int row = y / blockH;
            const int bx = x + ((row % 2) ? blockW / 2 : 0);
            if (edgeDistance(bx, y, blockW, blockH) < 3) return {70, 70, 68};
            const float shade = bevel(bx, y, blockW, blockH, 5) * (0.75f + 0.5f * n);
            return {150 * shade, 145 * shade, 130 * shade};
        }
    }
}

uint8_t toByte(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f)); }

Image makeImage(uint32_t seed, int material, bool grass) {
    Image image;
    image.width = kTextureSize;
    image.height = kTextureSize;
    image.rgba.resize(static_cast<size_t>(kTextureSize) * kTextureSize * 4);
    for (int y = 0; y < kTextureSize; ++y)
        for (int x = 0; x < kTextureSize; ++x) {
            Rgb c;
            if (grass) {
                const float n = grain(x, y, seed + 1000);
                const float blade = latticeNoise(x, y, kTextureSize, seed + 2000);
                const float shade = 0.6f + 0.5f * n + 0.2f * blade;
                c = {60 * shade, 130 * shade, 45 * shade};
            } else {
                c = pixelFor(material, x, y, seed);
            }
            uint8_t* p = &image.rgba[(static_cast<size_t>(y) * kTextureSize + x) * 4];
            p[0] = toByte(c.r);
            p[1] = toByte(c.g);
            p[2] = toByte(c.b);
            p[3] = 255;
        }
    return image;
}

}  // namespace

Image makeMaterialImage(int material, uint32_t seed) { return makeImage(seed, material, false); }

Image makeGrassImage(uint32_t seed) { return makeImage(seed, 0, true); }

}  // namespace q::mapgen
