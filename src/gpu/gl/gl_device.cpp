#include "gpu/gl/gl_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gpu/gl/gl_device_impl.h"
#include "gpu/gl/vertex_layout.h"
#include "gpu/present_rect.h"
#include "platform/report.h"
#include "platform/window.h"

namespace q::gpu {

namespace {

void blendFactors(Blend blend, GLenum* source, GLenum* destination) {
    switch (blend) {
    case Blend::Alpha: *source = GL_SRC_ALPHA, *destination = GL_ONE_MINUS_SRC_ALPHA; return;
    case Blend::Add: *source = GL_ONE, *destination = GL_ONE; return;
    case Blend::Filter: *source = GL_DST_COLOR, *destination = GL_ZERO; return;
    case Blend::None: break;
    }
    *source = GL_ONE, *destination = GL_ZERO;
}

GLenum primitiveOf(VertexFormat format) { return format == VertexFormat::ColouredLine ? GL_LINES : GL_TRIANGLES; }

GLenum depthFunction(DepthTest test) {
    switch (test) {
    case DepthTest::Equal: return GL_EQUAL;
    case DepthTest::Always: return GL_ALWAYS;
    case DepthTest::LessOrEqual: break;
    }
    return GL_LEQUAL;
}

GLenum stencilFunction(StencilTest test) {
    switch (test) {
    case StencilTest::Equal: return GL_EQUAL;
    case StencilTest::NotEqual: return GL_NOTEQUAL;
    case StencilTest::Always:
    case StencilTest::Off: break;
    }
    return GL_ALWAYS;
}

GLenum stencilOperation(StencilOp op) {
    switch (op) {
    case StencilOp::Replace: return GL_REPLACE;
    case StencilOp::IncrementWrap: return GL_INCR_WRAP;
    case StencilOp::DecrementWrap: return GL_DECR_WRAP;
    case StencilOp::Keep: break;
    }
    return GL_KEEP;
}

bool sameOps(const StencilOps& a, const StencilOps& b) {
    return a.fail == b.fail && a.depthFail == b.depthFail && a.pass == b.pass;
}

void setStencilOps(GLenum face, const StencilOps& ops) {
    glStencilOpSeparate(face, stencilOperation(ops.fail), stencilOperation(ops.depthFail), stencilOperation(ops.pass));
}

template <class T>
void deleteAll(const LiveList<T>& list) {
    for (T* object : list) delete object;
}

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
    // Objects still alive when the device goes are freed with it.
    deleteAll(pipelines_);
    deleteAll(programs_);
    deleteAll(vertexBuffers_);
    deleteAll(indexBuffers_);
    deleteAll(textures_);
    glDeleteSamplers(1, &sampler_);
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

    // One sampler for every texture: smooth when magnified, the nearer texel
    // of the two nearest levels blended when minified, repeated past the edges.
    glGenSamplers(1, &sampler_);
    for (GLuint unit = 0; unit < kTextureSlots; ++unit) glBindSampler(unit, sampler_);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR);
    // Unit 0 stays active between draws: textures are made and written there.
    glActiveTexture(GL_TEXTURE0);

    // The state Applied starts from. Front faces run clockwise on the screen.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_DEPTH_CLAMP);
    glStencilFunc(GL_ALWAYS, 0, 0xFF);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glStencilMask(0xFF);
    glClearDepth(1.0);
    glClearStencil(0);
    return true;
}

// ---- resources ----

namespace {

// Whether the thorough draw rules run (gpu/draw_rules.h): in builds with
// assertions, where index buffers also keep their bytes for them.
#ifdef NDEBUG
constexpr bool kThoroughRules = false;
#else
constexpr bool kThoroughRules = true;
#endif

}  // namespace

DeviceHandle<VertexBuffer> GlDevice::createVertexBuffer(uint32_t bytes, BufferUse use, const void* contents) {
    if (bytes == 0) return nullptr;
    auto* buffer = new GlVertexBuffer(this, bytes, use, contents, nextSerial_++);
    vertexBuffers_.add(buffer);
    return DeviceHandle<VertexBuffer>(buffer);
}

