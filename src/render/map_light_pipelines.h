#pragma once
// The pipelines of the map-light frame mode, one set per pass, each holding
// every look (blending, alpha test) the loaded maps' materials use: the
// depth pass (black, writing depth), and the light passes (adding, depth
// Equal, no depth written), with the stencil test of the unshadowed (Equal
// 0) for a light that casts shadows and without it for one that casts none.

#include "gpu/device.h"
#include "render/map_mesh.h"
#include "render/surface_pipelines.h"

namespace q {

class MapLightPipelines {
public:
    // Makes the two programs and the opaque look of each set. False when the
    // device refuses one (the map-light mode then draws nothing of the map).
    bool create(gpu::Device& device);
    // Makes the looks of the mesh's materials (and their untested forms, as
    // MapMesh::build does for the camera light's).
    void prepare(const MapMesh& mesh, size_t materialCount);
    bool ready() const { return ready_; }

    const SurfacePipelines& depth() const { return depth_; }
    const SurfacePipelines& light(bool castsShadows) const { return castsShadows ? shadowed_ : unshadowed_; }

private:
    gpu::DeviceHandle<gpu::Program> depthProgram_;
    gpu::DeviceHandle<gpu::Program> lightProgram_;
    SurfacePipelines depth_;
    SurfacePipelines shadowed_;
    SurfacePipelines unshadowed_;
    bool ready_ = false;
};

}  // namespace q
