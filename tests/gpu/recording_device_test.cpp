#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gpu/recording/recording_device.h"
#include "platform/report.h"

namespace q::gpu {
namespace {

// A program placing the vertex through one matrix in its uniform block; the
// recording device keeps the sources without compiling them.
struct Placement {
    float rows[4][4];
};
const ProgramDesc kProgram{"vertex stage", "fragment stage", VertexFormat::LitTextured, sizeof(Placement)};

TEST(RecordingDeviceBuffer, MadeWithItsContentsAndUpdatedInsideItsRangeOnly) {
    RecordingDevice device;
    std::vector<uint8_t> initial(100);
    for (size_t i = 0; i < initial.size(); ++i) initial[i] = static_cast<uint8_t>(i);
    DeviceHandle<VertexBuffer> vb = device.createVertexBuffer(100, BufferUse::Dynamic, initial.data());
    ASSERT_NE(vb, nullptr);
    EXPECT_EQ(vb->byteSize(), 100u);
    EXPECT_EQ(RecordingDevice::use(vb.get()), BufferUse::Dynamic);
    EXPECT_EQ(RecordingDevice::contents(vb.get()), initial);

    const uint8_t sevens[11] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_TRUE(vb->update(90, sevens, 10));
    EXPECT_EQ(RecordingDevice::contents(vb.get())[89], 89);
    EXPECT_EQ(RecordingDevice::contents(vb.get())[99], 7);
    EXPECT_FALSE(vb->update(90, sevens, 11));
    EXPECT_FALSE(vb->update(0xFFFFFFF0u, sevens, 0x20));  // offset + size wraps in 32 bits
    EXPECT_FALSE(vb->update(0, nullptr, 4));
    EXPECT_EQ(RecordingDevice::contents(vb.get())[0], 0);  // refused updates wrote nothing
    ASSERT_EQ(device.calls.back().kind, CallKind::Update);

    DeviceHandle<IndexBuffer> ib = device.createIndexBuffer(12, BufferUse::Static);
    EXPECT_EQ(device.liveBuffers(), 2u);
    vb.reset();  // freed out of creation order
    EXPECT_EQ(RecordingDevice::contents(ib.get()), std::vector<uint8_t>(12, 0));
    ib.reset();
    EXPECT_EQ(device.liveBuffers(), 0u);

    EXPECT_EQ(device.createVertexBuffer(0, BufferUse::Static), nullptr);
    EXPECT_EQ(device.createIndexBuffer(0xFFFFFFFFu, BufferUse::Static), nullptr);
    device.failNextBufferCreations(2);
    EXPECT_EQ(device.createVertexBuffer(16, BufferUse::Static), nullptr);
    EXPECT_EQ(device.createIndexBuffer(16, BufferUse::Static), nullptr);
    DeviceHandle<VertexBuffer> third = device.createVertexBuffer(16, BufferUse::Static);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(device.liveBuffers(), 1u);
}

TEST(RecordingDeviceTexture, KeepsWhatItWasMadeWithAndTexelsAsArgb) {
    RecordingDevice device;
    const uint8_t rgba[] = {1, 2, 3, 4, 0xFF, 0x80, 0x00, 0xFF};
    DeviceHandle<Texture> t = device.createTexture(TexelFormat::Rgba8, 2, 1, 0, rgba);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width(), 2u);
    EXPECT_EQ(t->height(), 1u);
    EXPECT_EQ(RecordingDevice::levelCount(t.get()), 0u);  // the chain is the device's to make
    EXPECT_EQ(RecordingDevice::storedLevels(t.get()), std::vector<uint8_t>(rgba, rgba + 8));
    const std::vector<uint32_t>& texels = RecordingDevice::texels(t.get());
    ASSERT_EQ(texels.size(), 2u);
    EXPECT_EQ(texels[0], 0x04010203u);
    EXPECT_EQ(texels[1], 0xFFFF8000u);
    EXPECT_EQ(device.liveTextures(), 1u);

