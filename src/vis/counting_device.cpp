#include "vis/counting_device.h"

namespace q {

void CountingDevice::draw(const gpu::DrawCall& call) {
    // A draw without a pipeline or vertices draws nothing on any device.
    if (call.pipeline && call.vertices) {
        ++cost_.drawCalls;
        // Lines are no triangles; whatever else is drawn is whole triangles.
        if (call.pipeline->desc().format != gpu::VertexFormat::ColouredLine) cost_.triangles += call.count / 3;
    }
    target_.draw(call);
}

}  // namespace q
