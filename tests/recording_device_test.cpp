#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gpu/recording/recording_device.h"
#include "render/lighting_program.h"

namespace q::gpu {
namespace {

TEST(RecordingDeviceRelease, FreedObjectsAreUnbound) {
    RecordingDevice device;
    DeviceHandle<VertexBuffer> vb = device.createVertexBuffer(64, 0, kFvfLit);
    DeviceHandle<Texture> tex = device.createTexture(4, 4, 1);
    device.setStreamSource(0, vb.get(), 32);
    device.setTexture(0, tex.get());
    EXPECT_EQ(device.streamSource(), vb.get());
    EXPECT_EQ(device.texture(0), tex.get());

    vb.reset();
    tex.reset();
    EXPECT_EQ(device.streamSource(), nullptr);
    EXPECT_EQ(device.texture(0), nullptr);
    EXPECT_EQ(device.liveBuffers(), 0u);
    EXPECT_EQ(device.liveTextures(), 0u);
}

TEST(RecordingDeviceBuffer, LockStaysInsideTheBuffer) {
    RecordingDevice device;
    DeviceHandle<VertexBuffer> vb = device.createVertexBuffer(100, kUsageDynamic, kFvfLine);
    ASSERT_NE(vb, nullptr);
    EXPECT_EQ(vb->byteSize(), 100u);

    auto* whole = static_cast<uint8_t*>(vb->lock(0, 0, kLockDiscard));
    ASSERT_NE(whole, nullptr);
    EXPECT_TRUE(RecordingDevice::isLocked(vb.get()));
    std::memset(whole, 0xAB, 100);
    vb->unlock();
    EXPECT_FALSE(RecordingDevice::isLocked(vb.get()));
    vb->unlock();  // harmless

    auto* tail = static_cast<uint8_t*>(vb->lock(90, 10, 0));
    ASSERT_EQ(tail, whole + 90);
    tail[9] = 7;
    vb->unlock();
    EXPECT_EQ(RecordingDevice::contents(vb.get())[99], 7);
    EXPECT_EQ(RecordingDevice::contents(vb.get())[0], 0xAB);

    EXPECT_EQ(vb->lock(90, 11, 0), nullptr);
    EXPECT_EQ(vb->lock(100, 0, 0), nullptr);
    EXPECT_EQ(vb->lock(0xFFFFFFF0u, 0x20, 0), nullptr);  // offset + size wraps in 32 bits
    EXPECT_FALSE(RecordingDevice::isLocked(vb.get()));

    DeviceHandle<IndexBuffer> ib = device.createIndexBuffer(12, kUsageWriteOnly);
    EXPECT_EQ(device.liveBuffers(), 2u);
    ib.reset();
    vb.reset();
    EXPECT_EQ(device.liveBuffers(), 0u);

    EXPECT_EQ(device.createVertexBuffer(0, 0, 0), nullptr);
    EXPECT_EQ(device.createIndexBuffer(0xFFFFFFFFu, 0), nullptr);
    device.failNextBufferCreations(2);
    EXPECT_EQ(device.createVertexBuffer(16, 0, 0), nullptr);
    EXPECT_EQ(device.createIndexBuffer(16, 0), nullptr);
    DeviceHandle<VertexBuffer> third = device.createVertexBuffer(16, 0, 0);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(device.liveBuffers(), 1u);
    third.reset();
}

TEST(RecordingDeviceTexture, StoresTexelsAsArgb) {
    RecordingDevice device;
    const uint8_t rgba[] = {1, 2, 3, 4, 0xFF, 0x80, 0x00, 0xFF};
    DeviceHandle<Texture> t = device.createTextureFromRgba(rgba, 2, 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->width(), 2u);
    EXPECT_EQ(t->height(), 1u);
    const std::vector<uint32_t>& texels = RecordingDevice::texels(t.get());
    ASSERT_EQ(texels.size(), 2u);
    EXPECT_EQ(texels[0], 0x04010203u);
    EXPECT_EQ(texels[1], 0xFFFF8000u);

    DeviceHandle<Texture> blank = device.createTexture(3, 2, 0);
    uint32_t pitch = 0;
    auto* bits = static_cast<uint8_t*>(blank->lockRect(&pitch));
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(pitch, 12u);
    reinterpret_cast<uint32_t*>(bits + pitch)[2] = 0x11223344u;  // row 1, column 2
    blank->unlockRect();
    EXPECT_EQ(RecordingDevice::texels(blank.get())[5], 0x11223344u);
    EXPECT_EQ(device.liveTextures(), 2u);

    EXPECT_EQ(device.createTexture(0, 4, 1), nullptr);
    EXPECT_EQ(device.createTexture(1u << 20, 1u << 20, 1), nullptr);
    device.failNextTextureCreations(1);
    EXPECT_EQ(device.createTextureFromRgba(rgba, 2, 1), nullptr);
    EXPECT_EQ(device.liveTextures(), 2u);
    t.reset();
    blank.reset();
    EXPECT_EQ(device.liveTextures(), 0u);
}

TEST(RecordingDeviceProgram, CreatesHandlesForProgramsThatAssemble) {
    RecordingDevice device;
    uint32_t handle = device.createVertexShader(kLightingProgramText, kLightingDeclaration);
    ASSERT_NE(handle & kProgramHandleBit, 0u);
    ASSERT_NE(device.program(handle), nullptr);
    EXPECT_EQ(device.program(handle)->code.size(), 23u);
    EXPECT_EQ(device.declaration(handle)->stride[0], 32u);
    EXPECT_EQ(device.program(kFvfLit), nullptr);
    EXPECT_EQ(device.program(handle + 1), nullptr);

    EXPECT_EQ(device.createVertexShader("vs.1.1\nmov r0, q0\n", kLightingDeclaration), 0u);
    const uint32_t constantLoad[] = {0x20000000, 0x80000000, 0xFFFFFFFF};
    EXPECT_EQ(device.createVertexShader(kLightingProgramText, constantLoad), 0u);
    device.failNextVertexShaderCreations(1);
    EXPECT_EQ(device.createVertexShader(kLightingProgramText, kLightingDeclaration), 0u);
    uint32_t second = device.createVertexShader(kLightingProgramText, kLightingDeclaration);
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, handle);
}

// One frame as the renderer makes it: constants, one indexed draw.
void drawFrame(RecordingDevice& device, VertexBuffer* vb, IndexBuffer* ib, uint32_t shader, float tag) {
    device.clear(kClearTarget | kClearZBuffer, 0xff000000u, 1.0f, 0);
    device.beginScene();
    const float rows[4][4] = {{tag, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    device.setVertexShaderConstant(0, rows, 4);
    device.setVertexShader(shader);
    device.setStreamSource(0, vb, 32);
    device.setIndices(ib, 0);
    device.drawIndexedPrimitive(Primitive::TriangleList, 0, 4, 0, 2);
    device.endScene();
    device.present();
}

TEST(RecordingDeviceDraws, SnapshotStateAndAllocateNothingOnRepeat) {
    RecordingDevice device;
    uint32_t shader = device.createVertexShader(kLightingProgramText, kLightingDeclaration);
    DeviceHandle<VertexBuffer> vb = device.createVertexBuffer(4 * 32, kUsageWriteOnly, 0);
    DeviceHandle<IndexBuffer> ib = device.createIndexBuffer(6 * 2, kUsageWriteOnly);
    auto* idx = static_cast<uint16_t*>(ib->lock(0, 0, 0));
    const uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
    std::memcpy(idx, quad, sizeof quad);
    ib->unlock();

    drawFrame(device, vb.get(), ib.get(), shader, 2.0f);
    ASSERT_EQ(device.draws.size(), 1u);
    const DrawRecord& d = device.draws[0];
    EXPECT_EQ(d.problem, nullptr) << d.problem;
    EXPECT_EQ(d.vertexShader, shader);
    EXPECT_EQ(d.stream, vb.get());
    EXPECT_EQ(d.indices, ib.get());
    EXPECT_EQ(d.constants[0][0], 2.0f);
    EXPECT_EQ(d.zEnable, 1u);
    EXPECT_EQ(device.presentCount(), 1u);

    size_t callCapacity = device.calls.capacity();
    size_t drawCapacity = device.draws.capacity();
    device.clearLog();
    EXPECT_TRUE(device.calls.empty());
    drawFrame(device, vb.get(), ib.get(), shader, 3.0f);
    EXPECT_EQ(device.calls.capacity(), callCapacity);
    EXPECT_EQ(device.draws.capacity(), drawCapacity);
    EXPECT_EQ(device.draws[0].constants[0][0], 3.0f);

    std::vector<uint8_t> pixels(1024 * 768 * 4);
    device.clear(kClearTarget, 0xff102030u, 1.0f, 0);
    ASSERT_TRUE(device.readBackBuffer(pixels.data()));
    EXPECT_EQ(pixels[0], 0x10);
    EXPECT_EQ(pixels[2], 0x30);
    EXPECT_EQ(pixels[pixels.size() - 1], 0xff);
    ib.reset();
    vb.reset();
}

TEST(RecordingDeviceDraws, FlagsDrawsThatReachPastTheirBuffers) {
    RecordingDevice device;
    DeviceHandle<VertexBuffer> vb = device.createVertexBuffer(3 * 16, 0, kFvfLine);
    DeviceHandle<IndexBuffer> ib = device.createIndexBuffer(3 * 2, 0);
    auto* idx = static_cast<uint16_t*>(ib->lock(0, 0, 0));
    idx[0] = 0;
    idx[1] = 1;
    idx[2] = 3;  // outside a three-vertex range
    ib->unlock();
    device.setStreamSource(0, vb.get(), 16);
    device.setIndices(ib.get(), 0);

    device.drawPrimitive(Primitive::LineList, 0, 1);
    EXPECT_NE(device.draws.back().problem, nullptr);  // outside a scene
    device.beginScene();
    device.drawPrimitive(Primitive::LineList, 0, 1);
    EXPECT_EQ(device.draws.back().problem, nullptr);
    device.drawPrimitive(Primitive::LineList, 2, 1);  // vertices 2 and 3 of 3
    EXPECT_NE(device.draws.back().problem, nullptr);
    device.drawIndexedPrimitive(Primitive::TriangleList, 0, 3, 0, 1);
    EXPECT_NE(device.draws.back().problem, nullptr);
    device.drawIndexedPrimitive(Primitive::TriangleList, 0, 4, 0, 1);  // range past the buffer
    EXPECT_NE(device.draws.back().problem, nullptr);
    vb->lock(0, 0, 0);
    device.drawPrimitive(Primitive::LineList, 0, 1);
    EXPECT_NE(device.draws.back().problem, nullptr);  // drawn while locked
    vb->unlock();
    // A surface without triangles: nothing to read, so no index buffer needed.
    device.setIndices(nullptr, 0);
    device.drawIndexedPrimitive(Primitive::TriangleList, 0, 3, 0, 0);
    EXPECT_EQ(device.draws.back().problem, nullptr);
    device.drawIndexedPrimitive(Primitive::TriangleList, 0, 3, 0, 1);
    EXPECT_NE(device.draws.back().problem, nullptr);
    device.endScene();
    EXPECT_EQ(device.faultyDraws(), 6u);
    ib.reset();
    vb.reset();
}

}  // namespace
}  // namespace q::gpu
