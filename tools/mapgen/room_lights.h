#pragma once
// The lights of mapgen --lights, on any preset: a point light under the
// ceiling of every room, in a cycle of colours, its box reaching into the
// rooms around; one ambient light over the whole building; in the first room
// a projected light looking down and a second point light with `noshadows`.
// For each light that casts shadows, its shadow volume made from the world's
// surfaces in its box as a map compiler makes it (the triangles facing the
// light, their outline's sides, near and far caps). All in the file frame.

#include <string>
#include <vector>

#include "mapgen/light_entities.h"

namespace q::mapgen {

struct GeneratedMap;
struct Layout;

// The light entities as map source text, numbered from `first`.
std::string roomLightEntitiesText(const Layout& layout, int first);

// The shadow volumes of those that cast shadows.
std::vector<ShadowVolumeMesh> buildRoomLightVolumes(const GeneratedMap& map);

// A map source holding the world entity alone, for the lights to follow
// where no other entity is written.
std::string worldOnlySourceText();

}  // namespace q::mapgen
