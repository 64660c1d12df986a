#pragma once
// One loaded map: the areas with their surfaces, the portals between areas and
// the area BSP from the area-portal file; the brushes, their split tree and
// bounds from the collision file (map/collision_reader.h). Filled once by
// Scene::loadMap, read only afterwards: instances keep pointers into `areas`
// and `portals`.
//
// Files are z up, the viewer is y up: every position, normal, plane normal and
// axis number is stored with its second and third components exchanged.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "math/bounds.h"
#include "math/matrix.h"
#include "math/plane.h"
#include "math/vector.h"
#include "map/material_look.h"
#include "map/mesh_placement.h"
#include "map/light_entities.h"
#include "map/shadow_volume_reader.h"

namespace q {

class MaterialDefinitions;
struct MapSource;

// A position as the map files give it (z up) in map space (y up): the second
// and third components exchange places.
constexpr Vector3 fromFileAxes(float x, float y, float z) { return {x, z, y}; }

// 32 bytes: position, normal, uv, as the lighting program streams them, so
// the vertex array goes to the GPU as it is.
struct MapVertex {
    Vector3 position;
    Vector3 normal;
    float u = 0.0f;
    float v = 0.0f;
};
static_assert(sizeof(MapVertex) == 32);

// A material the drawn surfaces name, once per map.
struct Material {
    std::string name;        // as the map gives it (no extension)
    std::string definition;  // where it is defined, "file:line"; empty: no definition
    MaterialLook look;       // opaque with no image when it has no definition
};

// One surface of a model block: ranges of the map's vertex and index arrays.
// Its indices count from its own first vertex, as the file gives them.
struct Surface {
    uint32_t firstVertex = 0;
    uint32_t firstIndex = 0;
    int vertexCount = 0;
    int indexCount = 0;  // drawn as indexCount / 3 triangles
    int material = 0;    // index into the map's materials
};

struct SurfaceGroup {
    std::vector<Surface> surfaces;  // one model block's, in the file's order
};

struct Area {
    std::vector<SurfaceGroup> surfaceGroups;
    std::vector<int> portalIndices;  // every portal with this area on either side

    void addPortal(int index) { portalIndices.push_back(index); }
};

struct Portal {
    int positiveArea = 0;
    int negativeArea = 0;
    std::vector<Vector3> points;  // at least four once loaded
    Plane plane;                  // through points 0, 1, 2 as read
    // What the view is narrowed to through this portal: its first four points
    // when it has four (a triangle's third repeated), else the rectangle
    // around all of its points in their plane (map/portal_corners.h).
    std::array<Vector3, 4> viewCorners{};

    // Plane through points 0, 1, 2; reports a portal parallel to no axis
    // ("zop", naming it by `name`); puts the first four points in the order
    // p3, p0, p1, p2 when the plane faces x and p0, p1 share their z (both
    // within the rounding of coordinates); sets the view corners. Needs at
    // least four points.
    void computePlane(const char* name = nullptr);
};

// Child > 0: node index; 0: solid space; < 0: leaf area -1 - child.
struct BspNode {
    int positiveChild = 0;
    int negativeChild = 0;
    Plane plane;
};

struct CollisionNode {
    int frontChild = -1;  // side at or above distance on axis
    int backChild = -1;   // side at or below
    std::vector<int> brushIndices;  // leaves only, in brush order
    int axis = -1;                  // 0, 1, 2 (after the y/z exchange); negative = leaf
    float distance = 0.0f;
};

// Brush planes keep the file's distance: a point p is inside when
// a*p.x + b*p.y + c*p.z - d <= 0 for every plane.
struct Brush {
    Bounds bounds;
    std::vector<Plane> planes;
};

// A collision model of the collision file after the first (the world's): the
// brushes of an entity model, in the entity's own space.
struct NamedCollisionModel {
    std::string name;
    int root = -1;
    Bounds bounds = Bounds::empty();  // of its brushes
};

// An entity model of the area-portal file that an entity of the map source
// places. Its vertices are in the entity's own space; placement carries them
// into map space, and each copy of the map then into the world.
struct EntityModel {
    std::string name;
    std::string classname;
    Area geometry;  // its surfaces, drawn as an area's are
    Bounds bounds = Bounds::empty();  // of its vertices, entity space
    Matrix placement = Matrix::identity();
    Matrix inversePlacement = Matrix::identity();
    Vector3 origin;  // map space
    // Every area its placed bounds reach; none when they reach only solid
    // space (it is then drawn whenever its copy is).
    std::vector<int> areas;
    // Solid: its collision model (collisionRoot) stops the walking box, swept in
    // the entity's space with its axes kept (the turn is none or a multiple of
    // 90 degrees about the vertical).
    bool solid = false;
    int collisionRoot = -1;
    Bounds solidBounds = Bounds::empty();  // its brushes placed, map space
};

// One map's data, read from its files and read only once they are read.
// Nothing here belongs to the GPU: the renderer builds a map's mesh from it.
struct MapData {
    std::vector<Portal> portals;
    std::vector<Area> areas;
    std::vector<BspNode> bspNodes;
    std::vector<CollisionNode> collisionNodes;  // children stored before parents
    std::vector<Brush> brushes;
    Bounds bounds = Bounds::empty();  // the world's brushes and the placed entity models

