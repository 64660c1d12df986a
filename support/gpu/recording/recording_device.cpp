#include "gpu/recording/recording_device.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gpu/draw_rules.h"
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
    size_t liveSlot = 0;  // where the device's live list holds it
};

struct TextureStorage {
    virtual ~TextureStorage() = default;
    std::vector<uint32_t> texels;
    TexelFormat format = TexelFormat::Rgba8;
    uint32_t levelCount = 0;
    std::vector<uint8_t> storedBytes;
    size_t liveSlot = 0;
};

class RecordingProgram;
class RecordingPipeline;

// What a device's objects reach back to: the lists they are live in (so that
// freeing one is constant time) and the call log their updates are written to.
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
    RecordingBuffer(DeviceRecords* records, uint32_t size, BufferUse bufferUse, const void* contents)
        : records_(records) {
        bytes.assign(size, 0);
        if (contents) std::memcpy(bytes.data(), contents, size);
        use = bufferUse;
    }
    // An update of a dynamic buffer from its start may hand it fresh storage;
    // keeping the bytes past the range is as good, since they are undefined.
    bool update(uint32_t offset, const void* source, uint32_t size) override {
        records_->log(CallKind::Update, offset, size, 0, static_cast<Base*>(this));
        if ((!source && size > 0) || uint64_t{offset} + size > bytes.size()) return false;
        if (size > 0) std::memcpy(bytes.data() + offset, source, size);
        return true;
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
    bool inFrameNow = false;
    bool inFrame() const { return inFrameNow; }
    uint32_t frames = 0;
    uint32_t faultyDraws = 0;

    DrawRuleReports ruleReports;

    // The draw rules' view of this device's objects (gpu/draw_rules.h).
    bool owns(const Pipeline& pipeline) const {
        const auto* own = dynamic_cast<const RecordingPipeline*>(&pipeline);
        return own && pipelines.holds(own);
    }
    bool owns(const Buffer& buffer) const {
        const auto* own = dynamic_cast<const BufferStorage*>(&buffer);
        return own && buffers.holds(own);
    }
    bool owns(const Texture& texture) const {
        const auto* own = dynamic_cast<const TextureStorage*>(&texture);
        return own && textures.holds(own);
    }
    uint32_t uniformBytes(const Pipeline& pipeline) const {
        return static_cast<const RecordingPipeline&>(pipeline).program().what.uniformBytes;
    }
    const uint8_t* indexBytes(const IndexBuffer& buffer) const {
        return dynamic_cast<const BufferStorage&>(buffer).bytes.data();
    }
};

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
bool RecordingDevice::inFrame() const { return impl_->inFrameNow; }
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
uint32_t RecordingDevice::liveBuffers() const { return static_cast<uint32_t>(impl_->buffers.size()); }
uint32_t RecordingDevice::liveTextures() const { return static_cast<uint32_t>(impl_->textures.size()); }
uint32_t RecordingDevice::livePipelines() const { return static_cast<uint32_t>(impl_->pipelines.size()); }
void RecordingDevice::failNextBufferCreations(uint32_t n) { impl_->failBuffers = n; }
void RecordingDevice::failNextTextureCreations(uint32_t n) { impl_->failTextures = n; }
void RecordingDevice::failNextProgramCreations(uint32_t n) { impl_->failPrograms = n; }

DeviceHandle<VertexBuffer> RecordingDevice::createVertexBuffer(uint32_t bytes, BufferUse use, const void* contents) {
    RecordingBuffer<VertexBuffer>* result = nullptr;
    if (impl_->failBuffers > 0) {
        --impl_->failBuffers;
    } else if (bytes > 0 && bytes <= kMaxBufferBytes) {
        result = new RecordingBuffer<VertexBuffer>(impl_.get(), bytes, use, contents);
        impl_->buffers.add(result);
    }
    impl_->log(CallKind::CreateVertexBuffer, bytes, static_cast<uint32_t>(use), 0,
               static_cast<VertexBuffer*>(result));
    return DeviceHandle<VertexBuffer>(result);
}

DeviceHandle<IndexBuffer> RecordingDevice::createIndexBuffer(uint32_t bytes, BufferUse use, const void* contents) {
    RecordingBuffer<IndexBuffer>* result = nullptr;
    if (impl_->failBuffers > 0) {
        --impl_->failBuffers;
    } else if (bytes > 0 && bytes <= kMaxBufferBytes) {
        result = new RecordingBuffer<IndexBuffer>(impl_.get(), bytes, use, contents);
        impl_->buffers.add(result);
    }
    impl_->log(CallKind::CreateIndexBuffer, bytes, static_cast<uint32_t>(use), 0, static_cast<IndexBuffer*>(result));
    return DeviceHandle<IndexBuffer>(result);
}

DeviceHandle<Texture> RecordingDevice::createTexture(TexelFormat format, uint32_t width, uint32_t height,
                                                     uint32_t levelCount, const uint8_t* levels) {
    const bool sizeFits = width > 0 && height > 0 && width <= kMaxTextureSide && height <= kMaxTextureSide;
    const bool usable = levels && sizeFits && (levelCount > 0 || format == TexelFormat::Rgba8) &&
                        (!isBlockFormat(format) || impl_->blockCompression);
    RecordingTexture* result = nullptr;
    if (impl_->failTextures > 0) {
        --impl_->failTextures;
    } else if (usable) {
        result = new RecordingTexture(impl_.get(), width, height);
        impl_->textures.add(result);
        result->format = format;
        result->levelCount = levelCount;
        result->storedBytes.assign(levels, levels + chainBytes(format, width, height, std::max(levelCount, 1u)));
        if (format == TexelFormat::Rgba8) fillTexels(result, levels);
    }
    impl_->log(CallKind::CreateTexture, width, height, levelCount, static_cast<Texture*>(result));
    return DeviceHandle<Texture>(result);
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
    impl_->inFrameNow = true;
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
    record.scissor = call.scissor;
    record.uniformBytes = call.uniforms.bytes;
    if (call.uniforms.data)
        std::memcpy(record.uniforms, call.uniforms.data, std::min(call.uniforms.bytes, kMaxUniformBytes));
    const DrawRule broken = checkDraw(call, *impl_, true);
    record.problem = broken == DrawRule::Sound ? nullptr : describe(broken);
    if (record.problem) {
        ++impl_->faultyDraws;
        impl_->ruleReports.report(broken);
    }
    draws.push_back(record);
}

void RecordingDevice::clearStencil(const ScreenRect& rect) {
    if (rect.whole)
        impl_->log(CallKind::ClearStencil);
    else
        impl_->log(CallKind::ClearStencil, static_cast<uint32_t>(rect.x), static_cast<uint32_t>(rect.y),
                   static_cast<uint32_t>(rect.width));
}

void RecordingDevice::endFrame() {
    impl_->log(CallKind::EndFrame);
    if (!impl_->inFrameNow) return;
    impl_->inFrameNow = false;
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
