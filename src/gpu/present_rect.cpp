#include "gpu/present_rect.h"

#include <cstdint>

namespace q::gpu {

PixelRect fitCentred(int drawableWidth, int drawableHeight, int bufferWidth, int bufferHeight) {
    if (drawableWidth <= 0 || drawableHeight <= 0 || bufferWidth <= 0 || bufferHeight <= 0) return {};
    PixelRect rect;
    // Products in 64 bits: a drawable side times a buffer side may pass 2^31.
    const int64_t wideness = int64_t{drawableWidth} * bufferHeight;
    const int64_t needed = int64_t{drawableHeight} * bufferWidth;
    if (wideness >= needed) {
        // Wider than the buffer (or the same shape): bars left and right.
        rect.height = drawableHeight;
        rect.width = static_cast<int>(needed / bufferHeight);
    } else {
        rect.width = drawableWidth;
        rect.height = static_cast<int>(wideness / bufferWidth);
    }
    rect.x = (drawableWidth - rect.width) / 2;
    rect.y = (drawableHeight - rect.height) / 2;
    return rect;
}

}  // namespace q::gpu
