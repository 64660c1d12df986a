#pragma once
// The entities a generated map can carry (mapgen --entities): entity models in
// the area-portal file (their vertices in the entity's own space), collision
// models for the static ones, and the map source that places them and names
// the player start. All in the file frame (z up).

#include <string>
#include <vector>

#include "mapgen/brushes.h"
#include "mapgen/layout.h"
#include "mapgen/surfaces.h"

namespace q::mapgen {

struct EntityBox {
    std::string name;       // the model's name and the entity's
    std::string classname;  // func_door, func_static
    int origin[3] = {0, 0, 0};
    double angle = 0.0;     // degrees about the vertical
    bool rotationKey = false;  // the turn written as "rotation" rows instead of "angle"
    Box box;                // entity space
    bool collision = false; // has a collision model
    std::string bind;       // the entity it moves with ("bind" key); empty: none
};

struct EntitySet {
    std::vector<EntityBox> models;
    int playerStart[3] = {0, 0, 0};
    double playerAngle = 0.0;
};

// The room whose floor holds the start point (0, 0) at height 0; null when none does.
const Room* startRoom(const Layout& layout);

// In the room around the start: a solid static step the camera climbs (east of
// the player start, which faces it, both south of the doorways' line), a static turned by 90 degrees (solid, to
// its west), one turned by 30 degrees (not solid: its turn does not keep the
// box's axes), and, if the building has a doorway, a door closing the first
// one, standing on a sill that reaches into both rooms, with a clip box across
// the doorway bound to the door (solid brushes that move with it).
// Fails for a building whose start room is too small for them.
bool buildEntities(const Layout& layout, EntitySet* out, std::string* error);

// The model blocks of the entity models, for the area-portal file after its areas.
std::string entityModelsText(const EntitySet& set);
// The collision models of the entities that have them, for the collision file
// after the world's.
std::string entityCollisionText(const EntitySet& set);
// The map source: "Version 2", the world entity with a brush primitive per
// collision brush and a patch primitive per drawn rectangle, then the player
// start and an entity per entity model.
std::string mapSourceText(const EntitySet& set, const std::vector<BrushBox>& brushes,
                          const std::vector<AreaMesh>& areas);

}  // namespace q::mapgen
