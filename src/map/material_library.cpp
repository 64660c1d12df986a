#include "map/material_library.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "map/material_image.h"

namespace q {

namespace {

namespace fs = std::filesystem;

// materials/*.mtr of a root, in name order; the folder's name and the
// extension in any letter case.
std::vector<std::string> definitionFiles(const std::string& root) {
    std::vector<std::string> files;
    std::error_code ec;
    const fs::path base = root.empty() ? fs::path(".") : fs::path(root);
    for (fs::directory_iterator dir(base, ec), end; !ec && dir != end; dir.increment(ec)) {
        std::string name = dir->path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        std::error_code kind;
        if (name != "materials" || !dir->is_directory(kind)) continue;
        for (fs::directory_iterator file(dir->path(), ec); !ec && file != end; file.increment(ec)) {
            std::string extension = file->path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(),
                           [](unsigned char c) { return std::tolower(c); });
            if (extension == ".mtr" && file->is_regular_file(kind)) files.push_back(file->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

void MaterialLibrary::load(const std::string& mapDir, const std::vector<std::string>& textureDirs,
                           const std::vector<std::string>& assetDirs) {
    mapDir_ = mapDir;
    textureDirs_ = textureDirs;
    assetRoots_.clear();
    if (std::string root = assetRootOfMapDir(mapDir); !root.empty()) assetRoots_.push_back(std::move(root));
    assetRoots_.insert(assetRoots_.end(), assetDirs.begin(), assetDirs.end());
    folders_ = {mapDir};
    folders_.insert(folders_.end(), textureDirs.begin(), textureDirs.end());
    folders_.insert(folders_.end(), assetRoots_.begin(), assetRoots_.end());
    definitions_ = MaterialDefinitions();
    problems_.clear();
    for (const std::string& root : assetRoots_)
        for (const std::string& file : definitionFiles(root)) {
            std::string error;
            if (!definitions_.readFile(file, &error)) problems_.push_back(error);
        }
}

MaterialSource MaterialLibrary::find(const std::string& materialName) const {
    MaterialSource source;
    source.definition = definitions_.find(materialName);
    if (source.definition) {
        source.look = lookOf(*source.definition);
        source.file = findImageInFolders(source.look.image, folders_);
        if (source.file) return source;
    }
    source.file = findMaterialImage(materialName, mapDir_, textureDirs_);
    if (!source.file && !fs::path(materialName).is_absolute()) source.file = findImageInFolders(materialName, assetRoots_);
    return source;
}

}  // namespace q
