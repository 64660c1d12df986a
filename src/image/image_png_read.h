#pragma once
// Reading a file that must be a PNG, whatever its name says: screenshots read
// back by the end-to-end tests. Material images of any format, PNG among
// them, are read through loadImageFile (image/image.h).

#include <string>

#include "image/image.h"

namespace q {

// RGBA8 rows top to bottom, whatever the file's colour type and depth. On
// failure false with a message naming the file.
bool loadPng(const char* path, Image* out, std::string* error);

}  // namespace q
