// Any bytes as a material definition file: the reader either refuses them
// with "<file>:<line>: ..." or gives definitions each found again by its own
// name, with a line inside the file, and a look whose alpha test is a
// threshold between 0 and 1 and whose image is one of the definition's own.

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
    for (const auto& [name, definition] : read.all()) checkDefinition(read, definition, lines);
    return 0;
}
