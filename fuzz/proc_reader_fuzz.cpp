// Any bytes as an area-portal file: the reader either refuses them with
// "<file>:<line>: ..." or gives a map whose every index can be followed:
// portal areas, area portal lists, tree children and leaf areas in range, at
// least four points per portal, and every surface's ranges inside the map's
// arrays, its indices below its vertex count and its material in the table.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "map/map_data.h"
#include "map/proc_reader.h"

namespace {

void checkSurfaces(const q::MapData& map, const q::Area& area) {
    using q::fuzz::broken;
    for (const q::SurfaceGroup& group : area.surfaceGroups)
        for (const q::Surface& surface : group.surfaces) {
            if (uint64_t{surface.firstVertex} + static_cast<uint64_t>(surface.vertexCount) > map.vertices.size() ||
                uint64_t{surface.firstIndex} + static_cast<uint64_t>(surface.indexCount) > map.indices.size())
                broken("surface range past the map's arrays", std::to_string(surface.firstVertex));
            if (surface.material < 0 || static_cast<size_t>(surface.material) >= map.materials.size())
                broken("surface material out of range", std::to_string(surface.material));
            const uint16_t* indices = map.indicesOf(surface);
            for (int i = 0; i < surface.indexCount; ++i)
                if (indices[i] >= surface.vertexCount) broken("index past its surface's vertices", std::to_string(indices[i]));
        }
}

void checkLoadedMap(const q::MapData& map) {
    using q::fuzz::broken;
    const int areaCount = static_cast<int>(map.areas.size());
    const int portalCount = static_cast<int>(map.portals.size());
    const int nodeCount = static_cast<int>(map.bspNodes.size());
    if (areaCount == 0) broken("a loaded map without areas", "");
    for (const q::Portal& portal : map.portals) {
        if (portal.points.size() < 4) broken("portal with fewer than four points", "");
        if (portal.positiveArea < 0 || portal.positiveArea >= areaCount || portal.negativeArea < 0 ||
            portal.negativeArea >= areaCount)
            broken("portal area out of range", std::to_string(portal.positiveArea));
    }
    for (const q::Area& area : map.areas)
        for (int index : area.portalIndices)
            if (index < 0 || index >= portalCount) broken("area lists a portal out of range", std::to_string(index));
    for (const q::BspNode& node : map.bspNodes)
        for (int child : {node.positiveChild, node.negativeChild})
            if (child >= nodeCount || (child < 0 && -1 - static_cast<int64_t>(child) >= areaCount))
                broken("node child out of range", std::to_string(child));

    for (const q::Area& area : map.areas) checkSurfaces(map, area);
    for (const q::EntityModel& model : map.entityModels) checkSurfaces(map, model.geometry);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = q::fuzz::scratchPath(".proc");
    q::fuzz::writeFile(path, data, size);

    q::MapData map;
    std::string error;
    if (q::readProcFile(path, {}, &map, &error)) {
        checkLoadedMap(map);
    } else if (!q::fuzz::hasFileLineShape(error, path)) {
        q::fuzz::broken("refusal without <file>:<line>:", error);
    }
    return 0;
}
