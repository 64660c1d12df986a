#include "mapgen/entities.h"

#include <cmath>
#include <numbers>

#include "mapgen/map_text.h"

namespace q::mapgen {

namespace {

bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

EntityBox entity(const char* name, const char* classname, int x, int y, int z, const Box& box) {
    EntityBox e;
    e.name = name;
    e.classname = classname;
    e.origin[0] = x;
    e.origin[1] = y;
    e.origin[2] = z;
    e.box = box;
    return e;
}

void putPoint(std::string& out, const double* p, int count) {
    out += "( ";
    for (int i = 0; i < count; ++i) {
        putNumber(out, p[i]);
        out += ' ';
    }
    out += ")";
}

// The six faces of a box, four corners each, normals outwards.
MeshSurface boxMesh(const Box& box) {
    MeshSurface s;
    s.material = kTrim;
    for (int axis = 0; axis < 3; ++axis) {
        const int u = (axis + 1) % 3, w = (axis + 2) % 3;
        for (int side = -1; side <= 1; side += 2) {
            const int at = side > 0 ? box.hi[axis] : box.lo[axis];
            int corners[4][2] = {{box.lo[u], box.lo[w]}, {box.hi[u], box.lo[w]}, {box.hi[u], box.hi[w]},
                                 {box.lo[u], box.hi[w]}};
            if (side < 0) std::swap(corners[1], corners[3]);
            const uint16_t base = static_cast<uint16_t>(s.vertices.size());
            for (const auto& c : corners) {
                float p[3];
                p[axis] = static_cast<float>(at);
                p[u] = static_cast<float>(c[0]);
                p[w] = static_cast<float>(c[1]);
                float n[3] = {0, 0, 0};
                n[axis] = static_cast<float>(side);
                s.vertices.push_back({p[0], p[1], p[2], p[u] / kUnitsPerRepeat, p[w] / kUnitsPerRepeat, n[0], n[1],
                                      n[2]});
            }
            for (uint16_t i : {0, 1, 2, 0, 2, 3}) s.indices.push_back(static_cast<uint16_t>(base + i));
        }
    }
    return s;
}

void putKey(std::string& out, const char* key, const std::string& value) {
    out += "\"" + std::string(key) + "\" \"" + value + "\"\n";
}

std::string numbers(std::initializer_list<double> values) {
    std::string text;
    for (double v : values) {
        if (!text.empty()) text += ' ';
        putNumber(text, v);
    }
    return text;
}

void putBrush(std::string& out, const Box& box, int number) {
    out += "// primitive " + std::to_string(number) + "\n{\n brushDef3\n {\n";
    for (int axis = 0; axis < 3; ++axis)
        for (int side = -1; side <= 1; side += 2) {
            double plane[4] = {0, 0, 0, side > 0 ? -double(box.hi[axis]) : double(box.lo[axis])};
            plane[axis] = side;
            out += "  ";
            putPoint(out, plane, 4);
            out += " ( ( 0.0078125 0 0 ) ( 0 0.0078125 0 ) ) \"";
            out += materialName(kWall);
            out += "\" 0 0 0\n";
        }
    out += " }\n}\n";
}

// A rectangle of a drawn surface as a patch of three by three control points.
void putPatch(std::string& out, const MeshSurface& s, size_t first, int number) {
    auto point = [&](size_t a, size_t b, double* p) {
        const FileVertex& va = s.vertices[first + a];
        const FileVertex& vb = s.vertices[first + b];
        const double x[5] = {va.x + vb.x, va.y + vb.y, va.z + vb.z, va.s + vb.s, va.t + vb.t};
        for (int i = 0; i < 5; ++i) p[i] = x[i] / 2;
    };
    const size_t grid[3][3][2] = {{{0, 0}, {0, 1}, {1, 1}}, {{0, 3}, {0, 2}, {1, 2}}, {{3, 3}, {3, 2}, {2, 2}}};
    out += "// primitive " + std::to_string(number) + "\n{\n patchDef2\n {\n  \"";
    out += materialName(s.material);
    out += "\"\n  ( 3 3 0 0 0 )\n(\n";
    for (const auto& row : grid) {
        out += "( ";
        for (const auto& pair : row) {
            double p[5];
            point(pair[0], pair[1], p);
            putPoint(out, p, 5);
            out += ' ';
        }
        out += ")\n";
    }
    out += ")\n }\n}\n";
}

}  // namespace

const Room* startRoom(const Layout& layout) {
    for (const Room& room : layout.rooms) {
        const Box& b = room.interior;
        if (b.lo[0] <= 0 && 0 < b.hi[0] && b.lo[1] <= 0 && 0 < b.hi[1] && b.lo[2] == 0) return &room;
    }
    return nullptr;
}

bool buildEntities(const Layout& layout, EntitySet* out, std::string* error) {
    const Room* room = startRoom(layout);
    if (!room) return fail(error, "--entities needs a room around the start point");
    const Box& r = room->interior;
    if (r.lo[0] > -112 || r.hi[0] < 112 || r.lo[1] > -88 || r.hi[1] < 88 || r.hi[2] < 64)
        return fail(error, "--entities needs a start room reaching at least 112 units along x and 88 along y "
                           "from the start point");
    EntitySet set;
    // The player start faces +x, towards the step.
    set.playerStart[0] = -40;
    set.playerStart[1] = -60;
    set.playerAngle = 0.0;
    EntityBox step = entity("func_static_step", "func_static", 70, -60, 0, Box::of(-30, -24, 0, 30, 24, 12));
    step.collision = true;
    set.models.push_back(step);
    // Long along its own x; turned by 90 degrees it runs along y.
    EntityBox turned90 = entity("func_static_turned90", "func_static", -90, 0, 0, Box::of(-48, -8, 0, 48, 8, 48));
    turned90.angle = 90.0;
    turned90.rotationKey = true;
    turned90.collision = true;
    set.models.push_back(turned90);
    EntityBox turned30 = entity("func_static_turned30", "func_static", 0, 64, 0, Box::of(-24, -8, 0, 24, 8, 48));
    turned30.angle = 30.0;
    turned30.collision = true;
    set.models.push_back(turned30);

    for (const Opening& opening : layout.openings) {
        if (opening.window) continue;
        const int axis = opening.axis, across = 1 - axis;
        const Box& hole = opening.hole;
        int origin[3];
        origin[axis] = opening.portalPlane();
        origin[across] = (hole.lo[across] + hole.hi[across]) / 2;
        origin[2] = hole.lo[2];
        // A sill through the doorway, reaching far into both rooms: a static
        // in two areas, parts of it in view from either room with the doorway
        // out of view. No collision model: a person steps over it.
        constexpr int kSillHeight = 4;
        Box sill;
        sill.lo[axis] = -120;
        sill.hi[axis] = 120;
        sill.lo[across] = hole.lo[across] - origin[across];
        sill.hi[across] = hole.hi[across] - origin[across];
        sill.lo[2] = 0;
        sill.hi[2] = kSillHeight;
        set.models.push_back(entity("func_static_sill", "func_static", origin[0], origin[1], origin[2], sill));
        // The door stands on it, closing the doorway.
        Box box = sill;
        box.lo[axis] = -4;
        box.hi[axis] = 4;
        box.lo[2] = kSillHeight;
        box.hi[2] = hole.hi[2] - hole.lo[2];
        // A door has brushes too; a door is not solid in the viewer all the same.
        EntityBox door = entity("func_door_1", "func_door", origin[0], origin[1], origin[2], box);
        door.collision = true;
        set.models.push_back(door);
        // A clip box across the doorway, too high to step over, bound to the
        // door: it moves with the door, so it does not block the doorway.
        Box clip = box;
        clip.lo[axis] = -12;
        clip.hi[axis] = 12;
        clip.hi[2] = kSillHeight + 40;
        EntityBox doorClip = entity("func_static_doorclip", "func_static", origin[0], origin[1], origin[2], clip);
        doorClip.collision = true;
        doorClip.bind = door.name;
        set.models.push_back(doorClip);
        break;
    }
    *out = std::move(set);
    return true;
}

std::string entityModelsText(const EntitySet& set) {
    std::string out;
    for (const EntityBox& e : set.models) {
        const MeshSurface s = boxMesh(e.box);
        out += "model { /* name = */ \"" + e.name + "\" /* numSurfaces = */ 1\n\n";
        out += "/* surface 0 */ { \"" + std::string(materialName(s.material)) + "\" /* numVerts = */ " +
               std::to_string(s.vertices.size()) + " /* numIndexes = */ " + std::to_string(s.indices.size()) + "\n";
        for (const FileVertex& v : s.vertices) {
            const double values[8] = {v.x, v.y, v.z, v.s, v.t, v.nx, v.ny, v.nz};
            putPoint(out, values, 8);
            out += " \n";
        }
        for (size_t k = 0; k < s.indices.size(); ++k) {
            out += std::to_string(s.indices[k]);
            out += (k % 12 == 11) ? '\n' : ' ';
        }
        out += "\n}\n\n}\n\n";
    }
    return out;
}

std::string entityCollisionText(const EntitySet& set) {
    std::string out;
    for (const EntityBox& e : set.models) {
        if (!e.collision) continue;
        BrushBox brush;
        brush.box = e.box;
        out += collisionModelText(e.name, {brush}, {SplitNode{}});
    }
    return out;
}

std::string mapSourceText(const EntitySet& set, const std::vector<BrushBox>& brushes,
                          const std::vector<AreaMesh>& areas) {
    std::string out = "Version 2\n// entity 0\n{\n";
    putKey(out, "classname", "worldspawn");
    int primitive = 0;
    for (const BrushBox& b : brushes) putBrush(out, b.box, primitive++);
    for (const AreaMesh& area : areas)
        for (const MeshSurface& s : area.surfaces)
            for (size_t first = 0; first + 4 <= s.vertices.size(); first += 4) putPatch(out, s, first, primitive++);
    out += "}\n";
    int number = 1;
    out += "// entity " + std::to_string(number++) + "\n{\n";
    putKey(out, "classname", "info_player_start");
    putKey(out, "name", "info_player_start_1");
    putKey(out, "origin", numbers({double(set.playerStart[0]), double(set.playerStart[1]), double(set.playerStart[2])}));
    putKey(out, "angle", numbers({set.playerAngle}));
    out += "}\n";
    for (const EntityBox& e : set.models) {
        out += "// entity " + std::to_string(number++) + "\n{\n";
        putKey(out, "classname", e.classname);
        putKey(out, "name", e.name);
        putKey(out, "model", e.name);
        if (!e.bind.empty()) putKey(out, "bind", e.bind);
        putKey(out, "origin", numbers({double(e.origin[0]), double(e.origin[1]), double(e.origin[2])}));
        if (e.rotationKey) {
            const double radians = e.angle * std::numbers::pi / 180.0;
            const double c = std::round(std::cos(radians) * 1e6) / 1e6, s = std::round(std::sin(radians) * 1e6) / 1e6;
            putKey(out, "rotation", numbers({c, s, 0, -s, c, 0, 0, 0, 1}));
        } else if (e.angle != 0.0) {
            putKey(out, "angle", numbers({e.angle}));
        }
        // A brush entity's own primitives are in the source too.
        putBrush(out, e.box, 0);
        out += "}\n";
    }
    return out;
}

}  // namespace q::mapgen
