#pragma once
// Entity definition files (def/*.def in an asset root) and skin files
// (skins/*.skin): which mesh an entity class shows and which material
// replaces which on it. Three kinds of entry are kept, and only what the
// picture needs of each:
//   - an entity class, `entityDef NAME { "key" "value" ... }` or, as many
//     files write it, `NAME { ... }` alone: its `inherit`, `model` and `skin`;
//   - a model declaration, `model NAME { mesh PATH ... }` (an animated
//     character's mesh and its animations): its `mesh` and `inherit`, so that
//     a class naming it is known to show that mesh and not a file of its own;
//   - a skin, `skin NAME { [model PATH] FROM TO ... }`: its replacements.
// Every other declaration (`export`, `articulatedFigure`, ...) is passed
// over by its braces. Both kinds of file are read by the same reader, so a
// skin written in a definition file is found as well.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace q {

struct EntityClass {
    std::string name;
    std::string file;  // the definition file, and the line its name stands on
    int line = 0;
    std::string inherit;  // the class it takes what it lacks from; empty: none
    std::string model;
    std::string skin;
};

struct ModelDeclaration {
    std::string name;
    std::string file;
    int line = 0;
    std::string inherit;
    std::string mesh;  // empty: the declaration names none
};

struct Skin {
    std::string name;
    std::string file;
    int line = 0;
    // FROM -> TO, FROM in lower case with '/' separators; "*" stands for
    // every material. A later pair for the same FROM replaces an earlier one.
    std::vector<std::pair<std::string, std::string>> replacements;

    // The material drawn in place of material: its replacement, else that
    // of "*", else material itself.
    std::string replaced(std::string_view material) const;
};

// A value found along an inherit chain, or why the chain was left.
struct InheritedValue {
    std::string value;    // empty: no class on the chain gives it
    std::string problem;  // a loop, a chain past kMaxInheritDepth, a class not defined; empty: none
};

// What is kept is bounded as the material definitions are: a file past
// kMaxFileBytes, the files of one load past kMaxFiles or kMaxTotalBytes,
// entries past kMaxEntries and a value past kMaxValueBytes are refused,
// each named by file and line.
class EntityDefinitions {
public:
    // Reads one file's text; fileName names it in messages. What was read
    // whole before a fault is kept; on a fault, or when something was
    // refused, returns false with "<file>:<line>: ..." in *error. An entry
    // already defined keeps its first definition (the roots are read in the
    // order of the search, so the one found first wins, as an image does).
    bool readText(std::string_view text, const std::string& fileName, std::string* error);

    // Letter case ignored; null when none.
    const EntityClass* findClass(std::string_view name) const;
    const ModelDeclaration* findModel(std::string_view name) const;
    const Skin* findSkin(std::string_view name) const;

    // The class's own `model` or `skin` (key names which), else that of the
    // nearest class it inherits from. The chain is followed kMaxInheritDepth
    // links at most and stops at a class met twice, either named in problem.
    InheritedValue classValue(std::string_view className, std::string_view key) const;
    // The mesh of a model declaration, its own or inherited as above.
    InheritedValue declaredMesh(std::string_view modelName) const;

    size_t classCount() const { return classes_.size(); }
    size_t modelCount() const { return models_.size(); }
    size_t skinCount() const { return skins_.size(); }

    static constexpr uintmax_t kMaxFileBytes = uintmax_t{64} << 20;
    static constexpr uintmax_t kMaxTotalBytes = uintmax_t{128} << 20;
    static constexpr size_t kMaxFiles = 4096;
    static constexpr size_t kMaxEntries = 65536;  // classes, declarations and skins together
    static constexpr size_t kMaxValueBytes = 1024;
    static constexpr int kMaxInheritDepth = 32;

private:
    friend class DefinitionReader;
    bool full() const { return classes_.size() + models_.size() + skins_.size() >= kMaxEntries; }

    std::unordered_map<std::string, EntityClass> classes_;  // by name in lower case
    std::unordered_map<std::string, ModelDeclaration> models_;
    std::unordered_map<std::string, Skin> skins_;
    size_t filesRead_ = 0;
    uintmax_t bytesRead_ = 0;
};

// A material or class name as the definitions key it: lower case, '\' as '/'.
std::string foldedName(std::string_view name);

}  // namespace q
