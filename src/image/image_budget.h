#pragma once
// What one map's material images may take: each a side of at most
// ImageLimits::maxSide pixels, all of them together at most budgetBytes of
// decoded pixels. A load and --info charge the same images in the same order
// through this, so both refuse the same images in the same words.

#include <cstdint>
#include <string>

#include "image/image.h"

namespace q {

class ImageBudget {
public:
    explicit ImageBudget(ImageLimits limits) : limits_(limits), left_(limits.budgetBytes) {}

    // Charges the decoded size a head gives (readImageHead has held it to the
    // side limit). False with "<file>: its W x H pixels would take ..." when
    // it would take the map past its budget; nothing is charged then.
    bool chargeHead(const ImageFileHead& head, std::string* problem);
    // An image whose head gave no size (chargedFromHead false) is held to the
    // side limit and the budget once decoded; one charged from its head
    // passes as it is.
    bool chargeDecoded(const std::string& file, bool chargedFromHead, const TextureImage& image,
                       std::string* problem);

private:
    std::string overBudget(const std::string& file, uint32_t width, uint32_t height) const;

    ImageLimits limits_;
    uint64_t left_;  // bytes of decoded pixels the map's images may still take
};

}  // namespace q
