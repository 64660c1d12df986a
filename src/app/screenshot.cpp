#include "app/screenshot.h"

#include <cstdio>
#include <filesystem>

#include "gpu/device.h"
#include "image/image.h"
#include "platform/output_file.h"
#include "render/graphics_device.h"

namespace q {

namespace {

bool readBackBuffer(GraphicsDevice& graphics, const std::string& name, Image* image, std::string* error) {
    gpu::Device& device = *graphics.device();
    image->width = device.width();
    image->height = device.height();
    image->rgba.resize(size_t{image->width} * image->height * 4);
    if (device.readBackBuffer(image->rgba.data())) return true;
    *error = name + ": the back buffer could not be read";
    return false;
}

}  // namespace

bool writeScreenshot(GraphicsDevice& graphics, const std::string& path, std::string* error, const char* comment) {
    Image image;
    return readBackBuffer(graphics, path, &image, error) && writePng(path.c_str(), image, error, comment);
}

bool writeScreenshot(GraphicsDevice& graphics, OutputFile& file, const std::string& name, std::string* error,
                     const char* comment) {
    Image image;
    return readBackBuffer(graphics, name, &image, error) &&
           writePng(file.stream(), name.c_str(), image, error, comment);
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
