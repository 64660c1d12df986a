#pragma once
// Image file to device texture: what the material cache and the terrain load
// their textures with.

#include <string>

namespace q {

namespace gpu {
class Device;
class Texture;
}  // namespace gpu

// Decodes a JPEG or BMP file and makes a texture of its size with a full mip
// chain, texture coordinates 0 to 1 spanning the image. Returns null with a
// message naming the file in *error (when given) if the file cannot be read or
// decoded or the device refuses the texture.
gpu::Texture* loadTextureFile(gpu::Device& device, const char* path, std::string* error);

}  // namespace q
