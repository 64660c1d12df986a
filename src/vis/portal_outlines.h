#pragma once
// The portal display (P): every portal of every copy entered this frame,
// outlined in world space over the picture (walls do not hide it), green where
// the portal flow looked through the portal this frame and red where it did
// not, so a map's author sees which openings the view passes from here.

#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "gpu/device.h"
#include "render/graphics_device.h"

namespace q {

class Scene;

constexpr uint32_t kPortalPassedColour = 0xff00ff00u;     // 0xAARRGGBB: green
constexpr uint32_t kPortalNotPassedColour = 0xffff0000u;  // red

struct PortalCount {
    int passed = 0;
    int total = 0;
};

// The portals of the copies entered this frame, and how many of them the
// flow passed.
PortalCount countPortals(const Scene& scene);

class PortalOutlines {
public:
    // Draws the outlines of the entered copies' portals with the camera's
    // matrices, without depth test. The buffer and the pipeline are made on the
    // first call; outlines past its size are left out (the count is whole).
    // Allocates nothing after the first call.
    PortalCount draw(const Scene& scene, const Matrix& view, const Matrix& projection);

private:
    gpu::DeviceHandle<gpu::VertexBuffer> buffer_;
    std::vector<LineVertex> vertices_;  // written each draw, sized once with the buffer
    gpu::DeviceHandle<gpu::Pipeline> pipeline_;
};

}  // namespace q
