#include "world/scene.h"

#include "gpu/device.h"

namespace q {

Scene::~Scene() = default;

void Scene::init() {
    camera = std::make_unique<Camera>();
    camera->scene = this;
    // The ground's texture waits for the map: it is looked for beside it.
    terrain = std::make_unique<Terrain>(device, 128, 128, false);
}

MapInstance* Scene::addInstance(MapData* map) {
    instances.push_back(std::make_unique<MapInstance>());
    MapInstance* instance = instances.back().get();
    instance->scene = this;
    instance->index = static_cast<int>(instances.size()) - 1;
    instance->bindMap(map);
    instance->mesh = meshOf(map);
    return instance;
}

void Scene::locateCamera() {
    if (!camera) return;
    const Bounds box = Bounds::aroundPoint(camera->position, {100.0f, 100.0f, 100.0f});
    int found = -1;
    for (size_t i = 0; i < instances.size(); ++i) {
        if (!Bounds::disjoint(box, instances[i]->worldBounds)) {
            found = static_cast<int>(i);
            break;
        }
    }
    camera->instanceIndex = found;
    if (found >= 0) {
        // In solid space the lookup yields no area; the last area found stays,
        // so the overlay and the trace always hold a real area number. Free
        // flight goes through walls on purpose: being in one is no problem.
        const int area = instances[found]->areaAt(camera->position, !camera->freeFlight);
        if (area >= 0) camera->areaIndex = area;
    }
}

MapInstance* Scene::instanceAt(int index) const {
    return index >= 0 && static_cast<size_t>(index) < instances.size() ? instances[static_cast<size_t>(index)].get()
                                                                      : nullptr;
}

}  // namespace q
