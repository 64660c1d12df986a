#include "gpu/draw_rules.h"

#include <string>

#include "platform/report.h"

namespace q::gpu {

const char* describe(DrawRule rule) {
    switch (rule) {
    case DrawRule::Sound: return "a sound draw";
    case DrawRule::InFrame: return "draw outside beginFrame/endFrame";
    case DrawRule::PipelineNamed: return "draw without a pipeline";
    case DrawRule::VerticesNamed: return "draw without a vertex buffer";
    case DrawRule::OwnPipeline: return "draw with a pipeline of another device";
    case DrawRule::OwnBuffers: return "draw from a buffer of another device";
    case DrawRule::OwnTexture: return "draw with a texture of another device";
    case DrawRule::UniformsFit: return "draw with a uniform block not the size of its program's, or without its data";
    case DrawRule::VerticesInRange: return "draw reads vertices past the end of the vertex buffer";
    case DrawRule::IndicesInRange: return "draw reads indices past the end of the index buffer";
    case DrawRule::IndexReachInRange: return "draw lets indices reach past the end of the vertex buffer";
    case DrawRule::IndexValuesInRange: return "an index reaches past the draw's vertexCount";
    }
    return "draw breaks an unknown rule";
}

void DrawRuleReports::report(DrawRule rule) {
    const uint32_t bit = 1u << static_cast<uint32_t>(rule);
    if (rule == DrawRule::Sound || (reported_ & bit)) return;
    reported_ |= bit;
    warn((std::string(describe(rule)) + ": not drawn (reported once)").c_str());
}

}  // namespace q::gpu
