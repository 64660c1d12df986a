#include "render/area_draw.h"

namespace q {

namespace {

constexpr uint32_t kEachDrawsOwn = UINT32_MAX;

// The range's draws, each with its own material or, for a mesh group's, the
// one given.
void drawRange(const MapMesh& mesh, MapMesh::Range range, const SurfaceDraw& context,
               uint32_t material = kEachDrawsOwn) {
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
        const uint32_t shown = material == kEachDrawsOwn ? draw->material : material;
        const MaterialLook& look = mesh.look(shown);
        if (passOf(look.blend) != context.pass) continue;
        const gpu::Texture* texture = mesh.textures[shown];
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

void drawMeshModel(const MapMesh& mesh, const MeshModels& models, const PlacedMesh& placed,
                   const SurfaceDraw& context) {
    for (size_t group = 0; group < placed.groupMaterials.size(); ++group) {
        const size_t index = static_cast<size_t>(placed.groupMaterials[group]);
        if (index >= models.materials.size()) continue;
        const MeshMaterial& material = models.materials[index];
        // A material given no place in the map's table (not drawn, or the
        // mesh was built before it had one) has no look or texture here.
        if (!material.drawn || material.mapMaterial < 0 ||
            static_cast<size_t>(material.mapMaterial) >= mesh.materialCount() ||
            static_cast<size_t>(material.mapMaterial) >= mesh.textures.size())
            continue;
        drawRange(mesh, mesh.meshGroupDraws(static_cast<size_t>(placed.file), group), context,
                  static_cast<uint32_t>(material.mapMaterial));
    }
}

}  // namespace q
