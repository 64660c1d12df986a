#pragma once
// Which image file a material is drawn with.

#include <string>

namespace q {

// The material name with ".jpg", relative to the map's directory (the working
// directory while a map is read). Empty when no such file is there.
std::string findMaterialImage(const std::string& material);

}  // namespace q
