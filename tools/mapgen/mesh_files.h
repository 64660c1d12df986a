#pragma once
// Small mesh model files of the shapes real ones have, for tests and fuzz
// seeds: one box, 16 units wide and deep and 48 tall, standing on its base
// at the origin (x and y from -8 to 8, z from 0 to 48 in the map's axes), in
// each format's own axes and winding.
//   ASE: two sub-materials ("mapgen/box_side" for the four sides and
//        "mapgen/box_top" for top and bottom) of one material, two triangles a
//        side, each side's texture corners (0,0) (1,0) (1,1) (0,1), normals given.
//   LWO2: one layer of six quads; surfaces "mapgen/crate_side" (whose colour
//        block shows clip 1, "textures/gen/crate.tga") and "mapgen/crate_top";
//        a point map "uv" whose u, v are the point's x and y side (0 or 1),
//        and a per-polygon map "uv" giving the top quad (polygon 1) the same
//        brought to the middle (0.25 or 0.75). Polygons: bottom, top, -y, +y,
//        -x, +x.

#include <string>

namespace q::mapgen {

std::string aseTestModel();
std::string lwoTestModel();

// The same box of another size and other materials (mapgen --meshes): x from
// -halfX to halfX, y from -halfY to halfY, z from 0 to height.
struct BoxModel {
    float halfX = 8.0f, halfY = 8.0f, height = 48.0f;
    // ASE: the two sub-materials' names and bitmaps. LWO: the two surfaces'
    // names, the side's colour image (clip 1, none when empty); a top named
    // as the side, or not named, makes one surface of all six quads.
    std::string sideMaterial, sideImage, topMaterial, topImage;
    // ASE only, when above 0: a second object, this much larger all round,
    // of a second material whose bitmap is hullImage (a collision hull).
    float hullMargin = 0.0f;
    std::string hullMaterial, hullImage;
};
std::string aseBoxModel(const BoxModel& box);
std::string lwoBoxModel(const BoxModel& box);

// format "ase" or "lwo"; false with a message when it is neither or the file
// cannot be written.
bool writeTestModel(const std::string& format, const std::string& path, std::string* error);

}  // namespace q::mapgen
