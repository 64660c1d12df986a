#include "gpu/recording/recording_device.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gpu/live_list.h"
#include "platform/report.h"

namespace q::gpu {
namespace {

// Sizes beyond these are refused as the device would refuse them, rather than
// turned into a multi-gigabyte allocation by a bad caller.
constexpr uint32_t kMaxBufferBytes = 1u << 28;
constexpr uint32_t kMaxTextureSide = 16384;

struct BufferStorage {
    virtual ~BufferStorage() = default;
    std::vector<uint8_t> bytes;
    BufferUse use = BufferUse::Static;
    bool locked = false;
    size_t liveSlot = 0;  // where the device's live list holds it
};

struct TextureStorage {
    virtual ~TextureStorage() = default;
    std::vector<uint32_t> texels;
    TexelFormat format = TexelFormat::Rgba8;
    uint32_t levelCount = 0;
    std::vector<uint8_t> storedBytes;
    bool locked = false;
    size_t liveSlot = 0;
};

class RecordingProgram;
class RecordingPipeline;

// What a device's objects reach back to: the lists they are live in (so that
// freeing one is constant time) and the call log their locks are written to.
struct DeviceRecords {
    std::vector<RecordedCall>* calls = nullptr;
    LiveList<BufferStorage> buffers;
    LiveList<TextureStorage> textures;
    LiveList<RecordingProgram> programs;
    LiveList<RecordingPipeline> pipelines;

    void log(CallKind kind, uint32_t a0 = 0, uint32_t a1 = 0, uint32_t a2 = 0, const void* object = nullptr) {
        RecordedCall call{kind};
        call.args[0] = a0;
        call.args[1] = a1;
        call.args[2] = a2;
        call.object = object;
        calls->push_back(call);
    }
};

template <typename Base>
class RecordingBuffer final : public Base, public BufferStorage {
public:
    RecordingBuffer(DeviceRecords* records, uint32_t size, BufferUse bufferUse) : records_(records) {
        bytes.assign(size, 0);
        use = bufferUse;
    }
    // A whole lock of a dynamic buffer may hand back fresh storage; handing
    // back the old bytes is as good, since the caller rewrites them anyway.
    void* lock(uint32_t offset, uint32_t size) override {
        records_->log(CallKind::Lock, offset, size, 0, static_cast<Base*>(this));
        const uint64_t total = bytes.size();
        const uint64_t end = size == 0 ? total : uint64_t{offset} + size;
        if (locked || offset >= total || end > total) return nullptr;
        locked = true;
        return bytes.data() + offset;
    }
    void unlock() override {
        records_->log(CallKind::Unlock, 0, 0, 0, static_cast<Base*>(this));
        locked = false;
    }
    uint32_t byteSize() const override { return static_cast<uint32_t>(bytes.size()); }

private:
    void destroy() override {
        records_->buffers.remove(this);
        delete this;
    }

    DeviceRecords* records_;
};

class RecordingTexture final : public Texture, public TextureStorage {
public:
    RecordingTexture(DeviceRecords* records, uint32_t w, uint32_t h) : records_(records), width_(w), height_(h) {
        texels.assign(size_t{w} * h, 0);
    }
    uint32_t width() const override { return width_; }
    uint32_t height() const override { return height_; }
    void* lockRect(uint32_t* pitch) override {
        if (pitch) *pitch = width_ * 4;
        locked = true;
        return texels.data();
    }
    void unlockRect() override { locked = false; }

private:
    void destroy() override {
        records_->textures.remove(this);
        delete this;
    }

    DeviceRecords* records_;
    uint32_t width_, height_;
};

class RecordingProgram final : public Program {
public:
    RecordingProgram(DeviceRecords* records, RecordedProgram made) : what(std::move(made)), records_(records) {}

