// Writing PNG (screenshots; material images are read in image_png_decode.cpp).
// libpng reports errors by longjmp to the jump buffer set here.

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "image/image_formats.h"
#include "platform/output_file.h"

namespace q {

namespace {

void onPngError(png_structp png, png_const_charp message) {
    auto* text = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(text, 256, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

}  // namespace

bool writePng(std::FILE* file, const char* name, const Image& image, std::string* error, const char* comment) {
    using image_detail::fail;
    if (!image_detail::checkWritable(image, name, error)) return false;
    char message[256] = "out of memory";
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, onPngError, onPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        return fail(error, name, "cannot write PNG (out of memory)");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return fail(error, name, std::string("cannot write PNG (") + message + ")");
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_text text{};
    if (comment && *comment) {
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char*>("Comment");
        text.text = const_cast<char*>(comment);
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    const size_t rowBytes = size_t{image.width} * 4;
    for (uint32_t y = 0; y < image.height; ++y)
        png_write_row(png, image.rgba.data() + rowBytes * y);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file) != 0 || std::ferror(file) != 0)
        return fail(error, name, std::string("cannot write PNG (") + std::strerror(errno) + ")");
    return true;
}

bool writePng(const char* path, const Image& image, std::string* error, const char* comment) {
    if (!image_detail::checkWritable(image, path, error)) return false;
    OutputFile file;
    return file.open(path, error) && writePng(file.stream(), path, image, error, comment) && file.commit(error);
}

}  // namespace q
