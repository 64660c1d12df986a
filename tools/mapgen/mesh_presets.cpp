#include "mapgen/mesh_presets.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "image/image.h"
#include "mapgen/entities.h"
#include "mapgen/mesh_files.h"

namespace q::mapgen {

namespace {

constexpr const char* kFolder = "models/mapgen/meshes/";

struct PresetEntity {
    const char* name;
    const char* model;  // under kFolder
    int x, y;
    const char* turn;  // keys written as they stand; empty: none
};

constexpr PresetEntity kPresetEntities[] = {
    {"mesh_small_crate_1", "small_crate.ase", -20, -76, ""},
    {"mesh_small_crate_2", "small_crate.ase", -10, -76, ""},
    {"mesh_small_crate_3", "small_crate.ase", 0, -76, ""},
    {"mesh_small_crate_4", "small_crate.ase", 10, -76, ""},
    {"mesh_small_crate_5", "small_crate.ase", 20, -76, ""},
    {"mesh_small_crate_6", "small_crate.ase", 30, -76, ""},
    {"mesh_slab_rotation", "slab.lwo", -20, 10, "\"rotation\" \"0 1 0 -1 0 0 0 0 1\"\n"},
    {"mesh_slab_angle", "slab.lwo", 20, -30, "\"angle\" \"30\"\n"},
    {"mesh_hull", "hull.ase", -70, 70, ""},
    {"mesh_grate", "grate.lwo", 85, 30, ""},
    {"mesh_marker", "marker.ase", 70, 0, ""},
};

// The set's file k (1 to kMeshSetFiles), as entities name it.
std::string setFile(int k) {
    char name[64];
    std::snprintf(name, sizeof name, "models/mapgen/set/prop_%02d.%s", k, k % 2 ? "ase" : "lwo");
    return name;
}

BoxModel setModel(int k) {
    BoxModel box;
    box.halfX = static_cast<float>(4 + (k % 5) * 2);
    box.halfY = static_cast<float>(4 + (k % 3) * 2);
    box.height = static_cast<float>(16 + 2 * k);
    if (k % 2) {
        box.sideMaterial = "mapgen/prop_side";
        box.sideImage = "//base/textures/gen/wall.tga";
        box.topMaterial = "mapgen/prop_top";
        box.topImage = "//base/textures/gen/floor.tga";
    } else {
        box.sideMaterial = "textures/gen/trim";
        box.sideImage = "textures/gen/trim.jpg";
        box.topMaterial = "textures/gen/floor";
    }
    return box;
}

std::string entityText(int number, const std::string& name, const std::string& model, int x, int y, int z,
                       const std::string& turn) {
    std::string out = "// entity " + std::to_string(number) + "\n{\n\"classname\" \"func_static\"\n";
    out += "\"name\" \"" + name + "\"\n\"model\" \"" + model + "\"\n";
    out += "\"origin\" \"" + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + "\"\n";
    return out + turn + "}\n";
}

Image filledImage(uint32_t side, uint8_t (*colour)(uint32_t x, uint32_t y, int channel)) {
    Image image;
    image.width = image.height = side;
    image.rgba.resize(size_t{side} * side * 4);
    for (uint32_t y = 0; y < side; ++y)
        for (uint32_t x = 0; x < side; ++x)
            for (int c = 0; c < 4; ++c) image.rgba[(size_t{y} * side + x) * 4 + static_cast<size_t>(c)] = colour(x, y, c);
    return image;
}

bool writeFile(const std::filesystem::path& path, const std::string& bytes, std::string* error) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) *error = path.string() + ": cannot be written";
    return static_cast<bool>(out);
}

bool makeFolder(const std::filesystem::path& folder, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) *error = folder.string() + ": cannot be created (" + ec.message() + ")";
    return !ec;
}

constexpr const char* kGrateDefinition =
    "// The alpha-tested grate of mapgen --meshes: its clear squares are left out.\n"
    "mapgen/grate\n"
    "{\n"
    "\tqer_editorimage models/mapgen/meshes/grate.tga\n"
    "\t{\n"
    "\t\tblend diffusemap\n"
    "\t\tmap models/mapgen/meshes/grate.tga\n"
    "\t\talphaTest 0.5\n"
    "\t}\n"
    "}\n";

}  // namespace