    const RecordedProgram what;
    // Pipelines made with it and not yet freed: it must outlive them.
    mutable uint32_t pipelines = 0;
    size_t liveSlot = 0;

private:
    void destroy() override {
        if (pipelines > 0) {
            std::fprintf(stderr, "program freed while %u pipelines still draw with it\n", pipelines);
            std::abort();
        }
        records_->programs.remove(this);
        delete this;
    }

    DeviceRecords* records_;
};

class RecordingPipeline final : public Pipeline {
public:
    RecordingPipeline(DeviceRecords* records, const PipelineDesc& desc, const RecordingProgram* program)
        : desc_(desc), program_(program), records_(records) {
        ++program_->pipelines;
    }
    const PipelineDesc& desc() const override { return desc_; }
    const RecordingProgram& program() const { return *program_; }

    size_t liveSlot = 0;

private:
    void destroy() override {
        --program_->pipelines;
        records_->pipelines.remove(this);
        delete this;
    }

    const PipelineDesc desc_;
    const RecordingProgram* program_;
    DeviceRecords* records_;
};

// Level 0 as 0xAARRGGBB texels, from RGBA8 bytes.
void fillTexels(TextureStorage* storage, const uint8_t* rgba) {
    for (size_t i = 0; i < storage->texels.size(); ++i) {
        const uint8_t* p = rgba + i * 4;
        storage->texels[i] = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
}

}  // namespace

struct RecordingDevice::Impl final : DeviceRecords {
    uint32_t width = 0, height = 0;
    uint32_t failBuffers = 0, failTextures = 0, failPrograms = 0;
    bool blockCompression = true;
    uint32_t clearColour = 0;
    bool inFrame = false;
    uint32_t frames = 0;
    uint32_t faultyDraws = 0;

