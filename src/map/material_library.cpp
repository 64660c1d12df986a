#include "map/material_library.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "map/material_image.h"
#include "platform/zip_archive.h"

namespace q {

namespace {

namespace fs = std::filesystem;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool isDefinitionFile(const std::string& foldedRelative) {
    return foldedRelative.starts_with("materials/") && foldedRelative.ends_with(".mtr") &&
           foldedRelative.find('/', 10) == std::string::npos;
}

// materials/*.mtr of a folder, in name order; the folder's name and the
// extension in any letter case.
std::vector<std::string> definitionFiles(const std::string& root) {
    std::vector<std::string> files;
    std::error_code ec;
    const fs::path base = root.empty() ? fs::path(".") : fs::path(root);
    for (fs::directory_iterator dir(base, ec), end; !ec && dir != end; dir.increment(ec)) {
        std::error_code kind;
        if (lowered(dir->path().filename().string()) != "materials" || !dir->is_directory(kind)) continue;
        for (fs::directory_iterator file(dir->path(), ec); !ec && file != end; file.increment(ec))
            if (lowered(file->path().extension().string()) == ".mtr" && file->is_regular_file(kind))
                files.push_back(file->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The zip archives directly inside a folder, the last name first.
std::vector<std::string> archivesIn(const std::string& folder) {
    std::vector<std::string> archives;
    std::error_code ec;
    for (fs::directory_iterator dir(folder.empty() ? fs::path(".") : fs::path(folder), ec), end; !ec && dir != end;
         dir.increment(ec)) {
        std::error_code kind;
        if (dir->is_regular_file(kind) && isZipArchive(dir->path().string())) archives.push_back(dir->path().string());
    }
    std::sort(archives.rbegin(), archives.rend());
    return archives;
}

}  // namespace

void MaterialLibrary::addRoot(const std::string& path) {
    std::error_code ec;
    std::vector<std::string> archives;
    if (fs::is_directory(path, ec)) {
        roots_.push_back({path, {}, {}});
        for (const std::string& file : definitionFiles(path)) {
            filesRead_.push_back(file);
            std::string error;
            if (!definitions_.readFile(file, &error)) problems_.push_back(error);
        }
        archives = archivesIn(path);
    } else {
        archives = {path};
    }
    for (const std::string& archive : archives) {
        filesRead_.push_back(archive);
        std::vector<std::string> names;
        std::string error;
        if (!listZipMembers(archive, &names, &error)) {
            problems_.push_back(error);
            continue;
        }
        Place place{{}, archive, {}};
        std::vector<std::string> definitionMembers;
        for (const std::string& name : names) {
            const std::string key = lowered(name);
            place.members.emplace(key, name);  // the first of names alike in case
            if (isDefinitionFile(key)) definitionMembers.push_back(name);
        }
        std::sort(definitionMembers.begin(), definitionMembers.end());
        for (const std::string& member : definitionMembers) {
            std::vector<uint8_t> bytes;
            uint64_t size = 0;
            if (!readZipMember(archive, member, MaterialDefinitions::kMaxFileBytes, &bytes, &size, &error) ||
                !definitions_.readText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                       archive + ":" + member, &error))
                problems_.push_back(error);
        }
        roots_.push_back(std::move(place));
    }
}

void MaterialLibrary::load(const std::string& mapDir, const std::vector<std::string>& textureDirs,
                           const std::vector<std::string>& assetPaths) {
    mapDir_ = mapDir;
    textureDirs_ = textureDirs;
    definitions_ = MaterialDefinitions();
    problems_.clear();
    filesRead_.clear();
    roots_.clear();
    if (std::string root = assetRootOfMapDir(mapDir); !root.empty()) addRoot(root);
    for (const std::string& path : assetPaths) addRoot(path);
    places_.clear();
    places_.push_back({mapDir, {}, {}});
    for (const std::string& dir : textureDirs) places_.push_back({dir, {}, {}});
    places_.insert(places_.end(), roots_.begin(), roots_.end());
}

bool MaterialLibrary::findIn(const std::vector<Place>& places, const std::string& imagePath,
                             MaterialSource* source) const {
    const std::vector<std::string> candidates = imageCandidates(imagePath);
    for (const Place& place : places) {
        if (place.archive.empty()) {
            if ((source->file = findImageInFolders(imagePath, {place.folder}))) return true;
            continue;
        }
        for (const std::string& candidate : candidates) {
            std::string key = lowered(candidate);
            std::replace(key.begin(), key.end(), '\\', '/');
            const auto found = place.members.find(key);
            if (found == place.members.end()) continue;
            source->archive = place.archive;
            source->member = found->second;
            source->file = place.archive + ":" + found->second;
            return true;
        }
    }
    return false;
}

MaterialSource MaterialLibrary::find(const std::string& materialName) const {
    MaterialSource source;
    source.definition = definitions_.find(materialName);
    if (source.definition) {
        source.look = lookOf(*source.definition);
        if (findIn(places_, source.look.image, &source)) return source;
    }
    source.file = findMaterialImage(materialName, mapDir_, textureDirs_);
    if (!source.file && !fs::path(materialName).is_absolute()) findIn(roots_, materialName, &source);
    return source;
}

bool MaterialLibrary::readHead(const MaterialSource& source, uint32_t maxSide, ImageFileHead* out,
                               std::string* error) {
    if (!source.file) return false;
    if (source.archive.empty()) return readImageHead(source.file->c_str(), maxSide, out, error);
    return readImageHeadInArchive(source.archive, source.member, maxSide, out, error);
}

}  // namespace q
