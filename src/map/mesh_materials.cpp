#include "map/mesh_materials.h"

#include <string>
#include <unordered_map>


namespace q {

void addMeshMaterials(MapData* map, const MaterialDefinitions* definitions,
                      const std::function<void(size_t index, const Material& material)>& materialNamed) {
    std::unordered_map<std::string, int> byName;
    for (size_t i = 0; i < map->materials.size(); ++i) byName.try_emplace(map->materials[i].name, static_cast<int>(i));
    for (MeshMaterial& meshMaterial : map->meshModels.materials) {
        meshMaterial.mapMaterial = -1;
        if (!meshMaterial.drawn) continue;
        const auto [found, added] = byName.try_emplace(meshMaterial.name, static_cast<int>(map->materials.size()));
        meshMaterial.mapMaterial = found->second;
        if (!added) continue;
        map->addMaterial(meshMaterial.name, definitions);
        if (materialNamed) materialNamed(map->materials.size() - 1, map->materials.back());
    }
}

}  // namespace q
