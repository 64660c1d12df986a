#include "render/grid_texture.h"

#include <vector>

#include "platform/gpu/device.h"

namespace q {

namespace {

std::vector<uint8_t> gridTexels() {
    constexpr uint32_t kCell = kGridTextureSide / kGridCellsPerSide;
    constexpr uint8_t kFill = 0x80, kLine = 0x60, kEdge = 0x40;
    std::vector<uint8_t> rgba(size_t{kGridTextureSide} * kGridTextureSide * 4);
    for (uint32_t y = 0; y < kGridTextureSide; ++y) {
        for (uint32_t x = 0; x < kGridTextureSide; ++x) {
            uint8_t grey = kFill;
            if (x % kCell == 0 || y % kCell == 0) grey = kLine;
            if (x == 0 || y == 0) grey = kEdge;
            uint8_t* texel = &rgba[(size_t{y} * kGridTextureSide + x) * 4];
            texel[0] = texel[1] = texel[2] = grey;
            texel[3] = 0xFF;
        }
    }
    return rgba;
}

}  // namespace

gpu::DeviceHandle<gpu::Texture> createGridTexture(gpu::Device& device) {
    const std::vector<uint8_t> rgba = gridTexels();
    return device.createTextureFromRgba(rgba.data(), kGridTextureSide, kGridTextureSide);
}

}  // namespace q
