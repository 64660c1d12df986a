#include "map/map_data.h"

#include "gpu/device.h"

namespace q {

void Area::draw(const SurfaceDraw& context) const {
    // The pipeline is looked up only where a surface's look differs from the
    // last one's: a map of plain materials finds it once per area.
    MaterialBlend blend = MaterialBlend::Opaque;
    float alphaTest = 0.0f;
    gpu::DrawCall call;
    call.pipeline = context.pipelines.opaque();
    call.uniforms = context.uniforms;
    for (const SurfaceGroup& group : surfaceGroups) {
        for (const Surface& surface : group.surfaces) {
            if (passOf(surface.blend) != context.pass) continue;
            // Without its image a surface has no texels to test: the test
            // would cut holes where the lighting is dim.
            const float surfaceTest = surface.texture ? surface.alphaTest : 0.0f;
            if (surface.blend != blend || surfaceTest != alphaTest) {
                blend = surface.blend;
                alphaTest = surfaceTest;
                call.pipeline = context.pipelines.find(blend, alphaTest);
            }
            // A look whose pipeline was never made (the device refused it)
            // is left out rather than drawn as another.
            if (!call.pipeline) continue;
            call.vertices = surface.vertexBuffer.get();
            call.indices = surface.indexBuffer.get();
            call.textures.surfaceImage = surface.texture;
            // Whole triangles only: a count the file left short of a third is cut.
            call.count = static_cast<uint32_t>(surface.indexCount / 3 * 3);
            call.vertexCount = static_cast<uint32_t>(surface.vertexCount);
            context.device.draw(call);
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
