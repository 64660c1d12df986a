#pragma once
// Material definition files (materials/*.mtr in an asset root): which image
// each material shows and how it is drawn. Only what the picture needs is
// kept: the diffuse image, the stages' images, blending and alpha test, and
// the editor's picture as the last resort; every other keyword is skipped.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "render/surface_pipelines.h"

namespace q {

struct MaterialStage {
    std::string kind;   // "diffusemap", "bumpmap", "specularmap", or empty for a drawn stage
    MaterialBlend blend = MaterialBlend::Opaque;
    std::string image;  // the stage's map, image functions unwrapped; empty: none
    float alphaTest = 0.0f;  // texels with alpha below it are not drawn; 0: none
};

struct MaterialDefinition {
    std::string name;
    std::string file;  // the definition file, and the line its name stands on
    int line = 0;
    std::string diffuseMap;   // the `diffusemap` keyword's image
    std::string editorImage;  // `qer_editorimage`
    bool translucent = false;
    std::vector<MaterialStage> stages;
};

// What a surface of the material shows: the image path (as the definition
// names it: with or without an extension) and how it is drawn.
struct MaterialLook {
    std::string image;  // empty: the definition names none
    MaterialBlend blend = MaterialBlend::Opaque;
    float alphaTest = 0.0f;
};

// The image is the `diffusemap`, else the map of the `blend diffusemap`
// stage, else that of the first stage with a map that is drawn as it is (not
// a bump or specular map), else `qer_editorimage`. The blending and alpha test
// are those of the stage the image comes from; `translucent` blends a material
// that is otherwise opaque.
MaterialLook lookOf(const MaterialDefinition& definition);

// The first image path inside image functions: `addnormals(a, heightmap(b, 4))`
// gives a, `makeintensity("b")` gives b; a bare path stays as it is.
std::string firstImagePath(std::string_view argument);

class MaterialDefinitions {
public:
    // Reads one definition file's text; fileName names it in messages. The
    // definitions read whole before a fault are kept; on a fault returns
    // false with "<file>:<line>: expected ..." in *error. A material already
    // defined keeps its first definition: roots and files are read in the
    // order of the search, so the one found first wins, as an image does.
    bool readText(std::string_view text, const std::string& fileName, std::string* error);
    // Reads the file (a regular file of at most kMaxFileBytes), as readText.
    bool readFile(const std::string& path, std::string* error);

    // The definition of a material name, letter case ignored; null when none.
    const MaterialDefinition* find(const std::string& name) const;
    // Every definition kept, keyed by its name in lower case.
    const std::map<std::string, MaterialDefinition>& all() const { return byFoldedName_; }

    static constexpr uintmax_t kMaxFileBytes = uintmax_t{64} << 20;

private:
    void add(MaterialDefinition&& definition);

    std::map<std::string, MaterialDefinition> byFoldedName_;
};

}  // namespace q
