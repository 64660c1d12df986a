// Any bytes as an entity definition or skin file: the reader either refuses
// them with "<file>:<line>: ..." or keeps entries each found again by its own
// name, with a line inside the file; what an entity of any kept class shows
// is chosen without end whatever the inherit chains (loops, depth), and a
// skin replaces a material with one of its own pairs or leaves it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "map/entity_definitions.h"
#include "map/model_lookup.h"

namespace {

const std::string kFile = "def/fuzz.def";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using q::fuzz::broken;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (char c : text) lines += c == '\n';

    q::EntityDefinitions read;
    std::string error;
    if (!read.readText(text, kFile, &error) && !q::fuzz::hasFileLineShape(error, kFile))
        broken("refusal without <file>:<line>:", error);
    if (read.classCount() + read.modelCount() + read.skinCount() > q::EntityDefinitions::kMaxEntries)
        broken("more entries than the limit", std::to_string(read.classCount()));

    // Every word of the text as a class, a declaration and a skin name: those
    // kept are found with a line of the file, and choosing a model ends.
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find_first_of(" \t\r\n{}\"", at), text.size());
        const std::string word(text.substr(at, end - at));
        at = end + 1;
        if (word.empty()) continue;
        if (const q::EntityClass* c = read.findClass(word); c && (c->line < 1 || c->line > lines))
            broken("a class line outside the file", word);
        if (const q::ModelDeclaration* m = read.findModel(word); m && (m->line < 1 || m->line > lines))
            broken("a declaration line outside the file", word);
        if (const q::Skin* skin = read.findSkin(word)) {
            const std::string replaced = skin->replaced(word);
            bool own = replaced == word;
            for (const auto& [from, to] : skin->replacements) own = own || replaced == to;
            if (!own) broken("a replacement the skin does not name", replaced);
        }
        q::SourceEntity entity;
        entity.classname = word;
        const q::EntityModelChoice choice = q::modelOf(entity, read);
        if (choice.kind == q::ModelKind::BrushModel) broken("a class's model taken for a brush model", word);
        if ((choice.kind == q::ModelKind::None) != choice.path.empty() && choice.kind != q::ModelKind::Other)
            broken("a model kind that does not fit its path", word);
    }
    return 0;
}
