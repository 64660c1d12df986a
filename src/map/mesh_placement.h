#pragma once
// The mesh models (ASE, LWO) that the map source's entities place, as plain
// data: each distinct file read once, however many entities place it, and
// each placement with its matrix, its bounds in map space, the areas those
// reach and the material each of the model's groups shows there.
//
// A group's material is, for ASE, the material its bitmap path stands for
// (materialNameOfBitmap; the group's own name when the bitmap names none) and,
// for LWO, the surface name: in this map family the surface is named after
// the material. The entity's skin then replaces it, and a material that only
// serves collision or editing is marked not drawn.
//
// Meshes are not solid: their files hold no collision shape the walking box
// could be swept against (a collision hull inside one is a material of its
// triangles, not a closed brush), and a person must not be stopped by a lamp
// they cannot see round.

#include <cstdint>
#include <string>
#include <vector>

#include "map/model_lookup.h"
#include "map/mesh_model.h"
#include "math/bounds.h"
#include "math/matrix.h"

namespace q {

class MaterialLibrary;
struct MapData;

// One distinct mesh file named by the entities.
struct MeshFile {
    std::string path;   // as the first entity naming it writes it
    std::string found;  // where it was found (a path, or "ARCHIVE:member"); empty: in no asset root
    bool read = false;  // false: missing, too large or did not read
    MeshModel model;    // empty unless read
    // The model's groups' own materials (before any skin) that are not drawn.
    std::vector<std::string> materialsNotDrawn;
};

// A material a placed mesh's group shows, once per distinct name.
struct MeshMaterial {
    std::string name;
    bool drawn = true;  // false: it only serves collision or editing
    // Its index in MapData::materials once addMeshMaterials has run (drawn
    // ones only); -1: not drawn.
    int mapMaterial = -1;
};

struct PlacedMesh {
    int file = 0;  // index into MeshModels::files (always one that was read)
    std::string entity;  // the entity's name, for messages
    int line = 0;        // the entity's line in the map source
    // The model's file axes (z up) to map space (y up): the exchange of the
    // second and third axes, then the entity's turn and origin.
    Matrix placement = Matrix::identity();
    Bounds bounds = Bounds::empty();  // the model's bounds placed, map space
    // Every area the placed bounds reach; none when they reach only solid space.
    std::vector<int> areas;
    // Per group of the model, an index into MeshModels::materials.
    std::vector<int> groupMaterials;
};

struct MeshModels {
    std::vector<MeshFile> files;
    std::vector<PlacedMesh> placed;  // in the map source's order
    std::vector<MeshMaterial> materials;
    // What the entities show, for --info: meshes placed and other kinds.
    ModelTally tally;
    int filesMissing = 0;
    int filesFailed = 0;  // found, but too large or did not read

    size_t filesRead() const { return files.size() - static_cast<size_t>(filesMissing + filesFailed); }
};

// Refused before it is read: as large as an entity definition file may be.
constexpr uint64_t kMaxMeshFileBytes = uint64_t{64} << 20;

// Fills map->meshModels from the usable entities of the source. A mesh file
// missing, too large or that does not read is named once in *problems (with
// the line of the first entity placing it) and its entities place nothing; a
// file's warnings, and an entity whose model choice has a problem, likewise.
void loadMeshModels(const MapSource& source, const EntityDefinitions& definitions, const MaterialLibrary& library,
                    MapData* map, std::vector<std::string>* problems, uint64_t maxFileBytes = kMaxMeshFileBytes);

// As loadMeshModels, every problem warned.
void placeMeshModels(const MapSource& source, const EntityDefinitions& definitions, const MaterialLibrary& library,
                     MapData* map);

}  // namespace q
