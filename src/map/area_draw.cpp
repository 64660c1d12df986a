#include "map/map_data.h"

#include "platform/gpu/device.h"
#include "render/material_states.h"

namespace q {

void Area::draw(gpu::Device& device, SurfacePass pass) const {
    // States are set only where a surface needs other ones than the last, so
    // a map of plain opaque materials draws with the same calls as ever.
    MaterialBlend blend = MaterialBlend::Opaque;
    float alphaTest = 0.0f;
    for (const SurfaceGroup& group : surfaceGroups) {
        for (const Surface& surface : group.surfaces) {
            if (passOf(surface.blend) != pass) continue;
            if (surface.blend != blend || surface.alphaTest != alphaTest) {
                blend = surface.blend;
                alphaTest = surface.alphaTest;
                setMaterialStates(device, blend, alphaTest);
            }
            device.setTexture(0, surface.texture);
            device.setStreamSource(0, surface.vertexBuffer.get(), sizeof(MapVertex));
            device.setIndices(surface.indexBuffer.get(), 0);
            device.drawIndexedPrimitive(gpu::Primitive::TriangleList, 0,
                                         static_cast<uint32_t>(surface.vertexCount), 0,
                                         static_cast<uint32_t>(surface.indexCount / 3));
        }
    }
    if (blend != MaterialBlend::Opaque || alphaTest != 0.0f) resetMaterialStates(device);
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
