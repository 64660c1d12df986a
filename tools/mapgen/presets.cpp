// The buildings the generator knows. Heights: a storey is 128 units from floor
// to ceiling, with 16-unit floors between storeys; doorways are 64 wide and 96
// high, so the walking box (16 wide, 64 high) passes with room to spare.

#include <string>

#include "mapgen/demo.h"
#include "mapgen/mapgen.h"

namespace q::mapgen {

namespace {

constexpr int kStorey = 128;
constexpr int kDoorWidth = 64;
constexpr int kDoorHeight = 96;

bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

bool buildRoom(Layout& l) {
    addRoom(l, Box::of(-128, -128, 0, 128, 128, kStorey), "room");
    return true;
}

bool buildTwoRooms(Layout& l, std::string* error) {
    const int a = addRoom(l, Box::of(-128, -128, 0, 128, 128, kStorey), "west");
    const int b = addRoom(l, Box::of(144, -128, 0, 400, 128, kStorey), "east");
    return connectRooms(l, a, b, kDoorWidth, kDoorHeight, 0, 0, error);
}

// Rooms 256 long in a line along x, doorways lined up on the middle, the first
// room centred on the origin.
bool buildCorridor(Layout& l, int count, std::string* error) {
    const int pitch = 256 + l.wall;
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        const int x0 = -128 + i * pitch;
        const int room = addRoom(l, Box::of(x0, -96, 0, x0 + 256, 96, kStorey), "corridor" + std::to_string(i + 1));
        if (previous >= 0 && !connectRooms(l, previous, room, kDoorWidth, kDoorHeight, 0, 0, error))
            return false;
        previous = room;
    }
    return true;
}

// Rooms 256 wide and 512 long in two columns along y, each the next half a
// room further on and in the other column, so each room's doorways to the one
// before and the one after lie in the same wall: looking in through one, the
// other is in the wall looked through, never in view. No room sees past its
// neighbours. The first room's middle is the origin.
bool buildBends(Layout& l, int count, std::string* error) {
    const int width = 256, length = 512;
    const int step = (length + l.wall) / 2;
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        const int x0 = (i % 2 == 0) ? -width / 2 : width / 2 + l.wall;
        const int y0 = -length / 2 + i * step;
        const int room = addRoom(l, Box::of(x0, y0, 0, x0 + width, y0 + length, kStorey), "bend" + std::to_string(i + 1));
        if (previous >= 0 && !connectRooms(l, previous, room, kDoorWidth, kDoorHeight, 0, 0, error)) return false;
        previous = room;
    }
    return true;
}

// A first room that looks into a hall through two doorways, 160 apart; the hall
// opens wide onto a room beyond, whose far wall has a doorway near each end into
// a room of its own. From the middle of the first room the west one is seen
// through the first doorway only, the east one through the second only: both
// paths look through the hall's wide opening.
bool buildTwoDoors(Layout& l, std::string* error) {
    const int first = addRoom(l, Box::of(-128, -128, 0, 128, 128, kStorey), "first");
    const int hall = addRoom(l, Box::of(-512, 144, 0, 512, 400, kStorey), "hall");
    const int beyond = addRoom(l, Box::of(-512, 416, 0, 512, 672, kStorey), "beyond");
    const int west = addRoom(l, Box::of(-512, 688, 0, -192, 944, kStorey), "west");
    const int east = addRoom(l, Box::of(192, 688, 0, 512, 944, kStorey), "east");
    return connectRooms(l, first, hall, kDoorWidth, kDoorHeight, 0, -80, error) &&
           connectRooms(l, first, hall, kDoorWidth, kDoorHeight, 0, 80, error) &&
           connectRooms(l, hall, beyond, 896, kDoorHeight, 0, 0, error) &&
           connectRooms(l, beyond, west, kDoorWidth, kDoorHeight, 0, 0, error) &&
           connectRooms(l, beyond, east, kDoorWidth, kDoorHeight, 0, 0, error);
}

// N x N equal rooms, 240 square, a doorway in every shared wall and no opening
// to the outside; room (N/2, N/2) is centred on the origin.
bool buildGrid(Layout& l, int n, std::string* error) {
    const int size = 240;
    const int pitch = size + l.wall;
    const int origin = -size / 2 - (n / 2) * pitch;
    std::vector<int> index(static_cast<size_t>(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int x0 = origin + i * pitch, y0 = origin + j * pitch;
            index[static_cast<size_t>(j) * n + i] = addRoom(
                l, Box::of(x0, y0, 0, x0 + size, y0 + size, kStorey),
                "r" + std::to_string(i) + "_" + std::to_string(j));
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int here = index[static_cast<size_t>(j) * n + i];
            if (i + 1 < n && !connectRooms(l, here, index[static_cast<size_t>(j) * n + i + 1], kDoorWidth,
                                           kDoorHeight, 0, 0, error))
                return false;
            if (j + 1 < n && !connectRooms(l, here, index[static_cast<size_t>(j + 1) * n + i], kDoorWidth,
                                           kDoorHeight, 0, 0, error))
                return false;
        }
    return true;
}

}  // namespace


std::string mapName(const MapgenOptions& o) {
    if (!o.name.empty()) return o.name;
    const std::string sealed = o.areaZeroRoom > 0 ? "-area0-" + std::to_string(o.areaZeroRoom) : "";
    if (o.preset == "demo") return "bbb" + sealed;
    if (o.preset == "grid" || o.preset == "corridor" || o.preset == "bends") return o.preset + std::to_string(o.count) + sealed;
    return o.preset + sealed;
}

bool buildLayout(const MapgenOptions& o, Layout* layout, std::string* error) {
    Layout l;
    l.name = mapName(o);
    bool ok = false;
    if (o.preset == "room") {
        ok = buildRoom(l);
    } else if (o.preset == "tworooms") {
        ok = buildTwoRooms(l, error);
    } else if (o.preset == "twodoors") {
        ok = buildTwoDoors(l, error);
    } else if (o.preset == "corridor") {
        if (o.count < 1 || o.count > kMaxCorridor)
            return fail(error, "corridor needs a room count from 1 to " + std::to_string(kMaxCorridor));
        ok = buildCorridor(l, o.count, error);
    } else if (o.preset == "bends") {
        if (o.count < 1 || o.count > kMaxCorridor)
            return fail(error, "bends needs a room count from 1 to " + std::to_string(kMaxCorridor));
        ok = buildBends(l, o.count, error);
    } else if (o.preset == "grid") {
        if (o.count < 1 || o.count > kMaxGrid)
            return fail(error, "grid needs a size from 1 to " + std::to_string(kMaxGrid));
        ok = buildGrid(l, o.count, error);
    } else if (o.preset == "demo") {
        ok = buildDemo(l, o.seed, error);
    } else {
        return fail(error, "unknown preset '" + o.preset + "' (demo, grid N, corridor N, bends N, tworooms, twodoors, room)");
    }
    if (ok && o.areaZeroRoom > 0) ok = sealWithAreaZeroRoom(l, o.areaZeroRoom - 1, error);
    if (!ok || !checkLayout(l, error)) return false;
    *layout = std::move(l);
    return true;
}

}  // namespace q::mapgen
