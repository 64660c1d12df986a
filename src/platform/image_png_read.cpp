// libpng reports errors by longjmp to the jump buffer set here; nothing with a
// destructor may live between setjmp and the calls that can jump.

#include "platform/image_png_read.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include <png.h>

namespace q {

namespace {

// Larger than any screenshot we take; keeps a hostile header from asking for gigabytes.
constexpr png_uint_32 kMaxSide = 16384;

void onReadError(png_structp png, png_const_charp message) {
    auto* text = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(text, 256, "%s", message);
    png_longjmp(png, 1);
}

void onReadWarning(png_structp, png_const_charp) {}

bool fail(std::string* error, const char* path, const char* what) {
    if (error) *error = std::string(path) + ": " + what;
    return false;
}

// Everything that may longjmp, with only plain data on its frame.
bool readRows(png_structp png, png_infop info, std::FILE* file, uint8_t* pixels, png_bytep* rows,
              png_uint_32 width, png_uint_32 height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_read_update_info(png, info);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels + size_t{width} * 4 * y;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

bool readHeader(png_structp png, png_infop info, std::FILE* file, png_uint_32* width, png_uint_32* height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    // Whatever the file holds, deliver 8-bit RGBA.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    return true;
}

}  // namespace

bool loadPng(const char* path, Image* out, std::string* error) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return fail(error, path, (std::string("cannot open (") + std::strerror(errno) + ")").c_str());
    uint8_t signature[8] = {};
    if (std::fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
        std::fclose(file);
        return fail(error, path, "expected a PNG file (signature missing)");
    }
    char message[256] = "out of memory";
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, message, onReadError, onReadWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(file);
        return fail(error, path, "cannot read PNG (out of memory)");
    }
    png_set_sig_bytes(png, 8);

    png_uint_32 width = 0, height = 0;
    bool ok = readHeader(png, info, file, &width, &height);
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    if (ok) {
        pixels.resize(size_t{width} * height * 4);
        rows.resize(height);
        ok = readRows(png, info, file, pixels.data(), rows.data(), width, height);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (!ok) return fail(error, path, (std::string("cannot read PNG (") + message + ")").c_str());
    out->width = width;
    out->height = height;
    out->rgba = std::move(pixels);
    return true;
}

}  // namespace q
