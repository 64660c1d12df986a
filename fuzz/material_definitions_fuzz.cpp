// Any bytes as a material definition file: the reader either refuses them
// with "<file>:<line>: ..." or gives definitions each found again by its own
// name, with a line inside the file, and a look whose alpha test is a
// threshold between 0 and 1 and whose image is one of the definition's own;
// no path the reader refuses is kept, and what it keeps stays within its bound.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "map/material_definitions.h"

namespace {

const std::string kFile = "materials/fuzz.mtr";

void checkDefinition(const q::MaterialDefinitions& read, const q::MaterialDefinition& definition, int lines) {
    using q::fuzz::broken;
    if (read.find(definition.name) == nullptr) broken("a definition not found by its name", definition.name);
    if (definition.line < 1 || definition.line > lines) broken("a line outside the file", definition.name);
    const q::MaterialLook look = q::lookOf(definition);
    if (!(look.alphaTest >= 0.0f && look.alphaTest <= 1.0f)) broken("an alpha test outside 0 to 1", definition.name);
    bool own = look.image.empty() || look.image == definition.diffuseMap || look.image == definition.editorImage;
    for (const q::MaterialStage& stage : definition.stages) own = own || look.image == stage.image;
    if (!own) broken("an image the definition does not name", look.image);
    if (definition.stages.size() > q::MaterialDefinitions::kMaxStages) broken("more stages than the limit", definition.name);
    for (const std::string* image : {&definition.diffuseMap, &definition.editorImage})
        if (!q::refusedImagePath(*image).empty()) broken("a refused image path kept", *image);
    for (const q::MaterialStage& stage : definition.stages)
        if (stage.image.empty() || !q::refusedImagePath(stage.image).empty()) broken("a stage kept without a usable image", stage.image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (char c : text) lines += c == '\n';

    q::MaterialDefinitions read;
    std::string error;
    const bool ok = read.readText(text, kFile, &error);
    if (!ok && !q::fuzz::hasFileLineShape(error, kFile)) q::fuzz::broken("refusal without <file>:<line>:", error);
    // What was read whole before a fault is kept and must hold as well.
    size_t stages = 0;
    for (const auto& [name, definition] : read.all()) {
        checkDefinition(read, definition, lines);
        stages += definition.stages.size();
    }
    // Pieces of the text (a name twice), about 250 bytes and the file's name
    // a material, at most 160 bytes a stage.
    const size_t bound = 3 * size + read.all().size() * (256 + kFile.size() + 1) + stages * 160;
    if (read.keptBytes() > bound) q::fuzz::broken("more kept than the bound", std::to_string(read.keptBytes()));
    return 0;
}
