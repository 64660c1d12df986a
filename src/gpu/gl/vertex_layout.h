#pragma once
// Where each input of a vertex format sits in its vertex, and the shader input
// location it feeds (gpu::VertexInput: position, normal, texture coordinate,
// colour), so every program made for the format reads one vertex array alike.

#include <cstdint>

#include "gpu/device.h"

namespace q::gpu {

enum class AttributeType : uint8_t { Float, Colour };

struct VertexAttribute {
    uint8_t location = 0;    // shader input location
    uint8_t components = 0;  // 1..4 (a colour is 4 bytes read as 4 components)
    AttributeType type = AttributeType::Float;
    uint16_t offset = 0;     // bytes from the start of the vertex
};

constexpr int kMaxFormatAttributes = 4;

struct VertexLayout {
    VertexAttribute attributes[kMaxFormatAttributes];
    uint8_t count = 0;
    uint16_t vertexBytes = 0;
};

VertexLayout layoutOf(VertexFormat format);

// Bit N set for every input location the format feeds.
uint32_t inputMaskOf(VertexFormat format);

}  // namespace q::gpu
