#include "app/map_info.h"

#include <cstdint>
#include <filesystem>
#include <vector>

#include "app/frame_trace.h"
#include "map/map_data.h"
#include "map/material_image.h"
#include "math/vector.h"
#include "world/map_instance.h"
#include "world/standard_placements.h"
#include "world/standing_point.h"

namespace q {

namespace {

struct AreaSummary {
    int surfaces = 0;
    int triangles = 0;
    int portals = 0;
    bool canStand = false;
    Vector3 standingPoint;  // world space, first copy
};

struct MaterialSummary {
    std::string name;
    std::string file;  // empty: missing
};

struct Summary {
    int surfaces = 0;
    int triangles = 0;
    std::vector<AreaSummary> areas;
    std::vector<MaterialSummary> materials;
    int materialsMissing = 0;
};

Summary summarise(const MapData& map, const AreaFloors& floors, float eyeHeight, const std::string& mapDir,
                  const std::vector<std::string>& textureDirs) {
    Summary s;
    MapInstance firstCopy;  // only its placement: where --area puts the camera
    placeStandardInstance(firstCopy, 0);
    for (size_t i = 0; i < map.areas.size(); ++i) {
        const Area& area = map.areas[i];
        AreaSummary a;
        for (const SurfaceGroup& group : area.surfaceGroups)
            for (const Surface& surface : group.surfaces) {
                ++a.surfaces;
                a.triangles += surface.indexCount / 3;
            }
        a.portals = static_cast<int>(area.portalIndices.size());
        Vector3 eye;
        a.canStand = findStandingPoint(map, floors, static_cast<int>(i), eyeHeight, &eye);
        if (a.canStand) a.standingPoint = transformCoord(eye, firstCopy.world);
        s.surfaces += a.surfaces;
        s.triangles += a.triangles;
        s.areas.push_back(a);
    }
    for (const std::string& material : map.materials) {
        s.materials.push_back({material, findMaterialImage(material, mapDir, textureDirs).value_or("")});
        if (s.materials.back().file.empty()) ++s.materialsMissing;
    }
    return s;
}

// Numbers for people are short; for scripts they are exact.
std::string number(float value, bool exact) {
    char text[32];
    if (exact) {
        formatJsonNumber(value, text, sizeof text);
    } else {
        std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    }
    return text;
}

std::string textPoint(Vector3 p) { return number(p.x, false) + " " + number(p.y, false) + " " + number(p.z, false); }
std::string jsonPoint(Vector3 p) { return number(p.x, true) + "," + number(p.y, true) + "," + number(p.z, true); }

std::string plural(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string asText(const std::string& mapBase, const MapData& map, const Summary& s) {
    std::string t = "map " + mapBase + " (" + mapBase + ".proc, " + mapBase + ".cm)\n";
    t += plural(static_cast<int>(map.areas.size()), "area", "areas") + ", " +
         plural(static_cast<int>(map.portals.size()), "portal", "portals") + ", " +
         plural(static_cast<int>(map.bspNodes.size()), "BSP node", "BSP nodes") + "\n";
    t += plural(s.surfaces, "surface", "surfaces") + " drawn, " + plural(s.triangles, "triangle", "triangles") + "\n";
    t += plural(map.undrawnModels, "entity model", "entity models") + " (" +
         plural(map.undrawnSurfaces, "surface", "surfaces") + ") not drawn: where entities stand is not in the map files\n";
    t += plural(map.collisionModels, "collision model", "collision models") + ", " +
         plural(static_cast<int>(map.brushes.size()), "brush", "brushes") + "\n";
    t += "bounds (y up): " + textPoint(map.bounds.mins) + " to " + textPoint(map.bounds.maxs) + "\n";
    for (size_t i = 0; i < s.areas.size(); ++i) {
        const AreaSummary& a = s.areas[i];
        t += "area " + std::to_string(i) + ": " + plural(a.surfaces, "surface", "surfaces") + ", " +
             plural(a.triangles, "triangle", "triangles") + ", " + plural(a.portals, "portal", "portals") + ", " +
             (a.canStand ? "standing point " + textPoint(a.standingPoint) : std::string("no standing point")) + "\n";
    }
    t += plural(static_cast<int>(s.materials.size()), "material", "materials") + ", " +
         std::to_string(s.materialsMissing) + " missing\n";
    for (const MaterialSummary& m : s.materials)
        t += "  " + m.name + ": " + (m.file.empty() ? std::string("missing") : m.file) + "\n";
    return t;
}

std::string asJson(const std::string& mapBase, const MapData& map, const Summary& s) {
    std::string j = "{\"map\":" + jsonString(mapBase);
    j += ",\"areas\":" + std::to_string(map.areas.size());
    j += ",\"portals\":" + std::to_string(map.portals.size());
    j += ",\"bspNodes\":" + std::to_string(map.bspNodes.size());
    j += ",\"surfaces\":" + std::to_string(s.surfaces);
    j += ",\"triangles\":" + std::to_string(s.triangles);
    j += ",\"entityModels\":" + std::to_string(map.undrawnModels);
    j += ",\"entitySurfaces\":" + std::to_string(map.undrawnSurfaces);
    j += ",\"collisionModels\":" + std::to_string(map.collisionModels);
    j += ",\"brushes\":" + std::to_string(map.brushes.size());
    j += ",\"bounds\":{\"mins\":[" + jsonPoint(map.bounds.mins) + "],\"maxs\":[" + jsonPoint(map.bounds.maxs) + "]}";
    j += ",\"areaList\":[";
    for (size_t i = 0; i < s.areas.size(); ++i) {
        const AreaSummary& a = s.areas[i];
        j += (i ? ",{" : "{") + std::string("\"area\":") + std::to_string(i) +
             ",\"surfaces\":" + std::to_string(a.surfaces) + ",\"triangles\":" + std::to_string(a.triangles) +
             ",\"portals\":" + std::to_string(a.portals) + ",\"standingPoint\":" +
             (a.canStand ? "[" + jsonPoint(a.standingPoint) + "]" : std::string("null")) + "}";
    }
    j += "],\"materials\":[";
    for (size_t i = 0; i < s.materials.size(); ++i) {
        const MaterialSummary& m = s.materials[i];
        j += (i ? ",{" : "{") + std::string("\"name\":") + jsonString(m.name) +
             ",\"file\":" + (m.file.empty() ? std::string("null") : jsonString(m.file)) + "}";
    }
    return j + "]}\n";
}

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not one.
size_t utf8Length(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    const uint32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < lowest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

}  // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char escaped[8];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (c >= 0x80) {
            const size_t length = utf8Length(text, i);
            if (length > 0) {
                out.append(text, i, length);
                i += length;
                continue;
            }
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

int printMapInfo(const std::string& mapBase, const std::vector<std::string>& textureDirs, bool json, float eyeHeight,
                 std::FILE* out, std::string* error) {
    MapData map;
    AreaFloors floors;
    ProcReading how;
    how.device = nullptr;  // looked at, not drawn
    how.observer = &floors;
    if (!map.readProcFile((mapBase + ".proc").c_str(), how, error) ||
        !map.readCollisionFile((mapBase + ".cm").c_str(), error))
        return 1;
    // Images are looked for as a load looks for them: beside the map, then in
    // each --textures directory.
    const std::string mapDir = std::filesystem::path(mapBase).parent_path().string();
    const Summary summary = summarise(map, floors, eyeHeight, mapDir, textureDirs);
    const std::string text = json ? asJson(mapBase, map, summary) : asText(mapBase, map, summary);
    std::fputs(text.c_str(), out);
    return 0;
}

}  // namespace q
