#include "image/image_budget.h"

namespace q {

bool ImageBudget::chargeHead(const ImageFileHead& head, std::string* problem) {
    const uint64_t bytes = head.decodedBytes();
    if (bytes > left_) {
        *problem = overBudget(head.path, head.width, head.height);
        return false;
    }
    left_ -= bytes;
    return true;
}

bool ImageBudget::chargeDecoded(const std::string& file, bool chargedFromHead, const TextureImage& image,
                                std::string* problem) {
    if (chargedFromHead) return true;
    if (image.width > limits_.maxSide || image.height > limits_.maxSide) {
        *problem = file + ": image too large (" + std::to_string(image.width) + " x " +
                   std::to_string(image.height) + "): at most " + std::to_string(limits_.maxSide) +
                   " pixels a side (--max-image-size)";
        return false;
    }
    const uint64_t bytes = uint64_t{image.width} * image.height * 4;
    if (bytes > left_) {
        *problem = overBudget(file, image.width, image.height);
        return false;
    }
    left_ -= bytes;
    return true;
}

std::string ImageBudget::overBudget(const std::string& file, uint32_t width, uint32_t height) const {
    return file + ": its " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels would take the map's images past their budget of " + std::to_string(limits_.budgetBytes >> 20) +
           " MiB (--image-budget)";
}

}  // namespace q
