// The area-portal map file: model blocks become areas with their surfaces,
// "interAreaPortals" the portals between them, "nodes" the area BSP. Every
// block is read with the file's own comment text as its pattern.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "map/proc_reader.h"
#include "map/map_data.h"
#include "map/map_source.h"
#include "map/material_definitions.h"
#include "map/name_text.h"
#include "map/pattern_reader.h"
#include "map/portal_corners.h"
#include "platform/report.h"
#include "platform/report_words.h"

namespace q {

namespace {

constexpr Pattern kMagic{"mapProcFile003 "};
constexpr Pattern kKeyword{" %s "};
// What follows each keyword when it opens its block.
constexpr Pattern kModelOpening{" { /* name = */"};
constexpr Pattern kPortalsOpening{" { /* numAreas = */"};
constexpr Pattern kNodesOpening{" { /* numNodes = */"};
constexpr Pattern kShadowModelOpening{" {"};
constexpr Pattern kModelHeader{" { /* name = */ %s /* numSurfaces = */ %d"};
constexpr Pattern kSurfaceHeader{
    " /* surface %d */ { %s /* numVerts = */ %d /* numIndexes = */ %d "};
constexpr Pattern kVertex{"( %f %f %f %f %f %f %f %f ) "};
constexpr Pattern kIndex{"%d "};
constexpr Pattern kSurfaceEnd{"} "};
constexpr Pattern kModelEnd{"} "};
constexpr Pattern kPortalHeader{
    " { /* numAreas = */ %d /* numIAP = */ %d /* interAreaPortal format is: numPoints "
    "positiveSideArea negativeSideArea ( point) ... */"};
constexpr Pattern kPortal{" /* iap %d */ %d %d %d"};
constexpr Pattern kPortalPoint{" ( %f %f %f ) "};
constexpr Pattern kPortalsEnd{" }"};
constexpr Pattern kNodeHeader{
    " { /* numNodes = */ %d /* node format is: ( planeVector ) positiveChild negativeChild */ "
    "/* a child number of 0 is an opaque, solid area */ /* negative child numbers are areas: "
    "(-1-child) */ "};
constexpr Pattern kNode{" /* node %d */ ( %f %f %f %f ) %d %d "};
constexpr Pattern kNodesEnd{" } "};

constexpr size_t kMaterialLength = 123;  // so that an image extension and the zero fit in 128 bytes


// Counts read from the file must leave room for what they announce; a count
// that cannot fit is rejected before anything is sized by it.
bool checkCount(PatternReader& file, size_t at, const char* field, int count, const Pattern& pattern) {
    if (count < 0)
        return file.failAt(at, std::string(field) + " of 0 or more, found " + std::to_string(count));
    if (!file.fits(count, pattern))
        return file.failAt(at, std::string(field) + " that fits the rest of the file, found " +
                                   std::to_string(count));
    return true;
}

// One surface's header, with its material name and counts checked against
// what is left of the file.
struct SurfaceHeader {
    size_t at = 0;
    int vertexCount = 0;
    int indexCount = 0;
    char material[128] = {};
};

bool readSurfaceHeader(PatternReader& file, SurfaceHeader* header) {
    int number = 0;
    const size_t at = header->at = file.position();
    if (!file.expect<kSurfaceHeader>("a surface header", &number, header->material, &header->vertexCount,
                                     &header->indexCount))
        return false;
    if (file.wordWasCut()) return file.failAt(at, "a material name of at most 123 characters");
    trimBlanks(header->material);
    stripQuotes(header->material);
    if (std::strlen(header->material) > kMaterialLength)
        return file.failAt(at, "a material name of at most 123 characters");

    const int vertexCount = header->vertexCount;
    const int indexCount = header->indexCount;
    if (vertexCount < 0 || indexCount < 0)
        return file.failAt(at, "numVerts and numIndexes of 0 or more, found " + std::to_string(vertexCount) +
                                   " and " + std::to_string(indexCount));
    const uint64_t needed = uint64_t(vertexCount) * PatternReader::minimumLength(kVertex) +
                            uint64_t(indexCount) * PatternReader::minimumLength(kIndex);
    if (needed > file.remaining())
        return file.failAt(at, "numVerts " + std::to_string(vertexCount) + " and numIndexes " +
                                   std::to_string(indexCount) + " that fit the rest of the file");
    return true;
}

// File x y z s t nx ny nz become position (x, z, y), normal (nx, nz, ny), u, v:
// floats 0..7 of a MapVertex, eight to a vertex from v on.
bool readVertices(PatternReader& file, float* v, int vertexCount) {
    for (int k = 0; k < vertexCount; ++k, v += 8) {
        if (!file.expect<kVertex>("a vertex ( x y z s t nx ny nz )", &v[0], &v[2], &v[1], &v[6], &v[7], &v[3],
                                  &v[5], &v[4]))
            return false;
    }
    return true;
}

// Indices below vertexCount (and 65536), as 16 bits each from out on.
bool readIndices(PatternReader& file, uint16_t* out, int indexCount, int vertexCount) {
    const int highest = std::min(vertexCount - 1, 65535);
    for (int k = 0; k < indexCount;) {
        // Short valid indices a line at a time; anything else, and the message
        // for a bad one, one at a time below.
        const size_t read = file.matchIntegerRun<kIndex>(out + k, static_cast<size_t>(indexCount - k), 0, highest);
        if (read > 0) {
            k += static_cast<int>(read);
            continue;
        }
        const size_t indexAt = file.position();
        int index = 0;
        if (!file.expect<kIndex>("a vertex index", &index)) return false;
        if (index < 0 || index > highest)
            return file.failAt(indexAt, "vertex indices from 0 below numVerts (" + std::to_string(vertexCount) +
                                            ") and at most 65535, found " + std::to_string(index));
        out[k++] = static_cast<uint16_t>(index);
    }
    return true;
}

// What the reader keeps while it reads: the map it fills, each material's
// index in it, and the scratch arrays of surfaces that are checked and not
// kept.
struct ProcReading {
    MapData& map;
    const ProcReadOptions& options;
    std::unordered_map<std::string, int> materialIndex;
    std::vector<MapVertex> skippedVertices;
    std::vector<uint16_t> skippedIndices;
};

}  // namespace

int MapData::addMaterial(const std::string& name, const MaterialDefinitions* definitions) {
    Material material;
    material.name = name;
    if (const MaterialDefinition* definition = definitions ? definitions->find(name) : nullptr) {
        material.definition = definition->file + ":" + std::to_string(definition->line);
        material.look = lookOf(*definition);
        if (material.look.blend != MaterialBlend::Opaque) hasBlendedSurfaces = true;
    }
    materials.push_back(std::move(material));
    return static_cast<int>(materials.size()) - 1;
}

namespace {

// The material's index in the map, added (with its look) when first named.
int materialOf(ProcReading& reading, const char* name) {
    const auto [found, added] =
        reading.materialIndex.try_emplace(name, static_cast<int>(reading.map.materials.size()));
    if (!added) return found->second;
    reading.map.addMaterial(name, reading.options.definitions);
    if (reading.options.materialNamed)
        reading.options.materialNamed(static_cast<size_t>(found->second), reading.map.materials.back());
    return found->second;
}

// A surface's vertices and indices onto the ends of the given arrays.
bool readGeometry(PatternReader& file, const SurfaceHeader& header, std::vector<MapVertex>& vertices,
                  std::vector<uint16_t>& indices) {
    const size_t firstVertex = vertices.size();
    const size_t firstIndex = indices.size();
    vertices.resize(firstVertex + static_cast<size_t>(header.vertexCount));
    indices.resize(firstIndex + static_cast<size_t>(header.indexCount));
    return readVertices(file, reinterpret_cast<float*>(vertices.data() + firstVertex), header.vertexCount) &&
           readIndices(file, indices.data() + firstIndex, header.indexCount, header.vertexCount);
}

// The closing brace of a model block.
bool readModelEnd(PatternReader& file) {
    if (file.match<kModelEnd>()) return true;
    // "} " does not skip the line end before the brace of a model without
    // surfaces, just as scanf would not; the brace is then passed over as a word
    // by the block loop. Anything else there means the count did not fit.
    if (file.nextVisible() == '}') return true;
    return file.expect<kModelEnd>("the closing } of a model block");
}

// The surfaces of a model that is not drawn: read and checked as any, kept
// nowhere.
bool skipSurfaces(PatternReader& file, int count, ProcReading& reading) {
    for (int i = 0; i < count; ++i) {
        SurfaceHeader header;
        reading.skippedVertices.clear();
        reading.skippedIndices.clear();
        if (!readSurfaceHeader(file, &header) ||
            !readGeometry(file, header, reading.skippedVertices, reading.skippedIndices))
            return false;
        if (!file.expect<kSurfaceEnd>("the closing } of a surface")) return false;
        ++reading.map.undrawnSurfaces;
    }
    return readModelEnd(file);
}

// The surfaces of one model block (count surfaces, then the block's closing
// brace) into a new group of `into`, their vertices and indices onto the
// map's arrays.
bool readSurfaces(PatternReader& file, int count, ProcReading& reading, Area& into) {
    into.surfaceGroups.emplace_back();
    SurfaceGroup& group = into.surfaceGroups.back();
    MapData& map = reading.map;
    for (int i = 0; i < count; ++i) {
        SurfaceHeader header;
        if (!readSurfaceHeader(file, &header)) return false;
        // Surfaces name their ranges in 32 bits.
        if (map.vertices.size() + static_cast<size_t>(header.vertexCount) > UINT32_MAX ||
            map.indices.size() + static_cast<size_t>(header.indexCount) > UINT32_MAX)
            return file.failAt(header.at, "at most 4294967295 vertices and indices in all");
        Surface surface;
        surface.firstVertex = static_cast<uint32_t>(map.vertices.size());
        surface.firstIndex = static_cast<uint32_t>(map.indices.size());
        surface.vertexCount = header.vertexCount;
        surface.indexCount = header.indexCount;
        surface.material = materialOf(reading, header.material);
        group.surfaces.push_back(surface);
        if (!readGeometry(file, header, map.vertices, map.indices)) return false;
        if (!file.expect<kSurfaceEnd>("the closing } of a surface")) return false;
    }
    return readModelEnd(file);
}

bool readModel(MapData& map, PatternReader& file, ProcReading& reading, int* areaNumber) {
    // Model names only pick the area; entity names from real map compilers run
    // past 31 characters, so the name gets the keyword's 128 bytes.
    char name[128] = {};
    int surfaceCount = 0;
    const size_t at = file.position();
    if (!file.expect<kModelHeader>("a model block", name, &surfaceCount)) return false;
    if (file.wordWasCut()) return file.failAt(at, "a model name of at most 127 characters");
    if (!checkCount(file, at, "numSurfaces", surfaceCount, kSurfaceHeader)) return false;
    trimBlanks(name);
    stripQuotes(name);

    // A name that is not an area name keeps the previous model's area number
    // (0 for a first model), and a first model creates its area either way, so
    // the areas are numbered as the file orders its models.
    PatternReader nameText(name, "");
    int number = *areaNumber;
    const bool isArea = nameText.match("_area%d", &number);
    if (isArea) *areaNumber = number;

    size_t area = 0;
    if (!map.areas.empty() && static_cast<unsigned>(*areaNumber) < map.areas.size()) {
        area = static_cast<size_t>(*areaNumber);
    } else {
        map.areas.emplace_back();
        area = map.areas.size() - 1;
    }
    if (!isArea) {
        const SourceEntity* entity = reading.options.source ? reading.options.source->entityPlacing(name) : nullptr;
        if (!entity) {
            ++map.undrawnModels;
            return skipSurfaces(file, surfaceCount, reading);
        }
        map.entityModels.emplace_back();
        EntityModel& model = map.entityModels.back();
        model.name = name;
        model.classname = entity->classname;
        const size_t firstVertex = map.vertices.size();
        const bool read = readSurfaces(file, surfaceCount, reading, model.geometry);
        for (size_t k = firstVertex; k < map.vertices.size(); ++k) model.bounds.grow(map.vertices[k].position);
        return read;
    }
    return readSurfaces(file, surfaceCount, reading, map.areas[area]);
}

bool readPortals(MapData& map, PatternReader& file) {
    int areaCount = 0;
    int portalCount = 0;
    size_t at = file.position();
    if (!file.expect<kPortalHeader>("the interAreaPortals header", &areaCount, &portalCount))
        return false;
    if (!checkCount(file, at, "numIAP", portalCount, kPortal)) return false;

    for (int i = 0; i < portalCount; ++i) {
        Portal portal;
        int number = 0, pointCount = 0, positive = 0, negative = 0;
        at = file.position();
        if (!file.expect<kPortal>("a portal \"/* iap N */ numPoints positiveSideArea negativeSideArea\"",
                         &number, &pointCount, &positive, &negative))
            return false;
        if (!checkCount(file, at, "numPoints", pointCount, kPortalPoint)) return false;
        portal.points.reserve(static_cast<size_t>(pointCount < 4 ? 4 : pointCount));
        for (int k = 0; k < pointCount; ++k) {
            float x = 0, y = 0, z = 0;
            if (!file.expect<kPortalPoint>("a portal point ( x y z )", &x, &y, &z)) return false;
            portal.points.push_back(fromFileAxes(x, y, z));
        }
        const int areaTotal = static_cast<int>(map.areas.size());
        if (positive < 0 || positive >= areaTotal || negative < 0 || negative >= areaTotal)
            return file.failAt(at, "portal areas below the " + std::to_string(areaTotal) +
                                       " areas read before the portals, found " +
                                       std::to_string(positive) + " and " + std::to_string(negative));

        const int index = static_cast<int>(map.portals.size());
        const std::string name = "portal " + std::to_string(index) + " of " + file.name();
        if (pointCount < 3) {
            // No plane can be made; the areas never learn of it, so the indices
            // they hold stay those of the portals kept.
            warn(("dropped the portal on line " + std::to_string(file.lineAt(at)) + " of " + file.name() +
                  ": it has " + countOf(static_cast<uint64_t>(pointCount), "point", "points") +
                  ", a portal needs at least 3")
                     .c_str());
            continue;
        }
        // Three points: the flow clips with four edges; repeating the last point
        // keeps the triangle's outline and stays conservative.
        if (pointCount == 3) portal.points.push_back(portal.points[2]);

        portal.positiveArea = positive;
        portal.negativeArea = negative;
        map.areas[static_cast<size_t>(positive)].addPortal(index);
        map.areas[static_cast<size_t>(negative)].addPortal(index);
        portal.computePlane(name.c_str());
        map.portals.push_back(std::move(portal));
    }
    return file.expect<kPortalsEnd>("the closing } of interAreaPortals");
}

bool readNodes(MapData& map, PatternReader& file, std::vector<size_t>* nodeOffsets) {
    int nodeCount = 0;
    const size_t at = file.position();
    if (!file.expect<kNodeHeader>("the nodes header", &nodeCount)) return false;
    if (!checkCount(file, at, "numNodes", nodeCount, kNode)) return false;
    map.bspNodes.reserve(map.bspNodes.size() + static_cast<size_t>(nodeCount));
    for (int i = 0; i < nodeCount; ++i) {
        int number = 0;
        float a = 0, b = 0, c = 0, d = 0;
        BspNode node;
        nodeOffsets->push_back(file.position());
        if (!file.expect<kNode>("a node \"/* node N */ ( a b c d ) positiveChild negativeChild\"",
                         &number, &a, &b, &c, &d, &node.positiveChild, &node.negativeChild))
            return false;
        node.plane = {a, c, b, d};  // file z up: b and c exchanged
        map.bspNodes.push_back(node);
    }
    return file.expect<kNodesEnd>("the closing } of nodes");
}

// Node children must name nodes or areas that exist, and following them from
// any node must never come back to it, so that a lookup always ends.
bool checkBspTree(const MapData& map, PatternReader& file, const std::vector<size_t>& nodeOffsets) {
    const size_t nodeCount = map.bspNodes.size();
    const size_t areaCount = map.areas.size();
    for (size_t i = 0; i < nodeCount; ++i) {
        for (int child : {map.bspNodes[i].positiveChild, map.bspNodes[i].negativeChild}) {
            if (child > 0 && static_cast<size_t>(child) >= nodeCount)
                return file.failAt(nodeOffsets[i], "node children below numNodes (" +
                                                       std::to_string(nodeCount) + "), found " +
                                                       std::to_string(child));
            if (child < 0 && static_cast<size_t>(-1 - static_cast<int64_t>(child)) >= areaCount)
                return file.failAt(nodeOffsets[i],
                                   "leaf areas below the " + std::to_string(areaCount) +
                                       " areas read, found child " + std::to_string(child) +
                                       " (area " + std::to_string(-1 - static_cast<int64_t>(child)) + ")");
        }
    }
    // Depth-first walk with an explicit stack: 0 unvisited, 1 on the path, 2 done.
    std::vector<uint8_t> state(nodeCount, 0);
    std::vector<std::pair<int, int>> stack;  // node, next child to visit (0, 1, 2 = done)
    for (size_t start = 0; start < nodeCount; ++start) {
        if (state[start]) continue;
        stack.push_back({static_cast<int>(start), 0});
        state[start] = 1;
        while (!stack.empty()) {
            auto& [node, step] = stack.back();
            if (step == 2) {
                state[static_cast<size_t>(node)] = 2;
                stack.pop_back();
                continue;
            }
            const BspNode& n = map.bspNodes[static_cast<size_t>(node)];
            const int child = step == 0 ? n.positiveChild : n.negativeChild;
            ++step;
            if (child <= 0) continue;
            if (state[static_cast<size_t>(child)] == 1)
                return file.failAt(nodeOffsets[static_cast<size_t>(node)],
                                   "a tree of nodes, found node " + std::to_string(node) +
                                       " leading back to node " + std::to_string(child));
            if (state[static_cast<size_t>(child)] == 0) {
                state[static_cast<size_t>(child)] = 1;
                stack.push_back({child, 0});
            }
        }
    }
    return true;
}

}  // namespace

namespace {

// A map compiler writes coordinates rounded (to hundredths of a unit or so), so
// a portal built on an axis comes out a hair off it: points like 1657.99329
// and 1658.0 along one edge 64 units long tilt its normal by about 1e-4. A
// normal component below this counts as zero, as does an edge whose direction
// has a component below it: 0.002 is a tilt of about a tenth of a degree, which
// such rounding stays under on any portal wider than a few units, while a
// portal slanted on purpose, even by one unit across 64, tilts by 0.016.
constexpr float kOffAxisTolerance = 0.002f;

bool offAxis(float normalComponent) { return std::fabs(normalComponent) >= kOffAxisTolerance; }

// True when the edge from a to b keeps its z: within the rounding above, for
// its length.
bool sameZ(Vector3 a, Vector3 b) {
    const Vector3 d = b - a;
    return std::fabs(d.z) <= kOffAxisTolerance * std::sqrt(dot(d, d));
}

}  // namespace

void Portal::computePlane(const char* name) {
    plane = Plane::fromPoints(points[0], points[1], points[2]);
    if (offAxis(plane.a) && offAxis(plane.b) && offAxis(plane.c)) report(kSlantedPortalText, kFailCaption, name);
    // A portal of more points is narrowed to the rectangle around it: its
    // first four alone would cut off the rest of the opening and hide what is
    // seen through it. Found from the points in their own order, before the
    // reordering below.
    const bool quadrilateral = points.size() <= 4;
    if (!quadrilateral) viewCorners = rectangleAround(points);
    if (std::fabs(plane.c) < std::fabs(plane.a) && sameZ(points[0], points[1])) {
        const Vector3 p3 = points[3];
        points[3] = points[2];
        points[2] = points[1];
        points[1] = points[0];
        points[0] = p3;
    }
    if (quadrilateral) std::copy_n(points.begin(), 4, viewCorners.begin());
}

namespace {

// Just past the brace that closes the block opening at `from` (its first
// visible character must be the opening brace), quotes and comments passed
// over; npos when that is not a brace or the text ends first.
size_t blockEnd(std::string_view text, size_t from) {
    size_t i = from;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || text[i] != '{') return std::string_view::npos;
    int depth = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            i = text.find('"', i + 1);
        } else if (text.compare(i, 2, "/*") == 0) {
            i = text.find("*/", i + 2);
            if (i != std::string_view::npos) ++i;
        } else if (text.compare(i, 2, "//") == 0) {
            i = text.find('\n', i + 2);
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return i + 1;
        }
        if (i == std::string_view::npos) break;
    }
    return std::string_view::npos;
}