    const uint8_t block[8] = {};
    EXPECT_EQ(device.createTexture(TexelFormat::Rgba8, 0, 4, 1, rgba), nullptr);
    EXPECT_EQ(device.createTexture(TexelFormat::Rgba8, 1u << 20, 1u << 20, 1, rgba), nullptr);
    EXPECT_EQ(device.createTexture(TexelFormat::Rgba8, 2, 1, 1, nullptr), nullptr);
    EXPECT_EQ(device.createTexture(TexelFormat::Bc1, 4, 4, 0, block), nullptr);  // no chain made of blocks
    device.setBlockCompression(false);
    EXPECT_EQ(device.createTexture(TexelFormat::Bc1, 4, 4, 1, block), nullptr);
    device.failNextTextureCreations(1);
    EXPECT_EQ(device.createTexture(TexelFormat::Rgba8, 2, 1, 0, rgba), nullptr);
    EXPECT_EQ(device.liveTextures(), 1u);
    t.reset();
    EXPECT_EQ(device.liveTextures(), 0u);
}

TEST(RecordingDeviceProgram, KeepsProgramsAndRefusesWhatCannotDrawThem) {
    resetReportsForTest();
    RecordingDevice device;
    DeviceHandle<Program> program = device.createProgram(kProgram);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(RecordingDevice::program(program.get()).vertexSource, "vertex stage");
    EXPECT_EQ(RecordingDevice::program(program.get()).uniformBytes, 64u);
    EXPECT_TRUE(RecordingDevice::program(nullptr).vertexSource.empty());

    testing::internal::CaptureStderr();
    for (const ProgramDesc& refused : {ProgramDesc{nullptr, "f", VertexFormat::LitTextured, 0},
                                       ProgramDesc{"v", "f", VertexFormat::LitTextured, 24},  // not whole vec4s
                                       ProgramDesc{"v", "f", VertexFormat::LitTextured, kMaxUniformBytes + 16}})
        EXPECT_EQ(device.createProgram(refused), nullptr);
    device.failNextProgramCreations(1);
    EXPECT_EQ(device.createProgram(kProgram), nullptr);
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_NE(warnings.find("program refused: a stage has no source"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("told to refuse"), std::string::npos) << warnings;

    EXPECT_EQ(device.createPipeline({program.get(), VertexFormat::ColouredLine}), nullptr);
    EXPECT_EQ(device.createPipeline({nullptr, VertexFormat::ColouredLine}), nullptr);  // no program
    DeviceHandle<Pipeline> lit = device.createPipeline({program.get(), VertexFormat::LitTextured});
    ASSERT_NE(lit, nullptr);
    EXPECT_EQ(device.livePipelines(), 1u);
    lit.reset();
    EXPECT_EQ(device.livePipelines(), 0u);
}

// Owners torn down in the wrong order stop the program rather than leave a
// device or program in use after it is gone.
TEST(RecordingDeviceDeathTest, ObjectsOutlivingWhatTheyNeedStopTheProgram) {
    EXPECT_DEATH(
        {
            RecordingDevice device;
            (void)device.createVertexBuffer(64, BufferUse::Dynamic).release();
        },
        "1 buffers, 0 textures, 0 programs and 0 pipelines still live");
    EXPECT_DEATH(
        {
            RecordingDevice device;
            DeviceHandle<Program> program = device.createProgram(kProgram);
            DeviceHandle<Pipeline> pipeline = device.createPipeline({program.get(), VertexFormat::LitTextured});
            program.reset();
        },
        "freed while 1 pipelines still draw with it");
}

struct Quad {
    RecordingDevice device;
    DeviceHandle<Program> program = device.createProgram(kProgram);
    DeviceHandle<Pipeline> pipeline = device.createPipeline({program.get(), VertexFormat::LitTextured});
    DeviceHandle<VertexBuffer> vertices = device.createVertexBuffer(4 * vertexBytes(VertexFormat::LitTextured), BufferUse::Static);
    DeviceHandle<IndexBuffer> indices = device.createIndexBuffer(6 * 2, BufferUse::Static);

    Quad() {
        const uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
        indices->update(0, quad, sizeof quad);
    }
    Placement placement{{{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    DrawCall call() const { return {pipeline.get(), vertices.get(), indices.get(), {}, UniformBlock(placement), 0, 6, 4}; }
};

TEST(RecordingDeviceDraws, RecordWhatWasNamedAndAllocateNothingOnRepeat) {
    Quad q;
    q.device.beginFrame(0xff000000u);
    q.device.draw(q.call());
    q.device.endFrame();
    ASSERT_EQ(q.device.draws.size(), 1u);
    const DrawRecord& d = q.device.draws[0];
    EXPECT_EQ(d.problem, nullptr) << d.problem;
    EXPECT_EQ(d.pipeline.program, q.program.get());
    EXPECT_EQ(d.vertices, q.vertices.get());
    EXPECT_EQ(d.indices, q.indices.get());
    ASSERT_EQ(d.uniformBytes, sizeof(Placement));
    EXPECT_EQ(std::memcmp(d.uniforms, &q.placement, sizeof(Placement)), 0);
    EXPECT_EQ(q.device.frameCount(), 1u);

    const size_t callCapacity = q.device.calls.capacity();
    const size_t drawCapacity = q.device.draws.capacity();
    q.device.clearLog();
    EXPECT_TRUE(q.device.calls.empty());
    q.device.beginFrame(0xff102030u);
    q.device.draw(q.call());
    q.device.endFrame();
    EXPECT_EQ(q.device.calls.capacity(), callCapacity);
    EXPECT_EQ(q.device.draws.capacity(), drawCapacity);

    // Stray frame calls are logged but neither open a second frame nor count one.
    q.device.beginFrame(0xff102030u);
    q.device.beginFrame(0xff102030u);
    q.device.endFrame();
    q.device.endFrame();
    EXPECT_EQ(q.device.frameCount(), 3u);
    EXPECT_FALSE(q.device.inFrame());

    std::vector<uint8_t> pixels(1024 * 768 * 4);
    ASSERT_TRUE(q.device.readBackBuffer(pixels.data()));
    EXPECT_EQ(pixels[0], 0x10);
    EXPECT_EQ(pixels[2], 0x30);
    EXPECT_EQ(pixels[pixels.size() - 1], 0xff);
}

TEST(RecordingDeviceDraws, FlagsDrawsThatCannotBeDrawnAsCalled) {
    Quad q;
    auto problemOf = [&q](const DrawCall& call) {
        q.device.draw(call);
        return q.device.draws.back().problem;
    };
    DrawCall call = q.call();
    EXPECT_NE(problemOf(call), nullptr);  // outside a frame
    q.device.beginFrame(0);
    EXPECT_EQ(problemOf(call), nullptr);

    DrawCall noPipeline = call, noVertices = call, shortBlock = call, noBlockData = call;
    noPipeline.pipeline = nullptr;
    noVertices.vertices = nullptr;
    shortBlock.uniforms.bytes = 48;  // the program's block is 64
    noBlockData.uniforms.data = nullptr;
    EXPECT_NE(problemOf(noPipeline), nullptr);
    EXPECT_NE(problemOf(noVertices), nullptr);
    EXPECT_NE(problemOf(shortBlock), nullptr);
    EXPECT_NE(problemOf(noBlockData), nullptr);

    DrawCall pastIndices = call, pastVertices = call, indexOutside = call, huge = call;
    pastIndices.first = 1;         // indices 1..6 of 6
    pastVertices.vertexCount = 5;  // 5 vertices of 4
    indexOutside.vertexCount = 3;  // index 3 is the fourth vertex
    huge.first = 0x80000000u;      // (first + count) * 2 wraps to 12 in 32 bits
    EXPECT_NE(problemOf(pastIndices), nullptr);
    EXPECT_NE(problemOf(pastVertices), nullptr);
    EXPECT_NE(problemOf(indexOutside), nullptr);
    EXPECT_NE(problemOf(huge), nullptr);

    DrawCall unindexed = call, unindexedPast = call;
    unindexed.indices = unindexedPast.indices = nullptr;
    unindexed.first = 2;
    unindexed.count = 2;  // vertices 2 and 3 of 4
    unindexedPast.first = 3;
    unindexedPast.count = 2;
    EXPECT_EQ(problemOf(unindexed), nullptr);
    EXPECT_NE(problemOf(unindexedPast), nullptr);

    RecordingDevice other;
    const uint8_t texel[4] = {};
    DeviceHandle<Texture> foreign = other.createTexture(TexelFormat::Rgba8, 1, 1, 1, texel);
    DrawCall foreignTexture = call;
    foreignTexture.textures.normalMap = foreign.get();
    EXPECT_STREQ(problemOf(foreignTexture), "draw with a texture of another device");
    // A surface without triangles reads nothing, so needs no indices.
    DrawCall empty = call;
    empty.indices = nullptr;
    empty.count = 0;
    empty.first = 1000;
    EXPECT_EQ(problemOf(empty), nullptr);
    q.device.endFrame();
    EXPECT_EQ(q.device.faultyDraws(), 11u);
    EXPECT_EQ(q.device.draws.size(), 14u);  // faulty draws are recorded too
}

}  // namespace
}  // namespace q::gpu
