#pragma once
// The frame's render pass (Scene::render, MapInstance::drawVisible) and the count
// of areas it drew, which the overlay shows.

namespace q {

// Areas drawn in the last render pass, over all instances.
extern int g_visibleAreaCount;

}  // namespace q
