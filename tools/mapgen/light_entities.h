#pragma once
// The lights of a generated map (mapgen --entities), all in the start room:
// a large ambient one, a warm point light that casts shadows, a cold one
// with `noshadows`, and a projected light turned by 90 degrees pointing down
// at the step. For each light that casts shadows, the shadow volume a map
// compiler would write into the area-portal file, made from an occluder in
// its reach. All in the file frame (z up).

#include <string>
#include <vector>

#include "mapgen/entities.h"

namespace q::mapgen {

// One shadow volume, laid out as the area-portal file holds it: points in
// pairs (even on the occluder, odd the same point pushed away from the
// light), triangles ordered sides, far cap (odd points), near cap (even
// points). Each triangle is wound counter-clockwise seen from outside the
// volume.
struct ShadowVolumeMesh {
    std::string lightName;
    std::vector<double> points;  // x y z per point
    std::vector<int> indices;
    int sidesEnd = 0;   // noCaps
    int farCapEnd = 0;  // noFrontCaps
    int planeBits = 0;  // one bit per face of the occluder facing the light
};

// The light entities, as map source text to follow the others (numbered
// from first).
std::string lightEntitiesText(int first);

// The shadow volumes of the shadow-casting lights: the faces of the
// occluder facing the light (the near cap), the same pushed away (the far
// cap) and its silhouette edges extruded (the sides). Empty when an
// occluder the lights are placed around is not among the entity models.
std::vector<ShadowVolumeMesh> buildShadowVolumes(const EntitySet& set);

// The "shadowModel" blocks, for the area-portal file after its area tree.
std::string shadowModelsText(const std::vector<ShadowVolumeMesh>& volumes);

}  // namespace q::mapgen
