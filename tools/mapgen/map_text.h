#pragma once
// The text of the two map files, laid out token for token as the readers'
// patterns expect them (z up, the files' own frame).

#include <string>
#include <vector>

#include "mapgen/area_bsp.h"
#include "mapgen/brushes.h"
#include "mapgen/portals.h"
#include "mapgen/surfaces.h"

namespace q::mapgen {

// "mapProcFile003", the model blocks _area0, _area1, ... in ascending order,
// then "interAreaPortals", then "nodes". splitPortals: each portal as eight
// points going round the same way, the middle of its first edge first.
// entityModels: model blocks written after the areas' (mapgen/entities.h).
std::string procFileText(const std::vector<AreaMesh>& areas, const std::vector<PortalQuad>& portals,
                         const std::vector<AreaNode>& nodes, bool splitPortals = false,
                         const std::string& entityModels = {});

// A "collisionModel" holding its "nodes" block (pre-order) before its "brushes".
std::string collisionFileText(const std::vector<BrushBox>& brushes,
                              const std::vector<SplitNode>& tree);
// One "collisionModel" block.
std::string collisionModelText(const std::string& name, const std::vector<BrushBox>& brushes,
                               const std::vector<SplitNode>& tree);

// Whole numbers as integers, the rest with enough digits to read back the same
// float; never "-0".
void putNumber(std::string& out, double value);

}  // namespace q::mapgen
