#pragma once
// Drawing a map's surfaces from its mesh: one draw per surface of the
// context's pass, through the pipeline of the surface's look.

#include <cstddef>

#include "render/map_mesh.h"
#include "render/surface_pipelines.h"

namespace q {

void drawArea(const MapMesh& mesh, size_t area, const SurfaceDraw& context);
// An entity model's surfaces, in its entity's space (the context's
// constants place it).
void drawEntityModel(const MapMesh& mesh, size_t model, const SurfaceDraw& context);
// A placed mesh model's groups, in its file's axes (the context's constants
// place it), each with the material the placement gives it; groups whose
// material is not drawn (collision, editing) are left out.
void drawMeshModel(const MapMesh& mesh, const MeshModels& models, const PlacedMesh& placed,
                   const SurfaceDraw& context);

}  // namespace q
