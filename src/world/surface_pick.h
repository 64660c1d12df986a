#pragma once
// What lies under the centre of the screen: the nearest surface along the
// view, across every copy of the map and the terrain, with its material, the
// copy and area it belongs to and, for an entity model, the entity. Asked for
// at a key press only: the surfaces' vertices live on the GPU alone, so the
// area-portal file is read again (no buffers) and its triangles crossed on
// the CPU.

#include <string>

#include "math/vector.h"

namespace q {

class Scene;

struct SurfacePick {
    enum class What { Nothing, Surface, Terrain } what = What::Nothing;
    float distance = 0.0f;  // from the eye, world units
    Vector3 point;          // world space
    int copy = -1;          // the scene's instance
    int area = -1;          // the area whose surface it is (an entity's: the area holding the point); -1 in solid space
    std::string material;
    int entityModel = -1;  // index into the map's entityModels; -1: an area's surface
    std::string entityName, entityClass;
};

// Crosses the ray from eye along dir (world space, any length but zero) with
// the surfaces of mapBase's area-portal file, placed in every copy of the
// scene, and with the terrain. False with *error when the file no longer reads.
bool pickSurface(const Scene& scene, const std::string& mapBase, Vector3 eye, Vector3 dir, SurfacePick* out,
                 std::string* error);

// The line for a person: the material, its definition (file:line) or none, the
// image used, one that cannot be used, or the paths tried when it is missing,
// the area and copy, and the entity (name and class) when it is an entity's.
std::string describePick(const Scene& scene, const SurfacePick& pick);

}  // namespace q
