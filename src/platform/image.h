#pragma once
// Image files: JPEG and BMP decoded to RGBA8 (rows top to bottom); JPEG, BMP and
// PNG written (the map generator's textures, screenshots).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace q {

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4
};

// Neither side of a decoded or written image may exceed this many pixels.
constexpr uint32_t kMaxImageSide = 16384;

// Decides by content (JPEG or BMP). On failure returns false with a message
// naming the file and what was wrong; *out is then left empty.
bool loadImageFile(const char* path, Image* out, std::string* error);
// The same from bytes in memory; name stands for the file in messages.
bool decodeImage(const uint8_t* data, size_t size, Image* out, std::string* error,
                 const char* name = "image");

bool writeJpeg(const char* path, const Image& image, int quality, std::string* error);
bool writeBmp(const char* path, const Image& image, std::string* error);  // 24-bit
bool writePng(const char* path, const Image& image, std::string* error);

}  // namespace q
