#include "platform/gpu/recording/recording_device.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gpu/live_list.h"

namespace q::gpu {
namespace {

// Sizes beyond these are refused as the device would refuse them, rather than
// turned into a multi-gigabyte allocation by a bad caller.
constexpr uint32_t kMaxBufferBytes = 1u << 28;
constexpr uint32_t kMaxTextureSide = 16384;
constexpr uint32_t kStages = 8;
constexpr uint32_t kStreams = 16;
constexpr size_t kRenderStateSlots = 256;
constexpr size_t kStageStateSlots = 32;

struct BufferStorage {
    virtual ~BufferStorage() = default;
    std::vector<uint8_t> bytes;
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

// One state-setting call, applied through one path.
struct BlockEntry {
    BlockEntry(CallKind k, uint32_t a0 = 0, uint32_t b0 = 0, uint32_t c0 = 0) : kind(k), a(a0), b(b0), c(c0) {}
    CallKind kind;
    uint32_t a = 0, b = 0, c = 0;
    const void* object = nullptr;
    Matrix matrix;
    std::vector<float> constants;
};

// What buffers and textures need from the device that made them.
class ObjectOwner {
public:
    virtual void logLock(CallKind kind, uint32_t offset, uint32_t size, uint32_t flags,
                         const void* object) = 0;
    virtual void forgetBuffer(BufferStorage* b, const void* object) = 0;
    virtual void forgetTexture(TextureStorage* t, const void* object) = 0;

protected:
    ~ObjectOwner() = default;
};

}  // namespace

struct RecordingDevice::Impl final : ObjectOwner {
    RecordingDevice* self = nullptr;
    uint32_t width = 0, height = 0;

    std::array<uint32_t, kRenderStateSlots> renderStates{};
    std::array<std::array<uint32_t, kStageStateSlots>, kStages> stageStates{};
    std::array<Texture*, kStages> textures{};
    Matrix view = Matrix::identity(), projection = Matrix::identity(), world = Matrix::identity();
    uint32_t vertexShader = 0;
    float constants[kMaxVertexConstants][4] = {};
    std::array<VertexBuffer*, kStreams> streams{};
    std::array<uint32_t, kStreams> strides{};
    IndexBuffer* indices = nullptr;
    uint32_t baseVertex = 0;

    // Live, owned.
    LiveList<BufferStorage> buffers;
    LiveList<TextureStorage> textureObjects;
    std::vector<VertexProgram> programs;  // handle & ~kProgramHandleBit = index + 1
    std::vector<VertexDeclaration> declarations;


    uint32_t failBuffers = 0, failTextures = 0, failShaders = 0;
    bool blockCompression = true;
    uint32_t clearColor = 0;
    bool inScene = false;
    uint32_t presents = 0;
    uint32_t faultyDraws = 0;

    ~Impl() {
        for (BufferStorage* b : buffers) delete b;
        for (TextureStorage* t : textureObjects) delete t;
    }

    void log(CallKind kind, std::initializer_list<uint32_t> args, const void* object = nullptr) {
        RecordedCall call;
        call.kind = kind;
        size_t i = 0;
        for (uint32_t a : args)
            if (i < 5) call.args[i++] = a;
        call.object = object;
        self->calls.push_back(call);
    }

    void logLock(CallKind kind, uint32_t offset, uint32_t size, uint32_t flags,
                 const void* object) override {
        log(kind, {offset, size, flags}, object);
    }
    // A released object is unbound, so no later draw can reach freed memory.
    void forgetObject(const void* object) {
        for (VertexBuffer*& s : streams)
            if (s == object) s = nullptr;
        if (indices == object) indices = nullptr;
        for (Texture*& t : textures)
            if (t == object) t = nullptr;
    }
    void forgetBuffer(BufferStorage* b, const void* object) override {
        buffers.remove(b);
        forgetObject(object);
    }
    void forgetTexture(TextureStorage* t, const void* object) override {
        textureObjects.remove(t);
        forgetObject(object);
    }

