#pragma once
// mapgen's two rooms with their entities, written and read as a load reads
// them (without a device), for the tests of what entities place.

#include <gtest/gtest.h>

#include <string>

#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/proc_reader.h"
#include "map_test_files.h"
#include "mapgen/mapgen.h"

namespace q::test {

// Writes `mapgen tworooms --entities` into files' folder; *base is the maps'
// path without an extension. Call through ASSERT_NO_FATAL_FAILURE.
inline void generateTwoRoomsWithEntities(const MapFiles& files, std::string* base) {
    mapgen::MapgenOptions options;
    options.preset = "tworooms";
    options.entities = true;
    std::string error;
    ASSERT_TRUE(mapgen::generateMap(options, files.dir().string(), &error)) << error;
    *base = files.path("tworooms");
}

// Reads the map source beside base, then the area-portal file with it and the
// collision file, and places the entities. Call through ASSERT_NO_FATAL_FAILURE.
inline void readWithEntities(const std::string& base, MapSource* source, MapData* map) {
    ASSERT_TRUE(readMapSourceBeside(base, source));
    ProcReadOptions reading;
    reading.source = source;
    std::string error;
    ASSERT_TRUE(readProcFile(base + ".proc", reading, map, &error)) << error;
    ASSERT_TRUE(readCollisionFile((base + ".cm").c_str(), map, &error)) << error;
    map->placeEntities(*source);
}

}  // namespace q::test
