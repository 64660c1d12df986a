// The scene's map loading and its material texture cache.

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "platform/report.h"
#include "render/texture_file.h"
#include "world/scene.h"

namespace q {

namespace {

// Stands between the surface reader and the cache for one load, to tell the
// person afterwards, in one line, which material images did not load. Real
// maps name many images that are not there as .jpg; a line per surface would
// bury everything else.
class MaterialTally : public TextureSource {
public:
    explicit MaterialTally(TextureSource& cache) : cache_(cache) {}

    gpu::Texture* getTexture(const char* fileName) override {
        gpu::Texture* texture = cache_.getTexture(fileName);
        if (seen_.insert(fileName).second && !texture) missing_.push_back(fileName);
        return texture;
    }

    // "3 of 10 material images missing: a.jpg, b.jpg, c.jpg", the first few
    // names, or empty when every image loaded.
    std::string summary() const {
        if (missing_.empty()) return {};
        constexpr size_t kNamesShown = 5;
        std::string line = std::to_string(missing_.size()) + " of " + std::to_string(seen_.size()) +
                           " material images missing: ";
        for (size_t i = 0; i < missing_.size() && i < kNamesShown; ++i)
            line += (i ? ", " : "") + missing_[i];
        if (missing_.size() > kNamesShown) line += " ...";
        return line;
    }

private:
    TextureSource& cache_;
    std::set<std::string> seen_;
    std::vector<std::string> missing_;  // in the order first asked for
};

}  // namespace

MapData* Scene::loadMap(const char* baseName, std::string* error, SurfaceObserver* observer) {
    constexpr size_t kLongestBaseName = 122;  // ".proc" and the terminating zero fit in 128 bytes
    if (std::strlen(baseName) > kLongestBaseName) {
        *error = "map name longer than 122 characters: " + std::string(baseName, 40) + "...";
        return nullptr;
    }
    auto* map = new MapData();
    MaterialTally tally(*this);
    const std::string procName = std::string(baseName) + ".proc";
    const std::string collisionName = std::string(baseName) + ".cm";
    ProcReading how;
    how.textures = &tally;
    how.observer = observer;
    if (!map->readProcFile(procName.c_str(), how, error) ||
        !map->readCollisionFile(collisionName.c_str(), error)) {
        // Nothing of a map that did not load is kept; textures it brought into
        // the cache stay there for the next map that names them.
        map->releaseBuffers();
        delete map;
        return nullptr;
    }
    const std::string missing = tally.summary();
    if (!missing.empty()) warn(missing.c_str());
    if (map->undrawnModels > 0) {
        const std::string undrawn = procName + ": " + std::to_string(map->undrawnModels) +
                                    " entity models (doors, lamps, movers: names other than _areaN) left undrawn: "
                                    "where each entity stands is not in the map files";
        warn(undrawn.c_str());
    }
    maps.push_back(map);
    return map;
}

gpu::Texture* Scene::getTexture(const char* fileName) {
    for (const TextureEntry& entry : textures)
        if (std::strcmp(entry.name, fileName) == 0) return entry.texture;

    TextureEntry entry;
    const size_t length = std::strlen(fileName);
    if (length >= sizeof entry.name || !device) return nullptr;  // no name the cache can hold
    std::memcpy(entry.name, fileName, length + 1);
    // Failures stay silent here: the map load sums them up in one line.
    entry.texture = loadTextureFile(*device, fileName, nullptr);
    if (!entry.texture) return nullptr;  // not cached: asked again, tried again
    textures.push_back(entry);
    return entry.texture;
}

}  // namespace q
