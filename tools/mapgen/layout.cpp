#include "mapgen/layout.h"

#include <algorithm>

namespace q::mapgen {

bool Box::overlaps(const Box& o) const {
    for (int a = 0; a < 3; ++a)
        if (hi[a] <= o.lo[a] || o.hi[a] <= lo[a]) return false;
    return true;
}

bool Box::contains(const Box& o) const {
    for (int a = 0; a < 3; ++a)
        if (o.lo[a] < lo[a] || o.hi[a] > hi[a]) return false;
    return true;
}

Box Box::grown(int by) const {
    Box b = *this;
    for (int a = 0; a < 3; ++a) {
        b.lo[a] -= by;
        b.hi[a] += by;
    }
    return b;
}

int addRoom(Layout& layout, const Box& interior, const std::string& name) {
    Room room;
    room.interior = interior;
    room.area = static_cast<int>(layout.rooms.size()) + 1;
    room.name = name;
    layout.rooms.push_back(room);
    return static_cast<int>(layout.rooms.size()) - 1;
}

static bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool connectRooms(Layout& layout, int a, int b, int width, int height, int sill, int offset,
                  std::string* error) {
    const int count = static_cast<int>(layout.rooms.size());
    if (a < 0 || b < 0 || a >= count || b >= count || a == b)
        return fail(error, "doorway between unknown rooms");
    const Room& ra = layout.rooms[a];
    const Room& rb = layout.rooms[b];
    const int t = layout.wall;
    for (int axis = 0; axis < 2; ++axis) {
        const Room* below = nullptr;
        const Room* above = nullptr;
        if (ra.interior.hi[axis] + t == rb.interior.lo[axis]) {
            below = &ra;
            above = &rb;
        } else if (rb.interior.hi[axis] + t == ra.interior.lo[axis]) {
            below = &rb;
            above = &ra;
        } else {
            continue;
        }
        const int side = 1 - axis;
        const int shareLo = std::max(ra.interior.lo[side], rb.interior.lo[side]);
        const int shareHi = std::min(ra.interior.hi[side], rb.interior.hi[side]);
        const int centre = (shareLo + shareHi) / 2 + offset;
        const int bottom = std::max(ra.interior.lo[2], rb.interior.lo[2]) + sill;
        const int top = bottom + height;
        if (centre - width / 2 < shareLo || centre + width / 2 > shareHi)
            return fail(error, "doorway " + ra.name + "-" + rb.name + " is wider than their shared wall");
        if (top > std::min(ra.interior.hi[2], rb.interior.hi[2]) || sill < 0)
            return fail(error, "doorway " + ra.name + "-" + rb.name + " does not fit between floor and ceiling");
        Opening door;
        door.axis = axis;
        door.hole.lo[axis] = below->interior.hi[axis];
        door.hole.hi[axis] = above->interior.lo[axis];
        door.hole.lo[side] = centre - width / 2;
        door.hole.hi[side] = centre + width / 2;
        door.hole.lo[2] = bottom;
        door.hole.hi[2] = top;
        door.areaBelow = below->area;
        door.areaAbove = above->area;
        layout.openings.push_back(door);
        return true;
    }
    return fail(error, "rooms " + ra.name + " and " + rb.name + " do not share a wall");
}

bool addWindow(Layout& layout, int room, int axis, int side, int width, int height, int sill,
               int offset, std::string* error) {
    if (room < 0 || room >= static_cast<int>(layout.rooms.size()) || axis < 0 || axis > 1 ||
        (side != 1 && side != -1))
        return fail(error, "window in an unknown room or wall");
    const Room& r = layout.rooms[room];
    const int t = layout.wall;
    const int along = 1 - axis;
    const int centre = (r.interior.lo[along] + r.interior.hi[along]) / 2 + offset;
    Opening w;
    w.axis = axis;
    w.window = true;
    if (side > 0) {
        w.hole.lo[axis] = r.interior.hi[axis];
        w.hole.hi[axis] = r.interior.hi[axis] + t;
        w.areaBelow = r.area;
        w.areaAbove = 0;
    } else {
        w.hole.lo[axis] = r.interior.lo[axis] - t;
        w.hole.hi[axis] = r.interior.lo[axis];
        w.areaBelow = 0;
        w.areaAbove = r.area;
    }
    w.hole.lo[along] = centre - width / 2;
    w.hole.hi[along] = centre + width / 2;
    w.hole.lo[2] = r.interior.lo[2] + sill;
    w.hole.hi[2] = w.hole.lo[2] + height;
    if (w.hole.lo[along] < r.interior.lo[along] || w.hole.hi[along] > r.interior.hi[along] ||
        w.hole.hi[2] > r.interior.hi[2] || sill < 0)
        return fail(error, "window of " + r.name + " does not fit its wall");
    // The outer side must be open air, not another room or the walls around it.
    Box beyond = w.hole;
    if (side > 0) {
        beyond.lo[axis] = w.hole.hi[axis];
        beyond.hi[axis] = w.hole.hi[axis] + 1;
    } else {
        beyond.hi[axis] = w.hole.lo[axis];
        beyond.lo[axis] = w.hole.lo[axis] - 1;
    }
    for (const Room& other : layout.rooms)
        if (other.interior.grown(t).overlaps(beyond))
            return fail(error, "window of " + r.name + " opens into " + other.name);
    layout.openings.push_back(w);
    return true;
}

bool sealWithAreaZeroRoom(Layout& layout, int room, std::string* error) {
    if (room < 0 || room >= static_cast<int>(layout.rooms.size()))
        return fail(error, "area 0 room " + std::to_string(room + 1) + " is not one of the " +
                               std::to_string(layout.rooms.size()) + " rooms");
    for (const Opening& o : layout.openings)
        if (o.window) return fail(error, "a sealed building has no windows, and " + layout.name + " has");
    // Rooms were areas 1, 2, ... in order: the chosen one becomes 0 and those
    // after it move down by one, so the numbers stay dense.
    const int chosen = layout.rooms[room].area;
    auto renumber = [chosen](int area) { return area == chosen ? 0 : (area < chosen ? area : area - 1); };
    for (Room& r : layout.rooms) r.area = renumber(r.area);
    for (Opening& o : layout.openings) {
        o.areaBelow = renumber(o.areaBelow);
        o.areaAbove = renumber(o.areaAbove);
    }
    layout.sealed = true;
    return true;
}

bool addProp(Layout& layout, int room, const Box& box, std::string* error) {
    if (room < 0 || room >= static_cast<int>(layout.rooms.size()))
        return fail(error, "prop in an unknown room");
    if (!box.valid() || !layout.rooms[room].interior.contains(box))
        return fail(error, "prop does not stand inside " + layout.rooms[room].name);
    layout.props.push_back(Prop{box, room});
    return true;
}

bool checkLayout(const Layout& layout, std::string* error) {
    if (layout.wall < 2 || layout.wall % 2 != 0) return fail(error, "wall thickness must be even");
    if (layout.rooms.empty()) return fail(error, "a map needs at least one room");
    // Sorted by x so that only rooms near each other are compared.
    std::vector<int> order(layout.rooms.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::sort(order.begin(), order.end(), [&](int l, int r) {
        return layout.rooms[l].interior.lo[0] < layout.rooms[r].interior.lo[0];
    });
    for (const Room& r : layout.rooms)
        if (!r.interior.valid()) return fail(error, "room " + r.name + " is empty");
    for (size_t i = 0; i < order.size(); ++i) {
        const Room& a = layout.rooms[order[i]];
        const Box shell = a.interior.grown(layout.wall);
        for (size_t j = i + 1; j < order.size(); ++j) {
            const Room& b = layout.rooms[order[j]];
            if (b.interior.lo[0] >= shell.hi[0]) break;
            const Box otherShell = b.interior.grown(layout.wall);
            if (shell.overlaps(b.interior) || otherShell.overlaps(a.interior))
                return fail(error, "rooms " + a.name + " and " + b.name + " are closer than a wall");
        }
    }
    for (const Prop& p : layout.props)
        for (const Opening& o : layout.openings)
            if (p.box.overlaps(o.hole)) return fail(error, "a prop blocks an opening of " + layout.rooms[p.room].name);
    return true;
}

}  // namespace q::mapgen
