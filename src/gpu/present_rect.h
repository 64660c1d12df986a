#pragma once
// Where the back buffer goes in the window: the largest rectangle of the back
// buffer's shape that fits the drawable, centred, with black bars in what is left.

namespace q::gpu {

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// An empty rectangle when either size has no pixels.
PixelRect fitCentred(int drawableWidth, int drawableHeight, int bufferWidth, int bufferHeight);

}  // namespace q::gpu
