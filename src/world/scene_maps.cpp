// The scene's map loading and its material texture cache.

#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "map/map_source.h"
#include "map/material_image.h"
#include "image/image_budget.h"
#include "platform/report.h"
#include "gpu/device.h"
#include "render/graphics_device.h"
#include "render/grid_texture.h"
#include "render/image_decode_queue.h"
#include "render/texture_file.h"
#include "world/scene.h"

namespace q {

namespace {

// Stands between the surface reader and the cache for one load. Each
// material name is looked up once; an image found is queued to be decoded on
// worker threads while the map is read, and its surfaces get a token in its
// place until finish() makes the textures and hands them out. Afterwards it
// tells the person, in one line each, which material images were not found
// and which could not be used: real maps name many images that are not there,
// and a line per surface would bury everything else.
class MaterialTally : public TextureSource {
public:
    explicit MaterialTally(Scene& scene)
        : scene_(scene),
          decoder_(scene.device && !scene.device->supportsBlockCompression()),
          budget_(scene.imageLimits) {}

    gpu::Texture* getTexture(const char* materialName) override {
        const auto known = results_.find(materialName);
        if (known != results_.end()) return known->second;
        gpu::Texture* texture = firstLook(materialName);
        results_.emplace(materialName, texture);
        return texture;
    }

    MaterialLook materialLook(const char* materialName) override { return scene_.materialLook(materialName); }

    // Makes the queued images' textures in turn (on this thread, the device's),
    // puts them into the cache, and gives the map's surfaces their textures in
    // place of the tokens.
    void finish(MapData& map) {
        std::map<const gpu::Texture*, gpu::Texture*> bound;
        for (const Pending& pending : pending_) {
            TextureImage image;
            std::string problem;
            gpu::Texture* texture = nullptr;
            if (decoder_.takeNext(&image, &problem) &&
                budget_.chargeDecoded(pending.file, pending.chargedFromHead, image, &problem)) {
                gpu::DeviceHandle<gpu::Texture> made =
                    createTextureFromImage(*scene_.device, image, pending.file.c_str(), &problem);
                if (made) texture = scene_.addTexture(pending.name.c_str(), pending.file, std::move(made));
            }
            if (!texture) {
                unusable_.push_back(problem);
                texture = scene_.standInTexture(pending.name.c_str());
            }
            bound[pending.token] = texture;
        }
        auto bind = [&](Area& area) {
            for (SurfaceGroup& group : area.surfaceGroups)
                for (Surface& surface : group.surfaces) {
                    const auto found = bound.find(surface.texture);
                    if (found != bound.end()) surface.texture = found->second;
                }
        };
        for (Area& area : map.areas) bind(area);
        for (EntityModel& model : map.entityModels) bind(model.geometry);
    }

    // "3 of 10 material images missing: a, b, c (...)", the first few names,
    // or empty when every image was found.
    std::string missingSummary() const {
        if (missing_.empty()) return {};
        std::string line = std::to_string(missing_.size()) + " of " +
                           countOf(results_.size(), "material image", "material images") +
                           " missing: " + firstFew(missing_, ", ") +
                            " (looked for as .jpg, .png, .tga and .dds beside the map, in each --textures DIR and in the asset roots; " +
                           (missing_.size() == 1 ? "its" : "their") + " surfaces are drawn ";
        line += scene_.untexturedGrid ? "with a grey grid)" : "untextured, or with a grey grid under --untextured grid)";
        return line;
    }

    // "2 material images could not be used ...: <file>: <what>; ...", or empty.
    std::string unusableSummary() const {
        if (unusable_.empty()) return {};
        return countOf(unusable_.size(), "material image", "material images") + " could not be used, " +
               (unusable_.size() == 1 ? "its" : "their") + " surfaces are drawn " +
               (scene_.untexturedGrid ? "with a grey grid: " : "untextured: ") + firstFew(unusable_, "; ");
    }

private:
    struct Pending {
        std::string name;
        std::string file;
        gpu::Texture* token;
        bool chargedFromHead;  // false: the header gave no size, the decoded image is charged
    };

    gpu::Texture* firstLook(const char* materialName) {
        if (gpu::Texture* cached = scene_.cachedTexture(materialName)) return cached;
        const MaterialSource source = scene_.materialSource(materialName);
        const std::optional<std::string>& file = source.file;
        if (!file) {
            missing_.push_back(materialName);
            return scene_.standInTexture(materialName);
        }
        if (source.archive.empty()) scene_.imageFilesOpened.push_back(*file);
        // The image's size is known from its header: one too large, or one
        // that would take the map past its budget, is refused before any
        // memory goes to it.
        ImageFileHead head;
        std::string problem;
        if (!MaterialLibrary::readHead(source, scene_.imageLimits.maxSide, &head, &problem)) {
            unusable_.push_back(problem);
            return scene_.standInTexture(materialName);
        }
        if (!budget_.chargeHead(head, &problem)) {
            unusable_.push_back(problem);
            return scene_.standInTexture(materialName);
        }
        const bool chargedFromHead = head.decodedBytes() > 0;
        decoder_.add(std::move(head));
        // A token is only ever compared, never used as a texture: finish()
        // replaces every one before anything draws.
        tokens_.emplace_back();
        gpu::Texture* token = reinterpret_cast<gpu::Texture*>(&tokens_.back());
        pending_.push_back({materialName, *file, token, chargedFromHead});
        return token;
    }

