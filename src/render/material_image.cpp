#include "render/material_image.h"

#include <filesystem>

namespace q {

std::string findMaterialImage(const std::string& material) {
    std::string path = material + ".jpg";
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored) ? path : std::string();
}

}  // namespace q
