#include "gpu/gl/vertex_layout.h"

namespace q::gpu {

VertexLayout layoutOf(VertexFormat format) {
    VertexLayout out;
    auto add = [&out](uint8_t location, uint8_t components, AttributeType type, uint16_t offset) {
        out.attributes[out.count++] = {location, components, type, offset};
    };
    switch (format) {
    case VertexFormat::ColouredLine:
        add(kInputPosition, 3, AttributeType::Float, 0);
        add(kInputColour, 4, AttributeType::Colour, 12);
        break;
    case VertexFormat::LitTextured:
        add(kInputPosition, 3, AttributeType::Float, 0);
        add(kInputNormal, 3, AttributeType::Float, 12);
        add(kInputTexcoord, 2, AttributeType::Float, 24);
        add(kInputTangent, 4, AttributeType::Float, 32);
        break;
    case VertexFormat::ScreenText:
        add(kInputPosition, 4, AttributeType::Float, 0);
        add(kInputColour, 4, AttributeType::Colour, 16);
        add(kInputTexcoord, 2, AttributeType::Float, 20);
        break;
    case VertexFormat::Position:
        add(kInputPosition, 3, AttributeType::Float, 0);
        break;
    }
    out.vertexBytes = static_cast<uint16_t>(vertexBytes(format));
    return out;
}

uint32_t inputMaskOf(VertexFormat format) {
    const VertexLayout layout = layoutOf(format);
    uint32_t mask = 0;
    for (uint8_t i = 0; i < layout.count; ++i) mask |= 1u << layout.attributes[i].location;
    return mask;
}

}  // namespace q::gpu
