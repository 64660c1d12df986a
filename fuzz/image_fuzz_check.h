#pragma once
// The promise of q::decodeImage for any bytes: an image of 1 to kMaxImageSide
// pixels a side with exactly width * height * 4 bytes, or an empty image and a
// message "<name>: <what>".

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "image/image.h"

namespace q::fuzz {

inline void decodeAndCheck(const uint8_t* data, size_t size) {
    Image image;
    std::string error;
    if (decodeImage(data, size, &image, &error, "texture.img")) {
        if (image.width < 1 || image.height < 1 || image.width > kMaxImageSide || image.height > kMaxImageSide)
            broken("decoded size out of range", std::to_string(image.width) + " x " + std::to_string(image.height));
        if (image.rgba.size() != size_t{image.width} * image.height * 4)
            broken("pixel bytes do not match the size", std::to_string(image.rgba.size()));
        return;
    }
    if (error.rfind("texture.img: ", 0) != 0 || error.size() <= 13) broken("refusal without the file name", error);
    if (image.width || image.height || !image.rgba.empty()) broken("refused image left pixels", error);
}

// The promise of q::decodeTextureImage: levels that lie whole inside the bytes
// held, which expand (S3TC to RGBA8) to exactly the pixels of their sizes; and
// the same image through decodeImage.
inline void decodeTextureAndCheck(const uint8_t* data, size_t size) {
    TextureImage texture;
    std::string error;
    if (!decodeTextureImage(data, size, &texture, &error, "texture.img")) {
        if (error.rfind("texture.img: ", 0) != 0 || error.size() <= 13) broken("refusal without the file name", error);
        if (texture.levelCount || !texture.bytes.empty()) broken("refused image left levels", error);
        return;
    }
    if (texture.levelCount < 1 || texture.levelCount > 15) broken("level count out of range", std::to_string(texture.levelCount));
    const uint64_t stored = chainBytes(texture.format, texture.width, texture.height, texture.levelCount);
    const uint64_t expanded = chainBytes(TexelFormat::Rgba8, texture.width, texture.height, texture.levelCount);
    if (texture.offset > texture.bytes.size() || stored > texture.bytes.size() - texture.offset)
        broken("levels run past the bytes held", std::to_string(stored));
    expandBlocks(&texture);
    if (texture.format != TexelFormat::Rgba8 || texture.bytes.size() - texture.offset < expanded)
        broken("expanded levels do not match their sizes", std::to_string(texture.bytes.size()));
    decodeAndCheck(data, size);
}

}  // namespace q::fuzz
