#pragma once
// A map's shadow volumes on the GPU, built once at load beside its mesh: for
// each light that casts shadows, the volume the compiler wrote into the
// area-portal file (the world's shadows) and the one made at load from the
// entity and mesh models its box reaches (map/shadow_volume_builder.h).
//
// The method is depth-fail: every face of a light's volumes is drawn into
// the stencil with colour and depth writes off, both faces, where it lies
// behind what the frame drew; back faces count up and front faces down
// (wrapping). A pixel then holds how many volumes its surface lies in
// (negated when a file winds its volumes the other way round, which counts
// the same), 0 where the light reaches it. Unlike counting the faces in
// front, this holds when the eye stands inside a shadow; the volumes' far
// caps, which may lie past the far plane, have their depth clamped rather
// than clipped.
//
// The volumes are uploaded as the light needs them, not as written:
//   - each far point is put on the ray from its near point away from the
//     light (the file's direction, or from the light where the file's point
//     gives none), beyond every point of the light's box, so that the
//     shadow reaches as far as the light does;
//   - each near point is drawn one unit further along that ray, inside its
//     occluder: the near cap lies on the very faces the light falls on, and
//     drawn at their depth it would shadow them by chance.

#include <cstdint>
#include <string>
#include <vector>

#include "gpu/device.h"
#include "math/matrix.h"
#include "math/vector.h"

namespace q {

class MaterialDefinitions;
struct MapData;
struct ShadowVolume;

// The uniform block of the volumes' program (std140).
struct ShadowVolumeUniforms {
    Matrix worldViewProjection;  // map space to clip space
};

// How far each near point is drawn inside its occluder, in map units.
constexpr float kNearCapInset = 1.0f;

class ShadowVolumes {
public:
    // Uploads the volumes of every light of the map that casts shadows
    // (castsShadows: neither noshadows nor ambient). False with *error when
    // the device refuses the program, its pipeline or a buffer; nothing is
    // then drawn.
    bool build(gpu::Device& device, const MapData& map, const MaterialDefinitions& definitions, std::string* error);

    // Whether the light has any volume to draw.
    bool hasVolumes(size_t light) const;

    // Marks in the stencil, within scissor, every pixel the light's volumes
    // shadow (leaving 0 where the light reaches), for the map copy that
    // `world` places. The depth of the frame's opaque surfaces must be drawn
    // and the stencil cleared in the rectangle before.
    void draw(gpu::Device& device, size_t light, const Matrix& world, const Matrix& view, const Matrix& projection,
              const gpu::ScreenRect& scissor) const;

    // How many points and triangles were uploaded (for --info and tests).
    size_t pointCount() const { return points_; }
    size_t triangleCount() const { return triangles_; }

private:
    // Up to 65,536 points with their 16-bit indices; a volume larger than
    // that is split by its triangles, which count each on its own.
    struct Chunk {
        gpu::DeviceHandle<gpu::VertexBuffer> vertices;
        gpu::DeviceHandle<gpu::IndexBuffer> indices;
        uint32_t indexCount = 0;
        uint32_t vertexCount = 0;
    };
    bool upload(gpu::Device& device, const ShadowVolume& volume, Vector3 light, float extrusion, std::string* error);

    gpu::DeviceHandle<gpu::Program> program_;
    gpu::DeviceHandle<gpu::Pipeline> pipeline_;
    std::vector<Chunk> chunks_;
    // Light i's chunks: [lightFirst_[i], lightFirst_[i + 1]).
    std::vector<uint32_t> lightFirst_;
    size_t points_ = 0;
    size_t triangles_ = 0;
};

// The volumes' program, drawing gpu::VertexFormat::Position through
// ShadowVolumeUniforms.
gpu::ProgramDesc shadowVolumeProgramDesc();
// The depth-fail pipeline described above.
gpu::PipelineDesc shadowVolumePipelineDesc(const gpu::Program* program);

}  // namespace q
