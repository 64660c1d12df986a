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

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "image/image_formats.h"

namespace q::image_detail {

namespace {

constexpr size_t kHeaderBytes = 18;


bool isColourMapped(uint8_t type) { return type == 1 || type == 9; }
bool isRunLength(uint8_t type) { return type >= 9; }

struct TgaHeader {
    uint8_t idLength, colourMapType, imageType;
    uint32_t mapLength, mapEntryBits, width, height, pixelBits, descriptor;
};

TgaHeader readHeader(const uint8_t* data) {
    return {data[0],          data[1],          data[2],          readU16(data + 5), data[7],
            readU16(data + 12), readU16(data + 14), data[16], data[17]};
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

namespace {

// What the header says and where the pixels start, checked against the bytes there.
bool checkTga(const uint8_t* data, size_t size, const char* name, TgaHeader* header, uint64_t* pixelStart,
              std::string* error) {
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
    const uint64_t start = kHeaderBytes + h.idLength + mapBytes;
    if (start > size) return fail(error, name, "truncated TGA header (its colour map runs past the end)");
    const uint32_t pixelBytes = (h.pixelBits + 7) / 8;
    const uint64_t pixels = uint64_t{h.width} * h.height;
    const uint8_t* pixelData = data + start;
    const size_t pixelDataSize = size - static_cast<size_t>(start);
    const bool complete = isRunLength(h.imageType)
                              ? runLengthDataCoversImage(pixelData, pixelDataSize, pixels, pixelBytes)
                              : pixels * pixelBytes <= pixelDataSize;
    if (!complete)
        return fail(error, name, "truncated TGA data (" + std::to_string(pixelDataSize) + " bytes do not hold " +
                                     std::to_string(h.width) + " x " + std::to_string(h.height) + " pixels)");
    *header = h;
    *pixelStart = start;
    return true;
}

// Uncompressed true colour of 24 or 32 bits, the kind large images come in,
// is decoded within the file's own bytes (their room made before they were
// read): pixel i moves from 3i to 4i after the header, never onto a pixel
// before it, so walking from the last pixel back turns BGR(A) into RGBA
// without overwriting one not yet read; the rows are then put top to bottom
// by swapping them. The pixels stay after the header (at pixelStart), so no
// second copy of the image is ever held.
void decodeTrueColourInPlace(const TgaHeader& h, size_t pixelStart, std::vector<uint8_t>& bytes) {
    const size_t width = h.width, height = h.height, pixels = width * height;
    if (bytes.size() < pixelStart + pixels * 4) bytes.resize(pixelStart + pixels * 4);
    uint8_t* const data = bytes.data() + pixelStart;
    if (h.pixelBits == 32) {
        for (size_t i = 0; i < pixels; ++i) std::swap(data[i * 4], data[i * 4 + 2]);
    } else {
        for (size_t i = pixels; i-- > 0;) {
            const uint8_t blue = data[i * 3], green = data[i * 3 + 1], red = data[i * 3 + 2];
            uint8_t* const out = data + i * 4;
            out[0] = red;
            out[1] = green;
            out[2] = blue;
            out[3] = 255;
        }
    }
    const bool bottomUp = (h.descriptor & 0x20) == 0;
    if (!bottomUp) return;
    const size_t rowBytes = width * 4;
    for (size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(data + top * rowBytes, data + (top + 1) * rowBytes, data + bottom * rowBytes);
}

bool decodesInPlace(const TgaHeader& h) { return h.imageType == 2 && (h.pixelBits == 24 || h.pixelBits == 32); }

}  // namespace

uint64_t tgaInPlaceBytes(const uint8_t* data, size_t size, uint64_t fileBytes) {
    if (!looksLikeTga(data, size)) return 0;
    const TgaHeader h = readHeader(data);
    if (!decodesInPlace(h)) return 0;
    const uint64_t pixelStart = kHeaderBytes + h.idLength, pixels = uint64_t{h.width} * h.height;
    // A file too short for its pixels is refused by the decoder: no room is
    // made for what it only claims.
    if (fileBytes < pixelStart + pixels * (h.pixelBits / 8)) return 0;
    return pixelStart + pixels * 4;
}

bool decodeTga(std::vector<uint8_t>&& bytes, const char* name, TextureImage* out, std::string* error) {
    *out = TextureImage{};
    const uint8_t* const data = bytes.data();
    const size_t size = bytes.size();
    TgaHeader h{};
    uint64_t pixelStart = 0;
    if (!checkTga(data, size, name, &h, &pixelStart, error)) return false;
    const uint64_t pixels = uint64_t{h.width} * h.height;

    if (decodesInPlace(h)) {
        if (h.width > kMaxImageSide || h.height > kMaxImageSide) return fail(error, name, tooLarge(h.width, h.height));
        decodeTrueColourInPlace(h, static_cast<size_t>(pixelStart), bytes);
        out->bytes = std::move(bytes);
        out->offset = static_cast<size_t>(pixelStart);
    } else {
        const int length = static_cast<int>(std::min<size_t>(size, INT_MAX));
        int width = 0, height = 0, channels = 0;
        stbi_uc* pixelsRgba = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
        if (!pixelsRgba) return fail(error, name, std::string("not a valid TGA image (") + stbi_failure_reason() + ")");
        if (static_cast<uint32_t>(width) != h.width || static_cast<uint32_t>(height) != h.height) {
            stbi_image_free(pixelsRgba);
            return fail(error, name, "not a valid TGA image (decoded size differs from its header)");
        }
        // The file is no longer needed once stb_image holds the pixels.
        std::vector<uint8_t>().swap(bytes);
        out->bytes.assign(pixelsRgba, pixelsRgba + pixels * 4);
        stbi_image_free(pixelsRgba);
    }
    out->width = h.width;
    out->height = h.height;
    out->levelCount = 1;
    return true;
}

}  // namespace q::image_detail
