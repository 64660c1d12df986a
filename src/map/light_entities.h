#pragma once
// The map's own lights: the map source's `light` entities (and those of a
// class that inherits from `light` in the entity definitions, when they were
// read), with every key they are drawn by, placed in map space, with the
// areas their boxes reach and the shadow volume the compiler made for them.
// Plain data: how a light is drawn is the renderer's.

#include <string>
#include <vector>

#include "math/bounds.h"
#include "math/matrix.h"
#include "math/vector.h"

namespace q {

class EntityDefinitions;
struct MapData;
struct MapSource;
struct SourceEntity;

// A light with neither light_radius nor light_target lights a box of this
// half-size on each axis, as the editors of these maps give a new light.
constexpr float kDefaultLightRadius = 300.0f;

struct MapLight {
    std::string name;      // its `name` key; empty: none
    std::string material;  // `texture`: the light's material; empty: a round light
    int line = 0;          // of the entity in the map source
    Vector3 origin;        // map space
    // The turn of its own axes (from `rotation`, or `angle`), no translation:
    // its own x, y, z rows in map space, y and z exchanged as every position.
    Matrix axes = Matrix::identity();
    // `light_radius`: half-sizes of the box it lights, along its own axes
    // (map order: the file's y and z exchanged).
    Vector3 radius{kDefaultLightRadius, kDefaultLightRadius, kDefaultLightRadius};
    // `light_center`: where the light comes from, from the origin, its own
    // axes; with `parallel`, the direction it comes from.
    Vector3 center;
    Vector3 color{1.0f, 1.0f, 1.0f};  // `_color`, each 0..1
    bool noShadows = false;
    bool noDiffuse = false;
    bool noSpecular = false;
    bool parallel = false;
    // A projected light: light_target, light_up and light_right (its own
    // axes, from the origin) instead of a radius; light_start and light_end
    // where given (hasStartEnd), else from the origin to the target.
    bool projected = false;
    Vector3 target, up, right, start, end;
    bool hasStartEnd = false;
    Bounds bounds = Bounds::empty();  // of what it lights, map space
    std::vector<int> areas;           // every area the bounds reach, ascending
    int shadowVolume = -1;            // index into MapData::shadowVolumes; -1: none
};

// Whether the entity is a light: of class `light`, or of a class whose
// definition inherits, along its chain, from `light` (definitions may be
// null: then only the first).
bool isLightEntity(const SourceEntity& entity, const EntityDefinitions* definitions);

// Reads one light entity's keys into *out. A key whose value does not read
// as the numbers it holds leaves the light out: false with
// "<file>:<line>: the light's key \"k\": expected ..., found \"...\"" in *problem.
bool readLight(const SourceEntity& entity, const std::string& sourceFile, MapLight* out, std::string* problem);

// Fills map->lights from the usable light entities of the source (bounds and
// areas placed once the area-portal file is read) and matches each shadow
// volume to the light its name gives; volumes without a light are counted in
// map->unmatchedShadowVolumes. The lights left out are warned of in one
// line (how many, and the first one's problem).
void placeLights(const MapSource& source, const EntityDefinitions* definitions, MapData* map);

}  // namespace q