    // Applies one state-setting call.
    void apply(const BlockEntry& e);

    const char* drawProblem(uint32_t firstVertex, uint32_t vertexCount) const;
    const char* indexedDrawProblem(Primitive type, uint32_t minIndex, uint32_t vertexCount,
                                   uint32_t startIndex, uint32_t primitiveCount) const;
    void recordDraw(DrawRecord record);
};

namespace {

template <typename Base>
class RecordingBuffer final : public Base, public BufferStorage {
public:
    RecordingBuffer(ObjectOwner* owner, uint32_t bytes) : owner_(owner) {
        this->bytes.assign(bytes, 0);
    }
    void* lock(uint32_t offset, uint32_t size, uint32_t flags) override {
        owner_->logLock(CallKind::Lock, offset, size, flags, static_cast<Base*>(this));
        uint64_t total = bytes.size();
        uint64_t end = size == 0 ? total : uint64_t{offset} + size;
        if (offset >= total || end > total) return nullptr;
        locked = true;
        return bytes.data() + offset;
    }
    void unlock() override {
        owner_->logLock(CallKind::Unlock, 0, 0, 0, static_cast<Base*>(this));
        locked = false;
    }
    uint32_t byteSize() const override { return static_cast<uint32_t>(bytes.size()); }

private:
    void destroy() override {
        owner_->forgetBuffer(this, static_cast<Base*>(this));
        delete this;
    }

    ObjectOwner* owner_;
};

class RecordingTexture final : public Texture, public TextureStorage {
public:
    RecordingTexture(ObjectOwner* owner, uint32_t w, uint32_t h)
        : owner_(owner), width_(w), height_(h) {
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
        owner_->forgetTexture(this, static_cast<Texture*>(this));
        delete this;
    }

