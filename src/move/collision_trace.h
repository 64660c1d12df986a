#pragma once
// The swept-box trace: an axis-aligned box carried along a segment through one
// placed map, stopped by the convex brushes of the map's collision tree.

#include <cstdint>

#include "math/vector.h"

namespace q {

struct MapData;
class MapInstance;

struct TraceResult {
    // The smallest accepted fraction of the segment that is free; 1 when
    // nothing was hit.
    float fraction = 1.0f;
    // (a, b, c) of the brush plane of the last accepted hit; meaningful only
    // when hit(). trace() turns it into world space only when the fraction is
    // exactly 0 (a box that cannot move at all, the one case the movement step
    // steps up and slides on); otherwise it stays in map space.
    Vector3 normal;

    bool hit() const { return fraction < 1.0f; }
};

// Sweeps the box of half extents `extents` from start to *end (world space)
// through the instance's map; *end becomes the clipped end.
TraceResult trace(const MapInstance& instance, Vector3 start, Vector3* end, Vector3 extents);

// The same sweep in map space, through the map's collision tree from its root.
TraceResult traceBox(const MapData& map, Vector3 start, Vector3 end, Vector3 extents);

// lo <= point <= hi on all three axes, both ends included.
bool pointInBounds(Vector3 point, Vector3 lo, Vector3 hi);

#ifdef QUORVANE_TRACE_STATS
// Sweeps made and brushes clipped since start: counted only in builds made for
// measuring (the benchmarks), so the trace pays nothing for them otherwise.
extern uint64_t g_traceSweeps;
extern uint64_t g_traceBrushClips;
#endif

}  // namespace q
