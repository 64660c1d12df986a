// An image file's first bytes: its kind and size, known before anything is
// decoded, and how far the file may need to be read. A file of a few
// kilobytes can claim a picture of gigabytes (a run-length or deflated run of
// one colour); checking the size from the header refuses it before any memory
// is spent on it, and a file far longer than its pixels can fill is not read
// past what they need.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "image/image.h"
#include "platform/zip_archive.h"
#include "image/image_formats.h"

namespace q {

namespace {

using image_detail::fail;
using image_detail::readU16;
using image_detail::readU32;

// Enough for any header, and for the markers a JPEG may put before its frame
// header (thumbnails, colour profiles).
constexpr size_t kHeadBytes = size_t{1} << 20;
// Room for what a file may carry besides its pixels (comments, profiles,
// chunk and packet framing).
constexpr uint64_t kSlackBytes = uint64_t{16} << 20;
// A compressed image of the largest allowed size stays far below this.
constexpr uint64_t kMaxImageFileBytes = uint64_t{512} << 20;

uint32_t readU16BigEndian(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }
uint32_t readU32BigEndian(const uint8_t* p) { return readU16BigEndian(p) << 16 | readU16BigEndian(p + 2); }

struct Size {
    uint32_t width = 0, height = 0;
    uint64_t bytesNeeded = 0;  // 0: not known from the header
};

Size pngSize(const uint8_t* data, size_t size) {
    if (size < 33 || std::memcmp(data + 12, "IHDR", 4) != 0) return {};
    Size s{readU32BigEndian(data + 16), readU32BigEndian(data + 20)};
    const uint32_t depth = data[24], colour = data[25];
    const uint32_t channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
    const uint64_t row = (uint64_t{s.width} * channels * std::max(depth, 1u) + 7) / 8 + 1;
    // Deflate adds at most a few bytes per block; interlacing a row start per pass.
    const uint64_t raw = row * s.height;
    s.bytesNeeded = raw + raw / 8 + kSlackBytes;
    return s;
}

// Marker segments walked before a JPEG's frame header is given up on: real
// files have a few dozen (tables, thumbnails, profiles).
constexpr int kMaxJpegSegments = 1 << 16;

// The frame header's size, found by walking the marker segments from just
// after the start marker. fetch(offset, count, bytes) gives the count bytes
// at offset, false when they are not there.
template <typename Fetch>
Size jpegSize(Fetch fetch) {
    uint64_t at = 2;
    uint8_t b[10];
    for (int segment = 0; segment < kMaxJpegSegments && fetch(at, 4, b); ++segment) {
        if (b[0] != 0xFF) return {};
        const uint8_t marker = b[1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) {  // no length follows
            at += 2;
            continue;
        }
        const uint32_t length = readU16BigEndian(b + 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (!fetch(at, 10, b)) return {};
            Size s{readU16BigEndian(b + 7), readU16BigEndian(b + 5)};
            // Huffman codes of the longest kind for every coefficient, with
            // every byte stuffed, stay under 8 bytes a sample.
            s.bytesNeeded = at + uint64_t{s.width} * s.height * std::max<uint32_t>(b[9], 1) * 8 + kSlackBytes;
            return s;
        }
        at += 2 + length;
    }
    return {};
}

Size jpegSize(const uint8_t* data, size_t size) {
    return jpegSize([&](uint64_t offset, size_t count, uint8_t* out) {
        if (offset > size || count > size - offset) return false;
        std::memcpy(out, data + offset, count);
        return true;
    });
}

Size bmpSize(const uint8_t* data, size_t size) {
    if (size < 18) return {};
    const uint32_t headerSize = readU32(data + 14);
    // The small (12-byte) header ends at byte 26, the others' bit count at 30:
    // a file that short still decodes, so its size must be told.
    if (size < (headerSize == 12 ? 26u : 30u)) return {};
    int64_t width = 0, height = 0;
    uint32_t bits = 0;
    if (headerSize == 12) {
        width = readU16(data + 18);
        height = readU16(data + 20);
        bits = readU16(data + 24);
    } else {
        width = static_cast<int32_t>(readU32(data + 18));
        height = static_cast<int32_t>(readU32(data + 22));
        bits = readU16(data + 28);
    }
    if (width <= 0 || height == 0 || width > UINT32_MAX || -height > UINT32_MAX) return {};
    Size s{static_cast<uint32_t>(width), static_cast<uint32_t>(height < 0 ? -height : height)};
    const uint64_t stride = (uint64_t{s.width} * std::max(bits, 1u) + 31) / 32 * 4;
    // Run-length data at its longest: a two-byte packet per pixel and an end of line per row.
    const uint64_t runs = 2 * (uint64_t{s.width} + 1) * s.height + 2;
    s.bytesNeeded = readU32(data + 10) + std::max(stride * s.height, runs) + kSlackBytes;
    return s;
}

Size tgaSize(const uint8_t* data, size_t size) {
    if (size < 18) return {};
    Size s{readU16(data + 12), readU16(data + 14)};
    const uint64_t pixelBytes = (data[16] + 7) / 8;
    const uint64_t mapBytes = uint64_t{readU16(data + 5)} * ((data[7] + 7) / 8);
    const bool runLength = data[2] >= 9;
    const uint64_t pixels = uint64_t{s.width} * s.height * (pixelBytes + (runLength ? 1 : 0));
    s.bytesNeeded = 18 + data[0] + mapBytes + pixels + kSlackBytes;
    return s;
}

Size ddsSize(const uint8_t* data, size_t size) {
    if (size < 20) return {};
    Size s{readU32(data + 16), readU32(data + 12)};
    // The largest texel kind read, with its levels (a third more), after both headers.
    s.bytesNeeded = 148 + uint64_t{s.width} * s.height * 4 * 4 / 3 + kSlackBytes;
    return s;
}

bool isImage(const uint8_t* data, size_t size) {
    using namespace image_detail;
    return looksLikeDds(data, size) || looksLikeJpeg(data, size) || looksLikePng(data, size) ||
           looksLikeBmp(data, size) || looksLikeTga(data, size);
}

Size sizeFromHeader(const uint8_t* data, size_t size) {
    using namespace image_detail;
    if (looksLikeDds(data, size)) return ddsSize(data, size);
    if (looksLikeJpeg(data, size)) return jpegSize(data, size);
    if (looksLikePng(data, size)) return pngSize(data, size);
    if (looksLikeBmp(data, size)) return bmpSize(data, size);
    if (looksLikeTga(data, size)) return tgaSize(data, size);
    return {};
}

bool readFrom(std::FILE* file, uint64_t offset, size_t count, std::vector<uint8_t>* bytes) {
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    const size_t start = bytes->size();
    bytes->resize(start + count);
    const size_t got = std::fread(bytes->data() + start, 1, count, file);
    bytes->resize(start + got);
    return got == count;
}

}  // namespace

namespace {

// The checks on a head whose first bytes and file size are read. file, when
// given, is the open image file: its JPEG segments are walked on for a frame
// header that lies past the bytes read.
bool checkHead(ImageFileHead* out, uint32_t maxSide, std::string* error, std::FILE* file = nullptr) {
    const char* path = out->path.c_str();
    if (!isImage(out->bytes.data(), out->bytes.size()))
        return fail(error, path, "not a JPEG, PNG, TGA, DDS or BMP image");
    Size size = sizeFromHeader(out->bytes.data(), out->bytes.size());
    // Markers (thumbnails, profiles) may put a JPEG's frame header past the
    // bytes read: the segments are walked on in the file, each skipped unread,
    // so that the size is known before anything is decoded.
    const uint64_t fileSize = out->fileBytes;
    if (file && !size.width && image_detail::looksLikeJpeg(out->bytes.data(), out->bytes.size()) &&
        fileSize > out->bytes.size())
        size = jpegSize([&](uint64_t offset, size_t count, uint8_t* bytes) {
            return offset + count <= std::min<uint64_t>(fileSize, kMaxImageFileBytes) &&
                   std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
                   std::fread(bytes, 1, count, file) == count;
        });
    out->width = size.width;
    out->height = size.height;
    if (size.width > maxSide || size.height > maxSide) {
        std::string what = image_detail::tooLarge(size.width, size.height);
        if (maxSide < kMaxImageSide)
            what += ": at most " + std::to_string(maxSide) + " pixels a side (--max-image-size)";
        return fail(error, path, what);
    }
    // An image whose size its header does not tell is left to its decoder to
    // refuse, read no further than an image may be long.
    out->bytesNeeded = size.bytesNeeded ? std::min(size.bytesNeeded, kMaxImageFileBytes) : kMaxImageFileBytes;
    if (!size.bytesNeeded && fileSize > kMaxImageFileBytes) return fail(error, path, "file too large for an image");
    return true;
}

}  // namespace

bool readImageHead(const char* path, uint32_t maxSide, ImageFileHead* out, std::string* error) {
    namespace fs = std::filesystem;
    *out = ImageFileHead{};
    out->path = path;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) return fail(error, path, "cannot open (no such file)");
    if (fs::is_directory(status)) return fail(error, path, "is a directory, not an image file");
    if (!fs::is_regular_file(status)) return fail(error, path, "is not a regular file");
    const uintmax_t fileSize = fs::file_size(path, ec);
    if (ec) return fail(error, path, "cannot read its size (" + ec.message() + ")");
    if (fileSize == 0) return fail(error, path, "empty file, not an image");
    out->fileBytes = fileSize;

