#pragma once
// The rules every draw is held to, the same in front of every backend: a
// draw that breaks one is not drawn, and each rule is reported once however
// often it is broken (a faulty draw repeats every frame).
//
// The rules that cost a few comparisons (a frame open, a pipeline and
// vertices named, a uniform block the size its program declares, every range, so that no backend reads past a
// buffer) are always checked. The thorough ones (objects of this device, every
// index the draw reads below its vertexCount) are checked where the backend
// asks for them: always on the recording device, and on the GL device in
// builds with assertions (debug and test builds), not in Release.

#include <cstdint>
#include <cstring>

#include "gpu/device.h"

namespace q::gpu {

enum class DrawRule : uint8_t {
    Sound,
    InFrame,
    PipelineNamed,
    VerticesNamed,
    OwnPipeline,
    OwnBuffers,
    OwnTexture,
    UniformsFit,
    VerticesInRange,
    IndicesInRange,
    IndexReachInRange,
    IndexValuesInRange,
};
constexpr uint32_t kDrawRuleCount = static_cast<uint32_t>(DrawRule::IndexValuesInRange) + 1;

// What a broken rule means, in a line (static text: nothing is allocated).
const char* describe(DrawRule rule);

// Reports each broken rule once, as a warning naming it.
class DrawRuleReports {
public:
    void report(DrawRule rule);

private:
    uint32_t reported_ = 0;  // bit N: rule N was reported
};

// The first rule `call` breaks, or DrawRule::Sound. `objects` is the
// backend's view of what the call names, with these members:
//   bool inFrame() const;
//   bool owns(const Pipeline&) const;  bool owns(const Buffer&) const;  bool owns(const Texture&) const;
//   uint32_t uniformBytes(const Pipeline&) const;  // its program's declared block size
//   const uint8_t* indexBytes(const IndexBuffer&) const;  // null when the backend keeps none
// Only owns and indexBytes are left out when `thorough` is false.
template <class Objects>
DrawRule checkDraw(const DrawCall& call, const Objects& objects, bool thorough) {
    if (!objects.inFrame()) return DrawRule::InFrame;
    if (!call.pipeline) return DrawRule::PipelineNamed;
    if (thorough && !objects.owns(*call.pipeline)) return DrawRule::OwnPipeline;
    if (!call.vertices) return DrawRule::VerticesNamed;
    if (call.uniforms.bytes != objects.uniformBytes(*call.pipeline) || (call.uniforms.bytes > 0 && !call.uniforms.data))
        return DrawRule::UniformsFit;
    // Nothing is read when nothing is drawn (a surface without triangles).
    if (call.count == 0) return DrawRule::Sound;

    const VertexBuffer& vertices = *call.vertices;
    if (thorough && (!objects.owns(vertices) || (call.indices && !objects.owns(*call.indices))))
        return DrawRule::OwnBuffers;
    if (thorough)
        for (uint32_t slot = 0; slot < kTextureSlots; ++slot)
            if (call.textures.at(slot) && !objects.owns(*call.textures.at(slot))) return DrawRule::OwnTexture;

    // 64-bit sums and products: no count, however large, wraps back into range.
    const uint64_t vertexSize = vertexBytes(call.pipeline->desc().format);
    const uint64_t end = uint64_t{call.first} + call.count;
    if (!call.indices) return end * vertexSize > vertices.byteSize() ? DrawRule::VerticesInRange : DrawRule::Sound;

    if (end * sizeof(uint16_t) > call.indices->byteSize()) return DrawRule::IndicesInRange;
    if (uint64_t{call.vertexCount} * vertexSize > vertices.byteSize()) return DrawRule::IndexReachInRange;
    const uint8_t* indexBytes = thorough ? objects.indexBytes(*call.indices) : nullptr;
    if (!indexBytes) return DrawRule::Sound;
    for (uint64_t i = call.first; i < end; ++i) {
        uint16_t index;
        std::memcpy(&index, indexBytes + i * sizeof index, sizeof index);
        if (index >= call.vertexCount) return DrawRule::IndexValuesInRange;
    }
    return DrawRule::Sound;
}

}  // namespace q::gpu
