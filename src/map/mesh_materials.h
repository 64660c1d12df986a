#pragma once
// The materials the placed mesh models show, given their place in the map's
// material table, so that one table (and one texture per entry) serves both
// the area-portal file's surfaces and the meshes: a mesh whose material a
// wall also shows names the wall's entry.

#include <cstddef>
#include <functional>

#include "map/map_data.h"

namespace q {

class MaterialDefinitions;

// Sets each drawn mesh material's mapMaterial: the map's material of that
// name, added (with its definition's look, as the area-portal reader adds a
// surface's) when the map has none; `materialNamed` is told of each one
// added. Materials not drawn keep -1. A blended one marks the map as having
// blended surfaces, so the frame's blended pass runs for it.
void addMeshMaterials(MapData* map, const MaterialDefinitions* definitions,
                      const std::function<void(size_t index, const Material& material)>& materialNamed);

}  // namespace q
