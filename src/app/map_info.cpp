#include "app/map_info.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "app/frame_trace.h"
#include "map/collision_reader.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/material_library.h"
#include "map/model_lookup.h"
#include "map/proc_reader.h"
#include "math/vector.h"
#include "image/image.h"
#include "image/image_budget.h"
#include "platform/report.h"
#include "render/image_decode_queue.h"
#include "world/map_instance.h"
#include "world/player_start.h"
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
    std::string file;     // empty: missing
    std::string definition;  // "file:line" of its definition; empty: none
    std::string problem;  // why the file found cannot be used (unreadable, not an image); empty: none
};

struct EntitySummary {
    std::string name;
    std::string classname;
    Vector3 origin;  // world space, first copy
    bool solid = false;
};

// One of the copies a run with every standard copy places, in world space.
struct CopySummary {
    Vector3 position;
    float yaw = 0.0f;
    Bounds bounds;
};

struct Summary {
    std::vector<CopySummary> copies;
    std::string sourceFile;  // the map source read; empty: none
    std::vector<EntitySummary> entities;
    int solidEntities = 0;
    bool hasPlayerStart = false;
    Vector3 playerStart;  // the camera's start, world space, first copy
    int surfaces = 0;
    int triangles = 0;
    Bounds bounds;  // world space, first copy, like the standing points
    std::vector<AreaSummary> areas;
    std::vector<MaterialSummary> materials;
    int materialsMissing = 0;
    size_t entityClassesDefined = 0;
    // The map source's lights (map/light_entities.h).
    int ambientLights = 0;
    int projectedLights = 0;
    int parallelLights = 0;
    int lightsWithShadowVolumes = 0;
    int lightsWithoutShadows = 0;  // `noshadows`
    std::vector<Vector3> lightOrigins;  // world units of the first copy, as the entities' are
};

// Places the lights with the entity definitions, so that entities of a
// class inheriting from `light` count, and counts them by kind.
void summariseLights(const MapSource& source, const EntityDefinitions& definitions, const MaterialLibrary& library,
                     MapData* map, Summary* s) {
    // Without a map source every shadow volume is of no light.
    placeLights(source, &definitions, map);
    MapInstance firstCopy;
    placeStandardInstance(firstCopy, 0);
    for (const MapLight& light : map->lights) {
        s->lightOrigins.push_back(transformCoord(light.origin, firstCopy.world));
        s->ambientLights += isAmbientLightMaterial(library.definitions(), light.material) ? 1 : 0;
        s->projectedLights += light.projected ? 1 : 0;
        s->parallelLights += light.parallel ? 1 : 0;
        s->lightsWithShadowVolumes += light.shadowVolume >= 0 ? 1 : 0;
        s->lightsWithoutShadows += light.noShadows ? 1 : 0;
    }
}

// The mesh models the map source's entities place, read as a load reads
// them (map/mesh_placement.h), their problems warned as a load warns them.
void summariseMeshes(const MapSource& source, const EntityDefinitions& definitions, const MaterialLibrary& library,
                     MapData* map, Summary* s) {
    s->entityClassesDefined = definitions.classCount();
    std::vector<std::string> problems;
    loadMeshModels(source, definitions, library, map, &problems);
    for (const std::string& problem : problems) warn(problem.c_str());
}

// The run's words for an image, without the file's name the line already gives.
std::string withoutFile(const std::string& problem, const std::string& file) {
    return problem.starts_with(file + ": ") ? problem.substr(file.size() + 2) : problem;
}

