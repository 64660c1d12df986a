#pragma once
// The portal flow over the scene's placed map copies: which areas of which
// copies can be seen from the camera through chains of portals. It marks them
// in each copy's per-frame state (MapInstance::enteredThisFrame, visibleAreas,
// passedPortals, localEye) for the render pass.

namespace q {

class MapInstance;
class Scene;
struct Frustum;

// Some of the instance's world bounds lie within the world-space frustum.
bool inFrustum(const MapInstance& instance, const Frustum& frustum);
// Enters the instance this frame (clearing its marks on first entry) and flows
// from the area that holds the camera, or marks every area when the camera is
// in solid space of it.
void startFlow(MapInstance& instance, const Frustum& worldFrustum);
// Marks `area` and flows on through each of its portals that faces the eye and
// lies in the map-space frustum, narrowed to the portal's edges.
void flowArea(MapInstance& instance, int area, const Frustum& localFrustum);

// Starts the frame's portal flow from the camera with its world-space frustum.
void flowFromCamera(Scene& scene, const Frustum& worldFrustum);
// Starts the flow in every instance but `excluded` that lies in the frustum.
void flowInstances(Scene& scene, const Frustum& worldFrustum, const MapInstance* excluded);

}  // namespace q
