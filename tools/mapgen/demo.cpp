// The demo building "bbb": 24 rooms on two storeys around a double-height
// atrium that holds the camera's start. East of it a corridor of six rooms whose
// doorways line up (with a window at the far end), side rooms north and south,
// a stairwell of 12-unit steps up to the upper storey, a ledge in the atrium
// that only flying reaches, and a pillared hall to the west. Everything lies
// within x -1016..1512, y -736..736.

#include <string>

#include "mapgen/demo.h"
#include "mapgen/mapgen.h"

namespace q::mapgen {

namespace {

constexpr int kFloor0 = 0, kCeiling0 = 128;  // ground storey
constexpr int kFloor1 = 144, kCeiling1 = 272;  // upper storey
constexpr int kDoorWidth = 64, kDoorHeight = 96;
constexpr int kStepRise = 12, kStepRun = 32;

struct DemoBuilder {
    Layout& l;
    std::string* error;
    bool ok = true;

    int room(const char* name, int x0, int y0, int x1, int y1, int z0, int z1) {
        return addRoom(l, Box::of(x0, y0, z0, x1, y1, z1), name);
    }
    void door(int a, int b, int offset = 0) {
        if (ok) ok = connectRooms(l, a, b, kDoorWidth, kDoorHeight, 0, offset, error);
    }
    void window(int r, int axis, int side, int offset = 0) {
        if (ok) ok = addWindow(l, r, axis, side, 64, 64, 32, offset, error);
    }
    void prop(int r, const Box& box) {
        if (ok) ok = addProp(l, r, box, error);
    }
};

// A small generator of our own so that a seed gives the same map everywhere.
uint32_t nextRandom(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

}  // namespace

bool buildDemo(Layout& l, uint32_t seed, std::string* error) {
    DemoBuilder b{l, error};
    uint32_t random = seed;

    // The atrium holds the start point (0, 0, 64) and rises through both storeys.
    const int atrium = b.room("atrium", -248, -248, 248, 248, kFloor0, kCeiling1);
    b.prop(atrium, Box::of(-248, 184, kCeiling0, 248, 248, kFloor1));  // the ledge
    const int library = b.room("library", -248, 264, 248, 520, kFloor0, kCeiling0);
    const int gallery = b.room("gallery", -248, 264, 248, 520, kFloor1, kCeiling1);
    b.door(atrium, library);
    b.door(atrium, gallery);  // from the ledge
    b.window(library, 1, 1);
    b.window(gallery, 1, 1, -120);
    b.window(gallery, 1, 1, 120);

    // The corridor east: six rooms with their doorways on one line.
    int corridor[6];
    for (int k = 0; k < 6; ++k) {
        const std::string name = "hall" + std::to_string(k + 1);
        corridor[k] = b.room(name.c_str(), 264 + 208 * k, -56, 456 + 208 * k, 56, kFloor0, kCeiling0);
        b.door(k == 0 ? atrium : corridor[k - 1], corridor[k]);
    }
    b.window(corridor[5], 0, 1);

    const int north1 = b.room("north1", 264, 72, 456, 264, kFloor0, kCeiling0);
    const int north2 = b.room("north2", 472, 72, 872, 264, kFloor0, kCeiling0);
    const int north3 = b.room("north3", 888, 72, 1496, 264, kFloor0, kCeiling0);
    b.door(corridor[0], north1);
    b.door(corridor[2], north2);
    b.door(corridor[4], north3);
    b.door(north1, north2);
    b.door(north2, north3);
    b.window(north3, 0, 1);

    // The stairwell: steps climb west to a landing at the upper floor.
    const int stairs = b.room("stairwell", 264, 280, 872, 472, kFloor0, kCeiling1);
    b.prop(stairs, Box::of(264, 280, kFloor0, 360, 472, kFloor1));
    for (int k = 1; k <= 11; ++k) {
        const int x0 = 360 + kStepRun * (11 - k);
        b.prop(stairs, Box::of(x0, 280, kFloor0, x0 + kStepRun, 472, kFloor0 + kStepRise * k));
    }
    b.door(north2, stairs, 120);   // lands east of the lowest step
    b.door(gallery, stairs);       // onto the landing
    b.window(stairs, 1, 1, 160);

    const int loft = b.room("loft", 264, 72, 872, 264, kFloor1, kCeiling1);
    const int attic = b.room("attic", 888, 72, 1496, 264, kFloor1, kCeiling1);
    b.door(stairs, loft, -256);    // from the landing
    b.door(loft, attic);
    b.window(loft, 1, -1, -100);
    b.window(loft, 1, -1, 100);
    b.window(attic, 1, 1);
    b.window(attic, 0, 1);

    int south[3];
    for (int k = 0; k < 3; ++k) {
        const std::string name = "south" + std::to_string(k + 1);
        south[k] = b.room(name.c_str(), 264 + 416 * k, -264, 664 + 416 * k, -72, kFloor0, kCeiling0);
        b.door(corridor[1 + 2 * k], south[k]);
        if (k > 0) b.door(south[k - 1], south[k], 40);
        b.window(south[k], 1, -1, -100);
        b.window(south[k], 1, -1, 100);
    }

    const int porch = b.room("porch", -248, -520, 248, -264, kFloor0, kCeiling0);
    b.door(atrium, porch);
    b.window(porch, 1, -1);
    b.window(porch, 0, 1);

    // The pillared hall; the seed moves its pillars along the hall.
    const int hall = b.room("pillars", -1000, -400, -264, 400, kFloor0, kCeiling1);
    b.door(atrium, hall);
    b.window(hall, 0, -1, -200);
    b.window(hall, 0, -1, 200);
    const int pillarX[4] = {-888, -760, -536, -408};
    for (int x : pillarX) {
        const int shift = static_cast<int>(nextRandom(random) % 5) * 8 - 16;
        for (int y : {-216, 184}) b.prop(hall, Box::of(x + shift, y, kFloor0, x + shift + 32, y + 32, kCeiling1));
    }

    const int wn1 = b.room("northwest1", -1000, 416, -648, 720, kFloor0, kCeiling0);
    const int wn2 = b.room("northwest2", -632, 416, -264, 720, kFloor0, kCeiling0);
    const int ws1 = b.room("southwest1", -1000, -720, -648, -416, kFloor0, kCeiling0);
    const int ws2 = b.room("southwest2", -632, -720, -264, -416, kFloor0, kCeiling0);
    b.door(hall, wn1);
    b.door(hall, wn2);
    b.door(wn1, wn2);
    b.door(hall, ws1);
    b.door(hall, ws2);
    b.door(ws1, ws2);
    b.window(wn1, 1, 1);
    b.window(wn2, 1, 1);
    b.window(ws1, 1, -1);
    b.window(ws2, 1, -1);
    return b.ok;
}

}  // namespace q::mapgen
