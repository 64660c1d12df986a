#include <cmath>

#include "move/camera.h"
#include "move/collision_trace.h"
#include "move/movement.h"
#include "world/map_instance.h"
#include "world/scene.h"
#include "world/terrain.h"

namespace q {

float g_fallSpeed = 0.0f;

void Camera::move(Vector3 k, bool flying, const MapInstance* instance, const Matrix& rotation) {
    const Vector3 extents = box.maxs;

    // Vertical: climb while flying, otherwise fall under gravity.
    if (flying) {
        Vector3 target = position + Vector3{0.0f, kClimbPerUpdate, 0.0f};
        if (!instance) {
            position = target;
        } else if (instance->trace(position, &target, extents) != 0.0f) {
            position = target;
        }
        g_fallSpeed = 0.0f;
    } else {
        g_fallSpeed += kGravity;
        Vector3 target = position - Vector3{0.0f, g_fallSpeed, 0.0f};
        if (!instance) {
            position = target;
        } else if (instance->trace(position, &target, extents) == 0.0f) {
            // Resting on something at the start of the fall. An update whose fall
            // is cut short by a floor keeps its speed; this is the next one.
            g_fallSpeed = 0.0f;
        } else {
            position = target;
        }
    }

    // Horizontal: the key direction turned into the world, its vertical part
    // dropped, so looking down shortens forward moves but not sideways ones.
    if (!(k == Vector3{})) {
        const Vector3 d = transformNormal(normalized(k), rotation);
        const Vector3 step{kWalkSpeed * d.x, 0.0f, kWalkSpeed * d.z};
        if (!instance) {
            position.x += step.x;
            position.z += step.z;
        } else {
            Vector3 end = position + step;
            if (instance->trace(position, &end, extents) != 0.0f) {
                position = end;
            } else {
                // Blocked at once. Against a wall, try the same move a step higher.
                if (std::fabs(g_traceNormal.y) < kWallNormalY) {
                    const Vector3 raised = position + Vector3{0.0f, kStepHeight, 0.0f};
                    Vector3 raisedEnd = raised + step;
                    if (instance->trace(raised, &raisedEnd, extents) != 0.0f) position = raisedEnd;
                }
                // Then slide along what the last trace reported, from wherever we are now.
                const Vector3 n = g_traceNormal;
                const float s = step.x * n.x + step.z * n.z;
                Vector3 slideEnd = position + step - n * s;
                if (instance->trace(position, &slideEnd, extents) != 0.0f) position = slideEnd;
            }
        }
    }

    // Terrain: the eye stays half the box height above the ground, in or out of a map.
    if (scene && scene->terrain) {
        const float ground = scene->terrain->heightAt(position);
        if (position.y < ground + kEyeAboveGround) {
            position.y = ground + kEyeAboveGround;
            g_fallSpeed = 0.0f;
        }
    }
}

}  // namespace q
