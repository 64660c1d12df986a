#pragma once
// The portal flow as it was before a portal could be looked through again: it
// calls itself once per portal passed, and each portal is passed once per frame
// and copy, by the first path that reaches it. Kept only here, as the baseline
// that the flow's cost per frame is measured against.

namespace q {
class Scene;
struct Frustum;
}  // namespace q

namespace q::bench {

// Marks the copies' areas as the render pass's flow did, from the camera.
void firstPathFlowFromCamera(Scene& scene, const Frustum& worldFrustum);

}  // namespace q::bench
