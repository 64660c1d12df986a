#include "image/image.h"

#include "image/image_formats.h"

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

// Every format but DDS decodes to one level of RGBA8, handed over without a
// copy (a TGA's may stay inside its file's bytes, after its header).
bool decodeFileBytes(std::vector<uint8_t>&& bytes, const char* name, TextureImage* out, std::string* error) {
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
        return decodeTga(std::move(bytes), name, out, error);
    else
        return fail(error, name, "not a JPEG, PNG, TGA, DDS or BMP image");
    // The file's bytes go before the pixels are handed on.
    std::vector<uint8_t>().swap(bytes);
    if (!ok) return false;
    out->width = image.width;
    out->height = image.height;
    out->levelCount = 1;
    out->bytes = std::move(image.rgba);
    return true;
}

}  // namespace image_detail

using image_detail::decodeFileBytes;

namespace {

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
    return decodeFileBytes(std::vector<uint8_t>(data, data + size), name, out, error);
}

bool loadTextureImage(const char* path, TextureImage* out, std::string* error) {
    *out = TextureImage{};
    ImageFileHead head;
    return readImageHead(path, kMaxImageSide, &head, error) && loadImageBody(std::move(head), out, error);
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
