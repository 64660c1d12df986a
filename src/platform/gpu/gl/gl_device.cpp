#include "platform/gpu/gl/gl_device.h"

#include <cstdio>
#include <cstring>

#include "platform/gpu/gl/gl_device_impl.h"
#include "platform/gpu/present_rect.h"
#include "platform/report.h"
#include "platform/window.h"

namespace q::gpu {

namespace {

GLenum blendFactor(uint32_t value) {
    switch (value) {
    case 1: return GL_ZERO;
    case 2: return GL_ONE;
    case 3: return GL_SRC_COLOR;
    case 4: return GL_ONE_MINUS_SRC_COLOR;
    case 5: return GL_SRC_ALPHA;
    case 6: return GL_ONE_MINUS_SRC_ALPHA;
    case 7: return GL_DST_ALPHA;
    case 8: return GL_ONE_MINUS_DST_ALPHA;
    case 9: return GL_DST_COLOR;
    case 10: return GL_ONE_MINUS_DST_COLOR;
    case 11: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
    }
}

GLenum compareFunc(uint32_t value) {
    switch (value) {
    case 1: return GL_NEVER;
    case 2: return GL_LESS;
    case 3: return GL_EQUAL;
    case 4: return GL_LEQUAL;
    case 5: return GL_GREATER;
    case 6: return GL_NOTEQUAL;
    case 7: return GL_GEQUAL;
    default: return GL_ALWAYS;
    }
}

GLint minFilter(uint32_t min, uint32_t mip) {
    const bool linear = min >= kFilterLinear;
    if (mip == kFilterNone) return linear ? GL_LINEAR : GL_NEAREST;
    if (mip == kFilterPoint) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

GLenum glPrimitive(Primitive type) { return type == Primitive::LineList ? GL_LINES : GL_TRIANGLES; }

}  // namespace

bool currentContextIsCore33(std::string* found) {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    *found = version ? version : "no version";
    int major = 0, minor = 0;
    if (!version || std::sscanf(version, "%d.%d", &major, &minor) != 2) return false;
    if (major < 3 || (major == 3 && minor < 3)) return false;
    GLint profile = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    return (profile & GL_CONTEXT_CORE_PROFILE_BIT) != 0;
}

GlDevice::GlDevice(std::unique_ptr<GlContext> context, uint32_t width, uint32_t height)
    : context_(std::move(context)), width_(width), height_(height) {}

GlDevice::~GlDevice() {
    // Resources still alive when the device goes are freed with it.
    for (GlVertexBuffer* b : vertexBuffers_) delete b;
    for (GlIndexBuffer* b : indexBuffers_) delete b;
    for (GlTexture* t : textures_) delete t;
    for (GlProgram* p : {&worldColored_, &worldLit_, &screen_}) glDeleteProgram(p->id);
    for (GlProgram& p : programs_) glDeleteProgram(p.id);
    glDeleteSamplers(1, &sampler_);
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteRenderbuffers(1, &colorBuffer_);
    glDeleteRenderbuffers(1, &depthBuffer_);
}

bool GlDevice::init(std::string* error) {
    std::string version;
    if (!currentContextIsCore33(&version)) {
        *error = "OpenGL 3.3 core profile not available (driver offers " + version +
                 "): install Mesa's libgl1-mesa-dri / libegl-mesa0, or run with --headless";
        return false;
    }
    const auto w = static_cast<GLsizei>(width_), h = static_cast<GLsizei>(height_);
    glGenRenderbuffers(1, &colorBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glGenRenderbuffers(1, &depthBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        *error = "OpenGL back buffer of " + std::to_string(width_) + " x " + std::to_string(height_) +
                 " cannot be made";
        return false;
    }
    glViewport(0, 0, w, h);

    glGenVertexArrays(1, &vertexArray_);
    glBindVertexArray(vertexArray_);
    glGenSamplers(1, &sampler_);
    glBindSampler(0, sampler_);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glActiveTexture(GL_TEXTURE0);

    if (!buildFixedFunctionProgram(ProgramKind::WorldColored, &worldColored_, error) ||
        !buildFixedFunctionProgram(ProgramKind::WorldLit, &worldLit_, error) ||
        !buildFixedFunctionProgram(ProgramKind::Screen, &screen_, error)) {
        return false;
    }
    glUseProgram(screen_.id);
    glUniform2f(screen_.screenSize, static_cast<float>(width_), static_cast<float>(height_));
    glUseProgram(0);

    for (uint32_t s = 0; s < kRenderStateCount; ++s) applyRenderState(s);
    applySampler();
    glDepthMask(GL_TRUE);
    return true;
}

// ---- resources ----

DeviceHandle<VertexBuffer> GlDevice::createVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t) {
    if (bytes == 0) return nullptr;
    auto* buffer = new GlVertexBuffer(this, bytes, usage);
    vertexBuffers_.add(buffer);
    return DeviceHandle<VertexBuffer>(buffer);
}

DeviceHandle<IndexBuffer> GlDevice::createIndexBuffer(uint32_t bytes, uint32_t usage) {
    if (bytes == 0) return nullptr;
    auto* buffer = new GlIndexBuffer(this, bytes, usage);
    indexBuffers_.add(buffer);
    return DeviceHandle<IndexBuffer>(buffer);
}

bool GlDevice::textureSizeFits(uint32_t width, uint32_t height) const {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    return width != 0 && height != 0 && width <= static_cast<uint32_t>(maxSize) &&
           height <= static_cast<uint32_t>(maxSize);
}

DeviceHandle<Texture> GlDevice::createTexture(uint32_t width, uint32_t height, uint32_t levels) {
    if (!textureSizeFits(width, height)) return nullptr;
    auto* texture = new GlTexture(this, width, height, levels);
    textures_.add(texture);
    return DeviceHandle<Texture>(texture);
}

DeviceHandle<Texture> GlDevice::createTextureFromRgba(const uint8_t* rgba, uint32_t width, uint32_t height) {
    if (!rgba) return nullptr;
    while (glGetError() != GL_NO_ERROR) {}  // only this upload's errors count
    DeviceHandle<Texture> texture = createTexture(width, height, 0);
    // A failed upload is this image's failure: the handle frees the texture.
    if (texture && !static_cast<GlTexture*>(texture.get())->uploadRgba(rgba)) return nullptr;
    return texture;
}

DeviceHandle<Texture> GlDevice::createTextureFromLevels(TexelFormat format, uint32_t width, uint32_t height,
                                                        uint32_t levelCount, const uint8_t* levels) {
    if (!levels || levelCount == 0) return nullptr;
    if (format == TexelFormat::Rgba8 && levelCount == 1) return createTextureFromRgba(levels, width, height);
    if (isBlockFormat(format) && !supportsBlockCompression()) return nullptr;
    if (!textureSizeFits(width, height)) return nullptr;
    auto* texture = new GlTexture(this, width, height, levelCount, format);
    textures_.add(texture);
    DeviceHandle<Texture> owned(texture);
    if (!texture->uploadLevels(levels)) return nullptr;  // the handle frees the refused texture
    return owned;
}

bool GlDevice::supportsBlockCompression() const {
    if (blockCompression_ < 0) {
        blockCompression_ = 0;
        GLint count = 0;
        glGetIntegerv(GL_NUM_EXTENSIONS, &count);
        for (GLint i = 0; i < count; ++i) {
            const auto* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
            if (name && std::strcmp(name, "GL_EXT_texture_compression_s3tc") == 0) blockCompression_ = 1;
        }
    }
    return blockCompression_ == 1;
}

void GlDevice::releaseVertexBuffer(GlVertexBuffer* buffer) {
    if (state_.stream == buffer) setStreamSource(0, nullptr, 0);
    vertexBuffers_.remove(buffer);
    delete buffer;
}

void GlDevice::releaseIndexBuffer(GlIndexBuffer* buffer) {
    if (state_.indices == buffer) setIndices(nullptr, 0);
    indexBuffers_.remove(buffer);
    delete buffer;
}

void GlDevice::releaseTexture(GlTexture* texture) {
    for (uint32_t stage = 0; stage < kTextureStageCount; ++stage) {
        if (state_.textures[stage] == texture) setTexture(stage, nullptr);
    }
    textures_.remove(texture);
    delete texture;
}

// ---- states ----

void GlDevice::setRenderState(RenderState state, uint32_t value) {
    const auto id = static_cast<uint32_t>(state);
    if (id >= kRenderStateCount) return;
    if (state_.renderStates[id] == value) return;
    state_.renderStates[id] = value;
    applyRenderState(id);
}

void GlDevice::applyRenderState(uint32_t id) {
    const uint32_t* rs = state_.renderStates;
    const uint32_t value = rs[id];
    switch (static_cast<RenderState>(id)) {
    case RenderState::ZEnable:
        if (value) glEnable(GL_DEPTH_TEST);
        else glDisable(GL_DEPTH_TEST);
        break;
    case RenderState::AlphaBlendEnable:
        if (value) glEnable(GL_BLEND);
        else glDisable(GL_BLEND);
        break;
    case RenderState::SrcBlend:
    case RenderState::DestBlend:
        glBlendFunc(blendFactor(rs[static_cast<uint32_t>(RenderState::SrcBlend)]),
                    blendFactor(rs[static_cast<uint32_t>(RenderState::DestBlend)]));
        break;
    case RenderState::CullMode:
        // Clockwise on the y-down screen is counter-clockwise in GL's y-up
        // window space, which is GL's default front face.
        if (value == kCullCounterClockwise || value == kCullClockwise) {
            glEnable(GL_CULL_FACE);
            glCullFace(value == kCullCounterClockwise ? GL_BACK : GL_FRONT);
        } else {
            glDisable(GL_CULL_FACE);
        }
        break;
    default:
        if (id == kRsZWriteEnable) glDepthMask(value ? GL_TRUE : GL_FALSE);
        else if (id == kRsZFunc) glDepthFunc(compareFunc(value));
        // The alpha test is done by the fragment shader (see sendUniforms);
        // lighting is never used, vertex colours come from the program.
        break;
    }
}

void GlDevice::setTextureStageState(uint32_t stage, TextureStageState state, uint32_t value) {
    const auto id = static_cast<uint32_t>(state);
    if (stage >= kTextureStageCount || id >= kStageStateCount) return;
    if (state_.stageStates[stage][id] == value) return;
    state_.stageStates[stage][id] = value;
    if (stage == 0) applySampler();
}

void GlDevice::applySampler() {
    const uint32_t* t = state_.stageStates[0];
    const uint32_t mag = t[static_cast<uint32_t>(TextureStageState::MagFilter)];
    glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, mag >= kFilterLinear ? GL_LINEAR : GL_NEAREST);
    glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER,
                        minFilter(t[static_cast<uint32_t>(TextureStageState::MinFilter)],
                                  t[static_cast<uint32_t>(TextureStageState::MipFilter)]));
}

