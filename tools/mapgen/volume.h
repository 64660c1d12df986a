#pragma once
// The building cut into the cells of the grid that every box face spans: each
// cell is solid or belongs to one area. Boxes are painted in a fixed order (all
// shells, then room air, then openings, then props), so a later box decides
// what an earlier one left; cells no box reaches are the outside, area 0 (solid
// in a sealed building, whose area 0 is a room). The
// area BSP, the brushes and the surfaces are all read off these cells, which
// keeps the three descriptions of the map in agreement.

#include <cstdint>
#include <vector>

#include "mapgen/layout.h"

namespace q::mapgen {

constexpr int kSolid = -1;

// What painted a cell last: decides the material of the faces around it.
enum class Fill : uint8_t { Outside, Shell, RoomAir, OpeningAir, Prop };

struct Volume {
    // Cell boundaries per axis, ascending; a margin of outside cells surrounds
    // the building so the outermost cells are all area 0.
    std::vector<int> coords[3];
    int cells[3] = {0, 0, 0};
    std::vector<int> label;  // area number or kSolid, per cell
    std::vector<Fill> fill;
    int outside = 0;  // the label of space no box reaches: area 0, or solid when sealed

    size_t index(int i, int j, int k) const {
        return (static_cast<size_t>(k) * cells[1] + j) * cells[0] + i;
    }
    int labelAt(int i, int j, int k) const { return label[index(i, j, k)]; }
    Fill fillAt(int i, int j, int k) const { return fill[index(i, j, k)]; }

    // What a point in the file frame lies in. A point on a cell boundary counts
    // as lying in the cell above it, as the area BSP sends it to its positive side.
    int classify(double x, double y, double z) const;
};

Volume buildVolume(const Layout& layout);

}  // namespace q::mapgen
