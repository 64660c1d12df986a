#pragma once
// A building described as rooms (boxes of air, one area each), openings through
// the walls between them or to the outside, and props (steps, ledges, pillars)
// standing inside rooms. Everything is in whole map units in the files' own
// frame: z up. Walls, floors and ceilings are a shell of `wall` units around
// every room interior; openings cut through that shell.

#include <string>
#include <vector>

namespace q::mapgen {

struct Box {
    int lo[3] = {0, 0, 0};
    int hi[3] = {0, 0, 0};

    static Box of(int x0, int y0, int z0, int x1, int y1, int z1) {
        return Box{{x0, y0, z0}, {x1, y1, z1}};
    }
    bool valid() const { return lo[0] < hi[0] && lo[1] < hi[1] && lo[2] < hi[2]; }
    // Shared volume, not just a shared face.
    bool overlaps(const Box& o) const;
    bool contains(const Box& o) const;
    Box grown(int by) const;
    double centre(int axis) const { return 0.5 * (lo[axis] + hi[axis]); }
};

struct Room {
    Box interior;
    int area = 0;  // rooms are areas 1, 2, ... in the order they were added
    std::string name;
};

// A doorway or window: a hole through one wall along `axis`. The portal sits in
// the middle of the wall; the half of the hole below it belongs to `areaBelow`,
// the half above to `areaAbove` (area 0 on the outer side of a window). The
// portal's positive side is the side above.
struct Opening {
    Box hole;
    int axis = 0;
    int areaBelow = 0;
    int areaAbove = 0;
    bool window = false;
    int portalPlane() const { return (hole.lo[axis] + hole.hi[axis]) / 2; }
};

struct Prop {
    Box box;
    int room = 0;  // index into rooms
};

struct Layout {
    std::string name;
    int wall = 16;
    std::vector<Room> rooms;
    std::vector<Opening> openings;
    std::vector<Prop> props;
    // Where the viewer's camera starts in map space (file frame): world (0, 0, 0)
    // with the first copy of the map placed 64 units below. Every preset puts a
    // room with its floor at z = 0 around it.
    double start[3] = {0, 0, 64};
    // As a map compiler writes a sealed building: the outside is solid space of
    // the area tree (not an area), and area 0 is one of the rooms.
    bool sealed = false;
};

int addRoom(Layout& layout, const Box& interior, const std::string& name);

// A doorway `width` wide and `height` high, its sill `sill` above the higher of
// the two floors, centred on the shared part of the wall moved by `offset`.
// Fails (with a message) unless the rooms face each other across one wall.
bool connectRooms(Layout& layout, int a, int b, int width, int height, int sill, int offset,
                  std::string* error);

// A hole through the wall of `room` on side `side` (-1 or +1) of `axis` (0 or 1)
// into the outside (area 0).
bool addWindow(Layout& layout, int room, int axis, int side, int width, int height, int sill,
               int offset, std::string* error);

bool addProp(Layout& layout, int room, const Box& box, std::string* error);

// Seals the building and numbers room `room` (an index into rooms) as area 0,
// the others 1, 2, ... in their order. Fails for a building with windows: they
// would open onto solid space.
bool sealWithAreaZeroRoom(Layout& layout, int room, std::string* error);

// Rooms keep a wall's thickness between each other; windows open onto no room;
// props stand inside their room. Connections and windows check themselves.
bool checkLayout(const Layout& layout, std::string* error);

}  // namespace q::mapgen
