#pragma once
// One loaded map: the areas with their surfaces, the portals between areas and
// the area BSP from the area-portal file; the brushes, their split tree and
// bounds from the collision file. Filled once by Scene::loadMap, read only
// afterwards: instances keep pointers into `areas` and `portals`.
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
#include "map/light_entities.h"
#include "map/material_definitions.h"
#include "map/shadow_volume_reader.h"
#include "gpu/device.h"
#include "render/surface_pipelines.h"

namespace q {

class PatternReader;
struct MapSource;

// A position as the map files give it (z up) in map space (y up): the second
// and third components exchange places.
constexpr Vector3 fromFileAxes(float x, float y, float z) { return {x, z, y}; }

// Material textures are looked up through this while surfaces are read (the
// scene's texture cache implements it).
class TextureSource {
public:
    virtual ~TextureSource() = default;
    // The material name as the map gives it (no extension); null when no
    // image for it loaded.
    virtual gpu::Texture* getTexture(const char* materialName) = 0;
    // How the material's surfaces are drawn (its definition's alpha test and
    // blending); opaque when it has no definition.
    virtual MaterialLook materialLook(const char* /*materialName*/) { return {}; }
};

// 32 bytes: the stream layout of the lighting program (position, normal, uv).
struct MapVertex {
    Vector3 position;
    Vector3 normal;
    float u = 0.0f;
    float v = 0.0f;
};
static_assert(sizeof(MapVertex) == gpu::vertexBytes(gpu::VertexFormat::LitTextured));

// Sees each drawn surface's geometry as it is read (map space, y up), for the
// few callers that need shapes on the CPU, such as finding a floor to stand
// on. The default load has none, so vertices go straight into device buffers.
class SurfaceObserver {
public:
    virtual ~SurfaceObserver() = default;
    virtual void surfaceRead(int area, const MapVertex* vertices, int vertexCount, const uint16_t* indices,
                             int indexCount) = 0;
    // Every surface read, an entity model's too, with its material: entityModel
    // is the model's index in entityModels (its vertices are then in the
    // entity's own space), -1 for an area's surface. Surfaces of models that
    // no entity places are not seen.
    virtual void surfaceWithMaterial(int /*area*/, int /*entityModel*/, const char* /*material*/,
                                     const MapVertex* /*vertices*/, int /*vertexCount*/,
                                     const uint16_t* /*indices*/, int /*indexCount*/) {}
};

// How the surfaces of the area-portal file are kept.
struct ProcReading {
    TextureSource* textures = nullptr;  // material images; null: none looked up
    // The device the surfaces' buffers are made on. Null: surfaces are read,
    // checked and counted but get no buffers (a map looked at, not drawn).
    gpu::Device* device = nullptr;
    SurfaceObserver* observer = nullptr;
    // The map source read beside the file, if any: the entity models its
    // entities place are read into entityModels (with buffers when there are
    // buffers); the others are left undrawn.
    const MapSource* source = nullptr;
    // Where the pipelines of the materials' looks are made as they are met;
    // null: only the opaque look's, made with the device, is there to draw with.
    SurfacePipelines* pipelines = nullptr;
};

struct SurfaceReading;  // the reader's state while it reads surfaces

struct Surface {
    gpu::DeviceHandle<gpu::VertexBuffer> vertexBuffer;
    gpu::DeviceHandle<gpu::IndexBuffer> indexBuffer;
    gpu::Texture* texture = nullptr;  // owned by the texture cache; null = untextured
    MaterialBlend blend = MaterialBlend::Opaque;
    float alphaTest = 0.0f;  // texels with alpha below it are not drawn; 0: none
    int vertexCount = 0;
    int indexCount = 0;  // drawn as indexCount / 3 triangles
};

struct SurfaceGroup {
    std::vector<Surface> surfaces;
};

struct Area {
    std::vector<SurfaceGroup> surfaceGroups;
    std::vector<int> portalIndices;  // every portal with this area on either side

