// Light entities read from the map source's keys and placed in map space.

#include "map/light_entities.h"

#include <algorithm>
#include <unordered_map>

#include "map/entity_definitions.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "platform/report.h"

namespace q {

namespace {

class LightKeys {
public:
    LightKeys(const SourceEntity& entity, const std::string& sourceFile, std::string* problem)
        : entity_(entity), sourceFile_(sourceFile), problem_(problem) {}

    // A key of three numbers in the file's axes, as a map-space vector. True
    // when absent (out untouched) or read; false with the problem set.
    bool vector(const char* key, Vector3* out, bool* given = nullptr) {
        Vector3 read;
        bool present = false;
        if (!triple(key, "three numbers \"x y z\"", &read, &present)) return false;
        if (present) *out = fromFileAxes(read.x, read.y, read.z);
        if (given) *given = present;
        return true;
    }
    // Three numbers as they stand (a colour).
    bool triple(const char* key, const char* expected, Vector3* out, bool* given = nullptr) {
        const std::string* value = entity_.key(key);
        if (given) *given = value != nullptr;
        if (!value) return true;
        float xyz[3];
        if (!readSourceNumbers(*value, xyz, 3)) return fail(key, expected, *value);
        *out = {xyz[0], xyz[1], xyz[2]};
        return true;
    }
    // "0" or "1" (any number: not 0 is on).
    bool flag(const char* key, bool* out) {
        const std::string* value = entity_.key(key);
        if (!value) return true;
        float number = 0.0f;
        if (!readSourceNumbers(*value, &number, 1)) return fail(key, "\"0\" or \"1\"", *value);
        *out = number != 0.0f;
        return true;
    }
    bool fail(const char* key, const char* expected, const std::string& found) {
        *problem_ = sourceFile_ + ":" + std::to_string(entity_.line) + ": the light's key \"" + key + "\": expected " +
                    expected + ", found \"" + found.substr(0, 60) + "\"; the light is left out";
        return false;
    }

private:
    const SourceEntity& entity_;
    const std::string& sourceFile_;
    std::string* problem_;
};

bool atLeastZero(Vector3 v) { return v.x >= 0.0f && v.y >= 0.0f && v.z >= 0.0f; }

// In the light's own space: the box of a point light, or the pyramid of a
// projected one from its origin out to its far corners (the target's, or
// the end's when given).
Bounds ownBounds(const MapLight& light) {
    if (!light.projected) return Bounds::aroundPoint(Vector3{}, light.radius);
    Bounds b = Bounds::empty();
    b.grow(Vector3{});
    const float targetLength2 = dot(light.target, light.target);
    const float endScale = light.hasStartEnd && targetLength2 > 0.0f ? dot(light.end, light.target) / targetLength2 : 1.0f;
    for (float scale : {1.0f, std::max(endScale, 0.0f)})
        for (float u : {-1.0f, 1.0f})
            for (float r : {-1.0f, 1.0f}) b.grow((light.target + light.up * u + light.right * r) * scale);
    return b;
}

}  // namespace

bool isLightEntity(const SourceEntity& entity, const EntityDefinitions* definitions) {
    if (foldedName(entity.classname) == "light") return true;
    if (!definitions) return false;
    const EntityClass* current = definitions->findClass(entity.classname);
    // Bounded as every inherit chain is, so a loop ends.
    for (int link = 0; current && link < EntityDefinitions::kMaxInheritDepth; ++link) {
        if (current->inherit.empty()) return false;
        if (foldedName(current->inherit) == "light") return true;
        current = definitions->findClass(current->inherit);
    }
    return false;
}

bool readLight(const SourceEntity& entity, const std::string& sourceFile, MapLight* out, std::string* problem) {
    MapLight light;
    light.name = entity.name;
    light.line = entity.line;
    if (const std::string* texture = entity.key("texture")) light.material = *texture;
    light.origin = entity.origin;
    light.axes = entity.placement;
    light.axes.m[3][0] = light.axes.m[3][1] = light.axes.m[3][2] = 0.0f;

    LightKeys keys(entity, sourceFile, problem);
    bool start = false, end = false, up = false, right = false;
    if (!keys.vector("light_radius", &light.radius) || !keys.vector("light_center", &light.center) ||
        !keys.triple("_color", "three numbers \"r g b\"", &light.color) || !keys.flag("noshadows", &light.noShadows) ||
        !keys.flag("nodiffuse", &light.noDiffuse) || !keys.flag("nospecular", &light.noSpecular) ||
        !keys.flag("parallel", &light.parallel) || !keys.vector("light_target", &light.target, &light.projected) ||
        !keys.vector("light_up", &light.up, &up) || !keys.vector("light_right", &light.right, &right) ||
        !keys.vector("light_start", &light.start, &start) || !keys.vector("light_end", &light.end, &end))
        return false;
    if (!atLeastZero(light.radius))
        return keys.fail("light_radius", "three half-sizes of 0 or more", *entity.key("light_radius"));
    if (light.projected && (!up || !right))
        return keys.fail("light_target", "light_up and light_right beside it (a projected light)",
                         *entity.key("light_target"));
    light.hasStartEnd = light.projected && start && end;
    // Colours past the range are brought into it: a light adds at most
    // its surface's own colour.
    light.color = {std::clamp(light.color.x, 0.0f, 1.0f), std::clamp(light.color.y, 0.0f, 1.0f),
                   std::clamp(light.color.z, 0.0f, 1.0f)};
    light.bounds = ownBounds(light).transformed(entity.placement);
    *out = std::move(light);
    return true;
}

void placeLights(const MapSource& source, const EntityDefinitions* definitions, MapData* map) {
    map->lights.clear();
    std::vector<std::string> problems;
    for (const SourceEntity& entity : source.entities) {
        if (!entity.usable || !isLightEntity(entity, definitions)) continue;
        MapLight light;
        std::string problem;
        if (!readLight(entity, source.fileName, &light, &problem)) {
            problems.push_back(std::move(problem));
            continue;
        }
        map->areasReached(light.bounds, &light.areas);
        map->lights.push_back(std::move(light));
    }
    std::unordered_map<std::string, int> byName;
    for (size_t i = 0; i < map->lights.size(); ++i)
        if (!map->lights[i].name.empty()) byName.emplace(map->lights[i].name, static_cast<int>(i));
    map->unmatchedShadowVolumes = 0;
    for (size_t v = 0; v < map->shadowVolumes.size(); ++v) {
        ShadowVolume& volume = map->shadowVolumes[v];
        const auto found = volume.lightName.empty() ? byName.end() : byName.find(volume.lightName);
        volume.light = found == byName.end() ? -1 : found->second;
        if (volume.light < 0) {
            ++map->unmatchedShadowVolumes;
            continue;
        }
        MapLight& light = map->lights[static_cast<size_t>(volume.light)];
        if (light.shadowVolume < 0) light.shadowVolume = static_cast<int>(v);
    }
    if (!problems.empty()) {
        std::string line = std::to_string(problems.size()) + (problems.size() == 1 ? " light" : " lights") + " of " +
                           source.fileName + " did not read and " + (problems.size() == 1 ? "is" : "are") +
                           " left out: " + problems.front();
        if (problems.size() > 1) line += " ...";
        warn(line.c_str());
    }
}

}  // namespace q
