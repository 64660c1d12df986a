// DDS: the header is ours to read, and every field the levels depend on is
// checked against the file before a byte of pixel data is touched. S3TC
// blocks are kept as they are for the GPU; libsquish expands them where the
// GPU cannot sample them.

#include <squish.h>

#include <algorithm>
#include <cstring>

#include "image/image_formats.h"
#include "platform/report.h"

namespace q::image_detail {

namespace {

constexpr uint32_t fourCc(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 | uint32_t(uint8_t(code[2])) << 16 |
           uint32_t(uint8_t(code[3])) << 24;
}

constexpr size_t kHeaderBytes = 128;      // "DDS " and the 124-byte header
constexpr size_t kDx10HeaderBytes = 20;   // follows when the four-character code is DX10
constexpr uint32_t kPitchFlag = 0x8;
constexpr uint32_t kDepthFlag = 0x800000;
constexpr uint32_t kAlphaPixels = 0x1;
constexpr uint32_t kFourCcFlag = 0x4;
constexpr uint32_t kRgbFlag = 0x40;
constexpr uint32_t kCubeMap = 0x200;
constexpr uint32_t kVolume = 0x200000;

// DXGI formats a DX10 header may name that we read.
constexpr uint32_t kDxgiRgba8 = 28, kDxgiRgba8Srgb = 29;
constexpr uint32_t kDxgiBc1 = 71, kDxgiBc1Srgb = 72, kDxgiBc2 = 74, kDxgiBc2Srgb = 75;
constexpr uint32_t kDxgiBc3 = 77, kDxgiBc3Srgb = 78, kDxgiBgra8 = 87, kDxgiBgra8Srgb = 91;
constexpr uint32_t kDx10Texture2d = 3;
constexpr uint32_t kDx10CubeFlag = 0x4;

// Where each of red, green, blue and alpha sits in a 32-bit texel, as a byte
// number; alpha -1 when the texels carry none.
struct ByteOrder {
    int red, green, blue, alpha;
};

// The byte a mask of eight set bits covers, or -1 for any other mask.
int maskByte(uint32_t mask) {
    for (int byte = 0; byte < 4; ++byte)
        if (mask == 0xFFu << (8 * byte)) return byte;
    return -1;
}

bool readMasks(const uint8_t* format, bool hasAlpha, ByteOrder* order) {
    order->red = maskByte(readU32(format + 16));
    order->green = maskByte(readU32(format + 20));
    order->blue = maskByte(readU32(format + 24));
    order->alpha = hasAlpha ? maskByte(readU32(format + 28)) : -1;
    const int bytes[] = {order->red, order->green, order->blue};
    for (int b : bytes)
        if (b < 0 || b == order->alpha) return false;
    if (hasAlpha && order->alpha < 0) return false;
    return order->red != order->green && order->red != order->blue && order->green != order->blue;
}

std::string fourCcText(uint32_t code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

}  // namespace

bool looksLikeDds(const uint8_t* data, size_t size) {
    return size >= 4 && std::memcmp(data, "DDS ", 4) == 0;
}

bool readDds(std::vector<uint8_t>&& file, const char* name, TextureImage* out, std::string* error) {
    const uint8_t* data = file.data();
    const size_t size = file.size();
    if (size < kHeaderBytes) return fail(error, name, "truncated DDS header (" + countOf(size, "byte", "bytes") + ")");
    if (readU32(data + 4) != 124) return fail(error, name, "not a valid DDS image (header size is not 124)");
    const uint32_t flags = readU32(data + 8);
    const uint32_t height = readU32(data + 12);
    const uint32_t width = readU32(data + 16);
    const uint32_t pitch = readU32(data + 20);
    const uint32_t mipCount = readU32(data + 28);
    const uint8_t* format = data + 76;
    const uint32_t caps2 = readU32(data + 112);
    if (readU32(format) != 32) return fail(error, name, "not a valid DDS image (pixel format size is not 32)");
    if (width == 0 || height == 0) return fail(error, name, "DDS image has no pixels");
    if (width > kMaxImageSide || height > kMaxImageSide) return fail(error, name, tooLarge(width, height));
    if ((caps2 & kCubeMap) != 0) return fail(error, name, "unsupported DDS image (a cube map, not a 2D texture)");
    if ((caps2 & kVolume) != 0 || ((flags & kDepthFlag) != 0 && readU32(data + 24) > 1))
        return fail(error, name, "unsupported DDS image (a volume texture, not a 2D texture)");
    const uint32_t levels = std::max(mipCount, 1u);
    if (levels > fullChainLevels(width, height))
        return fail(error, name, "not a valid DDS image (" + std::to_string(mipCount) + " mip levels, but a " +
                                     std::to_string(width) + " x " + std::to_string(height) + " image has " +
                                     std::to_string(fullChainLevels(width, height)) + ")");

    const uint32_t formatFlags = readU32(format + 4);
    const uint32_t code = readU32(format + 8);
    size_t dataOffset = kHeaderBytes;
    TexelFormat texels = TexelFormat::Rgba8;
    ByteOrder order{};
    if ((formatFlags & kFourCcFlag) != 0 && code == fourCc("DX10")) {
        if (size < kHeaderBytes + kDx10HeaderBytes) return fail(error, name, "truncated DDS header (DX10 part)");
        const uint8_t* dx10 = data + kHeaderBytes;
        const uint32_t dxgi = readU32(dx10);
        if (readU32(dx10 + 4) != kDx10Texture2d || (readU32(dx10 + 8) & kDx10CubeFlag) != 0 || readU32(dx10 + 12) != 1)
            return fail(error, name, "unsupported DDS image (not a single 2D texture)");
        dataOffset += kDx10HeaderBytes;
        if (dxgi == kDxgiBc1 || dxgi == kDxgiBc1Srgb) texels = TexelFormat::Bc1;
        else if (dxgi == kDxgiBc2 || dxgi == kDxgiBc2Srgb) texels = TexelFormat::Bc2;
        else if (dxgi == kDxgiBc3 || dxgi == kDxgiBc3Srgb) texels = TexelFormat::Bc3;
        else if (dxgi == kDxgiRgba8 || dxgi == kDxgiRgba8Srgb) order = {0, 1, 2, 3};
        else if (dxgi == kDxgiBgra8 || dxgi == kDxgiBgra8Srgb) order = {2, 1, 0, 3};
        else return fail(error, name, "unsupported DDS image (DXGI format " + std::to_string(dxgi) +
                                          "; BC1, BC2, BC3 and 32-bit RGBA are read)");
    } else if ((formatFlags & kFourCcFlag) != 0) {
        if (code == fourCc("DXT1")) texels = TexelFormat::Bc1;
        else if (code == fourCc("DXT3")) texels = TexelFormat::Bc2;
        else if (code == fourCc("DXT5")) texels = TexelFormat::Bc3;
        else return fail(error, name, "unsupported DDS image (compression '" + fourCcText(code) +
                                          "'; DXT1, DXT3, DXT5 and 32-bit RGBA are read)");
    } else if ((formatFlags & kRgbFlag) != 0) {
        const uint32_t bits = readU32(format + 12);
        if (bits != 32)
            return fail(error, name, "unsupported DDS image (" + std::to_string(bits) +
                                         "-bit uncompressed texels; 32-bit ones are read)");
        if (!readMasks(format, (formatFlags & kAlphaPixels) != 0, &order))
            return fail(error, name, "unsupported DDS image (colour masks other than one byte per channel)");
        if ((flags & kPitchFlag) != 0 && pitch != width * 4)
            return fail(error, name, "not a valid DDS image (row pitch " + std::to_string(pitch) + " for " +
                                         std::to_string(width) + " texels of 4 bytes)");
    } else {
        return fail(error, name, "unsupported DDS image (neither S3TC blocks nor 32-bit RGB texels)");
    }

    const uint64_t needed = chainBytes(texels, width, height, levels);
    if (needed > size - dataOffset)
        return fail(error, name, "truncated DDS data (" + countOf(levels, "level", "levels") + " of a " +
                                     std::to_string(width) + " x " + std::to_string(height) + " image " +
                                     (levels == 1 ? "needs " : "need ") +
                                     std::to_string(needed) + " bytes, the file holds " +
                                     std::to_string(size - dataOffset) + ")");

    out->format = texels;
    out->width = width;
    out->height = height;
    out->levelCount = levels;
    if (isBlockFormat(texels)) {
        // The blocks go to the device as they lie in the file.
        out->bytes = std::move(file);
        out->offset = dataOffset;
        return true;
    }
    out->bytes.resize(static_cast<size_t>(needed));
    out->offset = 0;
    const uint8_t* from = data + dataOffset;
    uint8_t* to = out->bytes.data();
    for (uint64_t i = 0; i < needed; i += 4, from += 4, to += 4) {
        to[0] = from[order.red];
        to[1] = from[order.green];
        to[2] = from[order.blue];
        to[3] = order.alpha >= 0 ? from[order.alpha] : 0xFF;
    }
    return true;
}

}  // namespace q::image_detail

namespace q {

void expandBlocks(TextureImage* image) {
    if (!isBlockFormat(image->format)) return;
    const int flags = image->format == TexelFormat::Bc1 ? squish::kDxt1
                      : image->format == TexelFormat::Bc2 ? squish::kDxt3
                                                          : squish::kDxt5;
    std::vector<uint8_t> rgba(
        static_cast<size_t>(chainBytes(TexelFormat::Rgba8, image->width, image->height, image->levelCount)));
    const uint8_t* blocks = image->levels();
    uint8_t* to = rgba.data();
    for (uint32_t level = 0; level < image->levelCount; ++level) {
        const uint32_t w = levelSide(image->width, level), h = levelSide(image->height, level);
        squish::DecompressImage(to, static_cast<int>(w), static_cast<int>(h), blocks, flags);
        blocks += levelBytes(image->format, w, h);
        to += levelBytes(TexelFormat::Rgba8, w, h);
    }
    image->bytes = std::move(rgba);
    image->offset = 0;
    image->format = TexelFormat::Rgba8;
}

}  // namespace q
