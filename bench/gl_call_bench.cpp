// What the OpenGL device layer costs per call, on the demo map. A real frame
// (update, render, overlay, end of frame) is recorded once on the recording
// device: its draw calls and state calls are counted. Its draws are then
// replayed on a headless GL device, each with the device calls the scene makes
// for it (program, texture, stream, indices, constants when they change, draw),
// and the same draws are done with bare GL calls (one vertex array per mesh, no
// state tracking beyond "same as the last draw"). Both frames clear, draw and
// wait for GL to finish; the time is the CPU time of this thread, which issues
// every call. Their difference per device call is the layer's cost per call.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/overlay.h"
#include "figure.h"
#include "move/camera_update.h"
#include "platform/gpu/gl/gl_device.h"
#include "platform/gpu/recording/recording_device.h"
#include "render/globals.h"
#include "render/graphics_device.h"
#include "render/lighting_program.h"
#include "render/text_font.h"
#include "vis/render_pass.h"
#include "world/scene.h"
#include "world/standard_placements.h"
#include "support/bare_gl.h"

namespace q {
namespace {

// The frame's draws are issued this many times between one clear and one
// wait, so that the fixed cost of those two does not hide the calls.
constexpr int kRepeats = 10;

struct ReplayDraw {
    size_t mesh;
    int texture;
    bool lines;
    bool indexed;
    uint32_t vertexShader;  // the recorded handle
    uint32_t minIndex, vertexCount, startIndex, primitiveCount, startVertex, baseVertex;
    size_t constants;  // index into Frame::constants
};

struct Mesh {
    std::vector<uint8_t> vertices;
    std::vector<uint8_t> indices;  // empty: not indexed
    uint32_t stride;
};

struct TextureData {
    std::vector<uint32_t> texels;
    uint32_t width, height;
};

// One recorded frame: its call counts and everything needed to replay its draws.
struct Frame {
    std::map<std::string, int> callsByKind;
    int draws = 0, stateCalls = 0, unchangedStateCalls = 0;
    std::vector<Mesh> meshes;
    std::vector<TextureData> textures;
    std::vector<std::vector<float>> constants;  // 48 floats each
    std::vector<ReplayDraw> replay;
};

const char* kindName(gpu::CallKind kind) {
    using gpu::CallKind;
    switch (kind) {
    case CallKind::SetRenderState: return "render state";
    case CallKind::SetTextureStageState: return "texture stage state";
    case CallKind::SetTexture: return "texture";
    case CallKind::SetTransform: return "transform";
    case CallKind::SetVertexShader: return "vertex shader";
    case CallKind::SetVertexShaderConstant: return "constants";
    case CallKind::SetStreamSource: return "stream";
    case CallKind::SetIndices: return "indices";
    case CallKind::DrawPrimitive:
    case CallKind::DrawIndexedPrimitive: return "draw";
    default: return nullptr;
    }
}

// The demo frame as the viewer makes it, on a recording device.
bool recordFrame(const std::string& dir, Frame* out) {
    GraphicsDevice graphics;
    auto* recorder = new gpu::RecordingDevice();
    graphics.create(std::unique_ptr<gpu::Device>(recorder));
    g_lightingShader = graphics.createVertexShader(kLightingProgramText, kLightingDeclaration);
    TextFont font;
    const bool haveFont = font.init(graphics.device.get(), "Arial", 20) == kTextFontOk;

    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    auto* scene = new Scene;
    scene->device = graphics.device.get();
    scene->graphics = &graphics;
    scene->init();
    std::string error;
    MapData* map = scene->loadMap("bbb", &error);
    std::filesystem::current_path(previous);
    if (!map) return std::fprintf(stderr, "gl_call_bench: %s\n", error.c_str()), false;
    placeStandardInstances(*scene, map, kStandardInstanceCount);

    auto frame = [&] {
        updateScene(*scene);
        graphics.beginFrame();
        const int areasDrawn = render(*scene);
        if (haveFont) {
            OverlayValues values;
            values.instanceIndex = scene->camera->instanceIndex;
            values.areaIndex = scene->camera->areaIndex;
            values.visibleAreas = areasDrawn;
            values.portalMode = g_portalMode;
            OverlayLines lines;
            buildOverlayLines(values, &lines);
            for (int i = 0; i < lines.count; ++i)
                font.drawText(0.0f, lines.lines[i].y, lines.lines[i].text, kOverlayColour);
        }
        graphics.endFrame(scene->camera->view, scene->camera->projection);
    };
    frame();
    recorder->clearLog();
    frame();

    // Counts, and which state calls repeat the value already set.
    std::map<std::pair<int, uint32_t>, uint64_t> lastValue;
    for (const gpu::RecordedCall& call : recorder->calls) {
        const char* name = kindName(call.kind);
        if (!name) continue;
        ++out->callsByKind[name];
        if (call.kind == gpu::CallKind::DrawPrimitive || call.kind == gpu::CallKind::DrawIndexedPrimitive) {
            ++out->draws;
            continue;
        }
        ++out->stateCalls;
        uint64_t value = reinterpret_cast<uintptr_t>(call.object) ^ (uint64_t{call.args[1]} << 32) ^ call.args[2];
        const bool valueCall = call.kind != gpu::CallKind::SetVertexShaderConstant &&
                               call.kind != gpu::CallKind::SetTransform;
        const auto key = std::make_pair(static_cast<int>(call.kind), call.args[0]);
        auto it = lastValue.find(key);
        if (valueCall && it != lastValue.end() && it->second == value) ++out->unchangedStateCalls;
        lastValue[key] = value;
    }

    std::map<std::pair<const void*, const void*>, size_t> meshIndex;
    std::map<const void*, int> textureIndex;
    for (const gpu::DrawRecord& d : recorder->draws) {
        if (d.problem || !d.stream) continue;
        const bool indexed = d.kind == gpu::CallKind::DrawIndexedPrimitive && d.indices;
        const auto key = std::make_pair<const void*, const void*>(d.stream, indexed ? d.indices : nullptr);
        auto found = meshIndex.find(key);
        if (found == meshIndex.end()) {
            Mesh mesh;
            mesh.vertices = gpu::RecordingDevice::contents(d.stream);
            if (indexed) mesh.indices = gpu::RecordingDevice::contents(d.indices);
            mesh.stride = d.stride;
            out->meshes.push_back(std::move(mesh));
            found = meshIndex.emplace(key, out->meshes.size() - 1).first;
        }
        int texture = -1;
        if (d.texture) {
            auto t = textureIndex.find(d.texture);
            if (t == textureIndex.end()) {
                out->textures.push_back(
                    {gpu::RecordingDevice::texels(d.texture), d.texture->width(), d.texture->height()});
                t = textureIndex.emplace(d.texture, static_cast<int>(out->textures.size()) - 1).first;
            }
            texture = t->second;
        }
        std::vector<float> constants(&d.constants[0][0], &d.constants[0][0] + 48);
        if (out->constants.empty() || out->constants.back() != constants) out->constants.push_back(constants);
        out->replay.push_back({found->second, texture, d.primitive == gpu::Primitive::LineList, indexed,
                               d.vertexShader, d.minIndex, d.vertexCount, d.startIndex, d.primitiveCount,
                               d.startVertex, d.baseVertex, out->constants.size() - 1});
    }

    font.release();
    delete scene;
    return true;
}

// ---------------------------------------------------------------------------

Frame g_frame;
std::unique_ptr<gpu::Device> g_gl;
uint32_t g_glProgram = 0;
std::vector<gpu::DeviceHandle<gpu::VertexBuffer>> g_vertexBuffers;
std::vector<gpu::DeviceHandle<gpu::IndexBuffer>> g_indexBuffers;
std::vector<gpu::DeviceHandle<gpu::Texture>> g_textures;
bench::BareGlScene* g_bare = nullptr;
std::vector<bench::BareDraw> g_bareDraws;
uint64_t g_deviceCallsPerReplay = 0;

bool prepareGl() {
    std::string error;
    g_gl = gpu::createHeadlessDevice(1024, 768, &error);
    if (!g_gl) return std::fprintf(stderr, "gl_call_bench: %s\n", error.c_str()), false;
    g_glProgram = g_gl->createVertexShader(kLightingProgramText, kLightingDeclaration);
    for (const Mesh& mesh : g_frame.meshes) {
        gpu::DeviceHandle<gpu::VertexBuffer> vb = g_gl->createVertexBuffer(static_cast<uint32_t>(mesh.vertices.size()), 0, 0);
        std::memcpy(vb->lock(0, 0, 0), mesh.vertices.data(), mesh.vertices.size());
        vb->unlock();
        gpu::DeviceHandle<gpu::IndexBuffer> ib;
        if (!mesh.indices.empty()) {
            ib = g_gl->createIndexBuffer(static_cast<uint32_t>(mesh.indices.size()), 0);
            std::memcpy(ib->lock(0, 0, 0), mesh.indices.data(), mesh.indices.size());
            ib->unlock();
        }
        g_vertexBuffers.push_back(std::move(vb));
        g_indexBuffers.push_back(std::move(ib));
    }
    for (const TextureData& t : g_frame.textures) {
        gpu::DeviceHandle<gpu::Texture> texture = g_gl->createTexture(t.width, t.height, 0);
        uint32_t pitch = 0;
        auto* rows = static_cast<uint8_t*>(texture->lockRect(&pitch));
        for (uint32_t y = 0; y < t.height; ++y)
            std::memcpy(rows + y * pitch, t.texels.data() + y * t.width, t.width * 4);
        texture->unlockRect();
        g_textures.push_back(std::move(texture));
    }

    std::vector<bench::BareMesh> bareMeshes;
    for (const Mesh& mesh : g_frame.meshes) {
        bench::BareMesh b;
        b.vertices = mesh.vertices.data();
        b.vertexBytes = static_cast<uint32_t>(mesh.vertices.size());
        b.stride = mesh.stride;
        b.indices = mesh.indices.empty() ? nullptr : reinterpret_cast<const uint16_t*>(mesh.indices.data());
        b.indexCount = static_cast<uint32_t>(mesh.indices.size() / 2);
        bareMeshes.push_back(b);
    }
    std::vector<bench::BareTexture> bareTextures;
    for (const TextureData& t : g_frame.textures) bareTextures.push_back({t.texels.data(), t.width, t.height});
    g_bare = bench::createBareGlScene(bareMeshes, bareTextures, &error);
    if (!g_bare) return std::fprintf(stderr, "gl_call_bench: %s\n", error.c_str()), false;
    for (int repeat = 0; repeat < kRepeats; ++repeat)
    for (const ReplayDraw& d : g_frame.replay) {
        bench::BareDraw b;
        b.mesh = static_cast<uint32_t>(d.mesh);
        b.texture = d.texture;
        b.lines = d.lines;
        b.first = d.indexed ? d.startIndex : d.startVertex;
        b.count = d.primitiveCount * (d.lines ? 2 : 3);
        b.baseVertex = static_cast<int32_t>(d.baseVertex);
        b.constants = g_frame.constants[d.constants].data();
        g_bareDraws.push_back(b);
    }
    return true;
}

// The recorded draws through the device, each with the calls the scene makes.
void replayOnDevice() {
    gpu::Device& device = *g_gl;
    uint64_t calls = 0;
    device.clear(gpu::kClearTarget | gpu::kClearZBuffer, 0xff000000u, 1.0f, 0);
    device.beginScene();
    size_t constants = ~size_t{0};
    for (int repeat = 0; repeat < kRepeats; ++repeat)
    for (const ReplayDraw& d : g_frame.replay) {
        const bool program = (d.vertexShader & gpu::kProgramHandleBit) != 0;
        device.setVertexShader(program ? g_glProgram : d.vertexShader);
        device.setTexture(0, d.texture >= 0 ? g_textures[static_cast<size_t>(d.texture)].get() : nullptr);
        device.setStreamSource(0, g_vertexBuffers[d.mesh].get(), g_frame.meshes[d.mesh].stride);
        calls += 3;
        if (d.constants != constants) {
            device.setVertexShaderConstant(0, g_frame.constants[d.constants].data(), 12);
            constants = d.constants;
            ++calls;
        }
        const gpu::Primitive primitive = d.lines ? gpu::Primitive::LineList : gpu::Primitive::TriangleList;
        if (d.indexed) {
            device.setIndices(g_indexBuffers[d.mesh].get(), d.baseVertex);
            device.drawIndexedPrimitive(primitive, d.minIndex, d.vertexCount, d.startIndex, d.primitiveCount);
            calls += 2;
        } else {
            device.drawPrimitive(primitive, d.startVertex, d.primitiveCount);
            ++calls;
        }
    }
    device.endScene();
    device.present();
    bench::finishGl();
    g_deviceCallsPerReplay = calls + 4;
}

void BM_DeviceFrame(benchmark::State& state) {
    for (auto _ : state) replayOnDevice();
    state.counters["device_calls"] = static_cast<double>(g_deviceCallsPerReplay);
}

void BM_BareGlFrame(benchmark::State& state) {
    for (auto _ : state) bench::drawBareGlFrame(g_bare, g_bareDraws.data(), g_bareDraws.size());
    state.counters["draws"] = static_cast<double>(g_bareDraws.size());
}

// The frames of a profile run; not inlined, so that callgrind can collect
// inside it alone (--toggle-collect='q::q_profiledGlFrames*').
[[gnu::noinline]] void q_profiledGlFrames(bool bare, int count) {
    for (int i = 0; i < count; ++i) {
        if (bare) bench::drawBareGlFrame(g_bare, g_bareDraws.data(), g_bareDraws.size());
        else replayOnDevice();
    }
}

BENCHMARK(BM_DeviceFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareGlFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeviceFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareGlFrame)->Unit(benchmark::kMicrosecond);

// Keeps the lowest CPU time per frame of each name (each runs twice, in turn).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nsPerFrame;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double ns = run.GetAdjustedCPUTime() * 1e3;  // reported in microseconds
            auto it = nsPerFrame.find(run.benchmark_name());
            if (it == nsPerFrame.end() || ns < it->second) nsPerFrame[run.benchmark_name()] = ns;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace
}  // namespace q

int main(int argc, char** argv) {
    const char* dir = q::bench::takeOption(&argc, argv, "--dir");
    if (!dir) {
        std::fprintf(stderr, "usage: gl_call_bench --dir=DEMO_MAP_DIR [benchmark options]\n");
        return 2;
    }
    // --profile=device|bare --frames=N: only N frames of one kind after one
    // unmeasured frame, for instruction counts under callgrind.
    const char* profile = q::bench::takeOption(&argc, argv, "--profile");
    const char* frames = q::bench::takeOption(&argc, argv, "--frames");
    if (!q::recordFrame(dir, &q::g_frame) || !q::prepareGl()) return 1;
    if (profile) {
        const bool bare = std::string(profile) == "bare";
        if (bare) q::bench::drawBareGlFrame(q::g_bare, q::g_bareDraws.data(), q::g_bareDraws.size());
        else q::replayOnDevice();
        q::q_profiledGlFrames(bare, frames ? std::atoi(frames) : 10);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    q::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const q::Frame& f = q::g_frame;
    std::string kinds;
    for (const auto& [name, count] : f.callsByKind) kinds += q::bench::format("%s %d, ", name.c_str(), count);
    if (!kinds.empty()) kinds.resize(kinds.size() - 2);
    q::bench::printNote("GL device cost per call (demo)",
                        q::bench::format("one demo frame: %d draw calls, %d state calls (%d of them repeat the "
                                         "value already set): %s",
                                         f.draws, f.stateCalls, f.unchangedStateCalls, kinds.c_str()));
    const double device = reporter.nsPerFrame["BM_DeviceFrame"], bare = reporter.nsPerFrame["BM_BareGlFrame"];
    if (device <= 0 || bare <= 0) return 1;
    const double calls = static_cast<double>(q::g_deviceCallsPerReplay);
    q::bench::printFigure("GL device cost per call (demo)",
                          q::bench::format("the frame's draws %d times, %zu draws through the device (%.0f calls) "
                                           "%.0f us vs bare GL %.0f us CPU: %+.0f ns per device call",
                                           q::kRepeats, q::g_bareDraws.size(), calls, device / 1e3, bare / 1e3,
                                           (device - bare) / calls),
                          device / bare, "-", "-");
    q::g_vertexBuffers.clear();
    q::g_indexBuffers.clear();
    q::g_textures.clear();
    q::bench::destroyBareGlScene(q::g_bare);
    q::g_gl.reset();
    return 0;
}
