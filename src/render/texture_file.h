#pragma once
// Image file to device texture: what the material cache and the terrain load
// their textures with.

#include <string>

#include "gpu/device.h"

namespace q {

struct TextureImage;

// Reads a JPEG, PNG, TGA, BMP or DDS file and makes a texture of its size,
// texture coordinates 0 to 1 spanning the image: decoded images get their mip
// chain made by the GPU; a DDS file's own levels are used, its S3TC blocks
// kept compressed where the device can sample them. Returns an empty handle with a
// message naming the file in *error (when given) if the file cannot be read or
// decoded or the device refuses the texture.
gpu::DeviceHandle<gpu::Texture> loadTextureFile(gpu::Device& device, const char* path, std::string* error);

// The same for an image already read from path (which names it in messages);
// the image may be expanded on the way.
gpu::DeviceHandle<gpu::Texture> createTextureFromImage(gpu::Device& device, TextureImage& image,
                                                       const char* path, std::string* error);

}  // namespace q