    ObjectOwner* owner_;
    uint32_t width_, height_;
};

// Level 0 as 0xAARRGGBB texels, from RGBA8 bytes.
void fillTexels(TextureStorage* storage, const uint8_t* rgba) {
    for (size_t i = 0; i < storage->texels.size(); ++i) {
        const uint8_t* p = rgba + i * 4;
        storage->texels[i] = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
}

}  // namespace

void RecordingDevice::Impl::apply(const BlockEntry& e) {
    switch (e.kind) {
    case CallKind::SetRenderState:
        if (e.a < kRenderStateSlots) renderStates[e.a] = e.b;
        break;
    case CallKind::SetTextureStageState:
        if (e.a < kStages && e.b < kStageStateSlots) stageStates[e.a][e.b] = e.c;
        break;
    case CallKind::SetTexture:
        if (e.a < kStages) textures[e.a] = static_cast<Texture*>(const_cast<void*>(e.object));
        break;
    case CallKind::SetTransform:
        if (e.a == static_cast<uint32_t>(Transform::View)) view = e.matrix;
        if (e.a == static_cast<uint32_t>(Transform::Projection)) projection = e.matrix;
        if (e.a == static_cast<uint32_t>(Transform::World)) world = e.matrix;
        break;
    case CallKind::SetVertexShader:
        vertexShader = e.a;
        break;
    case CallKind::SetVertexShaderConstant:
        for (size_t i = 0; i < e.constants.size() / 4; ++i)
            std::memcpy(constants[e.a + i], &e.constants[i * 4], sizeof constants[0]);
        break;
    case CallKind::SetStreamSource:
        if (e.a < kStreams) {
            streams[e.a] = static_cast<VertexBuffer*>(const_cast<void*>(e.object));
            strides[e.a] = e.b;
        }
        break;
    case CallKind::SetIndices:
        indices = static_cast<IndexBuffer*>(const_cast<void*>(e.object));
        baseVertex = e.a;
        break;
    default:
        break;
    }
}

const char* RecordingDevice::Impl::drawProblem(uint32_t firstVertex, uint32_t vertexCount) const {
    if (!inScene) return "draw outside beginScene/endScene";
    const VertexBuffer* stream = streams[0];
    if (!stream) return "draw without a vertex buffer in stream 0";
    const auto* storage = dynamic_cast<const BufferStorage*>(stream);
    if (!storage) return "draw from a buffer of another device";
    if (storage->locked) return "draw from a locked vertex buffer";
    if (strides[0] == 0) return "draw with stream stride 0";
    uint64_t end = (uint64_t{firstVertex} + vertexCount) * strides[0];
    if (end > storage->bytes.size()) return "draw reads vertices past the end of the vertex buffer";
    return nullptr;
}

const char* RecordingDevice::Impl::indexedDrawProblem(Primitive type, uint32_t minIndex,
                                                      uint32_t vertexCount, uint32_t startIndex,
                                                      uint32_t primitiveCount) const {
    if (const char* p = drawProblem(baseVertex + minIndex, vertexCount)) return p;
    // No primitives read no indices (a surface without triangles), as on the
    // GL device, which draws nothing for them.
    if (verticesOf(type, primitiveCount) == 0) return nullptr;
    if (!indices) return "indexed draw without an index buffer";
    const auto* storage = dynamic_cast<const BufferStorage*>(indices);
    if (!storage) return "draw from a buffer of another device";
    if (storage->locked) return "draw from a locked index buffer";
    uint64_t count = verticesOf(type, primitiveCount);
    if ((uint64_t{startIndex} + count) * 2 > storage->bytes.size())
        return "draw reads indices past the end of the index buffer";
    for (uint64_t i = 0; i < count; ++i) {
        uint16_t index;
        std::memcpy(&index, storage->bytes.data() + (startIndex + i) * 2, 2);
        if (index < minIndex || index >= uint64_t{minIndex} + vertexCount)
            return "an index lies outside minIndex .. minIndex + vertexCount";
    }
    return nullptr;
}

void RecordingDevice::Impl::recordDraw(DrawRecord record) {
    record.vertexShader = vertexShader;
    record.stream = streams[0];
    record.stride = strides[0];
    record.indices = indices;
    record.baseVertex = baseVertex;
    record.texture = textures[0];
    std::memcpy(record.constants, constants, sizeof record.constants);
    record.zEnable = renderStates[static_cast<uint32_t>(RenderState::ZEnable)];
    record.alphaBlendEnable = renderStates[static_cast<uint32_t>(RenderState::AlphaBlendEnable)];
    record.alphaTestEnable = renderStates[static_cast<uint32_t>(RenderState::AlphaTestEnable)];
    if (record.problem) ++faultyDraws;
    self->draws.push_back(record);
}

RecordingDevice::RecordingDevice(uint32_t width, uint32_t height) : impl_(std::make_unique<Impl>()) {
    impl_->self = this;
    impl_->width = width;
    impl_->height = height;
    // The device's defaults for a device made with a depth buffer.
    auto rs = [&](RenderState s, uint32_t v) { impl_->renderStates[static_cast<uint32_t>(s)] = v; };
    rs(RenderState::ZEnable, 1);
    rs(RenderState::SrcBlend, 2);   // one
    rs(RenderState::DestBlend, 1);  // zero
    rs(RenderState::CullMode, 3);   // counter-clockwise
    rs(RenderState::AlphaFunc, 8);  // always
    for (auto& stage : impl_->stageStates) {
        stage[static_cast<uint32_t>(TextureStageState::MagFilter)] = kFilterPoint;
        stage[static_cast<uint32_t>(TextureStageState::MinFilter)] = kFilterPoint;
        stage[static_cast<uint32_t>(TextureStageState::MipFilter)] = kFilterNone;
    }
}

RecordingDevice::~RecordingDevice() {
    if (liveBuffers() == 0 && liveTextures() == 0) return;
    std::fprintf(stderr, "recording device torn down with %u buffers and %u textures still live\n", liveBuffers(),
                 liveTextures());
    std::abort();
}

void RecordingDevice::clearLog() {
    calls.clear();
    draws.clear();
}

uint32_t RecordingDevice::renderState(RenderState s) const {
    auto i = static_cast<uint32_t>(s);
    return i < kRenderStateSlots ? impl_->renderStates[i] : 0;
}

uint32_t RecordingDevice::textureStageState(uint32_t stage, TextureStageState s) const {
    auto i = static_cast<uint32_t>(s);
    return stage < kStages && i < kStageStateSlots ? impl_->stageStates[stage][i] : 0;
}

const Texture* RecordingDevice::texture(uint32_t stage) const {
    return stage < kStages ? impl_->textures[stage] : nullptr;
}
uint32_t RecordingDevice::vertexShader() const { return impl_->vertexShader; }
const float* RecordingDevice::constant(uint32_t reg) const {
    return impl_->constants[reg < kMaxVertexConstants ? reg : 0];
}
const Matrix& RecordingDevice::transform(Transform which) const {
    if (which == Transform::View) return impl_->view;
    if (which == Transform::Projection) return impl_->projection;
    return impl_->world;
}
const VertexBuffer* RecordingDevice::streamSource() const { return impl_->streams[0]; }
uint32_t RecordingDevice::streamStride() const { return impl_->strides[0]; }
const IndexBuffer* RecordingDevice::indices() const { return impl_->indices; }

const VertexProgram* RecordingDevice::program(uint32_t handle) const {
    if (!(handle & kProgramHandleBit)) return nullptr;
    uint32_t i = handle & ~kProgramHandleBit;
    return i >= 1 && i <= impl_->programs.size() ? &impl_->programs[i - 1] : nullptr;
}
const VertexDeclaration* RecordingDevice::declaration(uint32_t handle) const {
    if (!program(handle)) return nullptr;
    return &impl_->declarations[(handle & ~kProgramHandleBit) - 1];
}
uint32_t RecordingDevice::clearColor() const { return impl_->clearColor; }
bool RecordingDevice::inScene() const { return impl_->inScene; }
uint32_t RecordingDevice::presentCount() const { return impl_->presents; }
uint32_t RecordingDevice::faultyDraws() const { return impl_->faultyDraws; }

const std::vector<uint8_t>& RecordingDevice::contents(const Buffer* buffer) {
    static const std::vector<uint8_t> kNone;
    const auto* storage = dynamic_cast<const BufferStorage*>(buffer);
    return storage ? storage->bytes : kNone;
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
uint32_t RecordingDevice::liveTextures() const {
    return static_cast<uint32_t>(impl_->textureObjects.size());
}
void RecordingDevice::failNextBufferCreations(uint32_t n) { impl_->failBuffers = n; }
void RecordingDevice::failNextTextureCreations(uint32_t n) { impl_->failTextures = n; }
void RecordingDevice::failNextVertexShaderCreations(uint32_t n) { impl_->failShaders = n; }

DeviceHandle<VertexBuffer> RecordingDevice::createVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t fvf) {
    VertexBuffer* result = nullptr;
    if (impl_->failBuffers > 0) {
        --impl_->failBuffers;
    } else if (bytes > 0 && bytes <= kMaxBufferBytes) {
        auto* b = new RecordingBuffer<VertexBuffer>(impl_.get(), bytes);
        impl_->buffers.add(b);
        result = b;
    }
    impl_->log(CallKind::CreateVertexBuffer, {bytes, usage, fvf}, result);
    return DeviceHandle<VertexBuffer>(result);
}

DeviceHandle<IndexBuffer> RecordingDevice::createIndexBuffer(uint32_t bytes, uint32_t usage) {
    IndexBuffer* result = nullptr;
    if (impl_->failBuffers > 0) {
        --impl_->failBuffers;
    } else if (bytes > 0 && bytes <= kMaxBufferBytes) {
        auto* b = new RecordingBuffer<IndexBuffer>(impl_.get(), bytes);
        impl_->buffers.add(b);
        result = b;
    }
    impl_->log(CallKind::CreateIndexBuffer, {bytes, usage}, result);
    return DeviceHandle<IndexBuffer>(result);
}

DeviceHandle<Texture> RecordingDevice::createTexture(uint32_t width, uint32_t height, uint32_t levels) {
    Texture* result = nullptr;
    if (impl_->failTextures > 0) {
        --impl_->failTextures;
    } else if (width > 0 && height > 0 && width <= kMaxTextureSide && height <= kMaxTextureSide) {
        auto* t = new RecordingTexture(impl_.get(), width, height);
        impl_->textureObjects.add(t);
        result = t;
    }
    impl_->log(CallKind::CreateTexture, {width, height, levels}, result);
    return DeviceHandle<Texture>(result);
}

DeviceHandle<Texture> RecordingDevice::createTextureFromRgba(const uint8_t* rgba, uint32_t width, uint32_t height) {
    if (!rgba) {
        impl_->log(CallKind::CreateTexture, {width, height, 0}, nullptr);
        return nullptr;
    }
    DeviceHandle<Texture> t = createTexture(width, height, 0);
    if (!t) return nullptr;
    auto* storage = dynamic_cast<TextureStorage*>(t.get());
    fillTexels(storage, rgba);
    return t;
}

DeviceHandle<Texture> RecordingDevice::createTextureFromLevels(TexelFormat format, uint32_t width, uint32_t height,
                                                               uint32_t levelCount, const uint8_t* levels) {
    const bool usable = levels && levelCount > 0 && (!isBlockFormat(format) || impl_->blockCompression);
    if (format == TexelFormat::Rgba8 && levelCount == 1) return createTextureFromRgba(levels, width, height);
    DeviceHandle<Texture> t = usable ? createTexture(width, height, levelCount) : nullptr;
    if (!t) return nullptr;
    auto* storage = dynamic_cast<TextureStorage*>(t.get());
    storage->format = format;
    storage->levelCount = levelCount;
    storage->storedBytes.assign(levels, levels + chainBytes(format, width, height, levelCount));
    if (format == TexelFormat::Rgba8) fillTexels(storage, levels);
    return t;
}

void RecordingDevice::setRenderState(RenderState state, uint32_t value) {
    impl_->log(CallKind::SetRenderState, {static_cast<uint32_t>(state), value});
    BlockEntry e{CallKind::SetRenderState, static_cast<uint32_t>(state), value};
    impl_->apply(e);
}

void RecordingDevice::setTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) {
    impl_->log(CallKind::SetTextureStageState, {stage, static_cast<uint32_t>(state), value});
    BlockEntry e{CallKind::SetTextureStageState, stage, static_cast<uint32_t>(state), value};
    impl_->apply(e);
}

void RecordingDevice::setTexture(uint32_t stage, Texture* texture) {
    impl_->log(CallKind::SetTexture, {stage}, texture);
    BlockEntry e{CallKind::SetTexture, stage};
    e.object = texture;
    impl_->apply(e);
}

void RecordingDevice::setTransform(Transform which, const Matrix& m) {
    impl_->log(CallKind::SetTransform, {static_cast<uint32_t>(which)});
    BlockEntry e{CallKind::SetTransform, static_cast<uint32_t>(which)};
    e.matrix = m;
    impl_->apply(e);
}

void RecordingDevice::setVertexShader(uint32_t handle) {
    impl_->log(CallKind::SetVertexShader, {handle});
    BlockEntry e{CallKind::SetVertexShader, handle};
    impl_->apply(e);
}

void RecordingDevice::setVertexShaderConstant(uint32_t reg, const void* data, uint32_t count) {
    impl_->log(CallKind::SetVertexShaderConstant, {reg, count});
    // A range past the last register is refused whole, as the device refuses it.
    if (!data || reg >= kMaxVertexConstants || count > kMaxVertexConstants - reg) return;
    // Written straight into the register file: the per-frame path allocates nothing.
    std::memcpy(impl_->constants[reg], data, size_t{count} * 4 * sizeof(float));
}

void RecordingDevice::setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) {
    impl_->log(CallKind::SetStreamSource, {stream, stride}, buffer);
    BlockEntry e{CallKind::SetStreamSource, stream, stride};
    e.object = buffer;
    impl_->apply(e);
}

void RecordingDevice::setIndices(IndexBuffer* buffer, uint32_t baseVertex) {
    impl_->log(CallKind::SetIndices, {baseVertex}, buffer);
    BlockEntry e{CallKind::SetIndices, baseVertex};
    e.object = buffer;
    impl_->apply(e);
}

uint32_t RecordingDevice::createVertexShader(const char* text, const uint32_t* declaration) {
    if (impl_->failShaders > 0) {
        --impl_->failShaders;
        return 0;
    }
    VertexProgram program;
    VertexDeclaration decl;
    if (!assembleVertexProgram(text, &program, nullptr)) return 0;
    if (!parseVertexDeclaration(declaration, &decl, nullptr)) return 0;
    impl_->programs.push_back(std::move(program));
    impl_->declarations.push_back(std::move(decl));
    return kProgramHandleBit | static_cast<uint32_t>(impl_->programs.size());
}

void RecordingDevice::clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) {
    uint32_t zBits;
    std::memcpy(&zBits, &z, 4);
    impl_->log(CallKind::Clear, {flags, color, zBits, stencil});
    if (flags & kClearTarget) impl_->clearColor = color;
}

