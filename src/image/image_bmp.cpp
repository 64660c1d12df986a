// BMP: the header is checked here before SDL sees the file, so that a file that
// lies about its size or is cut short gets a clear message and no huge surface is
// made for it; SDL then decodes every bit depth and palette layout it knows.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <SDL.h>

#include "image/image_formats.h"

namespace q::image_detail {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitfields = 3;
constexpr uint32_t kCompressionAlphaBitfields = 6;

// What the headers claim, checked against the bytes that are there.
bool checkBmpHeader(const uint8_t* data, size_t size, const char* name, std::string* error) {
    if (size < kFileHeaderBytes + 4) return fail(error, name, "truncated BMP header");
    const uint32_t pixelOffset = readU32(data + 10);
    const uint32_t infoSize = readU32(data + 14);
    if (infoSize != 12 && (infoSize < 16 || infoSize > 1024))
        return fail(error, name, "not a valid BMP image (unknown header size " +
                                     std::to_string(infoSize) + ")");
    if (size < kFileHeaderBytes + infoSize) return fail(error, name, "truncated BMP header");

    const uint8_t* info = data + kFileHeaderBytes;
    int64_t width, height;
    uint32_t bitsPerPixel, compression = kCompressionNone;
    if (infoSize == 12) {
        width = readU16(info + 4);
        height = static_cast<int16_t>(readU16(info + 6));
        bitsPerPixel = readU16(info + 10);
    } else {
        width = static_cast<int32_t>(readU32(info + 4));
        height = static_cast<int32_t>(readU32(info + 8));
        bitsPerPixel = readU16(info + 14);
        if (infoSize >= 20) compression = readU32(info + 16);
    }
    if (height < 0) height = -height;  // top-down rows
    if (width <= 0 || height == 0) return fail(error, name, "BMP image has no pixels");
    if (width > kMaxImageSide || height > kMaxImageSide)
        return fail(error, name, tooLarge(static_cast<uint32_t>(width), static_cast<uint32_t>(height)));
    if (pixelOffset >= size) return fail(error, name, "truncated BMP data");
    // Run-length data has one depth each: any other is a broken header, which
    // SDL would otherwise decode into an image of whatever size it claims.
    const bool runLength = compression == kCompressionRle8 || compression == kCompressionRle4;
    const bool plain = compression == kCompressionNone || compression == kCompressionBitfields ||
                       compression == kCompressionAlphaBitfields;
    // Other codings (JPEG or PNG inside, or none at all) SDL refuses, but only
    // after making a surface of the claimed size.
    if (!runLength && !plain)
        return fail(error, name, "not a valid BMP image (compression " + std::to_string(compression) + ")");
    if (runLength && pixelOffset < kFileHeaderBytes + infoSize)
        return fail(error, name, "not a valid BMP image (its pixel data would start inside its headers)");
    // A run codes at most 255 pixels in two bytes; escapes that skip ahead or
    // end the image early leave the pixels they pass undefined. Data that
    // would have to describe more than 4096 pixels a byte is not an image but
    // a few bytes claiming one (SDL would make the whole surface for it).
    const uint64_t runLengthBytes = size - pixelOffset;
    if (runLength && static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > runLengthBytes * 4096)
        return fail(error, name, "truncated BMP data (" + std::to_string(runLengthBytes) +
                                     " bytes of run-length data cannot describe " + std::to_string(width) + " x " +
                                     std::to_string(height) + " pixels)");
    if ((compression == kCompressionRle8 && bitsPerPixel != 8) || (compression == kCompressionRle4 && bitsPerPixel != 4))
        return fail(error, name, "not a valid BMP image (RLE" + std::to_string(compression == kCompressionRle8 ? 8 : 4) +
                                     " data with " + std::to_string(bitsPerPixel) + " bits per pixel)");

    if (compression == kCompressionNone || compression == kCompressionBitfields ||
        compression == kCompressionAlphaBitfields) {
        switch (bitsPerPixel) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default:
            return fail(error, name, "not a valid BMP image (" + std::to_string(bitsPerPixel) +
                                         " bits per pixel)");
        }
        const uint64_t rowBytes = (static_cast<uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
        if (pixelOffset + rowBytes * static_cast<uint64_t>(height) > size)
            return fail(error, name, "truncated BMP data");
    }
    return true;
}

}  // namespace

