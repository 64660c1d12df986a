// Entity models placed by the map source: where each stands, the areas it
// reaches (so portal mode draws it whenever any of them is drawn) and whether
// the walking box is stopped by it.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "map/map_data.h"
#include "map/map_source.h"

namespace q {

namespace {

bool isEmpty(const Bounds& b) { return b.mins.x > b.maxs.x || b.mins.y > b.maxs.y || b.mins.z > b.maxs.z; }

Bounds placedBounds(const Bounds& local, const Matrix& placement) {
    Bounds placed = Bounds::empty();
    if (isEmpty(local)) return placed;
    for (int i = 0; i < 8; ++i) {
        const Vector3 corner{(i & 1) ? local.maxs.x : local.mins.x, (i & 2) ? local.maxs.y : local.mins.y,
                             (i & 4) ? local.maxs.z : local.mins.z};
        placed.grow(transformCoord(corner, placement));
    }
    return placed;
}

bool near(float value, float target) { return std::fabs(value - target) < 1e-4f; }

// The turn keeps the box's axes: the vertical stays the vertical, and the two
// level axes go to level axes (no turn, or a multiple of 90 degrees about the
// vertical), so a box swept in the entity's space is still a box.
bool keepsBoxAxes(const Matrix& m) {
    if (!near(m.m[1][1], 1.0f) || !near(m.m[0][1], 0.0f) || !near(m.m[2][1], 0.0f) || !near(m.m[1][0], 0.0f) ||
        !near(m.m[1][2], 0.0f))
        return false;
    for (int row : {0, 2})
        for (int column : {0, 2}) {
            const float v = std::fabs(m.m[row][column]);
            if (!near(v, 0.0f) && !near(v, 1.0f)) return false;
        }
    return true;
}

const NamedCollisionModel* collisionModelNamed(const MapData& map, const std::string& name) {
    for (const NamedCollisionModel& model : map.namedCollisionModels)
        if (model.name == name) return &model;
    return nullptr;
}

}  // namespace

void MapData::placeEntities(const MapSource& source) {
    solidEntities.clear();
    for (EntityModel& model : entityModels) {
        const SourceEntity* entity = source.entityPlacing(model.name);
        if (!entity) continue;  // the reader placed only models an entity names
        model.placement = entity->placement;
        model.origin = entity->origin;
        model.inversePlacement = inverse(model.placement).value_or(Matrix::identity());
        const Bounds placed = placedBounds(model.bounds, model.placement);
        model.areas.clear();
        if (!isEmpty(placed)) {
            areasReached(placed, &model.areas);
            bounds.grow(placed);
        }

        // Only static geometry is solid: doors, movers and triggers move or
        // let a person through in the game, and a viewer lets a person walk
        // everywhere. A static bound to a door moves with it (a clip in the
        // doorway), so it lets a person through as the door does.
        const NamedCollisionModel* collision = collisionModelNamed(*this, model.name);
        model.solid = model.classname == "func_static" && collision && collision->root >= 0 &&
                      keepsBoxAxes(model.placement) && !isEmpty(collision->bounds) && !source.boundToMover(*entity);
        if (model.solid) {
            model.collisionRoot = collision->root;
            model.solidBounds = placedBounds(collision->bounds, model.placement);
            solidEntities.push_back({model.solidBounds, static_cast<int>(&model - entityModels.data())});
        }
    }
    if (const SourceEntity* start = source.playerStart()) {
        hasPlayerStart = true;
        playerStart = start->origin;
        // Where its own +x points, level: map x and map z are the file's x and y.
        const Matrix& turn = start->placement;
        playerStartAngle = static_cast<float>(std::atan2(turn.m[0][2], turn.m[0][0]) * (180.0 / std::numbers::pi));
    }
}

void MapData::areasReached(const Bounds& bounds, std::vector<int>* out) const {
    out->clear();
    if (bspNodes.empty()) {
        // A map of one area is written without a tree: all of space is that area.
        if (!areas.empty()) out->push_back(0);
        return;
    }
    const size_t nodeCount = bspNodes.size();
    std::vector<bool> seen(nodeCount, false);
    std::vector<bool> areaSeen(areas.size(), false);
    std::vector<int> pending{0};
    auto follow = [&](int child) {
        if (child > 0 && static_cast<size_t>(child) < nodeCount && !seen[static_cast<size_t>(child)]) {
            seen[static_cast<size_t>(child)] = true;
            pending.push_back(child);
        } else if (child < 0) {
            const size_t area = static_cast<size_t>(-1 - static_cast<int64_t>(child));
            if (area < areas.size() && !areaSeen[area]) {
                areaSeen[area] = true;
                out->push_back(static_cast<int>(area));
            }
        }
    };
    seen[0] = true;
    while (!pending.empty()) {
        const BspNode& node = bspNodes[static_cast<size_t>(pending.back())];
        pending.pop_back();
        const Plane& p = node.plane;
        // The plane's lowest and highest value over the box: its corners
        // nearest to and farthest along the normal.
        float low = p.d, high = p.d;
        for (int axis = 0; axis < 3; ++axis) {
            const float n = axis == 0 ? p.a : (axis == 1 ? p.b : p.c);
            const float a = n * bounds.mins[axis], b = n * bounds.maxs[axis];
            low += std::min(a, b);
            high += std::max(a, b);
        }
        // On the plane goes to the positive side, as a point's lookup does.
        if (!(high < 0.0f)) follow(node.positiveChild);
        if (low < 0.0f) follow(node.negativeChild);
    }
    std::sort(out->begin(), out->end());
}

}  // namespace q