void GlDevice::setTexture(uint32_t stage, Texture* texture) {
    if (stage >= kTextureStageCount) return;
    if (state_.textures[stage] == texture) return;
    state_.textures[stage] = texture;
    if (stage == 0) glBindTexture(GL_TEXTURE_2D, texture ? static_cast<GlTexture*>(texture)->id() : 0);
}

void GlDevice::setTransform(Transform which, const Matrix& m) {
    Matrix* target = state_.transform(which);
    if (!target) return;
    *target = m;
    ++transformVersion_;
}

void GlDevice::setVertexShader(uint32_t handle) {
    if (state_.vertexShader == handle) return;
    state_.vertexShader = handle;
    layoutDirty_ = true;
}

void GlDevice::setVertexShaderConstant(uint32_t reg, const void* data, uint32_t count) {
    // A range past the last register is refused whole.
    if (!data || reg >= kMaxVertexConstants || count > kMaxVertexConstants - reg) return;
    const auto* values = static_cast<const float*>(data);
    // The same bytes again leave the registers as they are: the program would
    // read the very values it already has, so nothing is sent to GL for them.
    if (std::memcmp(state_.constants[reg], values, count * 4 * sizeof(float)) == 0) return;
    std::memcpy(state_.constants[reg], values, count * 4 * sizeof(float));
    ++constantsVersion_;
}