std::string meshPresetEntitiesText(const Layout& layout, int placements, int first) {
    std::string out;
    for (const PresetEntity& e : kPresetEntities)
        out += entityText(first++, e.name, std::string(kFolder) + e.model, e.x, e.y, 0, e.turn);
    if (placements <= 0) return out;
    std::vector<const Room*> rooms;
    const Room* start = startRoom(layout);
    for (const Room& room : layout.rooms)
        if (&room != start || layout.rooms.size() == 1) rooms.push_back(&room);
    for (int i = 0; i < placements; ++i) {
        const Room& room = *rooms[static_cast<size_t>(i) % rooms.size()];
        const int slot = i / static_cast<int>(rooms.size());
        const Box& b = room.interior;
        const int columns = std::max(1, (b.hi[0] - b.lo[0] - 64) / 40 + 1);
        const int rows = std::max(1, (b.hi[1] - b.lo[1] - 64) / 40 + 1);
        const int x = b.lo[0] + 32 + (slot % columns) * 40;
        const int y = b.lo[1] + 32 + (slot / columns % rows) * 40;
        const int angle = i * 37 % 360;
        out += entityText(first++, "mesh_prop_" + std::to_string(i + 1), setFile(i % kMeshSetFiles + 1), x, y, b.lo[2],
                          angle ? "\"angle\" \"" + std::to_string(angle) + "\"\n" : "");
    }
    return out;
}

bool writeMeshPresetFiles(const std::filesystem::path& root, int placements, std::string* error) {
    const std::filesystem::path folder = root / kFolder;
    if (!makeFolder(folder, error) || !makeFolder(root / "materials", error)) return false;

    BoxModel smallCrate;
    smallCrate.halfX = smallCrate.halfY = 6.0f;
    smallCrate.height = 12.0f;
    smallCrate.sideMaterial = "mapgen/small_crate_side";
    smallCrate.sideImage = "//base/textures/gen/wall.tga";
    smallCrate.topMaterial = "mapgen/small_crate_top";
    smallCrate.topImage = "//base/textures/gen/floor.tga";

    BoxModel slab;
    slab.halfX = 12.0f;
    slab.halfY = 2.0f;
    slab.height = 32.0f;
    slab.sideMaterial = "textures/gen/trim";
    slab.sideImage = "textures/gen/trim.jpg";
    slab.topMaterial = "textures/gen/ceiling";

    BoxModel hull = smallCrate;
    hull.halfX = hull.halfY = 8.0f;
    hull.height = 32.0f;
    hull.hullMargin = 2.0f;
    hull.hullMaterial = "mapgen/hull";
    hull.hullImage = "//base/textures/common/collision.tga";

    BoxModel grate;
    grate.halfX = 16.0f;
    grate.halfY = 1.0f;
    grate.height = 40.0f;
    grate.sideMaterial = "mapgen/grate";
    grate.sideImage = "models/mapgen/meshes/grate.tga";

    BoxModel marker;
    marker.sideMaterial = "mapgen/marker_side";
    marker.topMaterial = "mapgen/marker_top";
    marker.sideImage = marker.topImage = "//base/models/mapgen/meshes/marker.tga";

    const Image magenta = filledImage(8, [](uint32_t, uint32_t, int c) -> uint8_t { return c == 1 ? 0 : 255; });
    const Image checker = filledImage(32, [](uint32_t x, uint32_t y, int c) -> uint8_t {
        const bool opaque = ((x / 8) + (y / 8)) % 2 == 0;
        return opaque ? static_cast<uint8_t>(c == 3 ? 255 : 150 + 10 * c) : 0;
    });
    if (!writeFile(folder / "small_crate.ase", aseBoxModel(smallCrate), error) ||
        !writeFile(folder / "slab.lwo", lwoBoxModel(slab), error) ||
        !writeFile(folder / "hull.ase", aseBoxModel(hull), error) ||
        !writeFile(folder / "grate.lwo", lwoBoxModel(grate), error) ||
        !writeFile(folder / "marker.ase", aseBoxModel(marker), error) ||
        !writePng((folder / "marker.png").string().c_str(), magenta, error) ||
        !writePng((folder / "grate.png").string().c_str(), checker, error) ||
        !writeFile(root / "materials" / "mapgen_meshes.mtr", kGrateDefinition, error))
        return false;
    if (placements <= 0) return true;
    if (!makeFolder(root / "models/mapgen/set", error)) return false;
    for (int k = 1; k <= kMeshSetFiles; ++k) {
        const BoxModel box = setModel(k);
        if (!writeFile(root / setFile(k), k % 2 ? aseBoxModel(box) : lwoBoxModel(box), error)) return false;
    }
    return true;
}

}  // namespace q::mapgen
