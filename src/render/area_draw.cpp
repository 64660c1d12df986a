#include "render/area_draw.h"

namespace q {

namespace {

void drawRange(const MapMesh& mesh, MapMesh::Range range, const SurfaceDraw& context) {
    // The pipeline is looked up only where a surface's look differs from the
    // last one's: a map of plain materials finds it once per area.
    MaterialBlend blend = MaterialBlend::Opaque;
    float alphaTest = 0.0f;
    gpu::DrawCall call;
    call.pipeline = context.pipelines.opaque();
    call.uniforms = context.uniforms;
    call.textures.lightImage = context.lightImage;
    call.textures.lightFalloff = context.lightFalloff;
    call.scissor = context.scissor;
    for (const MapMesh::Draw* draw = range.begin; draw != range.end; ++draw) {
        const MaterialLook& look = mesh.look(draw->material);
        if (passOf(look.blend) != context.pass) continue;
        const gpu::Texture* texture = mesh.textures[draw->material];
        // Without its image a surface has no texels to test: the test
        // would cut holes where the lighting is dim.
        const float surfaceTest = texture ? look.alphaTest : 0.0f;
        if (look.blend != blend || surfaceTest != alphaTest) {
            blend = look.blend;
            alphaTest = surfaceTest;
            call.pipeline = context.pipelines.find(blend, alphaTest);
        }
        // A look whose pipeline was never made (the device refused it) is
        // left out rather than drawn as another.
        if (!call.pipeline) continue;
        const MapMesh::Buffers& buffers = mesh.buffers(draw->buffer);
        call.vertices = buffers.vertices.get();
        call.indices = buffers.indices.get();
        call.textures.surfaceImage = texture;
        call.textures.normalMap = draw->material < mesh.normalMaps.size() ? mesh.normalMaps[draw->material] : nullptr;
        call.textures.specularMap =
            draw->material < mesh.specularMaps.size() ? mesh.specularMaps[draw->material] : nullptr;
        call.first = draw->firstIndex;
        call.count = draw->count;
        call.vertexCount = draw->vertexCount;
        context.device.draw(call);
    }
}

}  // namespace

void drawArea(const MapMesh& mesh, size_t area, const SurfaceDraw& context) {
    drawRange(mesh, mesh.areaDraws(area), context);
}

void drawEntityModel(const MapMesh& mesh, size_t model, const SurfaceDraw& context) {
    drawRange(mesh, mesh.entityModelDraws(model), context);
}

}  // namespace q
