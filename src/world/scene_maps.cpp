// The scene's map loading and its material texture cache.

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/proc_reader.h"
#include "map/map_source.h"
#include "map/mesh_materials.h"
#include "map/material_image.h"
#include "image/image_budget.h"
#include "platform/report.h"
#include "gpu/device.h"
#include "render/graphics_device.h"
#include "render/grid_texture.h"
#include "render/image_decode_queue.h"
#include "render/map_mesh.h"
#include "render/texture_file.h"
#include "world/scene.h"

namespace q {

namespace {

// Loads the textures of one map's materials, in the material table's order:
// each material is looked up once; an image found is queued to be decoded on
// worker threads, and finish() makes the textures on this thread (the
// device's) and gives each material its own. Afterwards it tells the person,
// in one line each, which material images were not found and which could not
// be used: real maps name many images that are not there, and a line per
// surface would bury everything else.
class DeferredTextureLoader {
public:
    explicit DeferredTextureLoader(Scene& scene)
        : scene_(scene),
          decoder_(scene.device && !scene.device->supportsBlockCompression()),
          budget_(scene.imageLimits) {}

    // Starts the texture of the map's material `index`, named as the reader
    // meets it, so that its image decodes while the rest of the map is read.
    void materialNamed(size_t index, const std::string& name) {
        if (textures_.size() <= index) textures_.resize(index + 1, nullptr);
        textures_[index] = firstLook(name, index, false);
        ++asked_;
        // The light passes read its normal and specular maps beside its image.
        const MaterialDefinition* definition = scene_.materialLibrary.definitions().find(name);
        if (!definition || !scene_.device) return;
        for (auto [kind, path] : {std::pair{&normalOf_, normalMapOf(*definition)},
                                  std::pair{&specularOf_, specularMapOf(*definition)}}) {
            if (path.empty()) continue;
            if (kind->size() <= index) kind->resize(index + 1, kNone);
            (*kind)[index] = lightingImage(path);
        }
    }

    // Starts each light's projected image and falloff image, as its
    // material's definition names them (none: a round light, a smooth falloff).
    void lightsNamed(const std::vector<MapLight>& lights) {
        if (!scene_.device) return;
        lightImageOf_.assign(lights.size(), kNone);
        falloffOf_.assign(lights.size(), kNone);
        for (size_t i = 0; i < lights.size(); ++i) {
            const MaterialDefinition* definition = scene_.materialLibrary.definitions().find(lights[i].material);
            if (!definition) continue;
            if (const std::string image = lightImageOf(*definition); !image.empty()) lightImageOf_[i] = lightingImage(image);
            if (const std::string image = lightFalloffImageOf(*definition); !image.empty())
                falloffOf_[i] = lightingImage(image);
        }
    }

    // After finish: the textures of the materials' normal and specular maps
    // (by material, `count` of them) and of the lights' images (by light).
    std::vector<const gpu::Texture*> normalMaps(size_t count) const { return texturesOf(normalOf_, count); }
    std::vector<const gpu::Texture*> specularMaps(size_t count) const { return texturesOf(specularOf_, count); }
    std::vector<const gpu::Texture*> lightImages() const { return texturesOf(lightImageOf_, lightImageOf_.size()); }
    std::vector<const gpu::Texture*> lightFalloffs() const { return texturesOf(falloffOf_, falloffOf_.size()); }

    // Makes the queued images' textures in turn, puts them into the cache,
    // and hands back each material's texture, by index (null: untextured).
    std::vector<const gpu::Texture*> finish(size_t materialCount) {
        textures_.resize(materialCount, nullptr);
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
            if (!texture) unusable_.push_back(problem);
            if (pending.lighting) {
                lighting_[pending.material] = texture;
                continue;
            }
            if (!texture) texture = scene_.standInTexture(pending.name.c_str());
            textures_[pending.material] = texture;
        }
        return std::move(textures_);
    }

