// Any bytes as an image file through q::readImageHead and q::loadImageBody:
// the size a header gives is what the file decodes to (else an image could
// pass the size limit and the budget with a header that says less), and what
// is refused is refused with the file's name.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int file = memfd_create("image_head_fuzz", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(file);
    if (file < 0 || ftruncate(file, 0) != 0 || pwrite(file, data, size, 0) != static_cast<ssize_t>(size)) return 0;

    q::ImageFileHead head;
    std::string error;
    if (!q::readImageHead(path.c_str(), q::kDefaultMaxImageSide, &head, &error)) {
        if (error.rfind(path + ": ", 0) != 0) q::fuzz::broken("head refused without the file name", error);
        return 0;
    }
    if (head.width > q::kDefaultMaxImageSide || head.height > q::kDefaultMaxImageSide)
        q::fuzz::broken("head passed a side over the limit", std::to_string(head.width) + " x " + std::to_string(head.height));
    const uint32_t width = head.width, height = head.height;
    q::TextureImage image;
    if (!q::loadImageBody(std::move(head), &image, &error)) {
        if (error.rfind(path + ": ", 0) != 0) q::fuzz::broken("body refused without the file name", error);
        return 0;
    }
    if (image.width != width || image.height != height)
        q::fuzz::broken("decoded size differs from the header's",
                        std::to_string(image.width) + " x " + std::to_string(image.height) + " against " +
                            std::to_string(width) + " x " + std::to_string(height));
    return 0;
}
