#pragma once
// Shadow volumes made from triangles, laid out as the area-portal file lays
// out the ones its compiler wrote (map/shadow_volume_reader.h): points in
// pairs, the even one on a triangle facing the light and the odd one pushed
// away from the light; sides, far cap, near cap.
//
// The viewer makes them at load for the entity models and mesh models a
// light reaches (lights and models do not move), and mapgen makes them for
// the world's surfaces of the lights it writes, as a compiler would.

#include <vector>

#include "map/shadow_volume_reader.h"
#include "math/vector.h"

namespace q {

class MaterialDefinitions;
struct MapData;
struct MapLight;

// Whether the light casts shadows at all: neither `noshadows` nor ambient.
bool castsShadows(const MapLight& light, const MaterialDefinitions& definitions);

// Where the light's shadows are cast from, map space: its origin moved by
// its centre along its own axes; for a parallel light, a point far out in
// the direction it comes from.
Vector3 shadowCastingPoint(const MapLight& light);

// How far a volume's far points lie beyond its near ones: past every point
// of the light's box from any point in it.
float shadowExtrusion(const MapLight& light);

// The volume of the triangles (three corners each, in a right-handed frame,
// each facing where (b - a) x (c - a) points) that face `light`: their
// corners welded by position, the near cap the triangles facing it as they
// are, the far cap the same pushed `extrusion` away from the light and
// turned round, and a side for each edge the near cap does not close on
// itself. Closed and wound one way whatever the triangles' shape (open
// meshes included); empty (no points) when no triangle faces the light.
void buildShadowVolume(const std::vector<Vector3>& corners, Vector3 light, float extrusion, ShadowVolume* out);

// The volume, in map space, of every entity model and mesh model of the map
// whose placed bounds the light's box reaches: their triangles of drawn,
// opaque materials. A model that holds the light's casting point (a lamp's
// shade around its light) casts none from it. Whether the light casts
// shadows at all (castsShadows) is the caller's to ask.
void buildModelShadowVolume(const MapData& map, const MapLight& light, ShadowVolume* out);

}  // namespace q
