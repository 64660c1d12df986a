// Any bytes as a zip archive of images: the archive is refused with a message
// naming it, or each member is either refused with a message naming the
// archive and the member, or read and decoded to an image of the size its
// header gave, never larger than the side allowed. Directories that lie (on
// counts, sizes, offsets, entries sharing their data) are seeded in the
// corpus: a member read whole, as definition files are, gives its size in
// bytes or, over the bytes allowed, none; a name not in the directory is refused.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "image/image.h"
#include "platform/zip_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = q::fuzz::scratchPath(".zip");
    q::fuzz::writeFile(path, data, size);
    if (!q::isZipArchive(path)) return 0;

    std::string error;
    const std::shared_ptr<const q::ZipArchive> archive = q::ZipArchive::open(path, &error);
    if (!archive) {
        if (error.rfind(path + ": ", 0) != 0) q::fuzz::broken("archive refused without its name", error);
        return 0;
    }
    const std::vector<std::string>& names = archive->members();
    // Each member takes a directory entry of 46 bytes at least.
    if (archive->members().size() > size / 46) q::fuzz::broken("more members than the input can hold", path);
    std::vector<uint8_t> bytes;
    uint64_t memberBytes = 0;
    for (size_t i = 0; i < names.size() && i < 8; ++i) {
        constexpr uint64_t kMaxBytes = uint64_t{1} << 20;
        if (archive->read(names[i], kMaxBytes, q::ZipArchive::Reading::Whole, &bytes, &memberBytes, &error)) {
            if (memberBytes > kMaxBytes ? !bytes.empty() : bytes.size() != memberBytes)
                q::fuzz::broken("a member read whole is not its size, or one over the bytes allowed is read",
                                path + ":" + names[i]);
        } else if (error.rfind(path + ":" + names[i] + ": ", 0) != 0 && error.rfind(path + ": ", 0) != 0) {
            q::fuzz::broken("member refused without its name", error);
        }
    }
    if (archive->read("not/in/the/directory", 16, q::ZipArchive::Reading::Whole, &bytes, &memberBytes, &error))
        q::fuzz::broken("a member read that the directory does not name", path);
    constexpr uint32_t kMaxSide = 1024;
    for (size_t i = 0; i < names.size() && i < 8; ++i) {
        const std::string member = path + ":" + names[i];
        q::ImageFileHead head;
        q::TextureImage image;
        if (!q::readImageHeadInArchive(archive, names[i], kMaxSide, &head, &error)) {
            if (error.rfind(member + ": ", 0) != 0 && error.rfind(path + ": ", 0) != 0)
                q::fuzz::broken("member refused without its name", error);
            continue;
        }
        const uint32_t width = head.width, height = head.height;
        if (!q::loadImageBody(std::move(head), &image, &error)) {
            if (error.rfind(member + ": ", 0) != 0 && error.rfind(path + ": ", 0) != 0)
                q::fuzz::broken("member refused without its name", error);
            continue;
        }
        if (image.width > kMaxSide || image.height > kMaxSide) q::fuzz::broken("an image over the side allowed", member);
        if (width && (image.width != width || image.height != height)) q::fuzz::broken("not the header's size", member);
    }
    return 0;
}
