#pragma once
// Where a map's materials come from: the places searched for images, the
// asset roots whose definition files say which image each material shows,
// and, per material, the definition and the image found.
//
// The search order: the map's own directory, each --textures folder, the
// map's asset root (the parent of a `maps` folder holding the map), then each
// --assets root in the order given. An asset root that is a folder is searched
// itself first, then every zip archive directly inside it (a regular file
// known by its name or by its first bytes), the later names in name order
// first, as patches ship. Definition files (materials/*.mtr) are read from the
// asset roots only, in that order and by name within a root.
//
// An archive's directory is read once and kept, with its members by name,
// across loads for as long as the archive file is unchanged: a reload, and a
// lookup of any of its members, costs no reading of the directory again.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "map/material_definitions.h"
#include "image/image.h"
#include "platform/zip_archive.h"

namespace q {

struct MaterialSource {
    std::optional<std::string> file;  // the image found ("ARCHIVE:member" for a member); empty: none
    std::string archive;              // for a member: the archive and the member's name
    std::string member;
    std::shared_ptr<const ZipArchive> zip;  // for a member: the archive, its directory read
    const MaterialDefinition* definition = nullptr;  // null: the material has none
    MaterialLook look;                               // opaque when it has none
};

// A file found in the asset roots: a path, or a member of an archive.
struct AssetFile {
    std::string file;  // the path, or "ARCHIVE:member"
    std::shared_ptr<const ZipArchive> zip;  // for a member: the archive, its directory read
    std::string member;
};

class MaterialLibrary {
public:
    // Sets the places and reads every definition file of the asset roots.
    // A file that does not read keeps the definitions read whole before its
    // fault; it, and an archive that does not read, is named in problems().
    void load(const std::string& mapDir, const std::vector<std::string>& textureDirs,
              const std::vector<std::string>& assetPaths);

    // A material's definition and image: the definition's image looked for in
    // every place (as given, with each extension, as dds/PATH.dds); a
    // material without one (or whose image is not there) by its own name, as
    // findMaterialImage does, then in the asset roots.
    MaterialSource find(const std::string& materialName) const;

    // A file by its path inside the asset roots (a mesh a map source names),
    // letter case ignored, searched in the roots' order; none for a path
    // refusedImagePath refuses.
    std::optional<AssetFile> findInRoots(const std::string& path) const;
    // Hands each FOLDER/*.EXTENSION of the asset roots (folder and extension
    // in lower case; def/*.def, skins/*.skin) to read, in the order
    // definitions are read; a file past maxBytes or that does not read is
    // named in *problems instead.
    void readRootFiles(std::string_view folder, std::string_view extension, uint64_t maxBytes,
                       const std::function<void(std::string_view text, const std::string& name)>& read,
                       std::vector<std::string>* problems) const;

    // The loose files readRootFiles hands on (those of the roots that are
    // folders), in the same order; an archive's members are its archive's.
    std::vector<std::string> looseRootFiles(std::string_view folder, std::string_view extension) const;

    // The header of the image found (a file's or a member's), as readImageHead.
    static bool readHead(const MaterialSource& source, uint32_t maxSide, ImageFileHead* out, std::string* error);

    const std::vector<std::string>& problems() const { return problems_; }
    // The definition files and archives of the roots: files the run reads.
    const std::vector<std::string>& filesRead() const { return filesRead_; }
    const MaterialDefinitions& definitions() const { return definitions_; }

private:
    // An archive read: its members by name in lower case (the first of
    // names alike in case), and its definition files in name order.
    struct ArchiveIndex {
        std::shared_ptr<const ZipArchive> zip;
        std::unordered_map<std::string, std::string> members;
        std::vector<std::string> definitionFiles;
    };
    struct Place {
        std::string folder;                                // a folder, or else
        std::shared_ptr<const ArchiveIndex> archive;  // an archive
    };
    bool findIn(const std::vector<Place>& places, const std::string& imagePath, MaterialSource* source) const;
    void addRoot(const std::string& path, std::map<std::string, std::shared_ptr<const ArchiveIndex>>* kept);
    std::shared_ptr<const ArchiveIndex> indexOf(const std::string& archive,
                                                std::map<std::string, std::shared_ptr<const ArchiveIndex>>* kept);

    std::string mapDir_;
    std::vector<std::string> textureDirs_;
    std::vector<Place> places_;  // every place, in the order of the search
    std::vector<Place> roots_;   // those of the asset roots
    // The archives of the last load by path, kept for the next while unchanged.
    std::map<std::string, std::shared_ptr<const ArchiveIndex>> archives_;
    MaterialDefinitions definitions_;
    std::vector<std::string> problems_;
    std::vector<std::string> filesRead_;
};

}  // namespace q
