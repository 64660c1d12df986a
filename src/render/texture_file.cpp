#include "render/texture_file.h"

#include "gpu/device.h"
#include "image/image.h"

namespace q {

namespace {

// A single RGBA8 level (a decoded image) gets the rest of its chain made by
// the GPU; the levels a file stores are used as they are.
gpu::DeviceHandle<gpu::Texture> createTexture(gpu::Device& device, const TextureImage& image) {
    const bool buildChain = image.format == TexelFormat::Rgba8 && image.levelCount == 1;
    return device.createTexture(image.format, image.width, image.height, buildChain ? 0 : image.levelCount,
                                image.levels());
}

}  // namespace

gpu::DeviceHandle<gpu::Texture> createTextureFromImage(gpu::Device& device, TextureImage& image,
                                                       const char* path, std::string* error) {
    // S3TC blocks go to the GPU as they are where it can sample them.
    gpu::DeviceHandle<gpu::Texture> texture = image.levelCount > 0 ? createTexture(device, image) : nullptr;
    if (!texture && isBlockFormat(image.format)) {
        // Without S3TC, or for a size the driver refuses in it, the blocks
        // are decoded to RGBA8 and offered again.
        expandBlocks(&image);
        texture = createTexture(device, image);
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
