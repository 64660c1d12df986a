#pragma once
// Plain OpenGL for the benchmarks, beside the device they measure: waiting for
// the GL queue to drain, and the same draws as a device frame done with
// bare GL calls (one vertex array per mesh, one program, no state tracking
// beyond "same as the last draw"), the floor the device layer is measured
// against. Everything runs on the GL context current on this thread (the one a
// headless device made) and puts back the bindings the device relies on.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace q::bench {

// glFinish: returns when every GL command issued so far has been carried out.
void finishGl();

struct BareMesh {
    const uint8_t* vertices = nullptr;
    uint32_t vertexBytes = 0;
    uint32_t stride = 0;                // position (3 floats) at offset 0; uv at 24 when stride >= 32
    const uint16_t* indices = nullptr;  // null: drawn without indices
    uint32_t indexCount = 0;
};

struct BareTexture {
    const uint32_t* texels = nullptr;  // 0xAARRGGBB, level 0
    uint32_t width = 0, height = 0;
};

struct BareDraw {
    uint32_t mesh = 0;
    int texture = -1;             // index into the textures; -1: none
    bool lines = false;           // line list instead of triangle list
    uint32_t first = 0;           // first index (indexed) or first vertex
    uint32_t count = 0;           // indices or vertices
    int32_t baseVertex = 0;
    const void* uniforms = nullptr;  // a uniform block whose first 64 bytes are the transform
    uint32_t uniformBytes = 0;
};

// The largest block a draw sends; the bare program reads the first matrix.
constexpr uint32_t kBareUniformBytes = 512;

class BareGlScene;

// Uploads the meshes and textures and builds the program; null with *error.
BareGlScene* createBareGlScene(const std::vector<BareMesh>& meshes, const std::vector<BareTexture>& textures,
                               std::string* error);
// One frame: clear colour and depth, every draw in order, then finishGl.
void drawBareGlFrame(BareGlScene* scene, const BareDraw* draws, size_t count);
void destroyBareGlScene(BareGlScene* scene);

}  // namespace q::bench
