#pragma once
// Where each vertex attribute sits in a stream-0 vertex: from a flexible vertex
// format code, or from the declaration given with a vertex program.

#include <cstdint>

#include "platform/gpu/vertex_program.h"

namespace q::gpu {

enum class AttributeType : uint8_t { Float, Color, UByte4, Short };

struct VertexAttribute {
    uint8_t location = 0;    // shader input location
    uint8_t components = 0;  // 1..4
    AttributeType type = AttributeType::Float;
    uint16_t offset = 0;     // bytes from the start of the vertex
};

constexpr int kMaxVertexAttributes = 16;

struct VertexLayout {
    VertexAttribute attributes[kMaxVertexAttributes];
    uint8_t count = 0;
    uint16_t vertexBytes = 0;  // the packed size the layout describes
};

// The stream-0 layout of a parsed declaration; false (with the reason) when
// it reads other streams, which the device does not draw from.
bool layoutFromDeclaration(const VertexDeclaration& declaration, VertexLayout* out, const char** reason);

// Fixed-function shader input locations.
enum : uint8_t {
    kLocationPosition = 0,
    kLocationDiffuse = 1,
    kLocationTexCoord = 2,
    kLocationNormal = 3,
};

// Layout of a flexible vertex format (position xyz or xyzrhw, normal, diffuse,
// one 2D texture coordinate); false for formats outside that set.
bool layoutFromFvf(uint32_t fvf, VertexLayout* out);

}  // namespace q::gpu
