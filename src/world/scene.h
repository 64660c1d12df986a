#pragma once
// The one container of the world: loaded maps, their placed instances, the
// camera, the terrain and the material texture cache. The frame's update
// (move/camera_update.h) and render pass (vis/render_pass.h) act on it from above.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "map/map_data.h"
#include "map/material_library.h"
#include "gpu/device.h"
#include "image/image.h"
#include "render/map_mesh.h"
#include "render/shadow_volumes.h"
#include "world/camera.h"
#include "world/frame_cost.h"
#include "world/map_instance.h"
#include "world/terrain.h"

namespace q {

class GraphicsDevice;
struct InputState;

struct TextureEntry {
    gpu::DeviceHandle<gpu::Texture> texture;
    char name[124] = {};              // the material name
    std::string file;                 // the image it was loaded from
};

class Scene {
public:
    // Everything the scene holds goes with it; all of it before the device,
    // which the owner of the scene keeps alive longer (and which is not owned).
    gpu::Device* device = nullptr;
    std::vector<std::unique_ptr<MapData>> maps;
    // The GPU side of each map, side by side with maps; null without a device.
    std::vector<std::unique_ptr<MapMesh>> meshes;
    // Each map's lights' shadow volumes, side by side with maps likewise.
    std::vector<std::unique_ptr<ShadowVolumes>> shadowVolumes;
    std::vector<std::unique_ptr<MapInstance>> instances;  // index = instance number
    std::vector<TextureEntry> textures;
    // Every image file a load opened, its image used or refused (too large,
    // damaged, over the budget): files the run reads, which its outputs
    // must never replace. An archive's members are its archive's (in
    // materialLibrary.filesRead()).
    std::vector<std::string> imageFilesOpened;
    // The entity definition and skin files and the mesh files a load read
    // (a member's archive is in materialLibrary.filesRead()): files the run
    // reads, and, with the map's own, those whose change reloads the map.
    std::vector<std::string> entityFilesRead;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Terrain> terrain;

    // Where material images are looked for after the map's own directory (see
    // findMaterialImage), and whether surfaces whose image is missing or
    // unusable get the grey grid texture instead of none.
    std::vector<std::string> textureDirs;
    // Asset roots given by the person (--assets), searched after the map's
    // own root; the library holds the definitions read from all of them at
    // each load (see MaterialLibrary for the order).
    std::vector<std::string> assetDirs;
    MaterialLibrary materialLibrary;
    bool untexturedGrid = false;
    // Whether loadMap reads the map source beside the map (BASE.map), which
    // places the entity models and gives the player start.
    bool useMapSource = true;
    // How large one material image may be, and how many bytes of decoded
    // pixels all of one map's images may take; an image over either is
    // refused from its header, before it is decoded.
    ImageLimits imageLimits;
    // The portal display (P) is on: the render pass runs the portal flow in
    // both modes, so the outlines say which portals the view passes from here.
    bool showPortals = false;
    // The map's own lights light the picture (vis/light_pass.h), not the
    // camera's light; the application starts with them on a map that has lights.
    bool mapLights = false;
    // What the last frame's render pass drew (vis/render_pass.h).
    FrameCost frameCost;
    // The directory of the map being loaded: images are looked for there first.
    std::string mapDir;

    // Reached by the camera and the flow; not owned.
    GraphicsDevice* graphics = nullptr;
    const InputState* input = nullptr;

    Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    ~Scene();

    // Creates the camera and the 128 x 128 terrain (its texture comes with the
    // first map loaded, from beside the map).
    void init();

    // Reads <baseName>.proc then <baseName>.cm, and gives the terrain its
    // texture from beside them when it has none. On a missing or malformed file
    // returns null with a message naming the file, line and what was expected in
    // *error, and keeps nothing of the map. Builds the map's mesh when there
    // is a device, its textures made from the images decoded while the map is
    // read.
    MapData* loadMap(const char* baseName, std::string* error);
    // The mesh of a map of this scene; null for another map, or without a device.
    const MapMesh* meshOf(const MapData* map) const;
    // The shadow volumes of a map of this scene; null as meshOf.
    const ShadowVolumes* shadowVolumesOf(const MapData* map) const;

    // The material texture cache: one entry per byte-exact material name; a
    // failed load is not cached and is tried again next time.
    gpu::Texture* getTexture(const char* materialName);
    // The cache's texture for a material name, or null.
    gpu::Texture* cachedTexture(const char* materialName) const;
    // The image file a material's texture would be made from: looked for
    // beside the map and in textureDirs; none for a name too long for the
    // cache, or without a device to make it on.
    std::optional<std::string> materialImageFile(const char* materialName) const;
    // The same with where the image is (a file, or a member of an archive)
    // and the material's definition.
    MaterialSource materialSource(const char* materialName) const;
    // Puts a texture loaded from file into the cache, which owns it from then
    // on; the name must fit (materialImageFile found its file).
    // Keeps the texture under the material's name; returns it.
    gpu::Texture* addTexture(const char* materialName, const std::string& file, gpu::DeviceHandle<gpu::Texture> texture);
    // What surfaces of a material whose image is missing or unusable get: under
    // untexturedGrid the grid in the material's own tint (gridTint; made on
    // first use, one per material), otherwise null.
    gpu::Texture* standInTexture(const char* materialName);

    MapInstance* addInstance(MapData* map);

    // Which instance holds the camera (the first whose world bounds touch a
    // cube of half-size 100 around it) and which area of that instance's map:
    // the first half of the frame's scene update (updateScene, move/camera_update.h).
    void locateCamera();
    // Instance number `index` (a camera's instanceIndex); null when there is none.
    MapInstance* instanceAt(int index) const;

private:
    std::map<std::string, gpu::DeviceHandle<gpu::Texture>, std::less<>> gridTextures_;  // by material
};

}  // namespace q