void GlDevice::setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) {
    if (stream != 0) return;
    if (state_.stream == buffer && state_.stride == stride) return;
    state_.stream = buffer;
    state_.stride = stride;
    layoutDirty_ = true;
}

void GlDevice::setIndices(IndexBuffer* buffer, uint32_t baseVertex) {
    if (state_.indices != buffer) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer ? static_cast<GlIndexBuffer*>(buffer)->buffer.id() : 0);
    }
    state_.indices = buffer;
    state_.baseVertex = baseVertex;
}

// ---- vertex programs ----

uint32_t GlDevice::createVertexShader(const char* text, const uint32_t* declaration) {
    VertexDeclaration parsed;
    VertexLayout layout;
    std::string error;
    const char* reason = nullptr;
    if (!parseVertexDeclaration(declaration, &parsed, &error)) {
        warn(("vertex program declaration refused: " + error).c_str());
        return 0;
    }
    if (!layoutFromDeclaration(parsed, &layout, &reason)) {
        warn((std::string("vertex program declaration refused: ") + reason).c_str());
        return 0;
    }
    VertexProgram assembled;
    if (!text || !assembleVertexProgram(text, &assembled, &error)) {
        warn(("vertex program does not assemble: " + error).c_str());
        return 0;
    }
    GlProgram program;
    program.layout = layout;
    const bool built = buildVertexProgram(vertexProgramToGlsl(assembled), &program, &error);
    glUseProgram(boundProgram_ ? boundProgram_->id : 0);
    if (!built) {
        warn(("vertex program rejected by OpenGL: " + error).c_str());
        return 0;
    }
    programs_.push_back(program);
    return kProgramHandleBit | static_cast<uint32_t>(programs_.size());
}

