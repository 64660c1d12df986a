// Screenshots are read back through the same PNG decoder the material images
// use; this only insists that the file is a PNG, whatever its name says.

#include "image/image_png_read.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "image/image_formats.h"

namespace q {

bool loadPng(const char* path, Image* out, std::string* error) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return image_detail::fail(error, path, std::string("cannot open (") + std::strerror(errno) + ")");
    uint8_t signature[8] = {};
    const bool png = std::fread(signature, 1, sizeof signature, file) == sizeof signature &&
                     image_detail::looksLikePng(signature, sizeof signature);
    std::fclose(file);
    if (!png) return image_detail::fail(error, path, "expected a PNG file (signature missing)");
    return loadImageFile(path, out, error);
}

}  // namespace q
