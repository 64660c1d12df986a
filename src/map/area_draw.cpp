#include "map/map_data.h"

#include <new>
#include <utility>

#include "platform/gpu/device.h"
#include "render/globals.h"

namespace q {

void Area::draw() const {
    gpu::Device* device = g_device;
    for (const SurfaceGroup& group : surfaceGroups) {
        for (const Surface& surface : group.surfaces) {
            device->setTexture(0, surface.texture);
            device->setStreamSource(0, surface.vertexBuffer, sizeof(MapVertex));
            device->setIndices(surface.indexBuffer, 0);
            device->drawIndexedPrimitive(gpu::Primitive::TriangleList, 0,
                                         static_cast<uint32_t>(surface.vertexCount), 0,
                                         static_cast<uint32_t>(surface.indexCount / 3));
        }
    }
}

MapData::~MapData() { releaseBuffers(); }

MapData& MapData::operator=(MapData&& other) noexcept {
    if (this == &other) return *this;
    // Ending this map and moving the other into its place keeps every field,
    // present and future, in the move, and the buffers in one owner.
    this->~MapData();
    new (this) MapData(std::move(other));
    return *this;
}

void MapData::releaseBuffers() {
    for (Area& area : areas) {
        for (SurfaceGroup& group : area.surfaceGroups) {
            for (Surface& surface : group.surfaces) {
                if (surface.vertexBuffer) surface.vertexBuffer->release();
                if (surface.indexBuffer) surface.indexBuffer->release();
                surface.vertexBuffer = nullptr;
                surface.indexBuffer = nullptr;
            }
        }
    }
}

}  // namespace q
