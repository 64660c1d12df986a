#include "map/material_image.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace q {

namespace {

namespace fs = std::filesystem;

std::string folded(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Directory listings keyed by name without case, each kept until its
// directory changes, so that a map of thousands of surfaces reads each
// directory once instead of once per surface.
class FoldedNames {
public:
    // The entry of dir of the kind asked for (a directory, or else a regular
    // file) whose name equals name when case is ignored; empty when there is
    // none. Where several do, the first in byte order is taken, so the choice
    // does not depend on the order the directory lists them in.
    std::string find(const fs::path& dir, const std::string& name, bool directory) {
        const fs::path listed = dir.empty() ? fs::path(".") : dir;
        std::error_code ec;
        const fs::file_time_type changed = fs::last_write_time(listed, ec);
        if (ec) return {};
        Listing& listing = listings_[listed.string()];
        if (!listing.read || listing.changed != changed) readListing(listed, changed, &listing);
        const auto found = listing.byFoldedName.find(folded(name));
        if (found == listing.byFoldedName.end()) return {};
        for (const Entry& entry : found->second)
            if (entry.directory == directory) return entry.name;
        return {};
    }

private:
    struct Entry {
        std::string name;
        bool directory;  // or else a regular file (links followed)
    };
    struct Listing {
        bool read = false;
        fs::file_time_type changed;
        std::unordered_map<std::string, std::vector<Entry>> byFoldedName;  // each in byte order
    };

    static void readListing(const fs::path& dir, fs::file_time_type changed, Listing* listing) {
        listing->read = true;
        listing->changed = changed;
        listing->byFoldedName.clear();
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code kind;
            const bool directory = it->is_directory(kind);
            if (!directory && !it->is_regular_file(kind)) continue;
            std::string name = it->path().filename().string();
            listing->byFoldedName[folded(name)].push_back({std::move(name), directory});
        }
        for (auto& [key, entries] : listing->byFoldedName)
            std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    }

    std::unordered_map<std::string, Listing> listings_;
};

FoldedNames& foldedNames() {
    static FoldedNames names;
    return names;
}

// base/relative as it stands, or else with each part of relative matched
// without regard to case.
std::optional<fs::path> resolveFile(const fs::path& base, const fs::path& relative) {
    const fs::path exact = base / relative;
    if (isRegularFile(exact)) return exact;
    // Every part but the last names a directory, the last a file: a file
    // spelled like a directory (or the other way round) is passed over.
    fs::path at = base;
    for (auto part = relative.begin(); part != relative.end(); ++part) {
        const bool directory = std::next(part) != relative.end();
        fs::path next = at / *part;
        std::error_code ec;
        if (directory ? !fs::is_directory(next, ec) : !isRegularFile(next)) {
            const std::string actual = foldedNames().find(at, part->string(), directory);
            if (actual.empty()) return std::nullopt;
            next = at / actual;
        }
        at = std::move(next);
    }
    if (isRegularFile(at)) return at;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> findMaterialImage(const std::string& materialName, const std::string& mapDir,
                                             const std::vector<std::string>& textureDirs) {
    if (materialName.empty()) return std::nullopt;
    if (fs::path(materialName).is_absolute()) {
        for (const char* extension : kMaterialImageExtensions) {
            const fs::path name = materialName + extension;
            if (auto found = resolveFile(name.root_path(), name.relative_path())) return found->string();
        }
        return std::nullopt;
    }
    // A directory is searched for every extension before the next directory:
    // an image beside the map wins over one in a shared texture folder.
    std::vector<std::string> dirs{mapDir};
    dirs.insert(dirs.end(), textureDirs.begin(), textureDirs.end());
    for (const std::string& dir : dirs)
        for (const char* extension : kMaterialImageExtensions)
            if (auto found = resolveFile(dir, materialName + extension)) return found->string();
    return std::nullopt;
}

std::vector<std::string> imageCandidates(const std::string& imagePath) {
    if (imagePath.empty()) return {};
    fs::path stem(imagePath);
    const std::string extension = folded(stem.extension().string());
    for (const char* known : kMaterialImageExtensions)
        if (extension == known) stem.replace_extension();
    std::vector<std::string> candidates{imagePath};
    for (const char* known : kMaterialImageExtensions) candidates.push_back(stem.string() + known);
    candidates.push_back((fs::path("dds") / stem).string() + ".dds");
    return candidates;
}

std::optional<std::string> findImageInFolders(const std::string& imagePath, const std::vector<std::string>& folders) {
    const std::vector<std::string> candidates = imageCandidates(imagePath);
    for (const std::string& folder : folders)
        for (const std::string& candidate : candidates)
            if (auto found = resolveFile(folder, candidate)) return found->string();
    return std::nullopt;
}

std::optional<std::string> findFileInFolder(const std::string& relative, const std::string& folder) {
    if (auto found = resolveFile(folder, relative)) return found->string();
    return std::nullopt;
}

std::string assetRootOfMapDir(const std::string& mapDir) {
    std::error_code ec;
    fs::path dir = fs::absolute(mapDir.empty() ? fs::path(".") : fs::path(mapDir), ec).lexically_normal();
    if (ec) return {};
    if (!dir.has_filename()) dir = dir.parent_path();
    if (folded(dir.filename().string()) != "maps") return {};
    return dir.parent_path().string();
}

}  // namespace q
