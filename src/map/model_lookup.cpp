#include "map/model_lookup.h"

#include <cctype>

#include "map/material_definitions.h"
#include "map/material_library.h"
#include "platform/report.h"

namespace q {

namespace {

// The extension of a path's last part in lower case, without its dot; empty: none.
std::string extensionOf(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = last.rfind('.');
    return dot == std::string_view::npos ? std::string() : foldedName(last.substr(dot + 1));
}

void note(EntityModelChoice* choice, const std::string& problem) {
    if (choice->problem.empty()) choice->problem = problem;
}

}  // namespace

EntityModelChoice modelOf(const SourceEntity& entity, const EntityDefinitions& definitions) {
    EntityModelChoice choice;
    const bool own = !entity.model.empty();
    std::string named = entity.model;
    if (!own) {
        InheritedValue inherited = definitions.classValue(entity.classname, "model");
        named = std::move(inherited.value);
        note(&choice, inherited.problem);
    }
    if (named.empty()) return choice;

    if (definitions.findModel(named)) {
        InheritedValue mesh = definitions.declaredMesh(named);
        note(&choice, mesh.problem);
        named = std::move(mesh.value);
    } else if (extensionOf(named).empty() && own) {
        choice.kind = ModelKind::BrushModel;
        choice.path = named;
        return choice;
    }
    const std::string extension = extensionOf(named);
    choice.path = named;
    if (extension == "ase" || extension == "lwo") {
        choice.kind = ModelKind::Mesh;
    } else {
        choice.kind = ModelKind::Other;
        choice.otherKind = extension.empty() ? "no file" : extension;
    }

    std::string skin = entity.skin;
    if (skin.empty()) {
        InheritedValue inherited = definitions.classValue(entity.classname, "skin");
        skin = std::move(inherited.value);
        note(&choice, inherited.problem);
    }
    if (!skin.empty()) {
        choice.skin = definitions.findSkin(skin);
        if (!choice.skin) note(&choice, "the skin '" + skin + "' is not defined");
    }
    return choice;
}

void ModelTally::add(const EntityModelChoice& choice) {
    if (choice.kind == ModelKind::Mesh) ++meshesPlaced;
    if (choice.kind == ModelKind::Other) ++otherKinds[choice.otherKind];
}

std::string ModelTally::otherKindsText() const {
    std::string text;
    for (const auto& [kind, count] : otherKinds) text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + kind;
    return text;
}

void loadEntityDefinitions(const MaterialLibrary& library, EntityDefinitions* definitions,
                           std::vector<std::string>* problems) {
    const auto read = [&](std::string_view text, const std::string& name) {
        std::string error;
        if (!definitions->readText(text, name, &error)) problems->push_back(error);
    };
    library.readRootFiles("def", ".def", EntityDefinitions::kMaxFileBytes, read, problems);
    library.readRootFiles("skins", ".skin", EntityDefinitions::kMaxFileBytes, read, problems);
}

EntityDefinitions entityDefinitionsOf(const MaterialLibrary& library) {
    EntityDefinitions definitions;
    std::vector<std::string> problems;
    loadEntityDefinitions(library, &definitions, &problems);
    for (const std::string& problem : problems)
        warn((problem + " (left out; the rest of the entity definitions are used)").c_str());
    return definitions;
}

std::string materialNameOfBitmap(std::string_view bitmapPath) {
    std::string path(bitmapPath);
    for (char& c : path)
        if (c == '\\') c = '/';
    // "//base/textures/a.tga": the exporter's name for where the assets are mounted.
    if (path.starts_with("//")) {
        const size_t mount = path.find('/', 2);
        path = mount == std::string::npos ? std::string() : path.substr(mount + 1);
    }
    const bool drive = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    if (drive || path.starts_with("/")) {
        static const char* const kTopFolders[] = {"textures", "models", "lights", "gfx", "guis", "particles", "env"};
        const std::string folded = foldedName(path);
        size_t found = std::string::npos;
        for (const char* top : kTopFolders) {
            const size_t at = folded.find("/" + std::string(top) + "/");
            if (at != std::string::npos && at < found) found = at;
        }
        if (found == std::string::npos) return {};
        path = path.substr(found + 1);
    }
    // What the roots cannot hold ("../", too long) names no material of theirs.
    if (!refusedImagePath(path).empty()) return {};
    const std::string extension = extensionOf(path);
    for (const char* image : {"tga", "jpg", "jpeg", "png", "dds", "bmp"})
        if (extension == image) {
            path.resize(path.size() - extension.size() - 1);
            break;
        }
    return path;
}

bool materialOnlyForCollisionOrEditing(std::string_view materialName, const MaterialDefinition* definition) {
    const size_t slash = materialName.find_last_of("/\\");
    const std::string last = foldedName(slash == std::string_view::npos ? materialName : materialName.substr(slash + 1));
    bool servesOnly = false;
    for (size_t start = 0; start <= last.size() && !servesOnly;) {
        size_t end = last.find('_', start);
        if (end == std::string::npos) end = last.size();
        const std::string_view word = std::string_view(last).substr(start, end - start);
        // "playerclip", "monsterclip": clips for one kind of mover.
        servesOnly = word == "nodraw" || word == "caulk" || word == "trigger" || word == "collision" ||
                     word.ends_with("clip");
        start = end + 1;
    }
    if (!servesOnly || !definition) return servesOnly;
    if (!definition->diffuseMap.empty()) return false;
    for (const MaterialStage& stage : definition->stages)
        if (!stage.fromKeyword && stage.kind != "bumpmap" && stage.kind != "specularmap") return false;
    return true;
}

}  // namespace q
