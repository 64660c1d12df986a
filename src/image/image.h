#pragma once
// Image files: JPEG, BMP, PNG and TGA decoded to RGBA8 (rows top to bottom),
// DDS read as the levels it stores; JPEG, BMP and PNG written (the map
// generator's textures, screenshots).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/texel_format.h"

namespace q {

class ZipArchive;

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4
};

// Neither side of a decoded or written image may exceed this many pixels.
constexpr uint32_t kMaxImageSide = 16384;
// What a map's material images may take unless the person raises it: a side
// of at most 8192 pixels each, 1 GiB of decoded pixels for all of them.
constexpr uint32_t kDefaultMaxImageSide = 8192;
constexpr uint64_t kDefaultImageBudgetBytes = uint64_t{1} << 30;

struct ImageLimits {
    uint32_t maxSide = kDefaultMaxImageSide;
    uint64_t budgetBytes = kDefaultImageBudgetBytes;
};

// What a texture file holds, ready for the device: one level of decoded RGBA8
// (the GPU makes the rest of the chain), or the levels a DDS file stores, each
// half the size of the one before, one after the other from `offset`.
struct TextureImage {
    TexelFormat format = TexelFormat::Rgba8;
    uint32_t width = 0;  // of level 0
    uint32_t height = 0;
    uint32_t levelCount = 0;
    std::vector<uint8_t> bytes;  // the decoded pixels, or the DDS file's own bytes
    size_t offset = 0;           // where level 0 starts in bytes

    const uint8_t* levels() const { return bytes.data() + offset; }
};

// An image file's first bytes, with the size its header gives (0 x 0 where it
// gives none that can be read: the decoder then says what is wrong).
struct ImageFileHead {
    std::string path;
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t fileBytes = 0;
    uint64_t bytesNeeded = 0;  // how far the file is read at most
    std::vector<uint8_t> bytes;  // read so far
    // For a member of a zip archive (path is then "ARCHIVE:MEMBER"); null for a file.
    std::shared_ptr<const ZipArchive> archive;
    std::string member;

    uint64_t decodedBytes() const { return uint64_t{width} * height * 4; }
};
// Reads path's header and refuses an image with a side over maxSide (or a
// file that is no image file) before anything is decoded. False with a
// message naming the file.
bool readImageHead(const char* path, uint32_t maxSide, ImageFileHead* out, std::string* error);
// The same for a member of a zip archive (fileBytes: the member's size).
bool readImageHeadInArchive(const std::shared_ptr<const ZipArchive>& archive, const std::string& member,
                            uint32_t maxSide, ImageFileHead* out, std::string* error);
// Reads the rest of the file (or inflates the member), no further than its
// header says it needs, and decodes it. A member is inflated to its end and
// refused when its checksum is wrong.
bool loadImageBody(ImageFileHead&& head, TextureImage* out, std::string* error);

// Decides by content (JPEG, BMP, PNG, DDS, TGA). On failure returns false with
// a message naming the file and what was wrong; *out is then left empty.
bool loadTextureImage(const char* path, TextureImage* out, std::string* error);
// The same from bytes in memory; name stands for the file in messages.
bool decodeTextureImage(const uint8_t* data, size_t size, TextureImage* out, std::string* error,
                        const char* name = "image");
// Turns S3TC levels into RGBA8 levels of the same sizes (for a GPU that cannot
// sample the blocks); RGBA8 images stay as they are.
void expandBlocks(TextureImage* image);

// As loadTextureImage, with level 0 as RGBA8 pixels.
bool loadImageFile(const char* path, Image* out, std::string* error);
bool decodeImage(const uint8_t* data, size_t size, Image* out, std::string* error,
                 const char* name = "image");

bool writeJpeg(const char* path, const Image& image, int quality, std::string* error);
bool writeBmp(const char* path, const Image& image, std::string* error);  // 24-bit
// Replaces what path names only once the whole file is written (see
// platform/output_file.h); a failure leaves it as it was. A comment, when
// given, goes into the file as a text chunk with the keyword "Comment".
bool writePng(const char* path, const Image& image, std::string* error, const char* comment = nullptr);
// Into an open stream (left open); name stands for it in messages.
bool writePng(std::FILE* file, const char* name, const Image& image, std::string* error,
              const char* comment = nullptr);

}  // namespace q