void RecordingDevice::beginScene() {
    impl_->log(CallKind::BeginScene, {});
    impl_->inScene = true;
}

void RecordingDevice::endScene() {
    impl_->log(CallKind::EndScene, {});
    impl_->inScene = false;
}

void RecordingDevice::drawPrimitive(Primitive type, uint32_t startVertex, uint32_t primitiveCount) {
    impl_->log(CallKind::DrawPrimitive, {static_cast<uint32_t>(type), startVertex, primitiveCount});
    DrawRecord r{};
    r.kind = CallKind::DrawPrimitive;
    r.primitive = type;
    r.startVertex = startVertex;
    r.vertexCount = verticesOf(type, primitiveCount);
    r.primitiveCount = primitiveCount;
    r.problem = impl_->drawProblem(startVertex, r.vertexCount);
    impl_->recordDraw(r);
}

void RecordingDevice::drawIndexedPrimitive(Primitive type, uint32_t minIndex, uint32_t vertexCount,
                                           uint32_t startIndex, uint32_t primitiveCount) {
    impl_->log(CallKind::DrawIndexedPrimitive,
               {static_cast<uint32_t>(type), minIndex, vertexCount, startIndex, primitiveCount});
    DrawRecord r{};
    r.kind = CallKind::DrawIndexedPrimitive;
    r.primitive = type;
    r.minIndex = minIndex;
    r.vertexCount = vertexCount;
    r.startIndex = startIndex;
    r.primitiveCount = primitiveCount;
    r.problem = impl_->indexedDrawProblem(type, minIndex, vertexCount, startIndex, primitiveCount);
    impl_->recordDraw(r);
}

void RecordingDevice::present() {
    impl_->log(CallKind::Present, {});
    ++impl_->presents;
}

uint32_t RecordingDevice::width() const { return impl_->width; }
uint32_t RecordingDevice::height() const { return impl_->height; }

bool RecordingDevice::readBackBuffer(uint8_t* rgba) {
    if (!rgba) return false;
    uint32_t c = impl_->clearColor;
    const uint8_t pixel[4] = {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                              static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 24)};
    size_t count = size_t{impl_->width} * impl_->height;
    for (size_t i = 0; i < count; ++i) std::memcpy(rgba + i * 4, pixel, 4);
    return true;
}

}  // namespace q::gpu
