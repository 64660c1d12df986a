#include "app/map_reload.h"

#include <utility>

#include "world/scene.h"
#include "world/standard_placements.h"

namespace q {

bool reloadScene(std::unique_ptr<Scene>& scene, const std::string& mapBase, int instanceCount, std::string* error) {
    Scene& old = *scene;
    auto fresh = std::make_unique<Scene>();
    fresh->device = old.device;
    fresh->graphics = old.graphics;
    fresh->input = old.input;
    // Every place the first load looked in, so the new map finds what it did.
    fresh->textureDirs = old.textureDirs;
    fresh->assetDirs = old.assetDirs;
    fresh->untexturedGrid = old.untexturedGrid;
    fresh->useMapSource = old.useMapSource;
    fresh->imageLimits = old.imageLimits;
    fresh->showPortals = old.showPortals;
    fresh->mapLights = old.mapLights;
    // The same ground (its heights are random) with the texture it has.
    fresh->terrain = std::move(old.terrain);
    MapData* map = fresh->loadMap(mapBase.c_str(), error);
    if (!map) {
        old.terrain = std::move(fresh->terrain);
        return false;
    }
    placeStandardInstances(*fresh, map, instanceCount);
    fresh->camera = std::move(old.camera);
    if (fresh->camera) fresh->camera->scene = fresh.get();
    scene = std::move(fresh);
    return true;
}

}  // namespace q
