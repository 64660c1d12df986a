#include "map/material_image.h"

#include <cctype>
#include <filesystem>
#include <system_error>
#include <unordered_map>

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
    // The entry of dir whose name equals name when case is ignored; empty when
    // there is none. Where several do, the first in byte order is taken, so the
    // choice does not depend on the order the directory lists them in.
    std::string find(const fs::path& dir, const std::string& name) {
        const fs::path listed = dir.empty() ? fs::path(".") : dir;
        std::error_code ec;
        const fs::file_time_type changed = fs::last_write_time(listed, ec);
        if (ec) return {};
        Listing& listing = listings_[listed.string()];
        if (!listing.read || listing.changed != changed) readListing(listed, changed, &listing);
        const auto found = listing.byFoldedName.find(folded(name));
        return found == listing.byFoldedName.end() ? std::string() : found->second;
    }

private:
    struct Listing {
        bool read = false;
        fs::file_time_type changed;
        std::unordered_map<std::string, std::string> byFoldedName;
    };

    static void readListing(const fs::path& dir, fs::file_time_type changed, Listing* listing) {
        listing->read = true;
        listing->changed = changed;
        listing->byFoldedName.clear();
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            auto [slot, added] = listing->byFoldedName.try_emplace(folded(name), name);
            if (!added && name < slot->second) slot->second = std::move(name);
        }
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
    fs::path at = base;
    for (const fs::path& part : relative) {
        fs::path next = at / part;
        std::error_code ec;
        if (!fs::exists(next, ec)) {
            const std::string actual = foldedNames().find(at, part.string());
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

}  // namespace q