// Judges each material's image as a load does, in the same words: its head
// read and held to the side limit, its size charged against the map's budget,
// then the file read and decoded on the decoding workers, since only decoding
// finds a file cut short or damaged past its header. A load charges every
// head before any decoded image; so does this, keeping only the sizes of the
// images decoded meanwhile, and at most kHeadsAhead heads wait at once.
void judgeImages(const std::vector<MaterialSource>& sources, ImageLimits limits,
                 std::vector<MaterialSummary>* materials) {
    constexpr size_t kHeadsAhead = ImageDecodeQueue::kDecodedAhead;
    struct Decoded {
        size_t material;
        bool chargedFromHead;
        bool ok = false;
        std::string problem;
        TextureImage size;  // its sides only
    };
    ImageBudget budget(limits);
    ImageDecodeQueue decoder(false);
    std::vector<Decoded> decoded;  // one per ticket
    size_t taken = 0;
    const auto takeNext = [&] {
        Decoded& next = decoded[taken++];
        TextureImage image;
        next.ok = decoder.takeNext(&image, &next.problem);
        next.size.width = image.width;
        next.size.height = image.height;
    };
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!sources[i].file) continue;
        ImageFileHead head;
        std::string problem;
        if (!MaterialLibrary::readHead(sources[i], limits.maxSide, &head, &problem) ||
            !budget.chargeHead(head, &problem)) {
            (*materials)[i].problem = withoutFile(problem, *sources[i].file);
            continue;
        }
        decoded.push_back({i, head.decodedBytes() > 0, false, {}, {}});
        decoder.add(std::move(head));
        if (decoded.size() - taken > kHeadsAhead) takeNext();
    }
    while (taken < decoded.size()) takeNext();
    for (Decoded& image : decoded) {
        const std::string& file = *sources[image.material].file;
        if (!image.ok || !budget.chargeDecoded(file, image.chargedFromHead, image.size, &image.problem))
            (*materials)[image.material].problem = withoutFile(image.problem, file);
    }
}

