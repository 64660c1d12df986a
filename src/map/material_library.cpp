#include "map/material_library.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
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

// FOLDER/*.EXTENSION of a root (materials/*.mtr by default), in name order;
// the folder's name and the extension in any letter case.
std::vector<std::string> definitionFiles(const std::string& root, std::string_view folder = "materials",
                                         std::string_view extension = ".mtr") {
    std::vector<std::string> files;
    std::error_code ec;
    const fs::path base = root.empty() ? fs::path(".") : fs::path(root);
    for (fs::directory_iterator dir(base, ec), end; !ec && dir != end; dir.increment(ec)) {
        std::error_code kind;
        if (lowered(dir->path().filename().string()) != folder || !dir->is_directory(kind)) continue;
        for (fs::directory_iterator file(dir->path(), ec); !ec && file != end; file.increment(ec))
            if (lowered(file->path().extension().string()) == extension && file->is_regular_file(kind))
                files.push_back(file->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The zip archives directly inside a folder, the last name first: regular
// files with an archive's name, and the other regular files that begin as an
// archive does (nothing else is opened, and nothing is read that could block).
std::vector<std::string> archivesIn(const std::string& folder) {
    std::vector<std::string> archives;
    std::error_code ec;
    for (fs::directory_iterator dir(folder.empty() ? fs::path(".") : fs::path(folder), ec), end; !ec && dir != end;
         dir.increment(ec)) {
        std::error_code kind;
        if (!dir->is_regular_file(kind)) continue;
        const std::string path = dir->path().string();
        // A file that says it is empty (as those of /proc do) is not opened to look.
        if (hasArchiveName(path) || (dir->file_size(kind) > 0 && !kind && isZipArchive(path)))
            archives.push_back(path);
    }
    std::sort(archives.rbegin(), archives.rend());
    return archives;
}

}  // namespace

std::shared_ptr<const MaterialLibrary::ArchiveIndex> MaterialLibrary::indexOf(
    const std::string& archive, std::map<std::string, std::shared_ptr<const ArchiveIndex>>* kept) {
    if (const auto known = archives_.find(archive); known != archives_.end() && known->second->zip->unchanged())
        return (*kept)[archive] = known->second;
    std::string error;
    std::shared_ptr<const ZipArchive> zip = ZipArchive::open(archive, &error);
    if (!zip) {
        problems_.push_back(error);
        return nullptr;
    }
    auto index = std::make_shared<ArchiveIndex>();
    index->zip = zip;
    index->members.reserve(zip->members().size());
    for (const std::string& name : zip->members()) {
        std::string key = lowered(name);
        if (isDefinitionFile(key)) index->definitionFiles.push_back(name);
        index->members.emplace(std::move(key), name);  // the first of names alike in case
    }
    std::sort(index->definitionFiles.begin(), index->definitionFiles.end());
    return (*kept)[archive] = std::move(index);
}

void MaterialLibrary::addRoot(const std::string& path,
                              std::map<std::string, std::shared_ptr<const ArchiveIndex>>* kept) {
    std::error_code ec;
    std::vector<std::string> archives;
    if (fs::is_directory(path, ec)) {
        roots_.push_back({path, nullptr});
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
        const std::shared_ptr<const ArchiveIndex> index = indexOf(archive, kept);
        if (!index) continue;
        for (const std::string& member : index->definitionFiles) {
            const std::string name = archive + ":" + member;
            std::vector<uint8_t> bytes;
            uint64_t size = 0;
            std::string error;
            if (!index->zip->read(member, MaterialDefinitions::kMaxFileBytes, ZipArchive::Reading::Whole, &bytes, &size,
                                  &error)) {
                problems_.push_back(error);
            } else if (size > MaterialDefinitions::kMaxFileBytes) {  // refused as the same file loose is
                problems_.push_back(name + ": " + std::to_string(size) +
                                    " bytes, more than a definition file may have (" +
                                    std::to_string(MaterialDefinitions::kMaxFileBytes >> 20) + " MiB)");
            } else if (!definitions_.readText(
                           std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), name, &error)) {
                problems_.push_back(error);
            }
        }
        roots_.push_back({{}, index});
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
    std::map<std::string, std::shared_ptr<const ArchiveIndex>> kept;
    if (std::string root = assetRootOfMapDir(mapDir); !root.empty()) addRoot(root, &kept);
    for (const std::string& path : assetPaths) addRoot(path, &kept);
    archives_ = std::move(kept);  // an archive no longer among the roots is let go
    places_.clear();
    places_.push_back({mapDir, nullptr});
    for (const std::string& dir : textureDirs) places_.push_back({dir, nullptr});
    places_.insert(places_.end(), roots_.begin(), roots_.end());
}

bool MaterialLibrary::findIn(const std::vector<Place>& places, const std::string& imagePath,
                             MaterialSource* source) const {
    const std::vector<std::string> candidates = imageCandidates(imagePath);
    for (const Place& place : places) {
        if (!place.archive) {
            if ((source->file = findImageInFolders(imagePath, {place.folder}))) return true;
            continue;
        }
        for (const std::string& candidate : candidates) {
            std::string key = lowered(candidate);
            std::replace(key.begin(), key.end(), '\\', '/');
            const auto found = place.archive->members.find(key);
            if (found == place.archive->members.end()) continue;
            source->zip = place.archive->zip;
            source->archive = source->zip->path();
            source->member = found->second;
            source->file = source->archive + ":" + found->second;
            return true;
        }
    }
    return false;
}

std::optional<AssetFile> MaterialLibrary::findInRoots(const std::string& path) const {
    if (path.empty() || !refusedImagePath(path).empty()) return std::nullopt;
    std::string normal = path;
    std::replace(normal.begin(), normal.end(), '\\', '/');
    const std::string key = lowered(normal);
    for (const Place& place : roots_) {
        if (!place.archive) {
            if (std::optional<std::string> file = findFileInFolder(normal, place.folder)) return AssetFile{*file, {}, {}};
            continue;
        }
        const auto found = place.archive->members.find(key);
        if (found != place.archive->members.end())
            return AssetFile{place.archive->zip->path() + ":" + found->second, place.archive->zip, found->second};
    }
    return std::nullopt;
}

void MaterialLibrary::readRootFiles(std::string_view folder, std::string_view extension, uint64_t maxBytes,
                                    const std::function<void(std::string_view, const std::string&)>& read,
                                    std::vector<std::string>* problems) const {
    const std::string prefix = std::string(folder) + "/";
    for (const Place& place : roots_) {
        if (!place.archive) {
            for (const std::string& file : definitionFiles(place.folder, folder, extension)) {
                std::error_code ec;
                const uintmax_t bytes = fs::file_size(file, ec);
                std::ifstream in(file, std::ios::binary);
                std::string text(ec || bytes > maxBytes ? 0 : static_cast<size_t>(bytes), '\0');
                if (!ec && bytes > maxBytes)
                    problems->push_back(file + ": " + std::to_string(bytes) + " bytes, more than such a file may have");
                else if (ec || !in.read(text.data(), static_cast<std::streamsize>(text.size())))
                    problems->push_back(file + ": cannot be read");
                else
                    read(text, file);
            }
            continue;
        }
        std::vector<std::string> members;
        for (const auto& [key, member] : place.archive->members)
            if (key.starts_with(prefix) && key.ends_with(extension) && key.find('/', prefix.size()) == std::string::npos)
                members.push_back(member);
        std::sort(members.begin(), members.end());
        for (const std::string& member : members) {
            const std::string name = place.archive->zip->path() + ":" + member;
            std::vector<uint8_t> bytes;
            uint64_t size = 0;
            std::string error;
            if (!place.archive->zip->read(member, maxBytes, ZipArchive::Reading::Whole, &bytes, &size, &error))
                problems->push_back(error);
            else if (size > maxBytes)
                problems->push_back(name + ": " + std::to_string(size) + " bytes, more than such a file may have");
            else
                read(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), name);
        }
    }
}

std::vector<std::string> MaterialLibrary::looseRootFiles(std::string_view folder, std::string_view extension) const {
    std::vector<std::string> files;
    for (const Place& place : roots_)
        if (!place.archive)
            for (std::string& file : definitionFiles(place.folder, folder, extension)) files.push_back(std::move(file));
    return files;
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
    if (!source.zip) return readImageHead(source.file->c_str(), maxSide, out, error);
    return readImageHeadInArchive(source.zip, source.member, maxSide, out, error);
}

}  // namespace q
