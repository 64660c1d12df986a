#include "world/scene.h"

#include "platform/gpu/device.h"
#include "world/camera.h"
#include "world/terrain.h"

namespace q {

Scene::~Scene() { release(); }

void Scene::init() {
    camera = new Camera();
    camera->scene = this;
    terrain = new Terrain(device, 128, 128);
}

MapInstance* Scene::addInstance(MapData* map) {
    MapInstance* instance = new MapInstance();
    instance->scene = this;
    instance->index = static_cast<int>(instances.size());
    instances.push_back(instance);
    instance->bindMap(map);
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
        // so the overlay and the render pass always hold a real area number.
        const int area = instances[found]->areaAt(camera->position);
        if (area >= 0) camera->areaIndex = area;
    }
}

void Scene::release() {
    delete camera;
    camera = nullptr;
    if (terrain) {
        terrain->release();
        delete terrain;
        terrain = nullptr;
    }
    for (TextureEntry& entry : textures)
        if (entry.texture) entry.texture->release();
    std::vector<TextureEntry>().swap(textures);
    if (gridTexture_) gridTexture_->release();
    gridTexture_ = nullptr;
    for (MapData* map : maps) {
        map->releaseBuffers();
        delete map;
    }
    std::vector<MapData*>().swap(maps);
    for (MapInstance* instance : instances) delete instance;
    std::vector<MapInstance*>().swap(instances);
}

}  // namespace q
