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

#include "map/material_look.h"

namespace q {

class MaterialDefinitions;

struct MaterialStage {
    // "diffusemap", "bumpmap", "specularmap", "lightfalloffimage", or empty for
    // a drawn stage
    std::string kind;
    MaterialBlend blend = MaterialBlend::Opaque;
    bool fromKeyword = false;  // a keyword of the material's body, not a { } stage
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
    // Of a light's material: `ambientLight` (it lights without direction and
    // casts no shadows).
    bool ambientLight = false;
    // The `bumpmap`, `specularmap` and `lightFalloffImage` keywords are kept
    // as stages of that kind (one of each: a later keyword replaces the
    // image), so that a material costs no more for them.
    std::vector<MaterialStage> stages;
};

// The image is the `diffusemap`, else the map of the `blend diffusemap`
// stage, else that of the first stage with a map that is drawn as it is (not
// a bump or specular map), else `qer_editorimage`. The blending and alpha test
// are those of the stage the image comes from; `translucent` blends a material
// that is otherwise opaque.
MaterialLook lookOf(const MaterialDefinition& definition);

// A surface material's normal map: the image of its first `bumpmap` (the
// keyword or a `blend bumpmap` stage, as written); empty when it has none
// (vertex normals then). The specular map likewise from `specularmap`.
std::string normalMapOf(const MaterialDefinition& definition);
std::string specularMapOf(const MaterialDefinition& definition);
// A light material's `lightFalloffImage`: its falloff along the light's z;
// empty: a smooth one.
std::string lightFalloffImageOf(const MaterialDefinition& definition);
// A light material's image, which the light's shape is projected through
// (across x and y of its box): the map of its first drawn stage; empty: none
// (a round light).
std::string lightImageOf(const MaterialDefinition& definition);
// Whether a light of this material lights without direction: its definition
// says `ambientLight`; a material without a definition is ambient when the
// last part of its name holds "ambient" (letter case ignored), as the
// lights/ambient... materials of maps whose definitions are missing are.
bool isAmbientLightMaterial(const MaterialDefinitions& definitions, const std::string& material);

// The first image path inside image functions: `addnormals(a, heightmap(b, 4))`
// gives a, `makeintensity("b")` gives b; a bare path stays as it is.
std::string firstImagePath(std::string_view argument);

// Why an image path named by a definition is refused, or empty when it is
// not: longer than kMaxPathBytes or of more than kMaxPathParts parts (checked
// on the text, before anything splits it), absolute, or climbing out of its
// root through a ".." part. Asset packs are downloaded from anywhere: what
// they name must stay inside the roots they are read from.
std::string refusedImagePath(std::string_view path);

// What is kept stays bounded whatever the text's shape: the strings kept are
// pieces of the text (a name twice, as itself and as its key; the images),
// each material adds about 250 bytes and a copy of its file's name, and each
// stage kept at most 160 (only stages that name an image are kept, at most
// kMaxStages a material). A material's body past kMaxBodyBytes or
// kMaxStages, a path past the limits above, a material past kMaxMaterials
// and a file past kMaxFiles or kMaxTotalBytes are refused, each named by
// file and line. So a file of nothing but braces keeps nothing, and one of
// millions of tiny materials stops at kMaxMaterials (about 16 MB besides
// the copies of the file's name).
class MaterialDefinitions {
public:
    // Reads one definition file's text; fileName names it in messages. The
    // definitions read whole before a fault are kept; on a fault returns
    // false with "<file>:<line>: expected ..." in *error. A material already
    // defined keeps its first definition: roots and files are read in the
    // order of the search, so the one found first wins, as an image does.
    // What is refused (a path, a body, a material past the limits) is left out
    // and the rest read; it returns false too, the first refusal in *error.
    bool readText(std::string_view text, const std::string& fileName, std::string* error);
    // Reads the file (a regular file of at most kMaxFileBytes), as readText.
    bool readFile(const std::string& path, std::string* error);

    // The definition of a material name, letter case ignored; null when none.
    const MaterialDefinition* find(const std::string& name) const;
    // Every definition kept, keyed by its name in lower case.
    const std::map<std::string, MaterialDefinition>& all() const { return byFoldedName_; }

    // The bytes the definitions kept take, strings and containers counted.
    size_t keptBytes() const;

    static constexpr uintmax_t kMaxFileBytes = uintmax_t{64} << 20;    // one file or archive member
    static constexpr uintmax_t kMaxTotalBytes = uintmax_t{128} << 20;  // every file of one load
    static constexpr size_t kMaxFiles = 4096;
    static constexpr size_t kMaxMaterials = 65536;
    static constexpr size_t kMaxBodyBytes = 256 << 10;  // from a material's '{' to its '}'
    static constexpr size_t kMaxStages = 64;
    static constexpr size_t kMaxPathBytes = 1024;
    static constexpr size_t kMaxPathParts = 64;

private:
    // False when the material is new and kMaxMaterials are kept already.
    bool add(MaterialDefinition&& definition);

    std::map<std::string, MaterialDefinition> byFoldedName_;
    size_t filesRead_ = 0;
    uintmax_t bytesRead_ = 0;
};

}  // namespace q