DeviceHandle<IndexBuffer> GlDevice::createIndexBuffer(uint32_t bytes, BufferUse use, const void* contents) {
    if (bytes == 0) return nullptr;
    auto* buffer = new GlIndexBuffer(this, bytes, use, contents, nextSerial_++, kThoroughRules);
    indexBuffers_.add(buffer);
    return DeviceHandle<IndexBuffer>(buffer);
}

bool GlDevice::textureSizeFits(uint32_t width, uint32_t height) const {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    return width != 0 && height != 0 && width <= static_cast<uint32_t>(maxSize) &&
           height <= static_cast<uint32_t>(maxSize);
}

DeviceHandle<Texture> GlDevice::createTexture(TexelFormat format, uint32_t width, uint32_t height,
                                              uint32_t levelCount, const uint8_t* levels) {
    if (!levels || (levelCount == 0 && format != TexelFormat::Rgba8)) return nullptr;
    if (isBlockFormat(format) && !supportsBlockCompression()) return nullptr;
    if (!textureSizeFits(width, height)) return nullptr;
    auto* texture = new GlTexture(this, nextSerial_++, width, height, levelCount, format);
    textures_.add(texture);
    DeviceHandle<Texture> owned(texture);
    if (!texture->upload(levels)) return nullptr;  // the handle frees the refused texture
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

void GlDevice::free(GlVertexBuffer* buffer) {
    vertexBuffers_.remove(buffer);
    delete buffer;
}

void GlDevice::free(GlIndexBuffer* buffer) {
    indexBuffers_.remove(buffer);
    delete buffer;
}

void GlDevice::free(GlTexture* texture) {
    textures_.remove(texture);
    delete texture;
}

void GlDevice::free(GlProgramObject* program) {
    programs_.remove(program);
    delete program;
}

void GlDevice::free(GlPipeline* pipeline) {
    pipelines_.remove(pipeline);
    delete pipeline;
}

// ---- programs and pipelines ----

DeviceHandle<Program> GlDevice::createProgram(const ProgramDesc& desc) {
    if (vertexBytes(desc.inputs) == 0) {
        warn("program refused: not made for a known vertex format");
        return nullptr;
    }
    auto* program = new GlProgramObject(this);
    program->gl.serial = nextSerial_++;
    std::string error;
    const bool built = buildProgram(desc, &program->gl, &error);
    // Building makes the new program current and binds its uniform buffer
    // (or, failing, leaves both unknown).
    applied_.program = built ? program->gl.serial : 0;
    applied_.uniformBuffer = 0;
    if (!built) {
        delete program;
        warn(("program refused: " + error).c_str());
        return nullptr;
    }
    programs_.add(program);
    return DeviceHandle<Program>(program);
}

DeviceHandle<Pipeline> GlDevice::createPipeline(const PipelineDesc& desc) {
    if (vertexBytes(desc.format) == 0 || desc.blend > Blend::Filter || desc.depthTest > DepthTest::Always ||
        desc.cull > Cull::Front || desc.stencilTest > StencilTest::NotEqual) {
        warn("pipeline refused: unknown vertex format, blending, depth test, culling or stencil test");
        return nullptr;
    }
    for (const StencilOps& ops : {desc.stencilFront, desc.stencilBack}) {
        if (ops.fail > StencilOp::DecrementWrap || ops.depthFail > StencilOp::DecrementWrap ||
            ops.pass > StencilOp::DecrementWrap) {
            warn("pipeline refused: unknown stencil operation");
            return nullptr;
        }
    }
    if (!desc.program) {
        warn("pipeline refused: it names no program");
        return nullptr;
    }
    const GlProgram* program = &static_cast<const GlProgramObject*>(desc.program)->gl;
    if (program->format != desc.format) {
        warn("pipeline refused: its program was made for another vertex format");
        return nullptr;
    }
    auto* pipeline = new GlPipeline(this, desc, program);
    pipelines_.add(pipeline);
    return DeviceHandle<Pipeline>(pipeline);
}

// ---- drawing ----

void GlDevice::beginFrame(uint32_t clearColour) {
    inFrame_ = true;
    glClearColor(((clearColour >> 16) & 0xFF) / 255.0f, ((clearColour >> 8) & 0xFF) / 255.0f,
                 (clearColour & 0xFF) / 255.0f, ((clearColour >> 24) & 0xFF) / 255.0f);
    // The clear writes colour and depth even when the last pipeline drawn
    // does not (the stencil write mask is never changed).
    if (!applied_.depthWrite) glDepthMask(GL_TRUE);
    if (!applied_.colourWrite) glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    applyScissor(ScreenRect{});
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    if (!applied_.depthWrite) glDepthMask(GL_FALSE);
    if (!applied_.colourWrite) glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
}

struct GlDevice::RuleView {
    const GlDevice& device;
    bool inFrame() const { return device.inFrame_; }
    bool owns(const Pipeline& pipeline) const {
        const auto* own = dynamic_cast<const GlPipeline*>(&pipeline);
        return own && device.pipelines_.holds(own);
    }
    bool owns(const Buffer& buffer) const {
        if (const auto* vertices = dynamic_cast<const GlVertexBuffer*>(&buffer))
            return device.vertexBuffers_.holds(vertices);
        const auto* indices = dynamic_cast<const GlIndexBuffer*>(&buffer);
        return indices && device.indexBuffers_.holds(indices);
    }
    bool owns(const Texture& texture) const {
        const auto* own = dynamic_cast<const GlTexture*>(&texture);
        return own && device.textures_.holds(own);
    }
    uint32_t uniformBytes(const Pipeline& pipeline) const {
        return static_cast<const GlPipeline&>(pipeline).program->uniformBytes;
    }
    const uint8_t* indexBytes(const IndexBuffer& buffer) const {
        return static_cast<const GlIndexBuffer&>(buffer).buffer.keptBytes();
    }
};

void GlDevice::draw(const DrawCall& call) {
    const DrawRule broken = checkDraw(call, RuleView{*this}, kThoroughRules);
    if (broken != DrawRule::Sound) {
        ruleReports_.report(broken);
        return;
    }
    if (call.count == 0 || call.scissor.empty()) return;
    const auto& pipeline = *static_cast<const GlPipeline*>(call.pipeline);
    const GlProgram& program = *pipeline.program;
    const VertexFormat format = pipeline.desc().format;
    if (applied_.program != program.serial) {
        glUseProgram(program.id);
        applied_.program = program.serial;
    }
    applyPipelineState(pipeline.desc());
    applyScissor(call.scissor);
    const auto& vertices = static_cast<const GlVertexBuffer&>(*call.vertices);
    const auto* indices = static_cast<const GlIndexBuffer*>(call.indices);
    bindVertexArray(vertices, format, indices);
    const Texture* const textures[kTextureSlots] = {call.textures.surfaceImage, call.textures.normalMap,
                                                    call.textures.specularMap, call.textures.lightImage,
                                                    call.textures.lightFalloff};
    bindTextures(textures);
    sendUniforms(program, call, textures);
    if (indices)
        glDrawElements(primitiveOf(format), static_cast<GLsizei>(call.count), GL_UNSIGNED_SHORT,
                       reinterpret_cast<const void*>(uintptr_t{call.first} * sizeof(uint16_t)));
    else
        glDrawArrays(primitiveOf(format), static_cast<GLint>(call.first), static_cast<GLsizei>(call.count));
    checkErrors("draw");
}

void GlDevice::applyPipelineState(const PipelineDesc& desc) {
    if (applied_.depthTest != desc.depthTest) {
        glDepthFunc(depthFunction(desc.depthTest));
        applied_.depthTest = desc.depthTest;
    }
    if (applied_.depthWrite != desc.depthWrite) {
        glDepthMask(desc.depthWrite ? GL_TRUE : GL_FALSE);
        applied_.depthWrite = desc.depthWrite;
    }
    if (applied_.colourWrite != desc.colourWrite) {
        const GLboolean write = desc.colourWrite ? GL_TRUE : GL_FALSE;
        glColorMask(write, write, write, write);
        applied_.colourWrite = desc.colourWrite;
    }
    if (applied_.blend != desc.blend) {
        if (desc.blend == Blend::None) {
            glDisable(GL_BLEND);
        } else {
            if (applied_.blend == Blend::None) glEnable(GL_BLEND);
            GLenum source = GL_ONE, destination = GL_ZERO;
            blendFactors(desc.blend, &source, &destination);
            glBlendFunc(source, destination);
        }
        applied_.blend = desc.blend;
    }
    if (applied_.cull != desc.cull) {
        if (desc.cull == Cull::None) {
            glDisable(GL_CULL_FACE);
        } else {
            if (applied_.cull == Cull::None) glEnable(GL_CULL_FACE);
            glCullFace(desc.cull == Cull::Back ? GL_BACK : GL_FRONT);
        }
        applied_.cull = desc.cull;
    }
    if (applied_.stencilTest != desc.stencilTest || desc.stencilTest != StencilTest::Off) applyStencil(desc);
    if (applied_.depthClamp != desc.depthClamp) {
        if (desc.depthClamp)
            glEnable(GL_DEPTH_CLAMP);
        else
            glDisable(GL_DEPTH_CLAMP);
        applied_.depthClamp = desc.depthClamp;
    }
}

void GlDevice::applyScissor(const ScreenRect& rect) {
    const ScreenRect& was = applied_.scissor;
    if (rect.whole) {
        if (!was.whole) glDisable(GL_SCISSOR_TEST);
        applied_.scissor.whole = true;
        return;
    }
    if (was.whole) glEnable(GL_SCISSOR_TEST);
    if (was.whole || was.x != rect.x || was.y != rect.y || was.width != rect.width || was.height != rect.height) {
        // GL counts rows from the bottom of the back buffer.
        glScissor(rect.x, static_cast<GLint>(height_) - rect.y - rect.height, rect.width, rect.height);
    }
    applied_.scissor = rect;
}

void GlDevice::clearStencil(const ScreenRect& rect) {
    if (!inFrame_ || rect.empty()) return;
    applyScissor(rect);
    // The stencil write mask is never changed, so the clear reaches every bit.
    glClear(GL_STENCIL_BUFFER_BIT);
    checkErrors("stencil clear");
}

void GlDevice::applyStencil(const PipelineDesc& desc) {
    if (desc.stencilTest == StencilTest::Off) {
        glDisable(GL_STENCIL_TEST);
        applied_.stencilTest = StencilTest::Off;
        return;
    }
    const bool wasOff = applied_.stencilTest == StencilTest::Off;
    if (wasOff) glEnable(GL_STENCIL_TEST);
    if (wasOff || applied_.stencilTest != desc.stencilTest || applied_.stencilReference != desc.stencilReference)
        glStencilFunc(stencilFunction(desc.stencilTest), desc.stencilReference, 0xFF);
    if (wasOff || !sameOps(applied_.stencilFront, desc.stencilFront)) setStencilOps(GL_FRONT, desc.stencilFront);
    if (wasOff || !sameOps(applied_.stencilBack, desc.stencilBack)) setStencilOps(GL_BACK, desc.stencilBack);
    applied_.stencilTest = desc.stencilTest;
    applied_.stencilReference = desc.stencilReference;
    applied_.stencilFront = desc.stencilFront;
    applied_.stencilBack = desc.stencilBack;
}

void GlDevice::bindTextures(const Texture* const (&textures)[kTextureSlots]) {
    bool moved = false;
    for (uint32_t slot = 0; slot < kTextureSlots; ++slot) {
        const auto* texture = static_cast<const GlTexture*>(textures[slot]);
        const uint64_t serial = texture ? texture->serial : 0;
        if (applied_.textures[slot] == serial) continue;
        if (slot > 0) {
            glActiveTexture(GL_TEXTURE0 + slot);
            moved = true;
        }
        glBindTexture(GL_TEXTURE_2D, texture ? texture->id() : 0);
        applied_.textures[slot] = serial;
    }
    if (moved) glActiveTexture(GL_TEXTURE0);
}

void GlDevice::bindVertexArray(const GlVertexBuffer& vertices, VertexFormat format, const GlIndexBuffer* indices) {
    if (!vertices.vertexArray) glGenVertexArrays(1, &vertices.vertexArray);
    if (applied_.vertexArray != vertices.serial) {
        glBindVertexArray(vertices.vertexArray);
        applied_.vertexArray = vertices.serial;
    }
    if (!vertices.laidOut || vertices.arrayFormat != format) {
        const VertexLayout layout = layoutOf(format);
        glBindBuffer(GL_ARRAY_BUFFER, vertices.buffer.id());
        uint32_t enabled = 0;
        for (uint8_t i = 0; i < layout.count; ++i) {
            const VertexAttribute& a = layout.attributes[i];
            const auto* offset = reinterpret_cast<const void*>(uintptr_t{a.offset});
            const auto stride = static_cast<GLsizei>(layout.vertexBytes);
            if (a.type == AttributeType::Colour)  // 0xAARRGGBB: bytes blue, green, red, alpha
                glVertexAttribPointer(a.location, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset);
            else
                glVertexAttribPointer(a.location, a.components, GL_FLOAT, GL_FALSE, stride, offset);
            enabled |= 1u << a.location;
        }
        // Inputs the format does not feed read the constant (0, 0, 0, 1).
        const uint32_t changed = enabled ^ vertices.enabledInputs;
        for (GLuint location = 0; location < 32; ++location) {
            if (!(changed & (1u << location))) continue;
            if (enabled & (1u << location)) glEnableVertexAttribArray(location);
            else glDisableVertexAttribArray(location);
        }
        vertices.enabledInputs = enabled;
        vertices.arrayFormat = format;
        vertices.laidOut = true;
    }
    // The element array binding belongs to the vertex array object.
    if (indices && vertices.arrayIndices != indices->serial) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices->buffer.id());
        vertices.arrayIndices = indices->serial;
    }
}

