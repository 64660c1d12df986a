#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "gpu/recording/recording_device.h"
#include "platform/report.h"
#include "render/graphics_device.h"

namespace q {
namespace {

using gpu::CallKind;
using gpu::RecordingDevice;

class AppGraphicsDevice : public ::testing::Test {
protected:
    void SetUp() override {
        auto backend = std::make_unique<RecordingDevice>();
        recording = backend.get();
        ASSERT_TRUE(graphics.create(std::move(backend)));
    }
    // One frame as the viewer runs it: lines collected while F is held, then
    // begin and end of the frame.
    void frame(bool fHeld, int linesToAdd, bool portalMode = true) {

        if (fHeld) graphics.beginLines();
        graphics.beginFrame();
        for (int i = 0; i < linesToAdd; ++i)
            graphics.addLine(Vector3(float(i), 0, 0), Vector3(float(i), 1, 0), 0xffff0000u);
        graphics.endFrame(view, projection, portalMode);
    }

    int count(CallKind kind) const {
        int n = 0;
        for (const auto& call : recording->calls) n += call.kind == kind;
        return n;
    }

    GraphicsDevice graphics;
    RecordingDevice* recording = nullptr;
    Matrix view = Matrix::identity();
    Matrix projection = Matrix::identity();
};

TEST_F(AppGraphicsDevice, CreateMakesTheLightingPipelinesAndAnEmptyLineBuffer) {
    ASSERT_NE(graphics.lightingProgram(), nullptr);
    ASSERT_NE(graphics.surfaces().opaque(), nullptr);
    EXPECT_EQ(graphics.surfaces().opaque()->desc().program, graphics.lightingProgram());
    ASSERT_NE(graphics.linePipeline(), nullptr);
    EXPECT_EQ(graphics.linePipeline()->desc().program, graphics.lineProgram());
    EXPECT_EQ(graphics.linePipeline()->desc().depthTest, gpu::DepthTest::LessOrEqual);
    ASSERT_NE(graphics.lineBuffer(), nullptr);
    EXPECT_EQ(graphics.lineBuffer()->byteSize(), 1048576u);
    EXPECT_EQ(graphics.lineCount(), 0u);
    EXPECT_EQ(recording->liveBuffers(), 1u);

    // A frame clears to opaque black and is shown.
    recording->clearLog();
    frame(false, 0);
    ASSERT_EQ(recording->calls.size(), 2u);
    EXPECT_EQ(recording->calls[0].kind, CallKind::BeginFrame);
    EXPECT_EQ(recording->clearColour(), 0xff000000u);
    EXPECT_EQ(recording->calls[1].kind, CallKind::EndFrame);
    EXPECT_TRUE(recording->draws.empty());  // no F ever: no lines drawn
}

TEST_F(AppGraphicsDevice, LinesAreDrawnInPortalModeAndKeptUntilFIsPressedAgain) {
    view.m[3][0] = 7.0f;  // something to recognise the camera's matrices by
    projection.m[0][0] = 2.0f;
    frame(true, 3);
    EXPECT_EQ(count(CallKind::Update), 1);  // once, at the frame's end
    ASSERT_EQ(recording->draws.size(), 1u);
    const gpu::DrawRecord& draw = recording->draws[0];
    EXPECT_EQ(draw.problem, nullptr);
    EXPECT_EQ(draw.pipelineObject, graphics.linePipeline());
    EXPECT_EQ(draw.first, 0u);
    EXPECT_EQ(draw.count, 6u);
    EXPECT_EQ(draw.vertices, graphics.lineBuffer());
    EXPECT_EQ(draw.indices, nullptr);
    EXPECT_EQ(draw.textures.surfaceImage, nullptr);
    const LineUniforms placement{view * projection};
    ASSERT_EQ(draw.uniformBytes, sizeof placement);
    EXPECT_EQ(std::memcmp(draw.uniforms, &placement, sizeof placement), 0);

    // The written vertices: two per line, both with the line's colour.
    const auto& bytes = RecordingDevice::contents(graphics.lineBuffer());
    LineVertex v[2];
    std::memcpy(v, bytes.data() + 2 * sizeof(LineVertex) * 2, sizeof v);  // line 2
    EXPECT_EQ(v[0].x, 2.0f);
    EXPECT_EQ(v[0].y, 0.0f);
    EXPECT_EQ(v[1].y, 1.0f);
    EXPECT_EQ(v[0].colour, 0xffff0000u);
    EXPECT_EQ(v[1].colour, 0xffff0000u);

    // F released: the same lines again, without writing the buffer.
    recording->clearLog();
    frame(false, 0);
    EXPECT_EQ(count(CallKind::Update), 0);
    ASSERT_EQ(recording->draws.size(), 1u);
    EXPECT_EQ(recording->draws[0].count, 6u);

    // Without portals they are not drawn, and they come back with portal mode.
    recording->clearLog();
    frame(false, 0, false);
    EXPECT_TRUE(recording->draws.empty());
    recording->clearLog();
    frame(false, 0);
    EXPECT_EQ(recording->draws.size(), 1u);

    // F pressed again collects anew; with nothing added nothing is drawn.
    recording->clearLog();
    frame(true, 0);
    EXPECT_EQ(count(CallKind::Update), 0);
    EXPECT_TRUE(recording->draws.empty());
}

TEST_F(AppGraphicsDevice, LinesPastTheBufferAreDroppedAndNoneWrittenOutsideACollection) {
    graphics.addLine(Vector3(1, 1, 1), Vector3(2, 2, 2), 0xff00ff00u);  // not collecting: ignored
    EXPECT_EQ(graphics.lineCount(), 0u);

    frame(true, 32769);
    EXPECT_EQ(graphics.lineCount(), 32768u);
    ASSERT_EQ(recording->draws.size(), 1u);
    EXPECT_EQ(recording->draws[0].count, 2u * 32768u);
    const auto& bytes = RecordingDevice::contents(graphics.lineBuffer());
    ASSERT_EQ(bytes.size(), 1048576u);
    LineVertex last;
    std::memcpy(&last, bytes.data() + bytes.size() - sizeof last, sizeof last);
    EXPECT_EQ(last.x, 32767.0f);  // the 32768th line fills the buffer exactly

    // After the frame the collection is over: a late line must not be written.
    graphics.addLine(Vector3(), Vector3(), 0);
    EXPECT_EQ(graphics.lineCount(), 32768u);
}

TEST(AppGraphicsDeviceCreate, ARefusedLightingProgramIsReportedAndNoSurfaceLookIsMade) {
    resetReportsForTest();
    GraphicsDevice graphics;
    auto backend = std::make_unique<RecordingDevice>();
    backend->failNextProgramCreations(1);
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(graphics.create(std::move(backend)));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(reportCount(), 1u);
    EXPECT_NE(said.find("lighting program"), std::string::npos) << said;
    EXPECT_EQ(graphics.lightingProgram(), nullptr);
    EXPECT_EQ(graphics.surfaces().opaque(), nullptr);
    EXPECT_NE(graphics.linePipeline(), nullptr);  // the lines' own program is not the lighting's
    resetReportsForTest();
}

TEST(AppGraphicsDeviceRelease, ReleasesTheLineBufferInTheMiddleOfACollection) {
    auto graphics = std::make_unique<GraphicsDevice>();
    EXPECT_FALSE(graphics->create(nullptr));
    auto backend = std::make_unique<RecordingDevice>();
    RecordingDevice* recording = backend.get();
    ASSERT_TRUE(graphics->create(std::move(backend)));
    graphics->beginLines();
    graphics->addLine(Vector3(), Vector3(1, 1, 1), 0xff00ff00u);
    EXPECT_EQ(recording->liveBuffers(), 1u);
    // The recording device goes with the wrapper, after the buffer: were the
    // buffer still live then, the device would stop the program.
    graphics.reset();
}

TEST(AppGraphicsDeviceRelease, ADeviceTornDownBeforeWhatWasMadeOnItStopsTheProgram) {
    EXPECT_DEATH(
        {
            RecordingDevice device;
            // Its handle lets go of the buffer, so it is still live when the device goes.
            (void)device.createVertexBuffer(64, gpu::BufferUse::Dynamic).release();
        },
        "1 buffers, 0 textures, 0 programs and 0 pipelines still live");
}

}  // namespace
}  // namespace q
