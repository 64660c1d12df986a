#pragma once
// The shadow volumes the map's compiler wrote into the area-portal file, after
// the area tree, one block for each light that does not move:
//
//   shadowModel { "_prelight_NAME" numVerts noCaps noFrontCaps numIndexes planeBits
//       ( x y z ) ...  indices ... }
//
// (each count may be preceded by its "/* name = */" comment, as the file's
// other blocks write theirs; planeBits may be left out). Points come in pairs: the even one lies on the
// occluding surface, the odd one is the same point pushed away from the
// light. The triangles are ordered: [0, noCaps) the sides, [noCaps,
// noFrontCaps) the far cap (odd points only), [noFrontCaps, numIndexes) the
// near cap (even points only).

#include <cstdint>
#include <string>
#include <vector>

#include "math/vector.h"

namespace q {

class PatternReader;

struct ShadowVolume {
    std::string name;       // as the file gives it, "_prelight_NAME"
    std::string lightName;  // NAME: the `name` key of the light it belongs to
    std::vector<Vector3> points;   // map space (y up), pairs as above
    std::vector<int32_t> indices;  // three a triangle, each below points.size()
    int sidesEnd = 0;    // noCaps: the sides are [0, sidesEnd)
    int farCapEnd = 0;   // noFrontCaps: the far cap is [sidesEnd, farCapEnd), the near cap the rest
    int planeBits = 0;   // as written; kept for whoever wants it
    int light = -1;      // index into MapData::lights once matched; -1: no light of that name
    int line = 0;        // of the block's opening, for messages
};

// Reads one block after its keyword, up to and including its closing brace.
// Every count is checked against what is left of the file before anything is
// sized by it; the indices must name points that exist, the ranges be ordered
// (noCaps <= noFrontCaps <= numIndexes), numIndexes a multiple of 3 and
// numVerts even. Which points each cap uses is left to the file (what the
// drawing needs is only that indices name points). False with "<file>:<line>: expected ..." recorded otherwise.
bool readShadowModel(PatternReader& file, ShadowVolume* out);

}  // namespace q