    std::FILE* file = std::fopen(path, "rb");
    if (!file) return fail(error, path, std::string("cannot open (") + std::strerror(errno) + ")");
    const bool read = readFrom(file, 0, static_cast<size_t>(std::min<uintmax_t>(fileSize, kHeadBytes)), &out->bytes);
    if (!read) {
        std::fclose(file);
        return fail(error, path, "cannot read the whole file");
    }
    const bool usable = checkHead(out, maxSide, error, file);
    std::fclose(file);
    return usable;
}

bool readImageHeadInArchive(const std::shared_ptr<const ZipArchive>& archive, const std::string& member,
                            uint32_t maxSide, ImageFileHead* out, std::string* error) {
    *out = ImageFileHead{};
    out->path = archive->path() + ":" + member;
    out->archive = archive;
    out->member = member;
    if (!archive->read(member, kHeadBytes, ZipArchive::Reading::Head, &out->bytes, &out->fileBytes, error)) return false;
    if (out->fileBytes == 0) return fail(error, out->path.c_str(), "empty member, not an image");
    return checkHead(out, maxSide, error);
}

bool loadImageBody(ImageFileHead&& head, TextureImage* out, std::string* error) {
    *out = TextureImage{};
    const uint64_t wanted = std::min<uint64_t>(head.fileBytes, head.bytesNeeded);
    // Room for an image decoded within its file's bytes is made before they
    // are read, so that growing them never holds two copies at once.
    const uint64_t room = std::max(wanted, image_detail::tgaInPlaceBytes(head.bytes.data(), head.bytes.size(), wanted));
    if (room > head.bytes.capacity()) {
        std::vector<uint8_t> reserved;
        reserved.reserve(static_cast<size_t>(room));
        reserved.assign(head.bytes.begin(), head.bytes.end());
        head.bytes = std::move(reserved);
    }
    if (head.archive && head.bytes.size() < head.fileBytes) {
        // A member is inflated from its start again (a deflated stream has no
        // place to resume from), and to its end, where its checksum is known
        // (a head that held the whole member was checked when it was read).
        uint64_t memberBytes = 0;
        if (!head.archive->read(head.member, wanted, ZipArchive::Reading::Checked, &head.bytes, &memberBytes, error)) return false;
    } else if (wanted > head.bytes.size()) {
        std::FILE* file = std::fopen(head.path.c_str(), "rb");
        if (!file) return image_detail::fail(error, head.path.c_str(), std::string("cannot open (") + std::strerror(errno) + ")");
        const bool read = readFrom(file, head.bytes.size(), static_cast<size_t>(wanted - head.bytes.size()), &head.bytes);
        std::fclose(file);
        if (!read) return image_detail::fail(error, head.path.c_str(), "cannot read the whole file");
    }
    return image_detail::decodeFileBytes(std::move(head.bytes), head.path.c_str(), out, error);
}

}  // namespace q