    // "3 of 10 material images missing: a, b, c (...)", the first few names,
    // or empty when every image was found.
    std::string missingSummary() const {
        if (missing_.empty()) return {};
        std::string line = std::to_string(missing_.size()) + " of " +
                           countOf(asked_, "material image", "material images") +
                           " missing: " + firstFew(missing_, ", ") +
                            " (looked for as .jpg, .png, .tga and .dds beside the map, in each --textures DIR and in the asset roots; " +
                           (missing_.size() == 1 ? "its" : "their") + " surfaces are drawn ";
        line += scene_.untexturedGrid ? "with a grey grid)" : "untextured, or with a grey grid under --untextured grid)";
        return line;
    }

    // "2 of 5 normal, specular and light images missing: a, b (...)", or empty.
    std::string lightingMissingSummary() const {
        if (lightingMissing_.empty()) return {};
        return std::to_string(lightingMissing_.size()) + " of " +
               countOf(lighting_.size(), "normal, specular or light image", "normal, specular and light images") +
               " missing: " + firstFew(lightingMissing_, ", ") +
               " (their surfaces are lit by their vertex normals, without a specular term; their lights are round "
               "with a smooth falloff)";
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
        size_t material;      // its index in the map's materials (in lighting_ for a lighting image)
        bool chargedFromHead;  // false: the header gave no size, the decoded image is charged
        bool lighting = false;  // a normal, specular, light or falloff image
    };
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // A normal, specular, light or falloff image, queued once however many
    // materials and lights name it; its index in lighting_. One that is not
    // found or cannot be used gets no stand-in: without it a surface keeps
    // its vertex normal and a light its round shape.
    size_t lightingImage(const std::string& path) {
        const auto known = lightingIndex_.find(path);
        if (known != lightingIndex_.end()) return known->second;
        const size_t index = lighting_.size();
        lighting_.push_back(nullptr);
        lightingIndex_.emplace(path, index);
        lighting_[index] = firstLook(path, index, true);
        return index;
    }

    std::vector<const gpu::Texture*> texturesOf(const std::vector<size_t>& indices, size_t count) const {
        std::vector<const gpu::Texture*> out(count, nullptr);
        for (size_t i = 0; i < indices.size() && i < count; ++i)
            if (indices[i] != kNone) out[i] = lighting_[indices[i]];
        return out;
    }

