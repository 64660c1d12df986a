#pragma once
// The area-portal map file (.proc): model blocks become areas with their
// surfaces, "interAreaPortals" the portals between them, "nodes" the area BSP.

#include <cstddef>
#include <functional>
#include <string>

#include "map/map_data.h"

namespace q {

class MaterialDefinitions;
class PatternReader;
struct MapSource;

struct ProcReadOptions {
    // The map source read beside the file, if any: the entity models its
    // entities place are kept in the map's entityModels; the others are read,
    // checked and counted as undrawn.
    const MapSource* source = nullptr;
    // Where the materials' definitions are found (their looks); null: every
    // material is opaque, with no definition.
    const MaterialDefinitions* definitions = nullptr;
    // Told of each material as the file first names it (its index in the
    // map's materials), so that its image can be fetched while the rest is
    // read.
    std::function<void(size_t index, const Material& material)> materialNamed;
};

// Reads the file into *map. On a file that cannot be read or does not fit the
// format returns false with "<file>:<line>: expected <what>" in *error; what
// was read so far stays in the map (the caller drops it).
bool readProcFile(const std::string& fileName, const ProcReadOptions& options, MapData* map, std::string* error);
// The reading itself, over a file opened; false with the reader's error
// recorded in it.
bool readProcText(PatternReader& file, const ProcReadOptions& options, MapData* map);

}  // namespace q
