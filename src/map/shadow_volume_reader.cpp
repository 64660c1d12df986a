#include "map/shadow_volume_reader.h"

#include <string>

#include "map/map_data.h"
#include "map/name_text.h"
#include "map/pattern_reader.h"

namespace q {

namespace {

// The two ways a block's head is written: each count after its comment, as
// the file's model blocks are, or the counts alone.
constexpr Pattern kCommentedOpening{" { /* name = */"};
constexpr Pattern kCommentedHeader{
    " { /* name = */ %s /* numVerts = */ %d /* noCaps = */ %d /* noFrontCaps = */ %d /* numIndexes = */ %d "};
constexpr Pattern kPlainHeader{" { %s %d %d %d %d "};
// planeBits, which some files leave out: the points follow at once.
constexpr Pattern kCommentedPlaneBitsOpening{" /* planeBits = */"};
constexpr Pattern kCommentedPlaneBits{" /* planeBits = */ %d "};
constexpr Pattern kPlainPlaneBits{" %d "};
constexpr Pattern kPoint{" ( %f %f %f ) "};
constexpr Pattern kIndex{"%d "};
constexpr Pattern kEnd{" } "};

constexpr const char kLightPrefix[] = "_prelight_";

}  // namespace

bool readShadowModel(PatternReader& file, ShadowVolume* out) {
    const size_t at = file.position();
    out->line = file.lineAt(at);
    char name[256] = {};
    int pointCount = 0, sidesEnd = 0, farCapEnd = 0, indexCount = 0, planeBits = 0;
    const bool read = file.lookingAt<kCommentedOpening>()
                          ? file.expect<kCommentedHeader>("a shadowModel header", name, &pointCount, &sidesEnd,
                                                          &farCapEnd, &indexCount)
                          : file.expect<kPlainHeader>(
                                "a shadowModel header \"{ name numVerts noCaps noFrontCaps numIndexes planeBits\"",
                                name, &pointCount, &sidesEnd, &farCapEnd, &indexCount);
    if (!read) return false;
    const char next = file.nextVisible();
    if (file.lookingAt<kCommentedPlaneBitsOpening>()) {
        if (!file.expect<kCommentedPlaneBits>("planeBits", &planeBits)) return false;
    } else if (next != '(' && next != '}') {
        if (!file.expect<kPlainPlaneBits>("planeBits or the first point ( x y z )", &planeBits)) return false;
    }
    if (file.wordWasCut()) return file.failAt(at, "a shadowModel name of at most 255 characters");
    stripQuotes(trimBlanks(name));
    out->name = name;
    out->lightName = out->name.starts_with(kLightPrefix) ? out->name.substr(sizeof kLightPrefix - 1) : std::string();

    const std::string counts = " (numVerts " + std::to_string(pointCount) + ", noCaps " + std::to_string(sidesEnd) +
                               ", noFrontCaps " + std::to_string(farCapEnd) + ", numIndexes " +
                               std::to_string(indexCount) + ")";
    if (pointCount < 0 || pointCount % 2 != 0)
        return file.failAt(at, "an even numVerts of 0 or more (the points come in pairs)" + counts);
    if (indexCount < 0 || indexCount % 3 != 0)
        return file.failAt(at, "a numIndexes of 0 or more that is a multiple of 3" + counts);
    if (sidesEnd < 0 || sidesEnd > farCapEnd || farCapEnd > indexCount)
        return file.failAt(at, "0 <= noCaps <= noFrontCaps <= numIndexes" + counts);
    if (sidesEnd % 3 != 0 || farCapEnd % 3 != 0)
        return file.failAt(at, "noCaps and noFrontCaps at the end of a triangle (multiples of 3)" + counts);
    const uint64_t needed = uint64_t(pointCount) * PatternReader::minimumLength(kPoint) +
                            uint64_t(indexCount) * PatternReader::minimumLength(kIndex);
    if (needed > file.remaining()) return file.failAt(at, "numVerts and numIndexes that fit the rest of the file" + counts);

    out->sidesEnd = sidesEnd;
    out->farCapEnd = farCapEnd;
    out->planeBits = planeBits;
    out->points.reserve(static_cast<size_t>(pointCount));
    for (int i = 0; i < pointCount; ++i) {
        float x = 0, y = 0, z = 0;
        if (!file.expect<kPoint>("a shadow volume point ( x y z )", &x, &y, &z)) return false;
        out->points.push_back(fromFileAxes(x, y, z));
    }
    out->indices.reserve(static_cast<size_t>(indexCount));
    for (int i = 0; i < indexCount; ++i) {
        const size_t indexAt = file.position();
        int index = 0;
        if (!file.expect<kIndex>("a shadow volume index", &index)) return false;
        if (index < 0 || index >= pointCount)
            return file.failAt(indexAt, "point indices from 0 below numVerts (" + std::to_string(pointCount) +
                                            "), found " + std::to_string(index));
        out->indices.push_back(index);
    }
    return file.expect<kEnd>("the closing } of shadowModel");
}

}  // namespace q
