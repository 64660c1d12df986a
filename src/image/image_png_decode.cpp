// PNG material images through libpng, from bytes in memory. libpng reports
// errors by longjmp to the buffer set here; nothing with a destructor may live
// between setjmp and the calls that can jump.

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "image/image_formats.h"

namespace q::image_detail {

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t at;
    char message[256];
};

void readFromMemory(png_structp png, png_bytep into, png_size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->at) png_error(png, "truncated PNG data");
    std::memcpy(into, reader->data + reader->at, length);
    reader->at += length;
}

void onError(png_structp png, png_const_charp message) {
    auto* reader = static_cast<MemoryReader*>(png_get_error_ptr(png));
    std::snprintf(reader->message, sizeof reader->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Deflate packs at most 1032 bytes into one, so a file cannot hold more
// filtered rows than this many times its size; a few bytes claiming a huge
// image are refused before its pixels are allocated.
constexpr uint64_t kMostInflation = 1032;

bool readHeader(png_structp png, png_infop info, png_uint_32* width, png_uint_32* height, uint64_t* rawBytes) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_read_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    *rawBytes = uint64_t{*height} * (1 + png_get_rowbytes(png, info));
    // Whatever the file holds, deliver 8-bit RGBA.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool readRows(png_structp png, png_bytep* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

}  // namespace

bool looksLikePng(const uint8_t* data, size_t size) { return size >= 8 && png_sig_cmp(data, 0, 8) == 0; }

bool decodePng(const uint8_t* data, size_t size, const char* name, Image* out, std::string* error) {
    MemoryReader reader{data, size, 8, "out of memory"};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return fail(error, name, "cannot read PNG (out of memory)");
    }
    png_set_read_fn(png, &reader, readFromMemory);
    png_set_sig_bytes(png, 8);

    png_uint_32 width = 0, height = 0;
    uint64_t rawBytes = 0;
    bool ok = readHeader(png, info, &width, &height, &rawBytes);
    if (ok && rawBytes > uint64_t{size} * kMostInflation) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail(error, name, "truncated PNG data (" + std::to_string(size) + " bytes cannot hold a " +
                                     std::to_string(width) + " x " + std::to_string(height) + " image)");
    }
    std::vector<png_bytep> rows;
    if (ok) {
        out->rgba.resize(size_t{width} * height * 4);
        rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y) rows[y] = out->rgba.data() + size_t{width} * 4 * y;
        ok = readRows(png, rows.data());
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) return fail(error, name, std::string("not a valid PNG image (") + reader.message + ")");
    out->width = width;
    out->height = height;
    return true;
}

}  // namespace q::image_detail