// A damaged shadow volume costs only its light's shadows from the file: the
// block is passed over to its closing brace with one warning, and the rest
// of the map is read. A block whose end cannot be found (the file cut short
// inside it, its brace missing) leaves the rest unreadable: false, and the
// map is refused with the reader's message.
bool skipDamagedShadowModel(PatternReader& file, size_t at, MapData* map) {
    if (file.wasCutShort()) return false;
    const size_t end = blockEnd(file.text(), at);
    if (end == std::string_view::npos) return false;
    map->shadowVolumes.pop_back();
    warn((file.error() + "; that shadow volume is left out (its light casts no shadows from the file) and the "
                         "rest of the map is read")
             .c_str());
    file.resumeAt(end);
    return true;
}

}  // namespace

bool readProcFile(const std::string& fileName, const ProcReadOptions& options, MapData* map, std::string* error) {
    PatternReader file;
    if (!file.open(fileName.c_str(), error)) return false;
    return file.outcome(readProcText(file, options, map), error);
}

bool readProcText(PatternReader& file, const ProcReadOptions& options, MapData* map) {
    const size_t binaryAt = file.firstBinaryByte();
    if (binaryAt != std::string_view::npos) {
        char found[8];
        std::snprintf(found, sizeof found, "0x%02x", static_cast<unsigned char>(file.text()[binaryAt]));
        file.failAt(binaryAt, std::string("a text file, found the byte ") + found);
        return false;
    }
    if (!file.expect<kMagic>("the first word of an area-portal file")) return false;

    int areaNumber = 0;
    ProcReading reading{*map, options, {}, {}, {}};
    std::vector<size_t> nodeOffsets;
    char token[128];
    for (;;) {
        if (!file.match<kKeyword>(token)) break;  // no word before the end
        bool ok = true;
        if (file.opensBlock<kModelOpening>(token, "model")) {
            ok = readModel(*map, file, reading, &areaNumber);
        } else if (file.opensBlock<kPortalsOpening>(token, "interAreaPortals")) {
            ok = readPortals(*map, file);
        } else if (file.opensBlock<kNodesOpening>(token, "nodes")) {
            ok = readNodes(*map, file, &nodeOffsets);
        } else if (file.opensBlock<kShadowModelOpening>(token, "shadowModel")) {
            const size_t at = file.position();
            ok = readShadowModel(file, &map->shadowVolumes.emplace_back()) || skipDamagedShadowModel(file, at, map);
        }
        // Any other word is passed over: the contents of blocks this viewer does
        // not read go by a word at a time.
        if (!ok) return false;
        if (file.atEnd()) break;
    }
    if (map->areas.empty()) {
        file.fail("at least one model block");
        return false;
    }
    if (!checkBspTree(*map, file, nodeOffsets)) return false;
    return true;
}

}  // namespace q