bool looksLikeBmp(const uint8_t* data, size_t size) {
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

bool decodeBmp(const uint8_t* data, size_t size, const char* name, Image* out, std::string* error) {
    if (!checkBmpHeader(data, size, name, error)) return false;

    SDL_RWops* stream = SDL_RWFromConstMem(data, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
    if (!stream) return fail(error, name, std::string("cannot read BMP (") + SDL_GetError() + ")");
    SDL_Surface* loaded = SDL_LoadBMP_RW(stream, 1);
    if (!loaded) return fail(error, name, std::string("not a valid BMP image (") + SDL_GetError() + ")");
    const uint32_t width = static_cast<uint32_t>(loaded->w);
    const uint32_t height = static_cast<uint32_t>(loaded->h);
    const size_t rowBytes = size_t{width} * 4;
    // Straight from the loaded surface into the pixels; palette images first
    // become an RGBA surface, the only way SDL converts them.
    SDL_Surface* source = loaded;
    if (SDL_ISPIXELFORMAT_INDEXED(loaded->format->format)) {
        source = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
        SDL_FreeSurface(loaded);
        if (!source) return fail(error, name, std::string("cannot convert BMP (") + SDL_GetError() + ")");
    }
    out->rgba.resize(rowBytes * height);
    SDL_LockSurface(source);
    const bool converted = SDL_ConvertPixels(source->w, source->h, source->format->format, source->pixels,
                                             source->pitch, SDL_PIXELFORMAT_RGBA32, out->rgba.data(),
                                             static_cast<int>(rowBytes)) == 0;
    SDL_UnlockSurface(source);
    SDL_FreeSurface(source);
    if (!converted) return fail(error, name, std::string("cannot convert BMP (") + SDL_GetError() + ")");
    out->width = width;
    out->height = height;
    return true;
}

}  // namespace q::image_detail

namespace q {

namespace {

void putU16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void putU32(uint8_t* p, uint32_t v) { putU16(p, v); putU16(p + 2, v >> 16); }

}  // namespace

bool writeBmp(const char* path, const Image& image, std::string* error) {
    using image_detail::fail;
    if (!image_detail::checkWritable(image, path, error)) return false;
    const uint32_t rowBytes = (image.width * 3 + 3) / 4 * 4;
    const uint32_t pixelBytes = rowBytes * image.height;
    constexpr uint32_t kHeaderBytes = 14 + 40;

    uint8_t header[kHeaderBytes] = {'B', 'M'};
    putU32(header + 2, kHeaderBytes + pixelBytes);
    putU32(header + 10, kHeaderBytes);
    putU32(header + 14, 40);
    putU32(header + 18, image.width);
    putU32(header + 22, image.height);  // positive: rows bottom-up
    putU16(header + 26, 1);
    putU16(header + 28, 24);
    putU32(header + 34, pixelBytes);
    putU32(header + 38, 2835);  // 72 dots per inch
    putU32(header + 42, 2835);

    std::FILE* file = std::fopen(path, "wb");
    if (!file) return fail(error, path, std::string("cannot create (") + std::strerror(errno) + ")");
    std::fwrite(header, 1, sizeof header, file);
    std::vector<uint8_t> row(rowBytes, 0);
    for (uint32_t y = image.height; y-- > 0;) {
        const uint8_t* src = image.rgba.data() + size_t{image.width} * 4 * y;
        for (uint32_t x = 0; x < image.width; ++x) {
            row[x * 3 + 0] = src[x * 4 + 2];
            row[x * 3 + 1] = src[x * 4 + 1];
            row[x * 3 + 2] = src[x * 4 + 0];
        }
        std::fwrite(row.data(), 1, row.size(), file);
    }
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        std::remove(path);
        return fail(error, path, "cannot write BMP (disk full or write error)");
    }
    return true;
}

}  // namespace q
