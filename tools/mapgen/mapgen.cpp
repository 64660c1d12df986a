#include "mapgen/mapgen.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "mapgen/map_text.h"
#include "mapgen/light_entities.h"
#include "mapgen/mesh_entities.h"
#include "mapgen/mesh_presets.h"
#include "mapgen/room_lights.h"
#include "mapgen/textures.h"
#include "image/image.h"

namespace q::mapgen {

bool buildMap(const MapgenOptions& given, GeneratedMap* map, std::string* error) {
    MapgenOptions options = given;
    options.entities = options.entities || options.meshes;
    GeneratedMap m;
    if (!buildLayout(options, &m.layout, error)) return false;
    m.volume = buildVolume(m.layout);
    m.areaNodes = buildAreaBsp(m.volume);
    m.portals = buildPortals(m.layout);
    if (options.deadPortal) {
        if (options.preset != "bends" || m.portals.empty()) {
            if (error) *error = "--dead-portal needs bends N with N from 2";
            return false;
        }
        m.portals.push_back(deadPortalBesideFirstOpening(m.layout, m.portals.front()));
    }
    m.areas = buildSurfaces(m.volume, m.areaCount());
    m.brushes = mergeSolidCells(m.volume);
    m.collisionTree = buildCollisionTree(m.brushes);
    if (options.entities && !buildEntities(m.layout, &m.entities, error)) return false;
    *map = std::move(m);
    return true;
}

namespace {

bool writeText(const std::filesystem::path& path, const std::string& text, std::string* error) {
    FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f) {
        if (error) *error = path.string() + ": cannot be written";
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) {
        if (error) *error = path.string() + ": write failed";
        return false;
    }
    return true;
}

bool makeDirectory(const std::filesystem::path& dir, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        if (error) *error = dir.string() + ": cannot be created (" + ec.message() + ")";
        return false;
    }
    return true;
}

}  // namespace

bool generateMap(const MapgenOptions& given, const std::string& outDir, std::string* error) {
    MapgenOptions options = given;
    options.entities = options.entities || options.meshes;
    GeneratedMap map;
    if (!buildMap(options, &map, error)) return false;
    const std::filesystem::path dir(outDir);
    const std::string name = mapName(options);
    if (!makeDirectory(dir, error)) return false;
    const std::string entityModels = options.entities ? entityModelsText(map.entities) : std::string();
    std::string shadowModels = options.entities ? shadowModelsText(buildShadowVolumes(map.entities)) : "";
    if (options.lights) shadowModels += shadowModelsText(buildRoomLightVolumes(map));
    if (!writeText(dir / (name + ".proc"),
                   procFileText(map.areas, map.portals, map.areaNodes, options.splitPortals, entityModels) +
                       shadowModels,
                   error))
        return false;
    std::string collision = collisionFileText(map.brushes, map.collisionTree);
    if (options.entities) collision += entityCollisionText(map.entities);
    if (!writeText(dir / (name + ".cm"), collision, error)) return false;
    if (options.entities) {
        const std::string source = mapSourceText(map.entities, map.brushes, map.areas);
        const int entities = static_cast<int>(map.entities.models.size()) + 2;  // the world and the player start
        // The definitions go to the asset root: the parent of a maps folder, or else the map's folder.
        std::filesystem::path folder = dir.lexically_normal();
        if (!folder.has_filename()) folder = folder.parent_path();
        const std::filesystem::path root = folder.filename() == "maps" ? folder.parent_path() : dir;
        const auto entitiesIn = [](const std::string& text) {
            int count = 0;
            for (size_t at = text.find("// entity "); at != std::string::npos; at = text.find("// entity ", at + 1))
                ++count;
            return count;
        };
        const std::string meshEntities = meshEntitiesText(entities);
        const std::string lights = lightEntitiesText(entities + entitiesIn(meshEntities));
        const std::string presetMeshes =
            options.meshes ? meshPresetEntitiesText(map.layout, options.meshPlacements,
                                                    entities + entitiesIn(meshEntities) + entitiesIn(lights))
                           : "";
        // The room lights follow every other entity, the four lights of --entities included.
        const std::string roomLights =
            options.lights ? roomLightEntitiesText(map.layout, entities + entitiesIn(meshEntities) + entitiesIn(lights) +
                                                                   entitiesIn(presetMeshes))
                           : "";
        if (!writeText(dir / (name + ".map"), source + meshEntities + lights + presetMeshes + roomLights, error) ||
            (options.meshes && !writeMeshPresetFiles(root, options.meshPlacements, error)) ||
            !makeDirectory(root / "def", error) || !makeDirectory(root / "skins", error) ||
            !writeText(root / "def" / "mapgen.def", meshEntityDefinitionsText(), error) ||
            !writeText(root / "skins" / "mapgen.skin", meshEntitySkinsText(), error) ||
            !writeMeshEntityFiles(root, error))
            return false;
    } else if (options.lights &&
               !writeText(dir / (name + ".map"), worldOnlySourceText() + roomLightEntitiesText(map.layout, 1),
                          error)) {
        return false;
    }
    for (int material = 0; material < kMaterialCount; ++material) {
        const std::filesystem::path file = dir / (std::string(materialName(material)) + ".jpg");
        if (!makeDirectory(file.parent_path(), error)) return false;
        if (!writeJpeg(file.string().c_str(), makeMaterialImage(material, options.seed), 90, error))
            return false;
    }
    return writeBmp((dir / "Grass.bmp").string().c_str(), makeGrassImage(options.seed), error);
}

}  // namespace q::mapgen