void GlDevice::sendUniforms(const GlProgram& p, const DrawCall& call, const Texture* const (&textures)[kTextureSlots]) {
    if (p.uniformBytes > 0) {
        if (applied_.uniformBuffer != p.serial) {
            glBindBufferBase(GL_UNIFORM_BUFFER, kUniformBinding, p.uniformBuffer);
            applied_.uniformBuffer = p.serial;
        }
        if (!p.uniformsKnown || std::memcmp(p.sentUniforms.data(), call.uniforms.data, p.uniformBytes) != 0) {
            // The whole block each time: GL may then give it fresh storage
            // instead of waiting for the draws still reading the old values.
            glBufferSubData(GL_UNIFORM_BUFFER, 0, p.uniformBytes, call.uniforms.data);
            std::memcpy(p.sentUniforms.data(), call.uniforms.data, p.uniformBytes);
            p.uniformsKnown = true;
        }
    }
    if (p.texturesGiven >= 0) {
        int given = 0;
        for (uint32_t slot = 0; slot < kTextureSlots; ++slot) given |= textures[slot] ? 1 << slot : 0;
        if (p.sentTexturesGiven != given) {
            glUniform1i(p.texturesGiven, given);
            p.sentTexturesGiven = given;
        }
    }
    const int alphaReference = static_cast<const GlPipeline*>(call.pipeline)->desc().alphaReference;
    if (p.alphaReference >= 0 && p.sentAlphaReference != alphaReference) {
        glUniform1f(p.alphaReference, static_cast<float>(alphaReference));
        p.sentAlphaReference = alphaReference;
    }
}

void GlDevice::endFrame() {
    inFrame_ = false;
    if (!context_->hasWindow()) {
        // Headless: the frame stays for readBackBuffer. With no swap to pace
        // it, the driver would queue frame after frame of commands (gigabytes
        // in a long run); finishing each frame here keeps memory flat.
        glFinish();
        return;
    }
    // Read every frame: resizing, full screen and the screen's pixel density
    // all change it.
    // The bars' clear and the blit below are both cut by a scissor left on.
    applyScissor(ScreenRect{});
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
    checkErrors("endFrame");
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
