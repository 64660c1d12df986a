#include "map/mesh_materials.h"

#include <string>
#include <unordered_map>

#include "map/material_definitions.h"

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
        Material material;
        material.name = meshMaterial.name;
        if (const MaterialDefinition* definition = definitions ? definitions->find(material.name) : nullptr) {
            material.definition = definition->file + ":" + std::to_string(definition->line);
            material.look = lookOf(*definition);
            if (material.look.blend != MaterialBlend::Opaque) map->hasBlendedSurfaces = true;
        }
        map->materials.push_back(std::move(material));
        if (materialNamed) materialNamed(map->materials.size() - 1, map->materials.back());
    }
}

}  // namespace q
