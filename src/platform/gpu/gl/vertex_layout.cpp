#include "platform/gpu/gl/vertex_layout.h"

#include "platform/gpu/device.h"

namespace q::gpu {

namespace {

constexpr uint32_t kTokenEnd = 0xFFFFFFFFu;
constexpr int kMaxTokens = 64;

enum TokenType : uint32_t { kNop = 0, kStream = 1, kStreamData = 2, kTessellator = 3, kConstant = 4 };

struct TypeInfo {
    uint8_t components;
    AttributeType type;
    uint8_t bytes;
};

// Indexed by the declaration's data type: FLOAT1..FLOAT4, D3DCOLOR, UBYTE4,
// SHORT2, SHORT4.
constexpr TypeInfo kTypes[] = {
    {1, AttributeType::Float, 4},  {2, AttributeType::Float, 8},  {3, AttributeType::Float, 12},
    {4, AttributeType::Float, 16}, {4, AttributeType::Color, 4},  {4, AttributeType::UByte4, 4},
    {2, AttributeType::Short, 4},  {4, AttributeType::Short, 8},
};

}  // namespace

bool layoutFromDeclaration(const uint32_t* tokens, VertexLayout* out, const char** reason) {
    *out = VertexLayout{};
    if (!tokens) {
        *reason = "no declaration";
        return false;
    }
    bool inStream = false;
    uint32_t offset = 0;
    uint32_t registersSeen = 0;
    for (int i = 0; i < kMaxTokens; ++i) {
        const uint32_t token = tokens[i];
        if (token == kTokenEnd) {
            out->vertexBytes = static_cast<uint16_t>(offset);
            return true;
        }
        switch (token >> 29) {
        case kNop:
            break;
        case kStream:
            if ((token & 0xF) != 0 || (token & 0x10000000u)) {
                *reason = "only stream 0 is drawn";
                return false;
            }
            inStream = true;
            break;
        case kStreamData: {
            if (!inStream) {
                *reason = "vertex data before the stream token";
                return false;
            }
            if (token & 0x10000000u) {  // skip: a number of unused dwords
                offset += ((token >> 16) & 0xF) * 4;
                break;
            }
            const uint32_t typeIndex = (token >> 16) & 0xF;
            const uint32_t reg = token & 0x1F;
            if (typeIndex >= sizeof(kTypes) / sizeof(kTypes[0])) {
                *reason = "unknown vertex data type";
                return false;
            }
            if (reg >= kMaxVertexAttributes || (registersSeen & (1u << reg))) {
                *reason = "input register out of range or declared twice";
                return false;
            }
            registersSeen |= 1u << reg;
            const TypeInfo& info = kTypes[typeIndex];
            VertexAttribute& a = out->attributes[out->count++];
            a.location = static_cast<uint8_t>(reg);
            a.components = info.components;
            a.type = info.type;
            a.offset = static_cast<uint16_t>(offset);
            offset += info.bytes;
            break;
        }
        default:
            *reason = "declaration constants and tessellation are not supported";
            return false;
        }
    }
    *reason = "declaration without an end token";
    return false;
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