    void addPortal(int index) { portalIndices.push_back(index); }
    // Reads the surfaces of one model block (count surfaces, then the block's
    // closing brace) into a new group, their vertices and indices straight into
    // buffers made on the reading's device, if it has one. False
    // with the reader's error recorded when the text does not fit.
    bool readSurfaces(PatternReader& file, int count, SurfaceReading& reading);
    // One draw per surface of the context's pass, through the pipeline of
    // the surface's look.
    void draw(const SurfaceDraw& context) const;
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

// Moves but does not copy: the surfaces own their device buffers, which go
// with the map (a map moved onto another releases that one's first), so the
// device must outlive every map made on it.
struct MapData {
    std::vector<Portal> portals;
    std::vector<Area> areas;
    std::vector<BspNode> bspNodes;
    std::vector<CollisionNode> collisionNodes;  // children stored before parents
    std::vector<Brush> brushes;
    Bounds bounds = Bounds::empty();  // the world's brushes and the placed entity models

    // Models whose name is not an area name (doors, lamps, movers): read and
    // checked, and counted into the area numbering as the file orders them, but
    // not drawn and given no buffers: their vertices are in the entity's own
    // space, and where the entity stands is not in these files.
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
    // Materials of the drawn surfaces, each once, in the order first read.
    std::vector<std::string> materials;

    // Root of the first collision node block read (the world model); -1 with no
    // nodes. Traces start here.
    int collisionRoot = -1;

    // Entries in all leaves' brushIndices so far. Bounded while reading: a
    // fine split tree under brushes that span it would otherwise list every
    // brush in every leaf (gigabytes from a file of a megabyte).
    size_t brushListings = 0;

    // Reads the area-portal file: areas with their surfaces (buffers on
    // device, materials from textures; either may be null), portals and the
    // area BSP. On a file that cannot be read or does not fit the format returns
    // false with "<file>:<line>: expected <what>" in *error; what was read so far
    // stays in the map (the caller releases it).
    bool readProcFile(const char* fileName, gpu::Device* device, TextureSource* textures, std::string* error);
    bool readProcFile(const char* fileName, const ProcReading& how, std::string* error);
    // The reading itself, over a file opened; false with the reader's error
    // recorded.
    bool readProcText(PatternReader& file, gpu::Device* device, TextureSource* textures);
    bool readProcText(PatternReader& file, const ProcReading& how);

    // Reads the collision file: the split tree, the brushes linked into it and
    // the map bounds. Errors as for readProcFile.
    bool readCollisionFile(const char* fileName, std::string* error);
    bool readCollisionText(PatternReader& file);
    // One node with its whole subtree (pre-order in the file, stored children
    // first); returns the node's index, -1 with the reader's error recorded.
    int readCollisionNode(PatternReader& file);
    // One brush with sideCount sides: adds it to bounds and brushes and links it
    // into the tree read last. False with the reader's error recorded.
    bool readBrush(int sideCount, PatternReader& file);
    // Adds brushIndex to every leaf below nodeIndex that the brush's bounds
    // reach: front only when it lies at or above the split, back only when at or
    // below, both when it straddles.
    void linkBrush(int brushIndex, int nodeIndex);
    // As linkBrush, stopping once more than limit leaves are reached; returns
    // the leaves listed (limit + 1 when it stopped).
    size_t linkBrushWithin(int brushIndex, int nodeIndex, size_t limit);

    // Once both files are read: places the entity models by their entities,
    // finds the areas they reach and which are solid, and takes the player
    // start (map/entity_models.cpp).
    void placeEntities(const MapSource& source);
    // Every area that the map-space bounds reach through the area tree, each
    // once, in ascending order; none when they reach only solid space.
    void areasReached(const Bounds& bounds, std::vector<int>* out) const;

    // Frees the surfaces' device buffers now, before the map goes (textures
    // belong to the cache).
    void releaseBuffers();

    // Area lookup from `node` for a map-space point (map/bsp_lookup.cpp). Writes
    // *area and returns true when the descent ends in an area; false in solid
    // space (reported) or when the tree is unusable.
    bool pointArea(int node, Vector3 point, int* area) const;
    // The area holding a map-space point, or -1 in solid space or when the tree
    // is unusable; nothing is reported, for searches that try many points.
    int areaHolding(Vector3 point) const;

    // The map source's lights (placed by placeLights, map/light_entities.h)
    // and the file's shadow volumes, matched to them by name; those whose
    // light is not there are counted.
    std::vector<MapLight> lights;
    std::vector<ShadowVolume> shadowVolumes;
    int unmatchedShadowVolumes = 0;
};

}  // namespace q
