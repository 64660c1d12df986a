// What the OpenGL device layer costs per call, on the demo map. A real frame
// (update, render, overlay, end of frame) is recorded once on the recording
// device. Its draws are then replayed on a headless GL device, one device call
// each, naming the pipeline, buffers, texture and uniforms the scene named,
// and the same draws are done with bare GL calls (one vertex array per mesh,
// one program, no state tracking beyond "same as the last draw"). Both frames
// clear, draw and wait for GL to finish; the time is the CPU time of this
// thread, which issues every call. Their difference per device call is the
// layer's cost per call.

#include <benchmark/benchmark.h>

#include <algorithm>
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
#include "gpu/gl/gl_device.h"
#include "gpu/recording/recording_device.h"
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
    size_t pipeline;  // index into Frame::pipelines
    bool indexed;
    uint32_t first, count, vertexCount;
    size_t uniforms;  // index into Frame::uniforms
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
    int draws = 0, pipelineChanges = 0, updates = 0;
    std::vector<gpu::PipelineDesc> pipelines;  // programs as recorded: see pipelinePrograms
    std::vector<size_t> pipelinePrograms;      // index into programs, one per pipeline
    std::vector<gpu::RecordedProgram> programs;
    std::vector<Mesh> meshes;
    std::vector<TextureData> textures;
    std::vector<std::vector<uint8_t>> uniforms;  // each a draw's block, as many bytes as it gave
    std::vector<ReplayDraw> replay;
};

// The demo frame as the viewer makes it, on a recording device.
bool recordFrame(const std::string& dir, Frame* out) {
    GraphicsDevice graphics;
    auto* recorder = new gpu::RecordingDevice();
    graphics.create(std::unique_ptr<gpu::Device>(recorder));
    TextFont font;
    const bool haveFont = font.init(graphics.device(), "Arial", 20);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    auto* scene = new Scene;
    scene->device = graphics.device();
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
        graphics.endFrame(scene->camera->view, scene->camera->projection, g_portalMode);
    };
    frame();
    recorder->clearLog();
    frame();

    for (const gpu::RecordedCall& call : recorder->calls) out->updates += call.kind == gpu::CallKind::Update;
    std::map<std::pair<const void*, const void*>, size_t> meshIndex;
    std::map<const void*, int> textureIndex;
    std::map<const void*, size_t> pipelineIndex, programIndex;
    const void* lastPipeline = nullptr;
    for (const gpu::DrawRecord& d : recorder->draws) {
        ++out->draws;
        if (d.problem || !d.vertices || d.count == 0) continue;
        if (d.pipelineObject != lastPipeline) ++out->pipelineChanges;
        lastPipeline = d.pipelineObject;
        auto p = pipelineIndex.find(d.pipelineObject);
        if (p == pipelineIndex.end()) {
            out->pipelines.push_back(d.pipeline);
            auto program = programIndex.find(d.pipeline.program);
            if (program == programIndex.end()) {
                out->programs.push_back(gpu::RecordingDevice::program(d.pipeline.program));
                program = programIndex.emplace(d.pipeline.program, out->programs.size() - 1).first;
            }
            out->pipelinePrograms.push_back(program->second);
            p = pipelineIndex.emplace(d.pipelineObject, out->pipelines.size() - 1).first;
        }
        const bool indexed = d.indices != nullptr;
        const auto key = std::make_pair<const void*, const void*>(d.vertices, d.indices);
        auto found = meshIndex.find(key);
        if (found == meshIndex.end()) {
            Mesh mesh;
            mesh.vertices = gpu::RecordingDevice::contents(d.vertices);
            if (indexed) mesh.indices = gpu::RecordingDevice::contents(d.indices);
            mesh.stride = gpu::vertexBytes(d.pipeline.format);
            out->meshes.push_back(std::move(mesh));
            found = meshIndex.emplace(key, out->meshes.size() - 1).first;
        }
        int texture = -1;
        if (const gpu::Texture* image = d.textures.surfaceImage) {
            auto t = textureIndex.find(image);
            if (t == textureIndex.end()) {
                out->textures.push_back({gpu::RecordingDevice::texels(image), image->width(), image->height()});
                t = textureIndex.emplace(image, static_cast<int>(out->textures.size()) - 1).first;
            }
            texture = t->second;
        }
        const std::vector<uint8_t> uniforms(d.uniforms, d.uniforms + std::min(d.uniformBytes, gpu::kMaxUniformBytes));
        if (out->uniforms.empty() || out->uniforms.back() != uniforms) out->uniforms.push_back(uniforms);
        out->replay.push_back({found->second, texture, p->second, indexed, d.first, d.count, d.vertexCount,
                               out->uniforms.size() - 1});
    }
    font.release();
    delete scene;
    return true;
}

// ---------------------------------------------------------------------------

Frame g_frame;
std::unique_ptr<gpu::Device> g_gl;
std::vector<gpu::DeviceHandle<gpu::Program>> g_glPrograms;
std::vector<gpu::DeviceHandle<gpu::Pipeline>> g_pipelines;
std::vector<gpu::DeviceHandle<gpu::VertexBuffer>> g_vertexBuffers;
std::vector<gpu::DeviceHandle<gpu::IndexBuffer>> g_indexBuffers;
std::vector<gpu::DeviceHandle<gpu::Texture>> g_textures;
std::vector<gpu::DrawCall> g_calls;
bench::BareGlScene* g_bare = nullptr;
std::vector<bench::BareDraw> g_bareDraws;