    // The texture when it is known at once, null when none is there or it is
    // queued (the material's index says whose it is).
    const gpu::Texture* firstLook(const std::string& materialName, size_t material, bool lighting) {
        if (gpu::Texture* cached = scene_.cachedTexture(materialName.c_str())) return cached;
        const MaterialSource source = scene_.materialSource(materialName.c_str());
        const std::optional<std::string>& file = source.file;
        if (!file && lighting) {
            lightingMissing_.push_back(materialName);
            return nullptr;
        }
        if (!file) {
            missing_.push_back(materialName);
            return scene_.standInTexture(materialName.c_str());
        }
        if (source.archive.empty()) scene_.imageFilesOpened.push_back(*file);
        // The image's size is known from its header: one too large, or one
        // that would take the map past its budget, is refused before any
        // memory goes to it.
        ImageFileHead head;
        std::string problem;
        if (!MaterialLibrary::readHead(source, scene_.imageLimits.maxSide, &head, &problem) ||
            !budget_.chargeHead(head, &problem)) {
            unusable_.push_back(problem);
            return lighting ? nullptr : scene_.standInTexture(materialName.c_str());
        }
        const bool chargedFromHead = head.decodedBytes() > 0;
        decoder_.add(std::move(head));
        pending_.push_back({materialName, *file, material, chargedFromHead, lighting});
        return nullptr;
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
    std::vector<Pending> pending_;
    std::vector<const gpu::Texture*> textures_;  // by material index
    size_t asked_ = 0;                           // materials looked up
    std::vector<std::string> missing_;   // material names, in the order first asked for
    std::vector<std::string> unusable_;  // "<file>: <what>", likewise
    // The lighting images by index, each path once; which material or light reads which.
    std::vector<const gpu::Texture*> lighting_;
    std::map<std::string, size_t> lightingIndex_;
    std::vector<std::string> lightingMissing_;
    std::vector<size_t> normalOf_, specularOf_;     // by material
    std::vector<size_t> lightImageOf_, falloffOf_;  // by light
};

}  // namespace

MapData* Scene::loadMap(const char* baseName, std::string* error) {
    auto map = std::make_unique<MapData>();
    mapDir = std::filesystem::path(baseName).parent_path().string();
    materialLibrary.load(mapDir, textureDirs, assetDirs);
    for (const std::string& problem : materialLibrary.problems())
        warn((problem + " (left out; the rest of the map's assets are used)").c_str());
    DeferredTextureLoader loader(*this);
    const std::string procName = std::string(baseName) + ".proc";
    const std::string collisionName = std::string(baseName) + ".cm";
    // The map source beside the map says where its entity models stand; read
    // first, so that the models it places are kept as they are read.
    MapSource source;
    const bool haveSource = useMapSource && readMapSourceBeside(baseName, &source);
    ProcReadOptions options;
    options.source = haveSource ? &source : nullptr;
    options.definitions = &materialLibrary.definitions();
    options.materialNamed = [&loader](size_t index, const Material& material) {
        loader.materialNamed(index, material.name);
    };
    if (!readProcFile(procName, options, map.get(), error) ||
        !readCollisionFile(collisionName.c_str(), map.get(), error)) {
        // Nothing of a map that did not load is kept; textures it brought
        // into the cache stay there for the next map that names them.
        return nullptr;
    }
    // Mesh models and lights both follow their entities' classes; without a
    // map source there are none, and every shadow volume is of no light.
    EntityDefinitions definitions;
    if (haveSource) {
        map->placeEntities(source);
        definitions = entityDefinitionsOf(materialLibrary);
        placeMeshModels(source, definitions, materialLibrary, map.get());
        // The meshes' materials join the surfaces' table, their images
        // queued on the same loader: a texture per material serves both.
        addMeshMaterials(map.get(), options.definitions, options.materialNamed);
        for (const auto& [folder, extension] : {std::pair{"def", ".def"}, std::pair{"skins", ".skin"}})
            for (std::string& file : materialLibrary.looseRootFiles(folder, extension))
                entityFilesRead.push_back(std::move(file));
        for (const MeshFile& file : map->meshModels.files)
            if (!file.found.empty() && file.archive.empty()) entityFilesRead.push_back(file.found);
    }
    placeLights(source, &definitions, map.get());
    loader.lightsNamed(map->lights);
    std::unique_ptr<MapMesh> mesh;
    if (device) {
        mesh = std::make_unique<MapMesh>();
        if (!mesh->build(*device, *map, graphics ? &graphics->surfaces() : nullptr, error)) {
            *error = procName + ": " + *error;
            return nullptr;
        }
    }
    std::unique_ptr<ShadowVolumes> shadows;
    if (device) {
        shadows = std::make_unique<ShadowVolumes>();
        if (!shadows->build(*device, *map, materialLibrary.definitions(), error)) {
            *error = procName + ": " + *error;
            return nullptr;
        }
    }
    std::vector<const gpu::Texture*> materialTextures = loader.finish(map->materials.size());
    if (mesh) {
        mesh->textures = std::move(materialTextures);
        mesh->normalMaps = loader.normalMaps(map->materials.size());
        mesh->specularMaps = loader.specularMaps(map->materials.size());
        mesh->lightImages = loader.lightImages();
        mesh->lightFalloffs = loader.lightFalloffs();
        mesh->ambientLights.clear();
        for (const MapLight& light : map->lights)
            mesh->ambientLights.push_back(isAmbientLightMaterial(materialLibrary.definitions(), light.material));
        if (graphics) graphics->mapLights().prepare(*mesh, map->materials.size());
    }
    for (const std::string& line : {loader.missingSummary(), loader.unusableSummary(), loader.lightingMissingSummary()})
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
    meshes.push_back(std::move(mesh));
    shadowVolumes.push_back(std::move(shadows));
    return maps.back().get();
}

const ShadowVolumes* Scene::shadowVolumesOf(const MapData* map) const {
    for (size_t i = 0; i < maps.size() && i < shadowVolumes.size(); ++i)
        if (maps[i].get() == map) return shadowVolumes[i].get();
    return nullptr;
}

const MapMesh* Scene::meshOf(const MapData* map) const {
    for (size_t i = 0; i < maps.size() && i < meshes.size(); ++i)
        if (maps[i].get() == map) return meshes[i].get();
    return nullptr;
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
