#include "map/map_data.h"

#include "platform/gpu/device.h"

namespace q {

void Area::draw(gpu::Device& device) const {
    for (const SurfaceGroup& group : surfaceGroups) {
        for (const Surface& surface : group.surfaces) {
            device.setTexture(0, surface.texture);
            device.setStreamSource(0, surface.vertexBuffer.get(), sizeof(MapVertex));
            device.setIndices(surface.indexBuffer.get(), 0);
            device.drawIndexedPrimitive(gpu::Primitive::TriangleList, 0,
                                         static_cast<uint32_t>(surface.vertexCount), 0,
                                         static_cast<uint32_t>(surface.indexCount / 3));
        }
    }
}

void MapData::releaseBuffers() {
    auto release = [](Area& area) {
        for (SurfaceGroup& group : area.surfaceGroups) {
            for (Surface& surface : group.surfaces) {
                surface.vertexBuffer.reset();
                surface.indexBuffer.reset();
            }
        }
    };
    for (Area& area : areas) release(area);
    for (EntityModel& model : entityModels) release(model.geometry);
}

}  // namespace q
