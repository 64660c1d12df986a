// The scene's map loading and its material texture cache.

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "map/material_image.h"
#include "platform/report.h"
#include "render/grid_texture.h"
#include "render/texture_file.h"
#include "world/scene.h"

namespace q {

namespace {

// Stands between the surface reader and the cache for one load: asks the cache
// once per material name, and tells the person afterwards, in one line each,
// which material images were not found and which could not be used. Real maps
// name many images that are not there; a line per surface would bury
// everything else.
class MaterialTally : public TextureSource {
public:
    explicit MaterialTally(Scene& scene) : scene_(scene) {}

    gpu::Texture* getTexture(const char* materialName) override {
        const auto known = results_.find(materialName);
        if (known != results_.end()) return known->second;
        MaterialImageOutcome outcome = MaterialImageOutcome::Loaded;
        std::string problem;
        gpu::Texture* texture = scene_.materialTexture(materialName, &outcome, &problem);
        results_.emplace(materialName, texture);
        if (outcome == MaterialImageOutcome::Missing) missing_.push_back(materialName);
        if (outcome == MaterialImageOutcome::Unusable) unusable_.push_back(problem);
        return texture;
    }

    // "3 of 10 material images missing: a, b, c (...)", the first few names,
    // or empty when every image was found.
    std::string missingSummary() const {
        if (missing_.empty()) return {};
        std::string line = std::to_string(missing_.size()) + " of " + std::to_string(results_.size()) +
                           " material images missing: " + firstFew(missing_, ", ") +
                           " (looked for as .jpg, .png, .tga and .dds beside the map and in each --textures DIR; "
                           "their surfaces are drawn ";
        line += scene_.untexturedGrid ? "with a grey grid)" : "untextured, or with a grey grid under --untextured grid)";
        return line;
    }

    // "2 material images could not be used ...: <file>: <what>; ...", or empty.
    std::string unusableSummary() const {
        if (unusable_.empty()) return {};
        return std::to_string(unusable_.size()) + " material images could not be used, their surfaces are drawn " +
               (scene_.untexturedGrid ? "with a grey grid: " : "untextured: ") + firstFew(unusable_, "; ");
    }

private:
    static std::string firstFew(const std::vector<std::string>& items, const char* separator) {
        constexpr size_t kShown = 5;
        std::string text;
        for (size_t i = 0; i < items.size() && i < kShown; ++i) text += (i ? separator : "") + items[i];
        if (items.size() > kShown) text += " ...";
        return text;
    }

    Scene& scene_;
    std::map<std::string, gpu::Texture*> results_;
    std::vector<std::string> missing_;   // material names, in the order first asked for
    std::vector<std::string> unusable_;  // "<file>: <what>", likewise
};

}  // namespace

MapData* Scene::loadMap(const char* baseName, std::string* error) {
    constexpr size_t kLongestBaseName = 122;  // ".proc" and the terminating zero fit in 128 bytes
    if (std::strlen(baseName) > kLongestBaseName) {
        *error = "map name longer than 122 characters: " + std::string(baseName, 40) + "...";
        return nullptr;
    }
    auto* map = new MapData();
    mapDir = std::filesystem::path(baseName).parent_path().string();
    MaterialTally tally(*this);
    const std::string procName = std::string(baseName) + ".proc";
    const std::string collisionName = std::string(baseName) + ".cm";
    if (!map->readProcFile(procName.c_str(), &tally, error) ||
        !map->readCollisionFile(collisionName.c_str(), error)) {
        // Nothing of a map that did not load is kept; textures it brought into
        // the cache stay there for the next map that names them.
        map->releaseBuffers();
        delete map;
        return nullptr;
    }
    for (const std::string& line : {tally.missingSummary(), tally.unusableSummary()})
        if (!line.empty()) warn(line.c_str());
    maps.push_back(map);
    return map;
}

gpu::Texture* Scene::getTexture(const char* materialName) {
    return materialTexture(materialName, nullptr, nullptr);
}

gpu::Texture* Scene::materialTexture(const char* materialName, MaterialImageOutcome* outcome, std::string* problem) {
    MaterialImageOutcome ignored;
    if (!outcome) outcome = &ignored;
    *outcome = MaterialImageOutcome::Loaded;
    for (const TextureEntry& entry : textures)
        if (std::strcmp(entry.name, materialName) == 0) return entry.texture;

    TextureEntry entry;
    const size_t length = std::strlen(materialName);
    *outcome = MaterialImageOutcome::Missing;
    if (length >= sizeof entry.name || !device) return standIn(*outcome);  // no name the cache can hold
    const std::optional<std::string> file = findMaterialImage(materialName, mapDir, textureDirs);
    if (!file) return standIn(*outcome);
    std::memcpy(entry.name, materialName, length + 1);
    entry.file = *file;
    // Failures stay silent here: the map load sums them up in one line.
    entry.texture = loadTextureFile(*device, file->c_str(), problem);
    if (!entry.texture) {
        // Not cached: asked again, tried again.
        *outcome = MaterialImageOutcome::Unusable;
        return standIn(*outcome);
    }
    *outcome = MaterialImageOutcome::Loaded;
    textures.push_back(std::move(entry));
    return textures.back().texture;
}

gpu::Texture* Scene::standIn(MaterialImageOutcome outcome) {
    if (outcome == MaterialImageOutcome::Loaded || !untexturedGrid || !device) return nullptr;
    if (!gridTexture_) gridTexture_ = createGridTexture(*device);
    return gridTexture_;
}

}  // namespace q
