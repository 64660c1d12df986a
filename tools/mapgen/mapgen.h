#pragma once
// The map generator: a preset and a seed in, a consistent map set out (the
// area-portal file, the collision file, the material textures and the terrain
// image). Everything is also available in memory, so that tests and benchmarks
// can check a map against what it was built from.

#include <cstdint>
#include <string>
#include <vector>

#include "mapgen/area_bsp.h"
#include "mapgen/brushes.h"
#include "mapgen/entities.h"
#include "mapgen/layout.h"
#include "mapgen/portals.h"
#include "mapgen/surfaces.h"
#include "mapgen/volume.h"

namespace q::mapgen {

struct MapgenOptions {
    std::string preset;  // "demo", "grid", "room", "tworooms", "twodoors", "corridor", "bends"
    int count = 0;       // rooms per side for grid, rooms in the line for corridor and bends
    uint32_t seed = 1;
    std::string name;    // base name of the files; empty: the preset's own
    int areaZeroRoom = 0;  // 1..rooms: seal the building with that room as area 0
    bool splitPortals = false;  // each portal written as eight points, not four
    bool entities = false;  // entity models, their collision models and a map source (NAME.map)
    bool deadPortal = false;  // bends only: one more portal, that no eye can pass
    // The mesh models of mapgen/mesh_presets.h and their entities (implies
    // entities), and how many placements of its set of 20 files follow them.
    bool meshes = false;
    int meshPlacements = 0;
    bool lights = false;  // a light per room and a few more, with their shadow volumes (mapgen/room_lights.h)
};

constexpr int kMaxGrid = 64;
constexpr int kMaxCorridor = 64;

// The preset's building. Fails with a message for an unknown preset or size.
bool buildLayout(const MapgenOptions& options, Layout* layout, std::string* error);

struct GeneratedMap {
    Layout layout;
    Volume volume;
    std::vector<AreaNode> areaNodes;
    std::vector<PortalQuad> portals;
    std::vector<AreaMesh> areas;  // index = area number; 0 is the outside, or a room when sealed
    std::vector<BrushBox> brushes;
    std::vector<SplitNode> collisionTree;
    EntitySet entities;  // filled under options.entities

    int areaCount() const { return static_cast<int>(layout.rooms.size()) + (layout.sealed ? 0 : 1); }
};

bool buildMap(const MapgenOptions& options, GeneratedMap* map, std::string* error);

// The base name the files get: options.name, or the preset's (demo: "bbb",
// grid N: "gridN", corridor N: "corridorN", bends N: "bendsN", others their preset name), with
// "-area0-K" after it when room K is area 0.
std::string mapName(const MapgenOptions& options);

// Writes <name>.proc, <name>.cm, textures/gen/*.jpg and Grass.bmp under outDir
// (created when missing), and <name>.map under options.entities (or meshes) or options.lights.
bool generateMap(const MapgenOptions& options, const std::string& outDir, std::string* error);

}  // namespace q::mapgen
