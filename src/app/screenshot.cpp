#include "app/screenshot.h"

#include <cstdio>
#include <filesystem>

#include "platform/gpu/device.h"
#include "platform/image.h"
#include "render/graphics_device.h"

namespace q {

bool writeScreenshot(GraphicsDevice& graphics, const std::string& path, std::string* error) {
    gpu::Device& device = *graphics.device;
    Image image;
    image.width = device.width();
    image.height = device.height();
    image.rgba.resize(size_t{image.width} * image.height * 4);
    if (!device.readBackBuffer(image.rgba.data())) {
        *error = path + ": the back buffer could not be read";
        return false;
    }
    return writePng(path.c_str(), image, error);
}

std::string newScreenshotPath(const std::string& directory, const std::tm& localTime) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "quorvane-%Y%m%d-%H%M%S", &localTime);
    const std::filesystem::path base = directory.empty() ? std::filesystem::path() : std::filesystem::path(directory);
    std::string name = std::string(stamp) + ".png";
    std::error_code ignored;
    for (int copy = 2; std::filesystem::exists(base / name, ignored) && copy < 1000; ++copy)
        name = std::string(stamp) + "-" + std::to_string(copy) + ".png";
    return (base / name).string();
}

}  // namespace q
