#pragma once
// Collision brushes (the solid cells merged into as few boxes as a greedy sweep
// finds) and the axis split tree the collision file carries over them.

#include <vector>

#include "mapgen/volume.h"

namespace q::mapgen {

struct BrushBox {
    Box box;
    bool prop = false;  // a step, ledge or pillar rather than part of the shell
};

// Merged boxes grow no longer than this on any axis (unless one cell is longer).
constexpr int kMaxBrushSpan = 512;

std::vector<BrushBox> mergeSolidCells(const Volume& volume);

// One node of the collision tree in the order the file lists it (pre-order: a
// node, its front subtree, its back subtree). axis is in the file frame; a leaf
// has axis -1 and lists the brushes its region reaches, as a reader links them.
struct SplitNode {
    int axis = -1;
    double distance = 0.0;
    int front = -1;  // indices into the pre-order list
    int back = -1;
    std::vector<int> brushes;
};

constexpr int kLeafBrushes = 4;

// Median splits on the longest axis of the brushes' bounds until a leaf holds at
// most kLeafBrushes brushes or a split stops separating them.
std::vector<SplitNode> buildCollisionTree(const std::vector<BrushBox>& brushes);

}  // namespace q::mapgen
