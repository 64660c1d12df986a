#include "map/mesh_placement.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "map/ase_reader.h"
#include "map/lwo_reader.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/material_library.h"
#include "platform/report.h"

namespace q {

namespace {

bool isAse(const std::string& path) { return foldedName(path).ends_with(".ase"); }

std::string tooLarge(const std::string& file, uint64_t bytes, uint64_t maxBytes) {
    return file + ": " + std::to_string(bytes) + " bytes, more than a mesh file may have (" +
           std::to_string(maxBytes) + "); not read";
}

// Reads the mesh of a file found in the roots, refusing one past maxBytes
// before any of it is read.
bool readMesh(const AssetFile& asset, bool ase, uint64_t maxBytes, MeshModel* model, std::string* error) {
    if (!asset.zip) {
        std::error_code ec;
        const uintmax_t bytes = std::filesystem::file_size(asset.file, ec);
        if (ec) {
            *error = asset.file + ": cannot be read (" + ec.message() + ")";
            return false;
        }
        if (bytes > maxBytes) {
            *error = tooLarge(asset.file, bytes, maxBytes);
            return false;
        }
        return ase ? readAseFile(asset.file.c_str(), model, error) : readLwoFile(asset.file.c_str(), model, error);
    }
    std::vector<uint8_t> bytes;
    uint64_t memberBytes = 0;
    if (!asset.zip->read(asset.member, maxBytes, ZipArchive::Reading::Whole, &bytes, &memberBytes, error))
        return false;
    if (memberBytes > maxBytes) {
        *error = tooLarge(asset.file, memberBytes, maxBytes);
        return false;
    }
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return ase ? readAseModel(view, asset.file, model, error) : readLwoModel(view, asset.file, model, error);
}

// The material a group shows before any skin: an ASE group's bitmap names
// it (its own name when the bitmap names nothing of the roots), an LWO
// group's surface is named after it.
std::string ownMaterial(const MeshMaterialGroup& group, bool ase) {
    if (ase && !group.image.empty()) {
        std::string name = materialNameOfBitmap(group.image);
        if (!name.empty()) return name;
    }
    return group.material;
}

// p * M carries a file-axes point (z up) to map axes (y up).
Matrix fileAxesToMapAxes() {
    Matrix m;
    m.m[0][0] = 1.0f;
    m.m[1][2] = 1.0f;
    m.m[2][1] = 1.0f;
    m.m[3][3] = 1.0f;
    return m;
}

// An entity in messages: by its name, or by its class when it has none.
std::string entityWords(const SourceEntity& entity) {
    return entity.name.empty() ? "an entity of class '" + entity.classname + "'" : "the entity '" + entity.name + "'";
}

class MeshLoader {
public:
    MeshLoader(const EntityDefinitions& definitions, const MaterialLibrary& library, MapData* map,
               std::vector<std::string>* problems, uint64_t maxFileBytes)
        : definitions_(definitions), library_(library), map_(*map), out_(map->meshModels), problems_(*problems),
          maxFileBytes_(maxFileBytes) {}