    static std::string firstFew(const std::vector<std::string>& items, const char* separator) {
        constexpr size_t kShown = 5;
        std::string text;
        for (size_t i = 0; i < items.size() && i < kShown; ++i) text += (i ? separator : "") + items[i];
        if (items.size() > kShown) text += " ...";
        return text;
    }

    Scene& scene_;
    ImageDecodeQueue decoder_;
    ImageBudget budget_;
    std::deque<char> tokens_;  // their addresses stay put as more are added
    std::vector<Pending> pending_;
    std::map<std::string, gpu::Texture*> results_;
    std::vector<std::string> missing_;   // material names, in the order first asked for
    std::vector<std::string> unusable_;  // "<file>: <what>", likewise
};

}  // namespace

MapData* Scene::loadMap(const char* baseName, std::string* error, SurfaceObserver* observer) {
    auto map = std::make_unique<MapData>();
    mapDir = std::filesystem::path(baseName).parent_path().string();
    materialLibrary.load(mapDir, textureDirs, assetDirs);
    for (const std::string& problem : materialLibrary.problems())
        warn((problem + " (left out; the rest of the map's assets are used)").c_str());
    MaterialTally tally(*this);
    const std::string procName = std::string(baseName) + ".proc";
    const std::string collisionName = std::string(baseName) + ".cm";
    // The map source beside the map says where its entity models stand; read
    // first, so that the models it places get buffers as they are read.
    MapSource source;
    const bool haveSource = useMapSource && readMapSourceBeside(baseName, &source);
    ProcReading how;
    how.device = device;
    how.textures = &tally;
    how.observer = observer;
    how.source = haveSource ? &source : nullptr;
    how.pipelines = graphics ? &graphics->surfaces : nullptr;
    if (!map->readProcFile(procName.c_str(), how, error) ||
        !map->readCollisionFile(collisionName.c_str(), error)) {
        // Nothing of a map that did not load is kept (its buffers go with it);
        // textures it brought into the cache stay there for the next map that
        // names them.
        return nullptr;
    }
    if (haveSource) map->placeEntities(source);
    placeLights(source, nullptr, map.get());  // a load reads no entity definitions
    tally.finish(*map);
    for (const std::string& line : {tally.missingSummary(), tally.unusableSummary()})
        if (!line.empty()) warn(line.c_str());
    if (map->undrawnModels > 0) {
        const std::string undrawn = procName + ": " + countOf(map->undrawnModels, "entity model", "entity models") +
                                    " (doors, lamps, movers: names other than _areaN) left undrawn: " +
                                    (haveSource      ? "no entity of " + source.fileName + " places them"
                                     : useMapSource ? "no map source (" + std::string(baseName) +
                                                          ".map) says where each entity stands"
                                                    : std::string("the map source is left unread"));
        warn(undrawn.c_str());
    }
    if (terrain && !terrain->texture) terrain->loadTexture(mapDir);
    maps.push_back(std::move(map));
    return maps.back().get();
}

gpu::Texture* Scene::getTexture(const char* materialName) {
    if (gpu::Texture* cached = cachedTexture(materialName)) return cached;
    const MaterialSource source = materialSource(materialName);
    const std::optional<std::string>& file = source.file;
    if (!file) return standInTexture(materialName);
    // A failed load is not cached: asked again, tried again.
    ImageFileHead head;
    TextureImage image;
    std::string problem;
    gpu::DeviceHandle<gpu::Texture> texture;
    if (MaterialLibrary::readHead(source, imageLimits.maxSide, &head, &problem) &&
        loadImageBody(std::move(head), &image, &problem))
        texture = createTextureFromImage(*device, image, file->c_str(), nullptr);
    if (!texture) return standInTexture(materialName);
    return addTexture(materialName, *file, std::move(texture));
}

MaterialLook Scene::materialLook(const char* materialName) {
    const MaterialDefinition* definition = materialLibrary.definitions().find(materialName);
    return definition ? lookOf(*definition) : MaterialLook{};
}

gpu::Texture* Scene::cachedTexture(const char* materialName) const {
    for (const TextureEntry& entry : textures)
        if (std::strcmp(entry.name, materialName) == 0) return entry.texture.get();
    return nullptr;
}

std::optional<std::string> Scene::materialImageFile(const char* materialName) const {
    return materialSource(materialName).file;
}

MaterialSource Scene::materialSource(const char* materialName) const {
    if (std::strlen(materialName) >= sizeof TextureEntry::name || !device) return {};
    return materialLibrary.find(materialName);
}

gpu::Texture* Scene::addTexture(const char* materialName, const std::string& file,
                                gpu::DeviceHandle<gpu::Texture> texture) {
    TextureEntry entry;
    std::memcpy(entry.name, materialName, std::strlen(materialName) + 1);
    entry.file = file;
    entry.texture = std::move(texture);
    textures.push_back(std::move(entry));
    return textures.back().texture.get();
}

gpu::Texture* Scene::standInTexture(const char* materialName) {
    if (!untexturedGrid || !device) return nullptr;
    auto found = gridTextures_.find(std::string_view(materialName));
    if (found == gridTextures_.end())
        found = gridTextures_.emplace(materialName, createGridTexture(*device, gridTint(materialName))).first;
    return found->second.get();
}

}  // namespace q
