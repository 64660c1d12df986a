#include "render/grid_texture.h"

#include <vector>

#include "gpu/device.h"

namespace q {

namespace {

std::vector<uint8_t> gridTexels(GridTint tint) {
    constexpr uint32_t kCell = kGridTextureSide / kGridCellsPerSide;
    constexpr uint8_t kFill = 0x80, kLine = 0x60, kEdge = 0x40;
    const auto tinted = [](uint8_t grey, uint8_t by) { return static_cast<uint8_t>(grey * by / 255); };
    std::vector<uint8_t> rgba(size_t{kGridTextureSide} * kGridTextureSide * 4);
    for (uint32_t y = 0; y < kGridTextureSide; ++y) {
        for (uint32_t x = 0; x < kGridTextureSide; ++x) {
            uint8_t grey = kFill;
            if (x % kCell == 0 || y % kCell == 0) grey = kLine;
            if (x == 0 || y == 0) grey = kEdge;
            uint8_t* texel = &rgba[(size_t{y} * kGridTextureSide + x) * 4];
            texel[0] = tinted(grey, tint.red);
            texel[1] = tinted(grey, tint.green);
            texel[2] = tinted(grey, tint.blue);
            texel[3] = 0xFF;
        }
    }
    return rgba;
}

}  // namespace

GridTint gridTint(std::string_view materialName) {
    // FNV-1a: fixed by its definition, unlike std::hash.
    uint32_t hash = 2166136261u;
    for (const char c : materialName) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    // A hue around the colour wheel in 1536 steps, at one of four strengths;
    // the weakest channel stays at least half, so the grid stays a grid.
    const uint32_t hue = hash % 1536;
    const uint32_t low = 128 + ((hash >> 16) % 4) * 16;  // 128 to 176
    const uint32_t span = 255 - low;
    const uint32_t rise = low + span * (hue % 256) / 255, fall = 255 - span * (hue % 256) / 255;
    uint32_t r = 255, g = low, b = low;
    switch (hue / 256) {
        case 0: g = rise; break;
        case 1: r = fall; g = 255; break;
        case 2: r = low; g = 255; b = rise; break;
        case 3: r = low; g = fall; b = 255; break;
        case 4: r = rise; g = low; b = 255; break;
        default: b = fall; break;
    }
    return {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
}

gpu::DeviceHandle<gpu::Texture> createGridTexture(gpu::Device& device, GridTint tint) {
    const std::vector<uint8_t> rgba = gridTexels(tint);
    return device.createTexture(TexelFormat::Rgba8, kGridTextureSide, kGridTextureSide, 0, rgba.data());
}

}  // namespace q
