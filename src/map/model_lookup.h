#pragma once
// Which mesh an entity of the map source shows, where its file is, and which
// of its materials are drawn. A mesh is named by the entity's `model` key, or
// else by its class's (through the entity definitions' inherit chains); a
// name that is a model declaration stands for the declaration's mesh. Only
// ASE and LWO meshes are drawn; other kinds (animated characters' .md5mesh,
// particle systems' .prt, ...) are counted by kind. An entity whose own
// `model` names no file (the name of a brush model of the area-portal file)
// places that brush model instead: it is no mesh entity.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "map/entity_definitions.h"
#include "map/map_source.h"

namespace q {

class MaterialLibrary;
struct MaterialDefinition;

enum class ModelKind {
    None,        // the entity shows no model
    BrushModel,  // a brush model of the area-portal file
    Mesh,        // an ASE or LWO file: drawn
    Other,       // a file of another kind: not drawn
};

struct EntityModelChoice {
    ModelKind kind = ModelKind::None;
    std::string path;       // Mesh and Other: the file as named
    std::string otherKind;  // Other: its extension in lower case without the dot ("md5mesh"), or "no file"
    const Skin* skin = nullptr;  // the entity's skin, or its class's; null: none
    // Why the choice may not be what the author meant: an inherit chain that
    // loops or is too deep, a skin that is not defined. Empty: none.
    std::string problem;
};

EntityModelChoice modelOf(const SourceEntity& entity, const EntityDefinitions& definitions);

// Counts of what entities show, for --info: meshes placed and the other
// kinds by kind.
struct ModelTally {
    int meshesPlaced = 0;
    std::map<std::string, int> otherKinds;  // by kind, in name order

    void add(const EntityModelChoice& choice);
    // "3 md5mesh, 1 prt"; empty when there are none.
    std::string otherKindsText() const;
};

// Reads def/*.def and then skins/*.skin of the library's asset roots (each
// root, then its archives, in the order of the search). Files that do not
// read are named in *problems; what they held before the fault is kept.
void loadEntityDefinitions(const MaterialLibrary& library, EntityDefinitions* definitions,
                           std::vector<std::string>* problems);
// As loadEntityDefinitions, each problem warned and the rest used: what a
// load and --info read once for both the mesh models and the lights.
EntityDefinitions entityDefinitionsOf(const MaterialLibrary& library);

// The material a mesh's bitmap path stands for: '\' as '/', a leading
// "//NAME/" (the exporter's mount point) taken off, a drive letter or an
// absolute path cut down to the first known top folder (textures/, models/,
// ...), and an image extension taken off: "//base/textures/a/b.tga" and
// "C:\game\base\textures\a\b.tga" are both "textures/a/b". Empty for an
// absolute path without a known top folder: it names nothing of the roots.
std::string materialNameOfBitmap(std::string_view bitmapPath);

// Whether surfaces of the material are left undrawn: it serves collision or
// editing only (a mesh's collision hull, nodraw, clip, caulk, trigger; the
// name's last part is such a word, alone or joined to others by '_') and
// its definition, if any, draws no stage of its own.
bool materialOnlyForCollisionOrEditing(std::string_view materialName, const MaterialDefinition* definition);

}  // namespace q
