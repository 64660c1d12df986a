#include "platform/image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/image_formats.h"

namespace q {

namespace image_detail {

bool fail(std::string* error, const char* name, const std::string& what) {
    if (error) *error = std::string(name ? name : "image") + ": " + what;
    return false;
}

std::string tooLarge(uint32_t width, uint32_t height) {
    return "image too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
}

bool checkWritable(const Image& image, const char* path, std::string* error) {
    if (image.width == 0 || image.height == 0)
        return fail(error, path, "nothing to write: the image is empty");
    if (image.width > kMaxImageSide || image.height > kMaxImageSide)
        return fail(error, path, tooLarge(image.width, image.height));
    if (image.rgba.size() != size_t{image.width} * image.height * 4)
        return fail(error, path, "pixel data does not match the image size");
    return true;
}

}  // namespace image_detail

using image_detail::fail;

namespace {

// A compressed image of the largest allowed size stays far below this; anything
// bigger is not one of our textures, and reading it whole would only waste memory.
constexpr uintmax_t kMaxImageFileBytes = 512u << 20;

bool readWholeFile(const char* path, std::vector<uint8_t>* bytes, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status))
        return fail(error, path, "cannot open (no such file)");
    if (fs::is_directory(status)) return fail(error, path, "is a directory, not an image file");
    if (!fs::is_regular_file(status)) return fail(error, path, "is not a regular file");
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) return fail(error, path, "cannot read its size (" + ec.message() + ")");
    if (size == 0) return fail(error, path, "empty file, not an image");
    if (size > kMaxImageFileBytes) return fail(error, path, "file too large for an image");

    std::FILE* file = std::fopen(path, "rb");
    if (!file) return fail(error, path, std::string("cannot open (") + std::strerror(errno) + ")");
    bytes->resize(static_cast<size_t>(size));
    const size_t got = std::fread(bytes->data(), 1, bytes->size(), file);
    std::fclose(file);
    if (got != bytes->size()) return fail(error, path, "cannot read the whole file");
    return true;
}

}  // namespace

namespace {

// Every format but DDS decodes to one level of RGBA8, handed over without a copy.
bool decodeFile(std::vector<uint8_t>&& bytes, const char* name, TextureImage* out, std::string* error) {
    using namespace image_detail;
    *out = TextureImage{};
    const uint8_t* data = bytes.data();
    const size_t size = bytes.size();
    if (size == 0) return fail(error, name, "empty file, not an image");
    if (looksLikeDds(data, size)) {
        if (readDds(std::move(bytes), name, out, error)) return true;
        *out = TextureImage{};
        return false;
    }
    Image image;
    bool ok = false;
    if (looksLikeJpeg(data, size))
        ok = decodeJpeg(data, size, name, &image, error);
    else if (looksLikePng(data, size))
        ok = decodePng(data, size, name, &image, error);
    else if (looksLikeBmp(data, size))
        ok = decodeBmp(data, size, name, &image, error);
    else if (looksLikeTga(data, size))
        ok = decodeTga(data, size, name, &image, error);
    else
        return fail(error, name, "not a JPEG, PNG, TGA, DDS or BMP image");
    if (!ok) return false;
    out->width = image.width;
    out->height = image.height;
    out->levelCount = 1;
    out->bytes = std::move(image.rgba);
    return true;
}

// Level 0 of a texture image as RGBA8 pixels.
void takeLevelZero(TextureImage&& texture, Image* out) {
    expandBlocks(&texture);
    out->width = texture.width;
    out->height = texture.height;
    const size_t bytes = size_t{texture.width} * texture.height * 4;
    if (texture.offset == 0 && texture.bytes.size() == bytes) {
        out->rgba = std::move(texture.bytes);
    } else {
        out->rgba.assign(texture.levels(), texture.levels() + bytes);
    }
}

}  // namespace

bool decodeTextureImage(const uint8_t* data, size_t size, TextureImage* out, std::string* error,
                        const char* name) {
    if (!data) size = 0;
    return decodeFile(std::vector<uint8_t>(data, data + size), name, out, error);
}

bool loadTextureImage(const char* path, TextureImage* out, std::string* error) {
    *out = TextureImage{};
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, &bytes, error)) return false;
    return decodeFile(std::move(bytes), path, out, error);
}

bool decodeImage(const uint8_t* data, size_t size, Image* out, std::string* error, const char* name) {
    *out = Image{};
    TextureImage texture;
    if (!decodeTextureImage(data, size, &texture, error, name)) return false;
    takeLevelZero(std::move(texture), out);
    return true;
}

bool loadImageFile(const char* path, Image* out, std::string* error) {
    *out = Image{};
    TextureImage texture;
    if (!loadTextureImage(path, &texture, error)) return false;
    takeLevelZero(std::move(texture), out);
    return true;
}

}  // namespace q
