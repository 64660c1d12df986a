#include "render/texture_file.h"

#include "platform/gpu/device.h"
#include "platform/image.h"

namespace q {

gpu::Texture* loadTextureFile(gpu::Device& device, const char* path, std::string* error) {
    Image image;
    std::string message;
    if (!loadImageFile(path, &image, &message)) {
        if (error) *error = message;
        return nullptr;
    }
    gpu::Texture* texture = device.createTextureFromRgba(image.rgba.data(), image.width, image.height);
    if (!texture && error)
        *error = std::string(path) + ": the device could not make a " + std::to_string(image.width) +
                 " x " + std::to_string(image.height) + " texture";
    return texture;
}

}  // namespace q