Summary summarise(const MapData& map, const AreaFloors& floors, float eyeHeight, const MaterialLibrary& library,
                  ImageLimits imageLimits) {
    Summary s;
    // Only its placement: where --area puts the camera, and where the map's
    // brushes lie in the numbers --start takes.
    MapInstance firstCopy;
    placeStandardInstance(firstCopy, 0);
    s.bounds = map.bounds.transformed(firstCopy.world);
    const float spread = copySpread(map);
    for (int i = 0; i < kStandardInstanceCount; ++i) {
        MapInstance copy;
        placeStandardInstance(copy, i, spread);
        s.copies.push_back({copy.position, copy.yaw, map.bounds.isEmpty() ? Bounds{} : map.bounds.transformed(copy.world)});
    }
    for (const EntityModel& model : map.entityModels) {
        s.entities.push_back({model.name, model.classname, transformCoord(model.origin, firstCopy.world), model.solid});
        if (model.solid) ++s.solidEntities;
    }
    s.hasPlayerStart = map.hasPlayerStart;
    if (map.hasPlayerStart) s.playerStart = playerStartEye(map, firstCopy, eyeHeight);
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
    std::vector<MaterialSource> sources;
    for (const Material& material : map.materials) {
        sources.push_back(library.find(material.name));
        const MaterialSource& source = sources.back();
        MaterialSummary m{material.name, source.file.value_or(""), {}, {}};
        if (source.definition)
            m.definition = source.definition->file + ":" + std::to_string(source.definition->line);
        if (m.file.empty()) ++s.materialsMissing;
        s.materials.push_back(std::move(m));
    }
    judgeImages(sources, imageLimits, &s.materials);
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

std::string asText(const std::string& mapBase, const MapData& map, const Summary& s) {
    std::string t = "map " + mapBase + " (" + mapBase + ".proc, " + mapBase + ".cm)\n";
    t += countOf(map.areas.size(), "area", "areas") + ", " +
         countOf(map.portals.size(), "portal", "portals") + ", " +
         countOf(map.bspNodes.size(), "BSP node", "BSP nodes") + "\n";
    t += countOf(s.surfaces, "surface", "surfaces") + " drawn, " + countOf(s.triangles, "triangle", "triangles") + "\n";
    if (!s.sourceFile.empty())
        t += countOf(s.entities.size(), "entity model", "entity models") + " placed from " +
             s.sourceFile + " (" + std::to_string(s.solidEntities) + " solid)\n";
    const MeshModels& meshes = map.meshModels;
    if (meshes.tally.meshesPlaced > 0 || !meshes.tally.otherKinds.empty())
        t += "mesh models: " + std::to_string(meshes.tally.meshesPlaced) + " placed (" +
             countOf(meshes.filesRead(), "file", "files") + " read, " + std::to_string(meshes.filesMissing) +
             " missing, " + std::to_string(meshes.filesFailed) + " did not read)" +
             (meshes.tally.otherKinds.empty() ? "" : ", other kinds: " + meshes.tally.otherKindsText()) + "\n";
    if (!map.lights.empty() || !map.shadowVolumes.empty())
        t += "lights: " + std::to_string(map.lights.size()) + " (" + std::to_string(s.ambientLights) + " ambient, " +
             std::to_string(s.projectedLights) + " projected, " + std::to_string(s.parallelLights) + " parallel, " +
             std::to_string(s.lightsWithShadowVolumes) + " with shadow volumes, " +
             std::to_string(s.lightsWithoutShadows) + " without shadows" +
             (map.unmatchedShadowVolumes > 0
                  ? "; " + countOf(map.unmatchedShadowVolumes, "shadow volume", "shadow volumes") + " of no light"
                  : std::string()) +
             ")\n";
    if (map.undrawnModels > 0)
        t += countOf(map.undrawnModels, "entity model", "entity models") + " (" +
             countOf(map.undrawnSurfaces, "surface", "surfaces") + ") not drawn: " +
             (s.sourceFile.empty() ? std::string("where entities stand is not in the map files (no map source)")
                                   : "no entity of " + s.sourceFile + " places them") +
             "\n";
    t += s.hasPlayerStart ? "player start " + textPoint(s.playerStart) + "\n" : std::string("no player start\n");
    t += countOf(map.collisionModels, "collision model", "collision models") + ", " +
         countOf(map.brushes.size(), "brush", "brushes") + "\n";
    t += "bounds (world units, first copy): " + textPoint(s.bounds.mins) + " to " + textPoint(s.bounds.maxs) + "\n";
    for (size_t i = 0; i < s.copies.size(); ++i) {
        const CopySummary& c = s.copies[i];
        t += "copy " + std::to_string(i) + ": position " + textPoint(c.position) + ", yaw " + number(c.yaw, false) +
             ", bounds " + textPoint(c.bounds.mins) + " to " + textPoint(c.bounds.maxs) + "\n";
    }
    for (size_t i = 0; i < s.areas.size(); ++i) {
        const AreaSummary& a = s.areas[i];
        t += "area " + std::to_string(i) + ": " + countOf(a.surfaces, "surface", "surfaces") + ", " +
             countOf(a.triangles, "triangle", "triangles") + ", " + countOf(a.portals, "portal", "portals") + ", " +
             (a.canStand ? "standing point " + textPoint(a.standingPoint) : std::string("no standing point")) + "\n";
    }
    t += countOf(s.materials.size(), "material", "materials") + ", " +
         std::to_string(s.materialsMissing) + " missing\n";
    for (const MaterialSummary& m : s.materials)
        t += "  " + m.name + ": " + (m.file.empty() ? std::string("missing") : m.file) +
             (m.problem.empty() ? "" : " (cannot be used: " + m.problem + ")") +
             (m.definition.empty() ? "" : " (definition " + m.definition + ")") + "\n";
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
    j += ",\"entityModelsPlaced\":" + std::to_string(s.entities.size());
    const MeshModels& meshes = map.meshModels;
    j += ",\"meshModelsPlaced\":" + std::to_string(meshes.tally.meshesPlaced);
    j += ",\"meshModelsMissing\":" + std::to_string(meshes.filesMissing);
    j += ",\"meshFiles\":[";
    for (const MeshFile& file : meshes.files) {
        j += (j.back() == '[' ? "{" : ",{") + std::string("\"path\":") + jsonString(file.path) +
             ",\"found\":" + (file.found.empty() ? std::string("null") : jsonString(file.found)) +
             ",\"read\":" + (file.read ? "true" : "false") +
             ",\"vertices\":" + std::to_string(file.model.vertices.size()) +
             ",\"triangles\":" + std::to_string(file.model.triangleCount()) + ",\"materialsNotDrawn\":[";
        for (const std::string& material : file.materialsNotDrawn)
            j += (j.back() == '[' ? "" : ",") + jsonString(material);
        j += "]}";
    }
    j += "]";
    j += ",\"entityClassesDefined\":" + std::to_string(s.entityClassesDefined);
    j += ",\"modelsOfOtherKinds\":{";
    for (const auto& [kind, count] : meshes.tally.otherKinds)
        j += (j.back() == '{' ? "" : ",") + jsonString(kind) + ":" + std::to_string(count);
    j += "}";
    j += ",\"lights\":" + std::to_string(map.lights.size());
    j += ",\"ambientLights\":" + std::to_string(s.ambientLights);
    j += ",\"projectedLights\":" + std::to_string(s.projectedLights);
    j += ",\"parallelLights\":" + std::to_string(s.parallelLights);
    j += ",\"lightsWithShadowVolumes\":" + std::to_string(s.lightsWithShadowVolumes);
    j += ",\"lightsWithoutShadows\":" + std::to_string(s.lightsWithoutShadows);
    j += ",\"shadowVolumesOfNoLight\":" + std::to_string(map.unmatchedShadowVolumes);
    j += ",\"lightList\":[";
    for (size_t i = 0; i < map.lights.size(); ++i) {
        const MapLight& light = map.lights[i];
        j += (i ? ",{" : "{") + std::string("\"name\":") + jsonString(light.name) + ",\"origin\":[" +
             jsonPoint(s.lightOrigins[i]) + "],\"radius\":[" + jsonPoint(light.radius) + "],\"color\":[" +
             jsonPoint(light.color) + "]}";
    }
    j += "]";
    j += ",\"playerStart\":" + (s.hasPlayerStart ? "[" + jsonPoint(s.playerStart) + "]" : std::string("null"));
    j += ",\"entities\":[";
    for (size_t i = 0; i < s.entities.size(); ++i) {
        const EntitySummary& e = s.entities[i];
        j += (i ? ",{" : "{") + std::string("\"name\":") + jsonString(e.name) +
             ",\"classname\":" + jsonString(e.classname) + ",\"origin\":[" + jsonPoint(e.origin) +
             "],\"solid\":" + (e.solid ? "true" : "false") + "}";
    }
    j += "]";
    j += ",\"collisionModels\":" + std::to_string(map.collisionModels);
    j += ",\"brushes\":" + std::to_string(map.brushes.size());
    j += ",\"bounds\":{\"mins\":[" + jsonPoint(s.bounds.mins) + "],\"maxs\":[" + jsonPoint(s.bounds.maxs) + "]}";
    j += ",\"copies\":[";
    for (size_t i = 0; i < s.copies.size(); ++i) {
        const CopySummary& c = s.copies[i];
        j += (i ? ",{" : "{") + std::string("\"position\":[") + jsonPoint(c.position) + "],\"yaw\":" +
             number(c.yaw, true) + ",\"bounds\":{\"mins\":[" + jsonPoint(c.bounds.mins) + "],\"maxs\":[" +
             jsonPoint(c.bounds.maxs) + "]}}";
    }
    j += "]";
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
             ",\"file\":" + (m.file.empty() ? std::string("null") : jsonString(m.file)) +
             ",\"definition\":" + (m.definition.empty() ? std::string("null") : jsonString(m.definition)) +
             (m.problem.empty() ? "" : ",\"problem\":" + jsonString(m.problem)) + "}";
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

namespace {

// As readMapToLookAt, the map source read kept in *source (empty when none).
bool readMapAndSource(const std::string& mapBase, bool useMapSource, MapData* map, MapSource* sourceOut,
                      std::string* error) {
    MapSource& source = *sourceOut;
    const bool haveSource = useMapSource && readMapSourceBeside(mapBase, &source);
    ProcReadOptions options;
    options.source = haveSource ? &source : nullptr;
    if (!readProcFile(mapBase + ".proc", options, map, error) ||
        !readCollisionFile((mapBase + ".cm").c_str(), map, error))
        return false;
    if (haveSource) map->placeEntities(source);
    return true;
}

}  // namespace

bool readMapToLookAt(const std::string& mapBase, bool useMapSource, MapData* map, std::string* sourceFile,
                     std::string* error) {
    MapSource source;
    if (!readMapAndSource(mapBase, useMapSource, map, &source, error)) return false;
    if (sourceFile) *sourceFile = source.fileName;
    return true;
}

int printMapInfo(const std::string& mapBase, const std::vector<std::string>& textureDirs,
                 const std::vector<std::string>& assetDirs, bool json, float eyeHeight,
                 ImageLimits imageLimits, std::FILE* out, std::string* error, bool useMapSource) {
    MapData map;
    AreaFloors floors;
    MapSource source;
    if (!readMapAndSource(mapBase, useMapSource, &map, &source, error)) return 1;
    floors.collect(map);
    // Definitions are read and images looked for as a load does.
    MaterialLibrary library;
    library.load(std::filesystem::path(mapBase).parent_path().string(), textureDirs, assetDirs);
    for (const std::string& problem : library.problems())
        warn((problem + " (left out; the rest of the map's assets are used)").c_str());
    Summary summary = summarise(map, floors, eyeHeight, library, imageLimits);
    summary.sourceFile = source.fileName;
    const EntityDefinitions definitions = entityDefinitionsOf(library);
    summariseMeshes(source, definitions, library, &map, &summary);
    summariseLights(source, definitions, library, &map, &summary);
    const std::string text = json ? asJson(mapBase, map, summary) : asText(mapBase, map, summary);
    std::fputs(text.c_str(), out);
    return 0;
}

}  // namespace q
