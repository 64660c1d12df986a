#include "platform/gpu/gl/vertex_layout.h"

#include "platform/gpu/device.h"

namespace q::gpu {

bool layoutFromDeclaration(const VertexDeclaration& declaration, VertexLayout* out, const char** reason) {
    *out = VertexLayout{};
    for (const VsInputElement& e : declaration.elements) {
        if (e.stream != 0) {
            *reason = "only stream 0 is drawn";
            return false;
        }
        VertexAttribute& a = out->attributes[out->count++];
        a.location = e.reg;
        a.offset = e.offset;
        switch (e.type) {
        case VsInputType::Float1: a.components = 1; a.type = AttributeType::Float; break;
        case VsInputType::Float2: a.components = 2; a.type = AttributeType::Float; break;
        case VsInputType::Float3: a.components = 3; a.type = AttributeType::Float; break;
        case VsInputType::Float4: a.components = 4; a.type = AttributeType::Float; break;
        case VsInputType::Color: a.components = 4; a.type = AttributeType::Color; break;
        case VsInputType::UByte4: a.components = 4; a.type = AttributeType::UByte4; break;
        case VsInputType::Short2: a.components = 2; a.type = AttributeType::Short; break;
        case VsInputType::Short4: a.components = 4; a.type = AttributeType::Short; break;
        }
    }
    out->vertexBytes = static_cast<uint16_t>(declaration.stride[0]);
    return true;
}

bool layoutFromFvf(uint32_t fvf, VertexLayout* out) {
    *out = VertexLayout{};
    constexpr uint32_t kKnown = kFvfXyz | kFvfXyzRhw | kFvfNormal | kFvfDiffuse | kFvfTex1;
    const uint32_t positionBits = fvf & 0xE;
    if ((fvf & ~kKnown) != 0 || (positionBits != kFvfXyz && positionBits != kFvfXyzRhw)) return false;

    uint16_t offset = 0;
    auto add = [&](uint8_t location, uint8_t components, AttributeType type, uint16_t bytes) {
        out->attributes[out->count++] = {location, components, type, offset};
        offset = static_cast<uint16_t>(offset + bytes);
    };
    if (positionBits == kFvfXyz) add(kLocationPosition, 3, AttributeType::Float, 12);
    else add(kLocationPosition, 4, AttributeType::Float, 16);
    if (fvf & kFvfNormal) add(kLocationNormal, 3, AttributeType::Float, 12);
    if (fvf & kFvfDiffuse) add(kLocationDiffuse, 4, AttributeType::Color, 4);
    if (fvf & kFvfTex1) add(kLocationTexCoord, 2, AttributeType::Float, 8);
    out->vertexBytes = offset;
    return true;
}

}  // namespace q::gpu
