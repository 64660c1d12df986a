#pragma once
// The swept-box trace: an axis-aligned box carried along a segment through one
// placed map, stopped by the convex brushes of the map's collision tree. The
// trace keeps its result in module state (one sweep at a time): the fraction of
// the segment that is free and the normal of the plane that stopped the box.

#include <cstdint>

#include "math/vector.h"

namespace q {

// Smallest accepted fraction of the sweep under way; 1 when nothing was hit.
extern float g_traceFraction;
// (a, b, c) of the brush plane of the last accepted hit. MapInstance::trace turns
// it into world space only when the fraction is exactly 0; a sweep that accepts
// no hit leaves it as it was.
extern Vector3 g_traceNormal;
// Half extents of the box being swept, set when a sweep starts.
extern const Vector3* g_traceExtents;

// lo <= point <= hi on all three axes, both ends included.
bool pointInBounds(Vector3 point, Vector3 lo, Vector3 hi);

#ifdef QUORVANE_TRACE_STATS
// Sweeps made and brushes clipped since start: counted only in builds made for
// measuring (the benchmarks), so the trace pays nothing for them otherwise.
extern uint64_t g_traceSweeps;
extern uint64_t g_traceBrushClips;
#endif

}  // namespace q
