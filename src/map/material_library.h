#pragma once
// Where a map's materials come from: the folders searched for images, the
// asset roots whose definition files say which image each material shows,
// and, per material, the definition and the image file found.
//
// The search order: the map's own directory, each --textures folder, the
// map's asset root (the parent of a `maps` folder holding the map), then each
// --assets folder in the order given. Definition files (materials/*.mtr) are
// read from the asset roots only, in that order and by name within a root.

#include <optional>
#include <string>
#include <vector>

#include "map/material_definitions.h"

namespace q {

struct MaterialSource {
    std::optional<std::string> file;                // the image file found; empty: none
    const MaterialDefinition* definition = nullptr;  // null: the material has none
    MaterialLook look;                               // opaque when it has none
};

class MaterialLibrary {
public:
    // Sets the folders and reads every definition file of the asset roots.
    // A file that does not read keeps the definitions read whole before its
    // fault, and is named in problems() with its line and what was expected.
    void load(const std::string& mapDir, const std::vector<std::string>& textureDirs,
              const std::vector<std::string>& assetDirs);

    // A material's definition and image: the definition's image looked for in
    // every folder (as given, with each extension, as dds/PATH.dds); a
    // material without one (or whose image is not there) by its own name, as
    // findMaterialImage does, then in the asset roots.
    MaterialSource find(const std::string& materialName) const;

    const std::vector<std::string>& problems() const { return problems_; }
    const std::vector<std::string>& assetRoots() const { return assetRoots_; }
    const MaterialDefinitions& definitions() const { return definitions_; }

private:
    std::string mapDir_;
    std::vector<std::string> textureDirs_;
    std::vector<std::string> assetRoots_;
    std::vector<std::string> folders_;  // every folder, in the order of the search
    MaterialDefinitions definitions_;
    std::vector<std::string> problems_;
};

}  // namespace q
