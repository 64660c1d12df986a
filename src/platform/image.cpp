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

bool decodeImage(const uint8_t* data, size_t size, Image* out, std::string* error,
                 const char* name) {
    *out = Image{};
    if (!data || size == 0) return fail(error, name, "empty file, not an image");
    bool ok = false;
    if (image_detail::looksLikeJpeg(data, size))
        ok = image_detail::decodeJpeg(data, size, name, out, error);
    else if (image_detail::looksLikeBmp(data, size))
        ok = image_detail::decodeBmp(data, size, name, out, error);
    else
        return fail(error, name, "not a JPEG or BMP image");
    if (!ok) *out = Image{};
    return ok;
}

bool loadImageFile(const char* path, Image* out, std::string* error) {
    *out = Image{};
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, &bytes, error)) return false;
    return decodeImage(bytes.data(), bytes.size(), out, error, path);
}

}  // namespace q
