#include "mapgen/room_lights.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>

#include "map/shadow_volume_builder.h"
#include "mapgen/map_text.h"
#include "mapgen/mapgen.h"

namespace q::mapgen {

namespace {

struct Box3 {
    double lo[3] = {0, 0, 0};
    double hi[3] = {0, 0, 0};

    bool overlaps(const Box3& o) const {
        for (int a = 0; a < 3; ++a)
            if (lo[a] > o.hi[a] || hi[a] < o.lo[a]) return false;
        return true;
    }
    void grow(const double p[3]) {
        for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    }
    static Box3 around(const double centre[3], const double half[3]) {
        Box3 b;
        for (int a = 0; a < 3; ++a) b.lo[a] = centre[a] - half[a], b.hi[a] = centre[a] + half[a];
        return b;
    }
};

// Warm, cold, red, green, violet, pale: neighbouring rooms differ.
constexpr double kColours[][3] = {{1, 0.85, 0.6}, {0.6, 0.8, 1}, {1, 0.5, 0.4},
                                  {0.5, 1, 0.6},  {0.9, 0.6, 1}, {1, 1, 0.8}};

// How far a room's light reaches past its walls: into the rooms beside it
// through their doorways, where its volume's shadows keep it off the walls.
constexpr double kReachPastWalls = 96.0;

struct PlannedLight {
    std::string name;
    double origin[3] = {0, 0, 0};
    std::string keys;  // every key but classname, name and origin
    bool castsShadows = true;
    Box3 box;  // what it lights
};

std::string numbers(std::initializer_list<double> values) {
    std::string text;
    for (double v : values) {
        if (!text.empty()) text += ' ';
        putNumber(text, v);
    }
    return text;
}

std::string key(const char* name, const std::string& value) { return "\"" + std::string(name) + "\" \"" + value + "\"\n"; }

PlannedLight pointLight(std::string name, const double origin[3], const double radius[3], const double colour[3]) {
    PlannedLight light;
    light.name = std::move(name);
    std::copy_n(origin, 3, light.origin);
    light.keys = key("light_radius", numbers({radius[0], radius[1], radius[2]})) +
                 key("_color", numbers({colour[0], colour[1], colour[2]}));
    light.box = Box3::around(origin, radius);
    return light;
}

std::vector<PlannedLight> planLights(const Layout& layout) {
    std::vector<PlannedLight> lights;
    Box3 building;
    for (size_t r = 0; r < layout.rooms.size(); ++r) {
        const Box& room = layout.rooms[r].interior;
        const double origin[3] = {room.centre(0), room.centre(1), room.hi[2] - 16.0};
        const double radius[3] = {(room.hi[0] - room.lo[0]) / 2.0 + kReachPastWalls,
                                  (room.hi[1] - room.lo[1]) / 2.0 + kReachPastWalls,
                                  double(room.hi[2] - room.lo[2])};
        lights.push_back(pointLight("light_room_" + std::to_string(r + 1), origin, radius, kColours[r % 6]));
        const double lo[3] = {double(room.lo[0]), double(room.lo[1]), double(room.lo[2])};
        const double hi[3] = {double(room.hi[0]), double(room.hi[1]), double(room.hi[2])};
        if (r == 0) std::copy_n(lo, 3, building.lo), std::copy_n(hi, 3, building.hi);
        building.grow(lo);
        building.grow(hi);
    }
    if (layout.rooms.empty()) return lights;
    const Box& first = layout.rooms.front().interior;
    // A cold light in a corner of the first room that casts no shadows.
    const double corner[3] = {first.lo[0] + 24.0, first.lo[1] + 24.0, first.centre(2)};
    const double small[3] = {160, 160, 96};
    const double cold[3] = {0.4, 0.6, 1};
    PlannedLight noShadows = pointLight("light_room_1_noshadows", corner, small, cold);
    noShadows.keys += key("noshadows", "1");
    noShadows.castsShadows = false;
    lights.push_back(std::move(noShadows));
    // Looking straight down from under the first room's ceiling, beside its centre.
    PlannedLight spot;
    spot.name = "light_room_1_projected";
    const double spotOrigin[3] = {first.centre(0) + 32.0, first.centre(1) - 32.0, first.hi[2] - 8.0};
    std::copy_n(spotOrigin, 3, spot.origin);
    const double down = spotOrigin[2] - first.lo[2];
    spot.keys = key("light_target", numbers({0, 0, -down})) + key("light_up", numbers({0, 48, 0})) +
                key("light_right", numbers({48, 0, 0})) + key("light_start", numbers({0, 0, -8})) +
                key("light_end", numbers({0, 0, -down})) + key("texture", "lights/spot_gen") +
                key("_color", numbers({0.9, 0.9, 1}));
    spot.box = Box3::around(spotOrigin, std::array<double, 3>{48, 48, 0}.data());
    const double floorUnder[3] = {spotOrigin[0], spotOrigin[1], spotOrigin[2] - down};
    spot.box.grow(floorUnder);
    for (double dx : {-48.0, 48.0})
        for (double dy : {-48.0, 48.0}) {
            const double at[3] = {floorUnder[0] + dx, floorUnder[1] + dy, floorUnder[2]};
            spot.box.grow(at);
        }
    lights.push_back(std::move(spot));
    // One ambient light over the whole building, as real maps have one.
    PlannedLight ambient;
    ambient.name = "light_ambient_all";
    for (int a = 0; a < 3; ++a) ambient.origin[a] = (building.lo[a] + building.hi[a]) / 2.0;
    const double half[3] = {(building.hi[0] - building.lo[0]) / 2.0 + 64.0, (building.hi[1] - building.lo[1]) / 2.0 + 64.0,
                            (building.hi[2] - building.lo[2]) / 2.0 + 64.0};
    ambient.keys = key("light_radius", numbers({half[0], half[1], half[2]})) +
                   key("texture", "lights/ambientlight_gen") + key("_color", numbers({0.15, 0.15, 0.18})) +
                   key("noshadows", "1");
    ambient.castsShadows = false;
    ambient.box = Box3::around(ambient.origin, half);
    lights.push_back(std::move(ambient));
    return lights;
}

// An area's triangles (three corners each, file frame) and the box around them.
struct AreaTriangles {
    Box3 box;
    std::vector<Vector3> corners;
};

std::vector<AreaTriangles> trianglesByArea(const std::vector<AreaMesh>& areas) {
    std::vector<AreaTriangles> out(areas.size());
    for (size_t a = 0; a < areas.size(); ++a) {
        bool first = true;
        for (const MeshSurface& surface : areas[a].surfaces)
            for (uint16_t index : surface.indices) {
                const FileVertex& v = surface.vertices[index];
                out[a].corners.push_back({v.x, v.y, v.z});
                const double p[3] = {v.x, v.y, v.z};
                if (first) out[a].box = Box3::around(p, std::array<double, 3>{0, 0, 0}.data());
                out[a].box.grow(p);
                first = false;
            }
    }
    return out;
}

ShadowVolumeMesh volumeOf(const PlannedLight& light, const std::vector<AreaTriangles>& areas) {
    std::vector<Vector3> corners;
    for (const AreaTriangles& area : areas) {
        if (!area.box.overlaps(light.box)) continue;
        for (size_t t = 0; t + 2 < area.corners.size(); t += 3) {
            Box3 triangle;
            for (size_t k = 0; k < 3; ++k) {
                const double p[3] = {area.corners[t + k].x, area.corners[t + k].y, area.corners[t + k].z};
                if (k == 0) triangle = Box3::around(p, std::array<double, 3>{0, 0, 0}.data());
                triangle.grow(p);
            }
            if (triangle.overlaps(light.box)) corners.insert(corners.end(), area.corners.begin() + long(t),
                                                             area.corners.begin() + long(t) + 3);
        }
    }
    double diagonal = 0.0;
    for (int a = 0; a < 3; ++a) diagonal += (light.box.hi[a] - light.box.lo[a]) * (light.box.hi[a] - light.box.lo[a]);
    ShadowVolume volume;
    const Vector3 from{float(light.origin[0]), float(light.origin[1]), float(light.origin[2])};
    buildShadowVolume(corners, from, static_cast<float>(std::sqrt(diagonal)) + 1.0f, &volume);
    ShadowVolumeMesh mesh;
    mesh.lightName = light.name;
    for (Vector3 p : volume.points) mesh.points.insert(mesh.points.end(), {p.x, p.y, p.z});
    mesh.indices.assign(volume.indices.begin(), volume.indices.end());
    mesh.sidesEnd = volume.sidesEnd;
    mesh.farCapEnd = volume.farCapEnd;
    return mesh;
}

}  // namespace

std::string roomLightEntitiesText(const Layout& layout, int first) {
    std::string text;
    for (const PlannedLight& light : planLights(layout))
        text += "// entity " + std::to_string(first++) + "\n{\n" + key("classname", "light") + key("name", light.name) +
                key("origin", numbers({light.origin[0], light.origin[1], light.origin[2]})) + light.keys + "}\n";
    return text;
}

std::vector<ShadowVolumeMesh> buildRoomLightVolumes(const GeneratedMap& map) {
    std::vector<ShadowVolumeMesh> volumes;
    const std::vector<AreaTriangles> areas = trianglesByArea(map.areas);
    for (const PlannedLight& light : planLights(map.layout)) {
        if (!light.castsShadows) continue;
        ShadowVolumeMesh volume = volumeOf(light, areas);
        if (!volume.indices.empty()) volumes.push_back(std::move(volume));
    }
    return volumes;
}

std::string worldOnlySourceText() { return "Version 2\n// entity 0\n{\n" + key("classname", "worldspawn") + "}\n"; }

}  // namespace q::mapgen
