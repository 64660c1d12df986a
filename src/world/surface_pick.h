#pragma once
// What lies under the centre of the screen: the nearest surface along the
// view, across every copy of the map and the terrain, with its material, the
// copy and area it belongs to and, for an entity or mesh model, the entity. Asked for
// at a key press only: the triangles of every copy's map are crossed on the
// CPU, from the map's own vertices.

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
    int entityModel = -1;  // index into the map's entityModels; -1: not an entity model's
    int meshModel = -1;    // index into the map's placed mesh models; -1: not a mesh model's
    std::string entityName, entityClass;
    std::string meshFile;  // a mesh model's file, as its entity names it
};

// Crosses the ray from eye along dir (world space, any length but zero) with
// the surfaces of every copy's map (its areas', its placed entity models'
// and the drawn groups of its placed mesh models), and with the terrain.
SurfacePick pickSurface(const Scene& scene, Vector3 eye, Vector3 dir);

// The line for a person: the material, its definition (file:line) or none, the
// image used, one that cannot be used, or the paths tried when it is missing,
// the area and copy, and the entity (name and class) when it is an entity's.
std::string describePick(const Scene& scene, const SurfacePick& pick);

}  // namespace q