GlProgram* GlDevice::programFor(uint32_t handle) {
    if (handle & kProgramHandleBit) {
        const uint32_t index = handle & ~kProgramHandleBit;
        return index >= 1 && index <= programs_.size() ? &programs_[index - 1] : nullptr;
    }
    switch (handle) {
    case kFvfLine: return &worldColored_;
    case kFvfLit: return &worldLit_;
    case kFvfScreen: return &screen_;
    default: return nullptr;
    }
}

// ---- drawing ----

void GlDevice::clear(uint32_t flags, uint32_t color, float z, uint32_t stencil) {
    GLbitfield mask = 0;
    if (flags & kClearTarget) {
        glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
                     ((color >> 24) & 0xFF) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & kClearZBuffer) {
        glClearDepth(z);
        // A clear writes depth even while depth writes are off for drawing.
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & kClearStencil) {
        glClearStencil(static_cast<GLint>(stencil));
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    if (mask) glClear(mask);
    if (flags & kClearZBuffer) applyRenderState(kRsZWriteEnable);
}

void GlDevice::bindVertexLayout(const GlProgram& program) {
    auto* stream = static_cast<GlVertexBuffer*>(state_.stream);
    glBindBuffer(GL_ARRAY_BUFFER, stream->buffer.id());
    uint32_t enabled = 0;
    for (uint8_t i = 0; i < program.layout.count; ++i) {
        const VertexAttribute& a = program.layout.attributes[i];
        const auto* offset = reinterpret_cast<const void*>(static_cast<uintptr_t>(a.offset));
        const auto stride = static_cast<GLsizei>(state_.stride);
        switch (a.type) {
        case AttributeType::Float:
            glVertexAttribPointer(a.location, a.components, GL_FLOAT, GL_FALSE, stride, offset);
            break;
        case AttributeType::Color:  // 0xAARRGGBB: bytes blue, green, red, alpha
            glVertexAttribPointer(a.location, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset);
            break;
        case AttributeType::UByte4:
            glVertexAttribPointer(a.location, 4, GL_UNSIGNED_BYTE, GL_FALSE, stride, offset);
            break;
        case AttributeType::Short:
            glVertexAttribPointer(a.location, a.components, GL_SHORT, GL_FALSE, stride, offset);
            break;
        }
        enabled |= 1u << a.location;
    }
    // Inputs the layout does not feed read the constant (0, 0, 0, 1). Only the
    // arrays whose switch differs from what this device last set are touched:
    // the device owns the one vertex array object, so nothing else changes them.
    const uint32_t changed = enabled ^ enabledAttributes_;
    for (GLuint location = 0; location < kMaxVertexAttributes; ++location) {
        if (!(changed & (1u << location))) continue;
        if (enabled & (1u << location)) glEnableVertexAttribArray(location);
        else glDisableVertexAttribArray(location);
    }
    enabledAttributes_ = enabled;
}

void GlDevice::sendUniforms(GlProgram& p) {
    if (p.kind == ProgramKind::VertexProgram) {
        if (p.sentConstantsVersion != constantsVersion_) {
            glUniform4fv(p.constants, kMaxVertexConstants, &state_.constants[0][0]);
            p.sentConstantsVersion = constantsVersion_;
        }
    } else if (p.kind != ProgramKind::Screen && p.sentTransformVersion != transformVersion_) {
        if (computedTransformVersion_ != transformVersion_) {
            // Row vectors: p' = p * W * V * P. GL reads the rows as columns, so
            // the shader's matrix-times-vector gives the same product.
            const Matrix wvp = state_.world * state_.view * state_.projection;
            std::memcpy(worldViewProjection_, wvp.m, sizeof worldViewProjection_);
            computedTransformVersion_ = transformVersion_;
        }
        glUniformMatrix4fv(p.worldViewProjection, 1, GL_FALSE, worldViewProjection_);
        p.sentTransformVersion = transformVersion_;
    }
    const int useTexture = state_.textures[0] != nullptr;
    if (p.sentUseTexture != useTexture) {
        glUniform1i(p.useTexture, useTexture);
        p.sentUseTexture = useTexture;
    }
    const uint32_t* rs = state_.renderStates;
    const int func = rs[static_cast<uint32_t>(RenderState::AlphaTestEnable)]
                         ? static_cast<int>(rs[static_cast<uint32_t>(RenderState::AlphaFunc)])
                         : static_cast<int>(kCmpAlways);
    if (p.sentAlphaFunc != func) {
        glUniform1i(p.alphaFunc, func);
        p.sentAlphaFunc = func;
    }
    const int ref = static_cast<int>(rs[static_cast<uint32_t>(RenderState::AlphaRef)] & 0xFF);
    if (p.sentAlphaRef != ref) {
        glUniform1f(p.alphaRef, static_cast<float>(ref));
        p.sentAlphaRef = ref;
    }
}

bool GlDevice::prepareDraw(uint32_t firstVertex, uint32_t vertexCount) {
    GlProgram* program = programFor(state_.vertexShader);
    auto* stream = static_cast<GlVertexBuffer*>(state_.stream);
    if (!program || !stream || state_.stride == 0 || stream->buffer.locked()) return false;
    // Vertices past the end of the stream are not drawn (GL would read
    // whatever follows).
    const uint64_t end = (static_cast<uint64_t>(firstVertex) + vertexCount - 1) * state_.stride +
                         program->layout.vertexBytes;
    if (vertexCount > 0 && end > stream->byteSize()) {
        warn("draw reads past the end of its vertex buffer: not drawn");
        return false;
    }
    if (program != boundProgram_) {
        glUseProgram(program->id);
        boundProgram_ = program;
        layoutDirty_ = true;
    }
    if (layoutDirty_) {
        bindVertexLayout(*program);
        layoutDirty_ = false;
    }
    sendUniforms(*program);
    return true;
}

void GlDevice::drawPrimitive(Primitive type, uint32_t startVertex, uint32_t primitiveCount) {
    const uint32_t count = verticesOf(type, primitiveCount);
    if (count == 0 || !prepareDraw(startVertex, count)) return;
    glDrawArrays(glPrimitive(type), static_cast<GLint>(startVertex), static_cast<GLsizei>(count));
    checkErrors("drawPrimitive");
}

void GlDevice::drawIndexedPrimitive(Primitive type, uint32_t minIndex, uint32_t vertexCount,
                                    uint32_t startIndex, uint32_t primitiveCount) {
    const uint32_t count = verticesOf(type, primitiveCount);
    auto* indices = static_cast<GlIndexBuffer*>(state_.indices);
    if (count == 0 || !indices || indices->buffer.locked()) return;
    if ((static_cast<uint64_t>(startIndex) + count) * 2 > indices->byteSize()) {
        warn("draw reads past the end of its index buffer: not drawn");
        return;
    }
    // The vertex range the caller promises: its indices are not read back here.
    if (!prepareDraw(state_.baseVertex + minIndex, vertexCount)) return;
    glDrawElementsBaseVertex(glPrimitive(type), static_cast<GLsizei>(count), GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * 2),
                             static_cast<GLint>(state_.baseVertex));
    checkErrors("drawIndexedPrimitive");
}

