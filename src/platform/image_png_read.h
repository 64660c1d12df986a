#pragma once
// Reading PNG files back: screenshots checked by the end-to-end tests. The
// viewer itself only writes PNG.

#include <string>

#include "platform/image.h"

namespace q {

// RGBA8 rows top to bottom, whatever the file's colour type and depth. On
// failure false with a message naming the file.
bool loadPng(const char* path, Image* out, std::string* error);

}  // namespace q