    const char* drawProblem(const DrawCall& call) const;
    static const char* uniformProblem(const DrawCall& call);
    static const char* textureProblem(const DrawCall& call);
    const char* indexedDrawProblem(const DrawCall& call, const BufferStorage& vertices, uint64_t vertexSize) const;
};

const char* RecordingDevice::Impl::drawProblem(const DrawCall& call) const {
    if (!inFrame) return "draw outside beginFrame/endFrame";
    if (!call.pipeline) return "draw without a pipeline";
    if (!dynamic_cast<const RecordingPipeline*>(call.pipeline)) return "draw with a pipeline of another device";
    if (!call.vertices) return "draw without a vertex buffer";
    if (const char* problem = uniformProblem(call)) return problem;
    // Nothing is read when nothing is drawn (a surface without triangles).
    if (call.count == 0) return nullptr;

    const auto* vertices = dynamic_cast<const BufferStorage*>(call.vertices);
    if (!vertices) return "draw from a buffer of another device";
    if (vertices->locked) return "draw from a locked vertex buffer";
    if (const char* problem = textureProblem(call)) return problem;
    // 64-bit sums and products: no count, however large, wraps back into range.
    const uint64_t vertexSize = vertexBytes(call.pipeline->desc().format);
    if (call.indices) return indexedDrawProblem(call, *vertices, vertexSize);
    if ((uint64_t{call.first} + call.count) * vertexSize > vertices->bytes.size())
        return "draw reads vertices past the end of the vertex buffer";
    return nullptr;
}

const char* RecordingDevice::Impl::uniformProblem(const DrawCall& call) {
    const RecordingProgram& program = static_cast<const RecordingPipeline*>(call.pipeline)->program();
    if (call.uniforms.bytes != program.what.uniformBytes) return "draw with a uniform block not the size of its program's";
    if (call.uniforms.bytes > 0 && !call.uniforms.data) return "draw with a uniform block but no data";
    return nullptr;
}

const char* RecordingDevice::Impl::textureProblem(const DrawCall& call) {
    for (uint32_t slot = 0; slot < kTextureSlots; ++slot) {
        if (!call.textures.at(slot)) continue;
        const auto* texture = dynamic_cast<const TextureStorage*>(call.textures.at(slot));
        if (!texture) return "draw with a texture of another device";
        if (texture->locked) return "draw with a locked texture";
    }
    return nullptr;
}

const char* RecordingDevice::Impl::indexedDrawProblem(const DrawCall& call, const BufferStorage& vertices,
                                                      uint64_t vertexSize) const {
    const auto* indices = dynamic_cast<const BufferStorage*>(call.indices);
    if (!indices) return "draw from a buffer of another device";
    if (indices->locked) return "draw from a locked index buffer";
    const uint64_t end = uint64_t{call.first} + call.count;
    if (end * 2 > indices->bytes.size()) return "draw reads indices past the end of the index buffer";
    if (uint64_t{call.vertexCount} * vertexSize > vertices.bytes.size())
        return "draw lets indices reach past the end of the vertex buffer";
    for (uint64_t i = call.first; i < end; ++i) {
        uint16_t index;
        std::memcpy(&index, indices->bytes.data() + i * 2, 2);
        if (index >= call.vertexCount) return "an index reaches past the draw's vertexCount";
    }
    return nullptr;
}

RecordingDevice::RecordingDevice(uint32_t width, uint32_t height) : impl_(std::make_unique<Impl>()) {
    impl_->calls = &calls;
    impl_->width = width;
    impl_->height = height;
}

RecordingDevice::~RecordingDevice() {
    const Impl& d = *impl_;
    if (d.buffers.size() + d.textures.size() + d.programs.size() + d.pipelines.size() == 0) return;
    std::fprintf(stderr,
                 "recording device torn down with %zu buffers, %zu textures, %zu programs and %zu pipelines still "
                 "live\n",
                 d.buffers.size(), d.textures.size(), d.programs.size(), d.pipelines.size());
    std::abort();
}

void RecordingDevice::clearLog() {
    calls.clear();
    draws.clear();
}

const RecordedProgram& RecordingDevice::program(const Program* program) {
    static const RecordedProgram kNone;
    const auto* recorded = dynamic_cast<const RecordingProgram*>(program);
    return recorded ? recorded->what : kNone;
}
uint32_t RecordingDevice::clearColour() const { return impl_->clearColour; }
bool RecordingDevice::inFrame() const { return impl_->inFrame; }
uint32_t RecordingDevice::frameCount() const { return impl_->frames; }
uint32_t RecordingDevice::faultyDraws() const { return impl_->faultyDraws; }

const std::vector<uint8_t>& RecordingDevice::contents(const Buffer* buffer) {
    static const std::vector<uint8_t> kNone;
    const auto* storage = dynamic_cast<const BufferStorage*>(buffer);
    return storage ? storage->bytes : kNone;
}
BufferUse RecordingDevice::use(const Buffer* buffer) {
    const auto* storage = dynamic_cast<const BufferStorage*>(buffer);
    return storage ? storage->use : BufferUse::Static;
}
const std::vector<uint32_t>& RecordingDevice::texels(const Texture* texture) {
    static const std::vector<uint32_t> kNone;
    const auto* storage = dynamic_cast<const TextureStorage*>(texture);
    return storage ? storage->texels : kNone;
}
TexelFormat RecordingDevice::format(const Texture* texture) {
    const auto* storage = dynamic_cast<const TextureStorage*>(texture);
    return storage ? storage->format : TexelFormat::Rgba8;
}
uint32_t RecordingDevice::levelCount(const Texture* texture) {
    const auto* storage = dynamic_cast<const TextureStorage*>(texture);
    return storage ? storage->levelCount : 0;
}
const std::vector<uint8_t>& RecordingDevice::storedLevels(const Texture* texture) {
    static const std::vector<uint8_t> kNone;
    const auto* storage = dynamic_cast<const TextureStorage*>(texture);
    return storage ? storage->storedBytes : kNone;
}
void RecordingDevice::setBlockCompression(bool supported) { impl_->blockCompression = supported; }
bool RecordingDevice::supportsBlockCompression() const { return impl_->blockCompression; }
bool RecordingDevice::isLocked(const Buffer* buffer) {
    const auto* storage = dynamic_cast<const BufferStorage*>(buffer);
    return storage && storage->locked;
}
uint32_t RecordingDevice::liveBuffers() const { return static_cast<uint32_t>(impl_->buffers.size()); }
uint32_t RecordingDevice::liveTextures() const { return static_cast<uint32_t>(impl_->textures.size()); }
uint32_t RecordingDevice::livePipelines() const { return static_cast<uint32_t>(impl_->pipelines.size()); }
void RecordingDevice::failNextBufferCreations(uint32_t n) { impl_->failBuffers = n; }
void RecordingDevice::failNextTextureCreations(uint32_t n) { impl_->failTextures = n; }
void RecordingDevice::failNextProgramCreations(uint32_t n) { impl_->failPrograms = n; }

DeviceHandle<VertexBuffer> RecordingDevice::createVertexBuffer(uint32_t bytes, BufferUse use) {
    RecordingBuffer<VertexBuffer>* result = nullptr;
    if (impl_->failBuffers > 0) {
        --impl_->failBuffers;
    } else if (bytes > 0 && bytes <= kMaxBufferBytes) {
        result = new RecordingBuffer<VertexBuffer>(impl_.get(), bytes, use);
        impl_->buffers.add(result);
    }
    impl_->log(CallKind::CreateVertexBuffer, bytes, static_cast<uint32_t>(use), 0,
               static_cast<VertexBuffer*>(result));
    return DeviceHandle<VertexBuffer>(result);
}

DeviceHandle<IndexBuffer> RecordingDevice::createIndexBuffer(uint32_t bytes, BufferUse use) {
    RecordingBuffer<IndexBuffer>* result = nullptr;
    if (impl_->failBuffers > 0) {
        --impl_->failBuffers;
    } else if (bytes > 0 && bytes <= kMaxBufferBytes) {
        result = new RecordingBuffer<IndexBuffer>(impl_.get(), bytes, use);
        impl_->buffers.add(result);
    }
    impl_->log(CallKind::CreateIndexBuffer, bytes, static_cast<uint32_t>(use), 0, static_cast<IndexBuffer*>(result));
    return DeviceHandle<IndexBuffer>(result);
}

DeviceHandle<Texture> RecordingDevice::createTexture(uint32_t width, uint32_t height, uint32_t levels) {
    RecordingTexture* result = nullptr;
    if (impl_->failTextures > 0) {
        --impl_->failTextures;
    } else if (width > 0 && height > 0 && width <= kMaxTextureSide && height <= kMaxTextureSide) {
        result = new RecordingTexture(impl_.get(), width, height);
        impl_->textures.add(result);
    }
    impl_->log(CallKind::CreateTexture, width, height, levels, static_cast<Texture*>(result));
    return DeviceHandle<Texture>(result);
}

DeviceHandle<Texture> RecordingDevice::createTextureFromRgba(const uint8_t* rgba, uint32_t width, uint32_t height) {
    if (!rgba) {
        impl_->log(CallKind::CreateTexture, width, height, 0);
        return nullptr;
    }
    DeviceHandle<Texture> t = createTexture(width, height, 0);
    if (t) fillTexels(dynamic_cast<TextureStorage*>(t.get()), rgba);
    return t;
}

DeviceHandle<Texture> RecordingDevice::createTextureFromLevels(TexelFormat format, uint32_t width, uint32_t height,
                                                               uint32_t levelCount, const uint8_t* levels) {
    if (format == TexelFormat::Rgba8 && levelCount == 1) return createTextureFromRgba(levels, width, height);
    const bool usable = levels && levelCount > 0 && (!isBlockFormat(format) || impl_->blockCompression);
    DeviceHandle<Texture> t = usable ? createTexture(width, height, levelCount) : nullptr;
    if (!t) return nullptr;
    auto* storage = dynamic_cast<TextureStorage*>(t.get());
    storage->format = format;
    storage->levelCount = levelCount;
    storage->storedBytes.assign(levels, levels + chainBytes(format, width, height, levelCount));
    if (format == TexelFormat::Rgba8) fillTexels(storage, levels);
    return t;
}

DeviceHandle<Program> RecordingDevice::createProgram(const ProgramDesc& desc) {
    RecordingProgram* result = nullptr;
    if (impl_->failPrograms > 0) {
        --impl_->failPrograms;
        warn("program refused: the device was told to refuse the next ones");
    } else if (!desc.vertexSource || !desc.fragmentSource || vertexBytes(desc.inputs) == 0) {
        warn("program refused: a stage has no source or the vertex format is unknown");
    } else if (desc.uniformBytes % 16 != 0 || desc.uniformBytes > kMaxUniformBytes) {
        warn("program refused: its uniform block is not whole vec4s up to kMaxUniformBytes");
    } else {
        result = new RecordingProgram(impl_.get(),
                                      {desc.vertexSource, desc.fragmentSource, desc.inputs, desc.uniformBytes});
        impl_->programs.add(result);
    }
    impl_->log(CallKind::CreateProgram, static_cast<uint32_t>(desc.inputs), desc.uniformBytes, 0,
               static_cast<Program*>(result));
    return DeviceHandle<Program>(result);
}

DeviceHandle<Pipeline> RecordingDevice::createPipeline(const PipelineDesc& desc) {
    const auto* program = dynamic_cast<const RecordingProgram*>(desc.program);
    // A program reads the inputs of the format it was made for; drawn with
    // another layout it would read the wrong bytes.
    const bool usable = program && program->what.inputs == desc.format;
    RecordingPipeline* result = nullptr;
    if (usable) {
        result = new RecordingPipeline(impl_.get(), desc, program);
        impl_->pipelines.add(result);
    }
    impl_->log(CallKind::CreatePipeline, static_cast<uint32_t>(desc.format), 0, 0, static_cast<Pipeline*>(result));
    return DeviceHandle<Pipeline>(result);
}

// A second beginFrame clears again and the frame stays open; an endFrame with
// no frame open shows nothing and is not counted. Both stay in the log.
void RecordingDevice::beginFrame(uint32_t clearColour) {
    impl_->log(CallKind::BeginFrame, clearColour);
    impl_->clearColour = clearColour;
    impl_->inFrame = true;
}

void RecordingDevice::draw(const DrawCall& call) {
    impl_->log(CallKind::Draw, call.first, call.count, call.vertexCount, call.pipeline);
    DrawRecord record{};
    if (call.pipeline) record.pipeline = call.pipeline->desc();
    record.pipelineObject = call.pipeline;
    record.vertices = call.vertices;
    record.indices = call.indices;
    record.textures = call.textures;
    record.first = call.first;
    record.count = call.count;
    record.vertexCount = call.vertexCount;
    record.uniformBytes = call.uniforms.bytes;
    if (call.uniforms.data)
        std::memcpy(record.uniforms, call.uniforms.data, std::min(call.uniforms.bytes, kMaxUniformBytes));
    record.problem = impl_->drawProblem(call);
    if (record.problem) ++impl_->faultyDraws;
    draws.push_back(record);
}

void RecordingDevice::endFrame() {
    impl_->log(CallKind::EndFrame);
    if (!impl_->inFrame) return;
    impl_->inFrame = false;
    ++impl_->frames;
}

uint32_t RecordingDevice::width() const { return impl_->width; }
uint32_t RecordingDevice::height() const { return impl_->height; }

bool RecordingDevice::readBackBuffer(uint8_t* rgba) {
    if (!rgba) return false;
    const uint32_t c = impl_->clearColour;
    const uint8_t pixel[4] = {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
                              static_cast<uint8_t>(c >> 24)};
    const size_t count = size_t{impl_->width} * impl_->height;
    for (size_t i = 0; i < count; ++i) std::memcpy(rgba + i * 4, pixel, 4);
    return true;
}

}  // namespace q::gpu
