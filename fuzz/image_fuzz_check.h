#pragma once
// The promise of q::decodeImage for any bytes: an image of 1 to kMaxImageSide
// pixels a side with exactly width * height * 4 bytes, or an empty image and a
// message "<name>: <what>".

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/image.h"

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

}  // namespace q::fuzz
