#include "vis/portal_outlines.h"

#include <memory>
#include <vector>

#include "gpu/device.h"
#include "render/graphics_device.h"
#include "world/map_instance.h"
#include "world/scene.h"

namespace q {

namespace {

bool passed(const MapInstance& instance, size_t portal) {
    const size_t word = portal / 32;
    return word < instance.passedPortals.size() && ((instance.passedPortals[word] >> (portal % 32)) & 1u) != 0;
}

}  // namespace

PortalCount countPortals(const Scene& scene) {
    PortalCount count;
    for (const std::unique_ptr<MapInstance>& instance : scene.instances) {
        if (!instance->enteredThisFrame || !instance->map) continue;
        const size_t portals = instance->map->portals.size();
        count.total += static_cast<int>(portals);
        for (size_t p = 0; p < portals; ++p) count.passed += passed(*instance, p) ? 1 : 0;
    }
    return count;
}

PortalCount PortalOutlines::draw(const Scene& scene, const Matrix& view, const Matrix& projection) {
    const PortalCount count = countPortals(scene);
    gpu::Device* device = scene.device;
    if (!device || !scene.graphics) return count;
    if (!buffer_) {
        buffer_ = device->createVertexBuffer(kLineBufferBytes, gpu::BufferUse::Dynamic, nullptr);
        vertices_.resize(2 * kMaxLines);
    }
    // Over the scene: walls do not hide the outlines.
    if (!pipeline_) pipeline_ = device->createPipeline(linePipelineDesc(scene.graphics->lineProgram(), false));
    if (!buffer_ || !pipeline_) return count;

    LineVertex* write = vertices_.data();
    uint32_t lines = 0;
    for (const std::unique_ptr<MapInstance>& instance : scene.instances) {
        if (!instance->enteredThisFrame || !instance->map) continue;
        const std::vector<Portal>& portals = instance->map->portals;
        for (size_t p = 0; p < portals.size(); ++p) {
            const uint32_t colour = passed(*instance, p) ? kPortalPassedColour : kPortalNotPassedColour;
            const std::vector<Vector3>& points = portals[p].points;
            for (size_t i = 0; i < points.size() && lines < kMaxLines; ++i, ++lines) {
                const Vector3 a = transformCoord(points[i], instance->world);
                const Vector3 b = transformCoord(points[(i + 1) % points.size()], instance->world);
                write[2 * lines] = {a.x, a.y, a.z, colour};
                write[2 * lines + 1] = {b.x, b.y, b.z, colour};
            }
        }
    }
    if (lines == 0) return count;
    // From the start of a dynamic buffer: fresh storage, no wait for the last frame's draw.
    if (!buffer_->update(0, write, lines * 2 * static_cast<uint32_t>(sizeof(LineVertex)))) return count;

    drawLineList(*device, pipeline_.get(), buffer_.get(), lines, view, projection);
    return count;
}

}  // namespace q
