// Any bytes as a zip archive of images: the archive is refused with a message
// naming it, or each member is either refused with a message naming the
// archive and the member, or read and decoded to an image of the size its
// header gave, never larger than the side allowed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/image.h"
#include "platform/zip_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = q::fuzz::scratchPath(".zip");
    q::fuzz::writeFile(path, data, size);
    if (!q::isZipArchive(path)) return 0;

    std::vector<std::string> names;
    std::string error;
    if (!q::listZipMembers(path, &names, &error)) {
        if (error.rfind(path + ": ", 0) != 0) q::fuzz::broken("archive refused without its name", error);
        return 0;
    }
    constexpr uint32_t kMaxSide = 1024;
    for (size_t i = 0; i < names.size() && i < 8; ++i) {
        const std::string member = path + ":" + names[i];
        q::ImageFileHead head;
        q::TextureImage image;
        if (!q::readImageHeadInArchive(path, names[i], kMaxSide, &head, &error)) {
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
