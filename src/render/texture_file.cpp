#include "render/texture_file.h"

#include "gpu/device.h"
#include "image/image.h"

namespace q {

gpu::DeviceHandle<gpu::Texture> createTextureFromImage(gpu::Device& device, TextureImage& image,
                                                       const char* path, std::string* error) {
    // S3TC blocks go to the GPU as they are where it can sample them.
    gpu::DeviceHandle<gpu::Texture> texture =
        device.createTextureFromLevels(image.format, image.width, image.height, image.levelCount, image.levels());
    if (!texture && isBlockFormat(image.format)) {
        // Without S3TC, or for a size the driver refuses in it, the blocks
        // are decoded to RGBA8 and offered again.
        expandBlocks(&image);
        texture = device.createTextureFromLevels(image.format, image.width, image.height, image.levelCount,
                                                 image.levels());
    }
    if (!texture && error)
        *error = std::string(path) + ": the device could not make a " + std::to_string(image.width) +
                 " x " + std::to_string(image.height) + " texture";
    return texture;
}

gpu::DeviceHandle<gpu::Texture> loadTextureFile(gpu::Device& device, const char* path, std::string* error) {
    TextureImage image;
    std::string message;
    if (!loadTextureImage(path, &image, &message)) {
        if (error) *error = message;
        return nullptr;
    }
    return createTextureFromImage(device, image, path, error);
}

}  // namespace q
