// TGA through stb_image, built here with its TGA reader alone so that no other
// format's code can be reached through a TGA file. TGA has no signature and
// stb_image reads past the end of short data as zeros, so the header and the
// size of the pixel data (every run-length packet) are checked here first: a
// cut or lying file is refused with a message instead of decoded into
// garbage.

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <climits>
#include <cstring>

#include "platform/image_formats.h"

namespace q::image_detail {

namespace {

constexpr size_t kHeaderBytes = 18;


bool isColourMapped(uint8_t type) { return type == 1 || type == 9; }
bool isRunLength(uint8_t type) { return type >= 9; }

struct TgaHeader {
    uint8_t idLength, colourMapType, imageType;
    uint32_t mapLength, mapEntryBits, width, height, pixelBits;
};

TgaHeader readHeader(const uint8_t* data) {
    return {data[0],          data[1],          data[2],          readU16(data + 5), data[7],
            readU16(data + 12), readU16(data + 14), data[16]};
}

// Walks the run-length packets until they have covered every pixel; false
// when the data ends first.
bool runLengthDataCoversImage(const uint8_t* data, size_t size, uint64_t pixels, uint32_t pixelBytes) {
    size_t at = 0;
    uint64_t covered = 0;
    while (covered < pixels) {
        if (at >= size) return false;
        const uint8_t packet = data[at++];
        const uint32_t count = (packet & 0x7F) + 1u;
        const uint64_t bytes = (packet & 0x80) ? pixelBytes : uint64_t{count} * pixelBytes;
        if (bytes > size - at) return false;
        at += static_cast<size_t>(bytes);
        covered += count;
    }
    return true;
}

}  // namespace

bool looksLikeTga(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes) return false;
    const TgaHeader h = readHeader(data);
    const bool knownType = h.imageType == 1 || h.imageType == 2 || h.imageType == 3 || h.imageType == 9 ||
                           h.imageType == 10 || h.imageType == 11;
    return knownType && h.colourMapType <= 1 && (h.colourMapType == 1) == isColourMapped(h.imageType);
}

bool decodeTga(const uint8_t* data, size_t size, const char* name, Image* out, std::string* error) {
    const TgaHeader h = readHeader(data);
    if (h.width == 0 || h.height == 0) return fail(error, name, "TGA image has no pixels");
    const bool mapped = isColourMapped(h.imageType);
    const bool grey = h.imageType == 3 || h.imageType == 11;
    const bool bitsFit = mapped ? h.pixelBits == 8 || h.pixelBits == 16
                         : grey ? h.pixelBits == 8 || h.pixelBits == 16
                                : h.pixelBits == 15 || h.pixelBits == 16 || h.pixelBits == 24 || h.pixelBits == 32;
    if (!bitsFit) return fail(error, name, "unsupported TGA image (" + std::to_string(h.pixelBits) + " bits per pixel)");
    if (mapped && h.mapEntryBits != 15 && h.mapEntryBits != 16 && h.mapEntryBits != 24 && h.mapEntryBits != 32)
        return fail(error, name, "unsupported TGA image (colour map entries of " + std::to_string(h.mapEntryBits) +
                                     " bits)");
    const uint64_t mapBytes = h.colourMapType ? uint64_t{h.mapLength} * ((h.mapEntryBits + 7) / 8) : 0;
    const uint64_t pixelStart = kHeaderBytes + h.idLength + mapBytes;
    if (pixelStart > size) return fail(error, name, "truncated TGA header (its colour map runs past the end)");
    const uint32_t pixelBytes = (h.pixelBits + 7) / 8;
    const uint64_t pixels = uint64_t{h.width} * h.height;
    const uint8_t* pixelData = data + pixelStart;
    const size_t pixelDataSize = size - static_cast<size_t>(pixelStart);
    const bool complete = isRunLength(h.imageType)
                              ? runLengthDataCoversImage(pixelData, pixelDataSize, pixels, pixelBytes)
                              : pixels * pixelBytes <= pixelDataSize;
    if (!complete)
        return fail(error, name, "truncated TGA data (" + std::to_string(pixelDataSize) + " bytes do not hold " +
                                     std::to_string(h.width) + " x " + std::to_string(h.height) + " pixels)");

    const int length = static_cast<int>(std::min<size_t>(size, INT_MAX));
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixelsRgba = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
    if (!pixelsRgba) return fail(error, name, std::string("not a valid TGA image (") + stbi_failure_reason() + ")");
    if (static_cast<uint32_t>(width) != h.width || static_cast<uint32_t>(height) != h.height) {
        stbi_image_free(pixelsRgba);
        return fail(error, name, "not a valid TGA image (decoded size differs from its header)");
    }
    out->rgba.assign(pixelsRgba, pixelsRgba + pixels * 4);
    stbi_image_free(pixelsRgba);
    out->width = h.width;
    out->height = h.height;
    return true;
}

}  // namespace q::image_detail