bool prepareGl() {
    std::string error;
    g_gl = gpu::createHeadlessDevice(1024, 768, &error);
    if (!g_gl) return std::fprintf(stderr, "gl_call_bench: %s\n", error.c_str()), false;
    for (const gpu::RecordedProgram& p : g_frame.programs) {
        g_glPrograms.push_back(g_gl->createProgram(
            {p.vertexSource.c_str(), p.fragmentSource.c_str(), p.inputs, p.uniformBytes}));
        if (!g_glPrograms.back()) return std::fprintf(stderr, "gl_call_bench: a program was refused\n"), false;
    }
    for (size_t i = 0; i < g_frame.pipelines.size(); ++i) {
        gpu::PipelineDesc desc = g_frame.pipelines[i];
        desc.program = g_glPrograms[g_frame.pipelinePrograms[i]].get();
        g_pipelines.push_back(g_gl->createPipeline(desc));
        if (!g_pipelines.back()) return std::fprintf(stderr, "gl_call_bench: a pipeline was refused\n"), false;
    }
    for (const Mesh& mesh : g_frame.meshes) {
        gpu::DeviceHandle<gpu::VertexBuffer> vb = g_gl->createVertexBuffer(
            static_cast<uint32_t>(mesh.vertices.size()), gpu::BufferUse::Static, mesh.vertices.data());
        gpu::DeviceHandle<gpu::IndexBuffer> ib;
        if (!mesh.indices.empty())
            ib = g_gl->createIndexBuffer(static_cast<uint32_t>(mesh.indices.size()), gpu::BufferUse::Static,
                                         mesh.indices.data());
        g_vertexBuffers.push_back(std::move(vb));
        g_indexBuffers.push_back(std::move(ib));
    }
    for (const TextureData& t : g_frame.textures) {
        // 0xAARRGGBB texels as the bytes red, green, blue, alpha.
        std::vector<uint8_t> rgba(t.texels.size() * 4);
        for (size_t i = 0; i < t.texels.size(); ++i) {
            const uint32_t texel = t.texels[i];
            rgba[i * 4] = static_cast<uint8_t>(texel >> 16);
            rgba[i * 4 + 1] = static_cast<uint8_t>(texel >> 8);
            rgba[i * 4 + 2] = static_cast<uint8_t>(texel);
            rgba[i * 4 + 3] = static_cast<uint8_t>(texel >> 24);
        }
        g_textures.push_back(g_gl->createTexture(TexelFormat::Rgba8, t.width, t.height, 0, rgba.data()));
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
            const bool lines = g_frame.pipelines[d.pipeline].format == gpu::VertexFormat::ColouredLine;
            gpu::DrawCall call;
            call.pipeline = g_pipelines[d.pipeline].get();
            call.vertices = g_vertexBuffers[d.mesh].get();
            call.indices = d.indexed ? g_indexBuffers[d.mesh].get() : nullptr;
            call.textures.surfaceImage = d.texture >= 0 ? g_textures[static_cast<size_t>(d.texture)].get() : nullptr;
            const std::vector<uint8_t>& uniforms = g_frame.uniforms[d.uniforms];
            call.uniforms = {uniforms.data(), static_cast<uint32_t>(uniforms.size())};
            call.first = d.first;
            call.count = d.count;
            call.vertexCount = d.vertexCount;
            g_calls.push_back(call);

            bench::BareDraw b;
            b.mesh = static_cast<uint32_t>(d.mesh);
            b.texture = d.texture;
            b.lines = lines;
            b.first = d.first;
            b.count = d.count;
            b.uniforms = uniforms.data();
            b.uniformBytes = static_cast<uint32_t>(uniforms.size());
            g_bareDraws.push_back(b);
        }
    return true;
}

// The recorded draws through the device, one call each.
void replayOnDevice() {
    gpu::Device& device = *g_gl;
    device.beginFrame(0xff000000u);
    for (const gpu::DrawCall& call : g_calls) device.draw(call);
    device.endFrame();
    bench::finishGl();
}

uint64_t deviceCallsPerReplay() { return g_calls.size() + 2; }

void BM_DeviceFrame(benchmark::State& state) {
    for (auto _ : state) replayOnDevice();
    state.counters["device_calls"] = static_cast<double>(deviceCallsPerReplay());
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
    q::bench::printNote("GL device cost per call (demo)",
                        q::bench::format("one demo frame: %d draws (one device call each) through %zu pipelines, "
                                         "%d pipeline changes, %d buffer updates",
                                         f.draws, f.pipelines.size(), f.pipelineChanges, f.updates));
    const double device = reporter.nsPerFrame["BM_DeviceFrame"], bare = reporter.nsPerFrame["BM_BareGlFrame"];
    if (device <= 0 || bare <= 0) return 1;
    const double calls = static_cast<double>(q::deviceCallsPerReplay());
    q::bench::printFigure("GL device cost per call (demo)",
                          q::bench::format("the frame's draws %d times, %zu draws through the device (%.0f calls) "
                                           "%.0f us vs bare GL %.0f us CPU: %+.0f ns per device call",
                                           q::kRepeats, q::g_bareDraws.size(), calls, device / 1e3, bare / 1e3,
                                           (device - bare) / calls),
                          device / bare, "-", "-");
    q::g_calls.clear();
    q::g_pipelines.clear();
    q::g_glPrograms.clear();
    q::g_vertexBuffers.clear();
    q::g_indexBuffers.clear();
    q::g_textures.clear();
    q::bench::destroyBareGlScene(q::g_bare);
    q::g_gl.reset();
    return 0;
}
