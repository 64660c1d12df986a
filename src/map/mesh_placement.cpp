#include "map/mesh_placement.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>

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

// Loads in three passes so that the files can be read side by side while
// everything the person reads stays in the source's order: which file each
// entity names (each distinct file found once), the reading of the files
// found, then the placements, each file's messages given where its first
// entity is met, as a reading one file at a time would give them.
class MeshLoader {
public:
    MeshLoader(const EntityDefinitions& definitions, const MaterialLibrary& library, MapData* map,
               std::vector<std::string>* problems, uint64_t maxFileBytes)
        : definitions_(definitions), library_(library), map_(*map), out_(map->meshModels), problems_(*problems),
          maxFileBytes_(maxFileBytes) {}

    // Pass 1: the entity's model, and its file's entry when it is a mesh.
    void choose(const SourceEntity& entity) {
        EntityModelChoice choice = modelOf(entity, definitions_);
        if (choice.kind == ModelKind::Mesh) fileEntry(choice.path);
        chosen_.push_back({&entity, std::move(choice)});
    }

    // Pass 2: every file found, on up to `readers` threads (0: as many as
    // the machine runs at once, at most kMaxReaders).
    void readFiles(unsigned readers) {
        std::vector<size_t> found;
        for (size_t i = 0; i < reads_.size(); ++i)
            if (reads_[i].asset) found.push_back(i);
        if (readers == 0) readers = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxReaders);
        const size_t threads = std::min<size_t>(readers, found.size());
        std::atomic<size_t> next{0};
        const auto work = [&] {
            for (size_t k = next++; k < found.size(); k = next++) read(found[k]);
        };
        // This thread reads too: what no helper could be started for (the
        // system out of threads), it reads alone.
        std::vector<std::thread> helpers;
        try {
            for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
        } catch (const std::system_error&) {
        }
        work();
        for (std::thread& helper : helpers) helper.join();
    }

    // Pass 3: the placements, in the source's order.
    void placeAll(const MapSource& source) {
        for (const auto& [entity, choice] : chosen_) place(source, *entity, choice);
    }

private:
    static constexpr unsigned kMaxReaders = 4;

    struct FileRead {
        std::optional<AssetFile> asset;  // none: in no asset root
        std::string error;               // why it did not read
        bool reported = false;           // its messages given, by its first entity
    };

    void place(const MapSource& source, const SourceEntity& entity, const EntityModelChoice& choice) {
        const std::string where = source.fileName + ":" + std::to_string(entity.line);
        if (!choice.problem.empty() && choiceProblems_.insert(choice.problem).second)
            problems_.push_back(where + ": the model of " + entityWords(entity) + ": " + choice.problem);
        out_.tally.add(choice);
        if (choice.kind != ModelKind::Mesh) return;
        const int file = usableFile(choice.path, where, entityWords(entity));
        if (file < 0) return;

        PlacedMesh placed;
        placed.file = file;
        placed.entity = entity.name;
        placed.line = entity.line;
        placed.placement = fileAxesToMapAxes() * entity.placement;
        const MeshFile& mesh = out_.files[static_cast<size_t>(file)];
        placed.bounds = mesh.model.bounds.transformed(placed.placement);
        // Placed meshes are part of the map's extent, as placed entity
        // models are: the copies are spaced and the camera placed by it.
        if (!placed.bounds.isEmpty()) {
            map_.areasReached(placed.bounds, &placed.areas);
            map_.bounds.grow(placed.bounds);
        }
        const bool ase = isAse(mesh.path);
        for (const MeshMaterialGroup& group : mesh.model.groups) {
            const std::string own = ownMaterial(group, ase);
            placed.groupMaterials.push_back(material(choice.skin ? choice.skin->replaced(own) : own));
        }
        out_.placed.push_back(std::move(placed));
    }

    // The entry of the file a path names, made on first use; two spellings
    // of one file (letter case) share it, and so its reading.
    void fileEntry(const std::string& path) {
        const std::string key = foldedName(path);
        if (byPath_.contains(key)) return;
        std::optional<AssetFile> asset = library_.findInRoots(path);
        if (asset) {
            if (const auto known = byFound_.find(asset->file); known != byFound_.end()) {
                byPath_.emplace(key, known->second);
                return;
            }
        }
        const int index = static_cast<int>(out_.files.size());
        byPath_.emplace(key, index);
        MeshFile& file = out_.files.emplace_back();
        file.path = path;
        if (asset) {
            file.found = asset->file;
            file.archive = asset->zip ? asset->zip->path() : std::string();
            byFound_.emplace(asset->file, index);
        }
        reads_.push_back({std::move(asset), {}, false});
    }

    // Reads one file into its entry; the entries and their reads are sized
    // before the threads start, and each is touched by one thread only.
    void read(size_t index) {
        MeshFile& file = out_.files[index];
        FileRead& reading = reads_[index];
        file.read = readMesh(*reading.asset, isAse(file.path), maxFileBytes_, &file.model, &reading.error);
        if (!file.read) file.model = MeshModel{};
    }

    // The index of the file's entry when it read; -1 when it is not there or
    // did not read (named once, by the first entity placing it).
    int usableFile(const std::string& path, const std::string& where, const std::string& entity) {
        const int index = byPath_.at(foldedName(path));
        MeshFile& file = out_.files[static_cast<size_t>(index)];
        FileRead& reading = reads_[static_cast<size_t>(index)];
        if (!reading.reported) {
            reading.reported = true;
            report(file, reading, where, entity);
        }
        return file.read ? index : -1;
    }

    void report(MeshFile& file, const FileRead& reading, const std::string& where, const std::string& entity) {
        if (!reading.asset) {
            ++out_.filesMissing;
            problems_.push_back(where + ": " + entity + " places " + file.path + ", which is in no asset root; left out");
            return;
        }
        if (!file.read) {
            ++out_.filesFailed;
            problems_.push_back(reading.error + " (the mesh of " + entity + " at " + where + "; left out)");
            return;
        }
        for (const std::string& warning : file.model.warnings) problems_.push_back(warning);
        const bool ase = isAse(file.path);
        std::set<std::string> listed;
        for (const MeshMaterialGroup& group : file.model.groups) {
            const std::string own = ownMaterial(group, ase);
            if (!out_.materials[static_cast<size_t>(material(own))].drawn && listed.insert(own).second)
                file.materialsNotDrawn.push_back(own);
        }
    }

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
    std::vector<std::pair<const SourceEntity*, EntityModelChoice>> chosen_;  // the usable entities, in order
    std::vector<FileRead> reads_;         // side by side with out_.files
    std::map<std::string, int> byPath_;   // the path as named, folded
    std::map<std::string, int> byFound_;  // where it was found
    std::map<std::string, int> materialIndex_;
    std::set<std::string> choiceProblems_;  // each named once
};

}  // namespace

void loadMeshModels(const MapSource& source, const EntityDefinitions& definitions, const MaterialLibrary& library,
                    MapData* map, std::vector<std::string>* problems, uint64_t maxFileBytes, unsigned readers) {
    map->meshModels = MeshModels{};
    MeshLoader loader(definitions, library, map, problems, maxFileBytes);
    for (const SourceEntity& entity : source.entities)
        if (entity.usable) loader.choose(entity);
    loader.readFiles(readers);
    loader.placeAll(source);
}

void placeMeshModels(const MapSource& source, const EntityDefinitions& definitions, const MaterialLibrary& library,
                     MapData* map) {
    std::vector<std::string> problems;
    loadMeshModels(source, definitions, library, map, &problems);
    for (const std::string& problem : problems) warn(problem.c_str());
}

}  // namespace q
