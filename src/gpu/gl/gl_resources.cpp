#include "gpu/gl/gl_resources.h"

#include <algorithm>
#include <cstring>

#include "gpu/gl/gl_device_impl.h"

namespace q::gpu {

namespace {

// The binding point buffers are written through: no vertex array object holds
// it, so writing a buffer moves no draw state.
constexpr GLenum kWriteTarget = GL_COPY_WRITE_BUFFER;

}  // namespace

GlBufferObject::GlBufferObject(uint32_t bytes, BufferUse use, const void* contents, bool keepBytes)
    : bytes_(bytes), dynamic_(use == BufferUse::Dynamic) {
    glGenBuffers(1, &id_);
    glBindBuffer(kWriteTarget, id_);
    if (keepBytes) {
        kept_.assign(bytes, 0);
        if (contents) std::memcpy(kept_.data(), contents, bytes);
        contents = kept_.data();  // zeros where none were given, as the rules will read them
    }
    glBufferData(kWriteTarget, bytes, contents, dynamic_ ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

GlBufferObject::~GlBufferObject() { glDeleteBuffers(1, &id_); }

bool GlBufferObject::update(uint32_t offset, const void* bytes, uint32_t size) {
    if ((!bytes && size > 0) || offset > bytes_ || size > bytes_ - offset) return false;
    if (size == 0) return true;
    glBindBuffer(kWriteTarget, id_);
    // A dynamic buffer written from its start gets fresh storage: giving the
    // buffer a new store of the same size orphans the old one, which GL keeps
    // for the draws still reading it, so neither the write nor those draws wait.
    if (dynamic_ && offset == 0) glBufferData(kWriteTarget, bytes_, nullptr, GL_DYNAMIC_DRAW);
    glBufferSubData(kWriteTarget, offset, size, bytes);
    if (!kept_.empty()) std::memcpy(kept_.data() + offset, bytes, size);
    return true;
}

GlVertexBuffer::~GlVertexBuffer() {
    if (vertexArray) glDeleteVertexArrays(1, &vertexArray);
}

void GlVertexBuffer::destroy() { device_->free(this); }
void GlIndexBuffer::destroy() { device_->free(this); }

GlProgramObject::~GlProgramObject() { releaseProgram(&gl); }

void GlProgramObject::destroy() { device_->free(this); }
void GlPipeline::destroy() { device_->free(this); }

namespace {

GLenum blockInternalFormat(TexelFormat format) {
    // From GL_EXT_texture_compression_s3tc, which the core headers leave out.
    constexpr GLenum kRgbaDxt1 = 0x83F1, kRgbaDxt3 = 0x83F2, kRgbaDxt5 = 0x83F3;
    return format == TexelFormat::Bc1 ? kRgbaDxt1 : format == TexelFormat::Bc2 ? kRgbaDxt3 : kRgbaDxt5;
}

// True when no error is pending. Every error is read: GL may hold several,
// and one left behind would fail a later, innocent call (the screenshot's
// read-back).
bool takeNoErrors() {
    bool none = true;
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError()) none = false;
    return none;
}

}  // namespace

GlTexture::GlTexture(GlDevice* device, uint64_t serial, uint32_t width, uint32_t height, uint32_t levels,
                     TexelFormat format)
    : serial(serial), device_(device), width_(width), height_(height), buildChain_(levels == 0), format_(format) {
    const uint32_t full = fullChainLevels(width, height);
    levels_ = levels == 0 ? full : std::min(levels, full);
    glGenTextures(1, &id_);
}

GlTexture::~GlTexture() { glDeleteTextures(1, &id_); }

bool GlTexture::upload(const uint8_t* levels) {
    while (glGetError() != GL_NO_ERROR) {}  // only this upload's errors count
    glActiveTexture(GL_TEXTURE0);
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, id_);
    // Only the levels that exist are sampled, so a single-level texture is
    // complete under a mipmapping filter.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels_ - 1));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const uint32_t given = buildChain_ ? 1 : levels_;
    for (uint32_t level = 0; level < given; ++level) {
        const uint32_t w = levelSide(width_, level), h = levelSide(height_, level);
        const auto bytes = static_cast<GLsizei>(levelBytes(format_, w, h));
        const auto glLevel = static_cast<GLint>(level);
        if (format_ == TexelFormat::Rgba8)
            glTexImage2D(GL_TEXTURE_2D, glLevel, GL_RGBA8, GLsizei(w), GLsizei(h), 0, GL_RGBA, GL_UNSIGNED_BYTE, levels);
        else
            glCompressedTexImage2D(GL_TEXTURE_2D, glLevel, blockInternalFormat(format_), GLsizei(w), GLsizei(h), 0,
                                   bytes, levels);
        levels += bytes;
    }
    if (buildChain_ && levels_ > 1) glGenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    // Storage the driver could not find room for shows only here (the
    // texture would stay black); no error is left for a later call to find.
    return takeNoErrors();
}

void GlTexture::destroy() { device_->free(this); }

}  // namespace q::gpu