    // Every drawn surface's vertices (map space; an entity model's in its
    // entity's space) and indices, each surface a range of both.
    std::vector<MapVertex> vertices;
    std::vector<uint16_t> indices;

    // Models whose name is not an area name and that no entity of the map
    // source places (doors, lamps, movers): read and checked, and counted into
    // the area numbering as the file orders them, but not kept: their vertices
    // are in the entity's own space, and where the entity stands is not known.
    int undrawnModels = 0;
    int undrawnSurfaces = 0;
    // Some surface is blended: frames draw this map a second time, for its
    // blended surfaces, after every opaque surface.
    bool hasBlendedSurfaces = false;
    // Collision models of the collision file (one split tree each).
    int collisionModels = 0;
    // Those after the world's, by name, for entities to be solid by.
    std::vector<NamedCollisionModel> namedCollisionModels;
    // Entity models placed by the map source, in the file's order.
    std::vector<EntityModel> entityModels;
    // The solid ones, by index into entityModels, with their placed bounds
    // side by side: every sweep looks them over.
    struct SolidEntity {
        Bounds bounds;
        int model = 0;
    };
    std::vector<SolidEntity> solidEntities;
    // The map source's player start (map space, where its feet are) and the
    // direction it faces (degrees about the vertical, 0 along the file's +x,
    // 90 along its +y), from its angle or its rotation.
    bool hasPlayerStart = false;
    Vector3 playerStart;
    float playerStartAngle = 0.0f;
    // Materials of the drawn surfaces, each once, in the order first read;
    // surfaces name them by index.
    std::vector<Material> materials;

    // Root of the first collision node block read (the world model); -1 with no
    // nodes. Traces start here.
    int collisionRoot = -1;

    // Once both files are read: places the entity models by their entities,
    // finds the areas they reach and which are solid, and takes the player
    // start (map/entity_models.cpp).
    void placeEntities(const MapSource& source);
    // Appends the material of that name, with where it is defined and its
    // look when the definitions hold it (a blended look marks the map as
    // having blended surfaces); returns its index (map/proc_reader.cpp).
    int addMaterial(const std::string& name, const MaterialDefinitions* definitions);
    // Every area that the map-space bounds reach through the area tree, each
    // once, in ascending order; none when they reach only solid space.
    void areasReached(const Bounds& bounds, std::vector<int>* out) const;

    // A surface's vertices and its indices (counted from its first vertex).
    const MapVertex* verticesOf(const Surface& surface) const { return vertices.data() + surface.firstVertex; }
    const uint16_t* indicesOf(const Surface& surface) const { return indices.data() + surface.firstIndex; }

    // Area lookup from `node` for a map-space point (map/bsp_lookup.cpp). Writes
    // *area and returns true when the descent ends in an area; false in solid
    // space (reported) or when the tree is unusable.
    bool pointArea(int node, Vector3 point, int* area) const;
    // The area holding a map-space point, or -1 in solid space or when the tree
    // is unusable; nothing is reported, for searches that try many points.
    int areaHolding(Vector3 point) const;

    // Mesh models the map source's entities place (map/mesh_placement.h).
    MeshModels meshModels;

    // The map source's lights (placed by placeLights, map/light_entities.h)
    // and the file's shadow volumes, matched to them by name; those whose
    // light is not there are counted.
    std::vector<MapLight> lights;
    std::vector<ShadowVolume> shadowVolumes;
    int unmatchedShadowVolumes = 0;
};

}  // namespace q
