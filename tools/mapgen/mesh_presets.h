#pragma once
// mapgen --meshes: mesh models in both formats for the viewer's tests and
// benchmarks, and the entities that place them. In the start room (the
// file's axes, z up, each standing on the floor at z = 0; the room must
// reach as far as --entities needs):
//   - models/mapgen/meshes/small_crate.ase, a box 12 wide and 12 tall placed
//     six times in a row along the south wall (y = -76, x = -20 to 30);
//   - models/mapgen/meshes/slab.lwo, 24 long along its own x, 4 deep, 32
//     tall, turned a quarter about the vertical by a "rotation" key at
//     (-20, 10) and by "angle" 30 at (20, -30);
//   - models/mapgen/meshes/hull.ase, a box 16 wide and 32 tall inside a hull
//     2 units larger all round whose material (textures/common/collision)
//     serves collision only and is not drawn, at (-70, 70);
//   - models/mapgen/meshes/grate.lwo, a panel 32 wide along x, 2 deep, 40
//     tall, at (85, 30): surface mapgen/grate, alpha-tested by its definition
//     (materials/mapgen_meshes.mtr, alphaTest 0.5) over an image of opaque
//     and clear squares of 8 texels (grate.png);
//   - models/mapgen/meshes/marker.ase, a box 16 wide and 48 tall at (70, 0)
//     in one flat colour, pure magenta (255, 0, 255) (marker.png), which
//     nothing else of a generated map shows.
// With a count N, N more entities place the 20 files models/mapgen/set/
// prop_01.ase to prop_20.lwo (odd numbers ASE, even LWO, each of its own
// size, textured with the map's own images) in turn, spread over the rooms
// other than the start room (over it too when it is the only one), on a grid
// of 40 units from 32 inside each room's corner, turned by various angles.

#include <filesystem>
#include <string>

#include "mapgen/layout.h"

namespace q::mapgen {

constexpr int kMeshSetFiles = 20;
constexpr int kMaxMeshPlacements = 100000;

// The entities, as map source text to follow the others (numbered from first).
std::string meshPresetEntitiesText(const Layout& layout, int placements, int first);
// The models, their images and materials/mapgen_meshes.mtr into the asset
// root; the 20 files of the set when placements > 0. False with a message.
bool writeMeshPresetFiles(const std::filesystem::path& root, int placements, std::string* error);

}  // namespace q::mapgen
