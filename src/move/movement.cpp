#include <cmath>

#include "move/collision_trace.h"
#include "move/movement.h"
#include "world/map_instance.h"
#include "world/camera.h"
#include "world/scene.h"
#include "world/terrain.h"

namespace q {

namespace {

// Free flight: along the view, up and down included, through walls and
// terrain alike; the left button still climbs.
void flyFreely(Camera& camera, Vector3 k, bool flying, const Matrix& rotation, float speedFactor) {
    camera.fallSpeed = 0.0f;
    if (flying) camera.position.y += kClimbPerUpdate;
    if (k == Vector3{}) return;
    const Vector3 d = normalized(transformNormal(normalized(k), rotation));
    camera.position = camera.position + d * (kWalkSpeed * speedFactor);
}

}  // namespace

void moveCamera(Camera& camera, Vector3 k, bool flying, const MapInstance* instance, const Matrix& rotation,
                float speedFactor) {
    if (camera.freeFlight) {
        flyFreely(camera, k, flying, rotation, speedFactor);
        return;
    }
    Vector3& position = camera.position;
    const Vector3 extents = camera.box.maxs;

    // Vertical: climb while flying, otherwise fall under gravity.
    if (flying) {
        Vector3 target = position + Vector3{0.0f, kClimbPerUpdate, 0.0f};
        if (!instance) {
            position = target;
        } else if (trace(*instance, position, &target, extents).fraction != 0.0f) {
            position = target;
        }
        camera.fallSpeed = 0.0f;
    } else {
        camera.fallSpeed += kGravity;
        Vector3 target = position - Vector3{0.0f, camera.fallSpeed, 0.0f};
        if (!instance) {
            position = target;
        } else if (trace(*instance, position, &target, extents).fraction == 0.0f) {
            // Resting on something at the start of the fall. An update whose fall
            // is cut short by a floor keeps its speed; this is the next one.
            camera.fallSpeed = 0.0f;
        } else {
            position = target;
        }
    }

    // Horizontal: the key direction turned into the world, its vertical part
    // dropped, so looking down shortens forward moves but not sideways ones.
    if (!(k == Vector3{})) {
        const Vector3 d = transformNormal(normalized(k), rotation);
        const float speed = kWalkSpeed * speedFactor;
        const Vector3 step{speed * d.x, 0.0f, speed * d.z};
        if (!instance) {
            position.x += step.x;
            position.z += step.z;
        } else {
            Vector3 end = position + step;
            const TraceResult blocked = trace(*instance, position, &end, extents);
            if (blocked.fraction != 0.0f) {
                position = end;
            } else {
                // Blocked at once: the normal of what stopped the box, in world space.
                Vector3 n = blocked.normal;
                // Against a wall, try the same move a step higher.
                if (std::fabs(n.y) < kWallNormalY) {
                    const Vector3 raised = position + Vector3{0.0f, kStepHeight, 0.0f};
                    Vector3 raisedEnd = raised + step;
                    const TraceResult stepped = trace(*instance, raised, &raisedEnd, extents);
                    if (stepped.fraction != 0.0f) position = raisedEnd;
                    // A step-up that hit something hands on its own normal.
                    if (stepped.hit()) n = stepped.normal;
                }
                // Then slide along that normal, from wherever we are now.
                const float s = step.x * n.x + step.z * n.z;
                Vector3 slideEnd = position + step - n * s;
                if (trace(*instance, position, &slideEnd, extents).fraction != 0.0f) position = slideEnd;
            }
        }
    }

    // Terrain: the eye stays half the box height above the ground, in or out of a map.
    if (camera.scene && camera.scene->terrain) {
        const float ground = camera.scene->terrain->heightAt(position);
        if (position.y < ground + kEyeAboveGround) {
            position.y = ground + kEyeAboveGround;
            camera.fallSpeed = 0.0f;
        }
    }
}

}  // namespace q
