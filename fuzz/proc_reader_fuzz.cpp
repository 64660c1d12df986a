// Any bytes as an area-portal file: the reader either refuses them with
// "<file>:<line>: ..." and leaves no device buffer behind once the map is
// released, or gives a map whose every index can be followed: portal areas,
// area portal lists, tree children and leaf areas in range, at least four
// points per portal, and every area drawable without a faulty draw.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "map/map_data.h"
#include "gpu/recording/recording_device.h"

namespace {

void checkLoadedMap(const q::MapData& map, q::gpu::RecordingDevice& device) {
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

    q::SurfacePipelines pipelines;
    pipelines.create(device, nullptr);
    device.beginFrame(0);
    for (const q::Area& area : map.areas) area.draw({device, pipelines, {}});
    device.endFrame();
    for (const q::gpu::DrawRecord& draw : device.draws)
        if (draw.problem && draw.count > 0) broken("faulty draw of a loaded area", draw.problem);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = q::fuzz::scratchPath(".proc");
    q::fuzz::writeFile(path, data, size);

    q::gpu::RecordingDevice device;
    q::MapData map;
    std::string error;
    if (map.readProcFile(path.c_str(), &device, nullptr, &error)) {
        checkLoadedMap(map, device);
    } else if (!q::fuzz::hasFileLineShape(error, path)) {
        q::fuzz::broken("refusal without <file>:<line>:", error);
    }
    map.releaseBuffers();
    if (device.liveBuffers() != 0) q::fuzz::broken("device buffers left after release", "");
    return 0;
}