    void place(const MapSource& source, const SourceEntity& entity) {
        const EntityModelChoice choice = modelOf(entity, definitions_);
        const std::string where = source.fileName + ":" + std::to_string(entity.line);
        if (!choice.problem.empty() && choiceProblems_.insert(choice.problem).second)
            problems_.push_back(where + ": the model of " + entityWords(entity) + ": " + choice.problem);
        out_.tally.add(choice);
        if (choice.kind != ModelKind::Mesh) return;
        const int file = fileFor(choice.path, where, entityWords(entity));
        if (file < 0) return;

        PlacedMesh placed;
        placed.file = file;
        placed.entity = entity.name;
        placed.line = entity.line;
        placed.placement = fileAxesToMapAxes() * entity.placement;
        const MeshFile& mesh = out_.files[static_cast<size_t>(file)];
        placed.bounds = mesh.model.bounds.transformed(placed.placement);
        if (!placed.bounds.isEmpty()) map_.areasReached(placed.bounds, &placed.areas);
        const bool ase = isAse(mesh.path);
        for (const MeshMaterialGroup& group : mesh.model.groups) {
            const std::string own = ownMaterial(group, ase);
            placed.groupMaterials.push_back(material(choice.skin ? choice.skin->replaced(own) : own));
        }
        out_.placed.push_back(std::move(placed));
    }

private:
    // The index of the file's entry, read on first use; -1 when it is not
    // there or did not read (named once, by the first entity placing it).
    int fileFor(const std::string& path, const std::string& where, const std::string& entity) {
        const std::string key = foldedName(path);
        if (const auto known = byPath_.find(key); known != byPath_.end()) return usable(known->second);
        const std::optional<AssetFile> asset = library_.findInRoots(path);
        if (asset) {
            // Two spellings of one file (letter case) share its reading.
            if (const auto known = byFound_.find(asset->file); known != byFound_.end()) {
                byPath_.emplace(key, known->second);
                return usable(known->second);
            }
        }
        const int index = static_cast<int>(out_.files.size());
        byPath_.emplace(key, index);
        MeshFile& file = out_.files.emplace_back();
        file.path = path;
        if (!asset) {
            ++out_.filesMissing;
            problems_.push_back(where + ": " + entity + " places " + path + ", which is in no asset root; left out");
            return -1;
        }
        file.found = asset->file;
        byFound_.emplace(asset->file, index);
        const bool ase = isAse(path);
        std::string error;
        if (!readMesh(*asset, ase, maxFileBytes_, &file.model, &error)) {
            file.model = MeshModel{};
            ++out_.filesFailed;
            problems_.push_back(error + " (the mesh of " + entity + " at " + where + "; left out)");
            return -1;
        }
        file.read = true;
        for (const std::string& warning : file.model.warnings) problems_.push_back(warning);
        std::set<std::string> listed;
        for (const MeshMaterialGroup& group : file.model.groups) {
            const std::string own = ownMaterial(group, ase);
            if (!out_.materials[static_cast<size_t>(material(own))].drawn && listed.insert(own).second)
                file.materialsNotDrawn.push_back(own);
        }
        return index;
    }

    int usable(int index) const { return out_.files[static_cast<size_t>(index)].read ? index : -1; }

    int material(const std::string& name) {
        const auto [it, added] = materialIndex_.try_emplace(name, static_cast<int>(out_.materials.size()));
        if (added)
            out_.materials.push_back(
                {name, !materialOnlyForCollisionOrEditing(name, library_.definitions().find(name))});
        return it->second;
    }

    const EntityDefinitions& definitions_;
    const MaterialLibrary& library_;
    MapData& map_;
    MeshModels& out_;
    std::vector<std::string>& problems_;
    uint64_t maxFileBytes_;
    std::map<std::string, int> byPath_;   // the path as named, folded
    std::map<std::string, int> byFound_;  // where it was found
    std::map<std::string, int> materialIndex_;
    std::set<std::string> choiceProblems_;  // each named once
};

}  // namespace

void loadMeshModels(const MapSource& source, const EntityDefinitions& definitions, const MaterialLibrary& library,
                    MapData* map, std::vector<std::string>* problems, uint64_t maxFileBytes) {
    map->meshModels = MeshModels{};
    MeshLoader loader(definitions, library, map, problems, maxFileBytes);
    for (const SourceEntity& entity : source.entities)
        if (entity.usable) loader.place(source, entity);
}

void placeMeshModels(const MapSource& source, const EntityDefinitions& definitions, const MaterialLibrary& library,
                     MapData* map) {
    std::vector<std::string> problems;
    loadMeshModels(source, definitions, library, map, &problems);
    for (const std::string& problem : problems) warn(problem.c_str());
}

}  // namespace q
