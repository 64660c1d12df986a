// Any bytes as a collision file: refused with "<file>:<line>: ...", or a map
// whose tree stores children before parents, whose leaves list brushes that
// exist, whose trace root is a node, and through which a few sweeps of a box
// end with a fraction between 0 and 1.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "map/collision_reader.h"
#include "map/map_data.h"
#include "move/collision_trace.h"

namespace {

void checkLoadedMap(const q::MapData& map) {
    using q::fuzz::broken;
    const int nodeCount = static_cast<int>(map.collisionNodes.size());
    const int brushCount = static_cast<int>(map.brushes.size());
    if (map.collisionRoot < 0 || map.collisionRoot >= nodeCount) broken("trace root out of range", "");
    for (int i = 0; i < nodeCount; ++i) {
        const q::CollisionNode& node = map.collisionNodes[static_cast<size_t>(i)];
        if (node.axis > 2) broken("axis above 2", std::to_string(node.axis));
        if (node.axis >= 0 && (node.frontChild < 0 || node.frontChild >= i || node.backChild < 0 ||
                               node.backChild >= i))
            broken("child not stored before its parent", std::to_string(i));
        for (int brush : node.brushIndices)
            if (brush < 0 || brush >= brushCount) broken("leaf lists a brush out of range", std::to_string(brush));
    }

    const q::Vector3 extents{16, 36, 16};
    const q::Vector3 from[] = {{0, 0, 0}, {-100, 10, 50}, map.bounds.mins};
    const q::Vector3 to[] = {{64, 0, 0}, {100, -10, -50}, map.bounds.maxs};
    for (size_t i = 0; i < 3; ++i) {
        const float fraction = q::traceBox(map, from[i], to[i], extents).fraction;
        if (!(fraction >= 0.0f && fraction <= 1.0f) && !std::isnan(fraction))
            broken("trace fraction outside 0..1", std::to_string(fraction));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = q::fuzz::scratchPath(".cm");
    q::fuzz::writeFile(path, data, size);
    q::MapData map;
    std::string error;
    if (q::readCollisionFile(path.c_str(), &map, &error)) {
        checkLoadedMap(map);
    } else if (!q::fuzz::hasFileLineShape(error, path)) {
        q::fuzz::broken("refusal without <file>:<line>:", error);
    }
    return 0;
}
