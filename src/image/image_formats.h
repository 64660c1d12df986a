#pragma once
// The per-format halves of image/image: each decoder gets bytes known to
// start with its signature and validates everything after it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"

namespace q::image_detail {

bool looksLikeJpeg(const uint8_t* data, size_t size);
bool looksLikeBmp(const uint8_t* data, size_t size);
bool looksLikePng(const uint8_t* data, size_t size);
bool looksLikeDds(const uint8_t* data, size_t size);
// TGA has no signature: a header whose type and colour map fields agree.
bool looksLikeTga(const uint8_t* data, size_t size);

bool decodeJpeg(const uint8_t* data, size_t size, const char* name, Image* out, std::string* error);
bool decodeBmp(const uint8_t* data, size_t size, const char* name, Image* out, std::string* error);
bool decodePng(const uint8_t* data, size_t size, const char* name, Image* out, std::string* error);
// Takes the whole file: uncompressed true colour is decoded within its bytes,
// which then need tgaInPlaceBytes of room: given the file's first bytes and
// its length, 0 for a file decoded otherwise or too short for its pixels.
uint64_t tgaInPlaceBytes(const uint8_t* data, size_t size, uint64_t fileBytes);
bool decodeTga(std::vector<uint8_t>&& file, const char* name, TextureImage* out, std::string* error);
// Takes the whole file, so that S3TC levels can stay in it on their way to
// the device.
bool readDds(std::vector<uint8_t>&& file, const char* name, TextureImage* out, std::string* error);

// Decodes a whole image file held in memory, whatever its kind (see
// decodeTextureImage).
bool decodeFileBytes(std::vector<uint8_t>&& bytes, const char* name, TextureImage* out, std::string* error);

// The image headers are little-endian whatever the machine.
inline uint32_t readU16(const uint8_t* p) { return p[0] | (p[1] << 8); }
inline uint32_t readU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// "<name>: <what>" into *error (when error is not null); always returns false.
bool fail(std::string* error, const char* name, const std::string& what);

// Checks an image about to be written: sides from 1 to kMaxImageSide and a pixel
// array of exactly width * height * 4 bytes.
bool checkWritable(const Image& image, const char* path, std::string* error);

std::string tooLarge(uint32_t width, uint32_t height);

}  // namespace q::image_detail
