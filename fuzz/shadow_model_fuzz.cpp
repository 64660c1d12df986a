// Any bytes as a shadowModel block (after its keyword): the reader either
// refuses them with "<file>:<line>: ..." or gives a volume whose every index
// names a point, with points in pairs, whole triangles and its three ranges
// in order, so that whatever draws it can follow it without checks of its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "map/pattern_reader.h"
#include "map/shadow_volume_reader.h"

namespace {

const std::string kFile = "fuzz.proc";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using q::fuzz::broken;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    q::PatternReader file(text, kFile);
    q::ShadowVolume volume;
    if (!q::readShadowModel(file, &volume)) {
        if (!q::fuzz::hasFileLineShape(file.error(), kFile)) broken("refusal without <file>:<line>:", file.error());
        return 0;
    }
    const size_t points = volume.points.size(), indices = volume.indices.size();
    if (points % 2 != 0) broken("an odd number of points", std::to_string(points));
    if (indices % 3 != 0) broken("a part of a triangle", std::to_string(indices));
    if (volume.sidesEnd < 0 || volume.sidesEnd > volume.farCapEnd || static_cast<size_t>(volume.farCapEnd) > indices)
        broken("ranges out of order", std::to_string(volume.sidesEnd) + " " + std::to_string(volume.farCapEnd));
    for (int32_t index : volume.indices)
        if (index < 0 || static_cast<size_t>(index) >= points) broken("an index past the points", std::to_string(index));
    if (volume.line < 1) broken("a block without its line", std::to_string(volume.line));
    return 0;
}
