#pragma once
// The portal flow over the scene's placed map copies: which areas of which
// copies can be seen from the camera through chains of portals. It marks them
// in each copy's per-frame state (MapInstance::enteredThisFrame, visibleAreas,
// passedPortals, localEye) for the render pass.
//
// The flow walks with a stack of its own (MapInstance::flowSteps), so its depth
// on the thread's stack does not grow with the map. A portal already passed in
// the frame is looked through again when the view arriving now reaches a part
// of it that the views before did not; a path never passes a portal it already
// holds. Each copy has a budget of passes per frame; a copy that runs out of it
// is drawn whole, as drawing everything would.

namespace q {

class MapInstance;
class Scene;
struct Frustum;

// Portal passes a copy may make in one frame: this many per portal of its map,
// plus kMinimumFlowPasses.
constexpr int kFlowPassesPerPortal = 8;
constexpr int kMinimumFlowPasses = 64;

// Some of the instance's world bounds lie within the world-space frustum.
bool inFrustum(const MapInstance& instance, const Frustum& frustum);
// Enters the instance this frame (clearing its marks on first entry) and flows
// from the area that holds the camera, or marks every area when the camera is
// in solid space of it.
void startFlow(MapInstance& instance, const Frustum& worldFrustum);

// Starts the frame's portal flow from the camera with its world-space frustum.
void flowFromCamera(Scene& scene, const Frustum& worldFrustum);
// Starts the flow in every instance but `excluded` that lies in the frustum.
void flowInstances(Scene& scene, const Frustum& worldFrustum, const MapInstance* excluded);

}  // namespace q
