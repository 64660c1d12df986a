#pragma once
// What one frame's render pass drew, for finding the places that are slow to
// draw: the trace and the overlay show it.

#include <cstdint>

namespace q {

struct FrameCost {
    int visibleAreas = 0;    // areas drawn, over all copies
    int drawCalls = 0;       // draws sent to the device: terrain, surfaces, entity models
    int64_t triangles = 0;   // the triangles of those draws
    int copiesDrawn = 0;     // copies of the map any of whose areas were drawn
    // The map-light mode: the lights drawn (a light once per copy it is drawn
    // in), and the map's lights counted once per copy drawn.
    int lightsDrawn = 0;
    int lightsOfCopies = 0;
};

}  // namespace q
