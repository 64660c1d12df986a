#include "world/surface_pick.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "map/map_data.h"
#include "map/material_image.h"
#include "map/material_library.h"
#include "math/matrix.h"
#include "world/map_instance.h"
#include "world/scene.h"
#include "world/terrain.h"

namespace q {

namespace {

constexpr float kNoHit = std::numeric_limits<float>::infinity();
// How far the terrain is looked for along the view, and the step it is
// looked for in: the grid is 16384 units across, its cells 128.
constexpr float kTerrainReach = 32768.0f;
constexpr float kTerrainStep = 8.0f;

struct Ray {
    Vector3 origin;
    Vector3 dir;
};

// Where the ray crosses the triangle, in lengths of ray.dir, either face (the
// viewer draws both); kNoHit when it does not, or only behind the origin.
float crossTriangle(const Ray& ray, Vector3 a, Vector3 b, Vector3 c) {
    const Vector3 ab = b - a, ac = c - a;
    const Vector3 p = cross(ray.dir, ac);
    const float det = dot(ab, p);
    if (det == 0.0f || !std::isfinite(det)) return kNoHit;
    const Vector3 s = ray.origin - a;
    const float u = dot(s, p) / det;
    if (u < 0.0f || u > 1.0f) return kNoHit;
    const Vector3 q = cross(s, ab);
    const float v = dot(ray.dir, q) / det;
    if (v < 0.0f || u + v > 1.0f) return kNoHit;
    const float t = dot(ac, q) / det;
    return t > 0.0f ? t : kNoHit;
}

// The ray in another space: an affine map keeps the length along it, so
// every space's crossing is measured in the world's units.
Ray carried(const Ray& ray, const Matrix& into) {
    return {transformCoord(ray.origin, into), transformNormal(ray.dir, into)};
}

struct Hit {
    int copy = -1;
    int area = -1;
    int entityModel = -1;
    int meshModel = -1;
    const std::string* material = nullptr;
    float distance = kNoHit;
};

// Keeps in *best the nearest crossing of the ray with the triangles of the
// surfaces.
void crossSurfaces(const MapData& map, const std::vector<SurfaceGroup>& groups, const Ray& ray, Hit where,
                   Hit* best) {
    for (const SurfaceGroup& group : groups)
        for (const Surface& surface : group.surfaces) {
            const MapVertex* vertices = map.verticesOf(surface);
            const uint16_t* indices = map.indicesOf(surface);
            for (int i = 0; i + 2 < surface.indexCount; i += 3) {
                const float t = crossTriangle(ray, vertices[indices[i]].position, vertices[indices[i + 1]].position,
                                              vertices[indices[i + 2]].position);
                if (t < best->distance) {
                    *best = where;
                    best->material = &map.materials[static_cast<size_t>(surface.material)].name;
                    best->distance = t;
                }
            }
        }
}

// Keeps in *best the nearest crossing of the ray (in the model's own space)
// with the triangles of the placed mesh's drawn groups.
void crossMesh(const MeshModels& meshes, const PlacedMesh& placed, const Ray& ray, Hit where, Hit* best) {
    const MeshModel& model = meshes.files[static_cast<size_t>(placed.file)].model;
    for (size_t g = 0; g < model.groups.size() && g < placed.groupMaterials.size(); ++g) {
        const size_t index = static_cast<size_t>(placed.groupMaterials[g]);
        if (index >= meshes.materials.size() || !meshes.materials[index].drawn) continue;
        const MeshMaterial& material = meshes.materials[index];
        const std::vector<uint32_t>& indices = model.groups[g].indices;
        for (size_t i = 0; i + 2 < indices.size(); i += 3) {
            const float t = crossTriangle(ray, model.vertices[indices[i]].position,
                                          model.vertices[indices[i + 1]].position,
                                          model.vertices[indices[i + 2]].position);
            if (t < best->distance) {
                *best = where;
                best->material = &material.name;
                best->distance = t;
            }
        }
    }
}

// The first crossing of the ground along the ray (world space), or kNoHit.
float crossTerrain(const Terrain& terrain, const Ray& ray) {
    const auto above = [&](float t) {
        const Vector3 p = ray.origin + ray.dir * t;
        return p.y - terrain.heightAt(p);
    };
    if (above(0.0f) <= 0.0f) return kNoHit;  // under the ground, it hides nothing
    for (float t = kTerrainStep; t <= kTerrainReach; t += kTerrainStep) {
        if (above(t) > 0.0f) continue;
        float low = t - kTerrainStep, high = t;
        for (int i = 0; i < 24; ++i) {
            const float middle = 0.5f * (low + high);
            (above(middle) > 0.0f ? low : high) = middle;
        }
        return high;
    }
    return kNoHit;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// Where a load looked for a material's image that it did not find.
std::string pathsTried(const Scene& scene, const std::string& material, const MaterialSource& source) {
    std::vector<std::string> names;
    if (!source.look.image.empty()) names = imageCandidates(source.look.image);
    for (const char* extension : kMaterialImageExtensions) names.push_back(material + extension);
    std::vector<std::string> folders{scene.mapDir.empty() ? std::string(".") : scene.mapDir};
    folders.insert(folders.end(), scene.textureDirs.begin(), scene.textureDirs.end());
    const std::string root = assetRootOfMapDir(scene.mapDir);
    if (!root.empty()) folders.push_back(root);
    folders.insert(folders.end(), scene.assetDirs.begin(), scene.assetDirs.end());
    return "tried " + joined(names) + " in " + joined(folders) + (root.empty() && scene.assetDirs.empty() ? "" : " (and the archives of the roots)");
}

}  // namespace

SurfacePick pickSurface(const Scene& scene, Vector3 eye, Vector3 dir) {
    SurfacePick out;
    const Ray world{eye, normalized(dir)};
    Hit hit;
    for (size_t copy = 0; copy < scene.instances.size(); ++copy) {
        const MapInstance& instance = *scene.instances[copy];
        if (!instance.map) continue;
        const MapData& map = *instance.map;
        const Ray ray = carried(world, instance.inverseWorld);
        for (size_t area = 0; area < map.areas.size(); ++area)
            crossSurfaces(map, map.areas[area].surfaceGroups, ray,
                          {static_cast<int>(copy), static_cast<int>(area), -1, -1, nullptr, kNoHit}, &hit);
        for (size_t m = 0; m < map.entityModels.size(); ++m) {
            const EntityModel& model = map.entityModels[m];
            crossSurfaces(map, model.geometry.surfaceGroups, carried(ray, model.inversePlacement),
                          {static_cast<int>(copy), -1, static_cast<int>(m), -1, nullptr, kNoHit}, &hit);
        }
        const MeshModels& meshes = map.meshModels;
        for (size_t m = 0; m < meshes.placed.size(); ++m) {
            const std::optional<Matrix> intoModel = inverse(meshes.placed[m].placement);
            if (!intoModel) continue;
            crossMesh(meshes, meshes.placed[m], carried(ray, *intoModel),
                      {static_cast<int>(copy), -1, -1, static_cast<int>(m), nullptr, kNoHit}, &hit);
        }
    }
    const float ground = scene.terrain ? crossTerrain(*scene.terrain, world) : kNoHit;
    if (ground < hit.distance) {
        out.what = SurfacePick::What::Terrain;
        out.distance = ground;
        out.point = world.origin + world.dir * ground;
        return out;
    }
    if (hit.distance == kNoHit) return out;
    out.what = SurfacePick::What::Surface;
    out.distance = hit.distance;
    out.point = world.origin + world.dir * hit.distance;
    out.copy = hit.copy;
    out.material = *hit.material;
    out.area = hit.area;
    out.entityModel = hit.entityModel;
    out.meshModel = hit.meshModel;
    const MapInstance& copy = *scene.instances[static_cast<size_t>(hit.copy)];
    if (hit.entityModel >= 0) {
        const EntityModel& model = copy.map->entityModels[static_cast<size_t>(hit.entityModel)];
        out.entityName = model.name;
        out.entityClass = model.classname;
    } else if (hit.meshModel >= 0) {
        const MeshModels& meshes = copy.map->meshModels;
        const PlacedMesh& placed = meshes.placed[static_cast<size_t>(hit.meshModel)];
        out.entityName = placed.entity;
        out.meshFile = meshes.files[static_cast<size_t>(placed.file)].path;
    }
    if (hit.area < 0) {
        // Its area is the one holding the point, a hair on the eye's side.
        const Vector3 before = world.origin + world.dir * std::max(0.0f, hit.distance - 0.5f);
        out.area = copy.map->areaHolding(transformCoord(before, copy.inverseWorld));
    }
    return out;
}

std::string describePick(const Scene& scene, const SurfacePick& pick) {
    if (pick.what == SurfacePick::What::Nothing) return "quorvane: looking at nothing: no surface along the view";
    if (pick.what == SurfacePick::What::Terrain) return "quorvane: looking at the terrain";
    const MaterialSource source = scene.materialLibrary.find(pick.material);
    std::string line = "quorvane: looking at " + pick.material + " (";
    line += source.definition ? "definition " + source.definition->file + ":" + std::to_string(source.definition->line)
                              : std::string("no definition");
    if (!source.file) line += "); image missing (" + pathsTried(scene, pick.material, source) + ")";
    else if (scene.cachedTexture(pick.material.c_str())) line += "); image " + *source.file;
    else line += "); image " + *source.file + " (could not be used)";
    line += "; " + (pick.area >= 0 ? "area " + std::to_string(pick.area) : std::string("solid space")) + " of copy " +
            std::to_string(pick.copy);
    if (pick.entityModel >= 0) line += "; entity " + pick.entityName + " (" + pick.entityClass + ")";
    if (pick.meshModel >= 0) line += "; entity " + pick.entityName + ", mesh " + pick.meshFile;
    return line;
}

}  // namespace q