void GlDevice::present() {
    if (!context_->hasWindow()) {
        // Headless: the frame stays for readBackBuffer. With no swap to pace
        // it, the driver would queue frame after frame of commands (gigabytes
        // in a long run); finishing each frame here keeps memory flat.
        glFinish();
        return;
    }
    // Read every frame: resizing, full screen and the screen's pixel density
    // all change it.
    int drawableWidth = 0, drawableHeight = 0;
    context_->drawableSize(&drawableWidth, &drawableHeight);
    const PixelRect target = fitCentred(drawableWidth, drawableHeight, static_cast<int>(width_),
                                        static_cast<int>(height_));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    // Bars, when the picture leaves any, are cleared every frame: a swap leaves
    // them undefined. The next clear of the back buffer sets its own colour again.
    if (target.width < drawableWidth || target.height < drawableHeight) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (target.width > 0 && target.height > 0)
        glBlitFramebuffer(0, 0, static_cast<GLint>(width_), static_cast<GLint>(height_), target.x, target.y,
                          target.x + target.width, target.y + target.height, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    context_->swapBuffers();
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    checkErrors("present");
}

bool GlDevice::readBackBuffer(uint8_t* rgba) {
    if (!rgba) return false;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_), GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba);
    // GL reads bottom row first; the picture is wanted top row first. The
    // shown frame has no alpha channel, so every pixel is opaque.
    const size_t rowBytes = static_cast<size_t>(width_) * 4;
    std::vector<uint8_t>& row = rowScratch_;
    row.resize(rowBytes);
    for (uint32_t y = 0; y < height_ / 2; ++y) {
        uint8_t* top = rgba + y * rowBytes;
        uint8_t* bottom = rgba + (height_ - 1 - y) * rowBytes;
        std::memcpy(row.data(), top, rowBytes);
        std::memcpy(top, bottom, rowBytes);
        std::memcpy(bottom, row.data(), rowBytes);
    }
    for (size_t i = 3; i < rowBytes * height_; i += 4) rgba[i] = 0xFF;
    return glGetError() == GL_NO_ERROR;
}

void GlDevice::checkErrors(const char* where) {
#ifndef NDEBUG
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError()) {
        char line[96];
        std::snprintf(line, sizeof line, "OpenGL error 0x%04x in %s", e, where);
        warn(line);
    }
#else
    (void)where;
#endif
}

// ---- factories ----

namespace {

std::unique_ptr<Device> finish(std::unique_ptr<GlContext> context, uint32_t width, uint32_t height,
                               std::string* error) {
    if (!context) return nullptr;
    auto device = std::make_unique<GlDevice>(std::move(context), width, height);
    if (!device->init(error)) return nullptr;
    return device;
}

}  // namespace

std::unique_ptr<Device> createHeadlessDevice(uint32_t width, uint32_t height, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    return finish(createSurfacelessContext(error), width, height, error);
}

std::unique_ptr<Device> createWindowDevice(Window& window, uint32_t width, uint32_t height, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    return finish(createSdlContext(window.nativeHandle(), error), width, height, error);
}

}  // namespace q::gpu
