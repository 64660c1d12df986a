#include "gpu/gl/gl_resources.h"

#include <algorithm>

#include "gpu/gl/gl_device_impl.h"

namespace q::gpu {

namespace {

// The binding point buffers are written through: no vertex array object holds
// it, so writing a buffer moves no draw state.
constexpr GLenum kWriteTarget = GL_COPY_WRITE_BUFFER;

}  // namespace

GlBufferObject::GlBufferObject(uint32_t bytes, BufferUse use) : bytes_(bytes), dynamic_(use == BufferUse::Dynamic) {
    glGenBuffers(1, &id_);
    glBindBuffer(kWriteTarget, id_);
    glBufferData(kWriteTarget, bytes, nullptr, dynamic_ ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
}

GlBufferObject::~GlBufferObject() {
    if (mapped_) {
        glBindBuffer(kWriteTarget, id_);
        glUnmapBuffer(kWriteTarget);
    }
    glDeleteBuffers(1, &id_);
}

void* GlBufferObject::lock(uint32_t offset, uint32_t size) {
    if (mapped_) return nullptr;  // one lock at a time, as GL maps a buffer once
    if (size == 0 && offset == 0) size = bytes_;
    if (size == 0 || offset > bytes_ || size > bytes_ - offset) return nullptr;
    GLbitfield access = GL_MAP_WRITE_BIT;
    // A dynamic buffer locked whole gets fresh storage: the draws still
    // reading the old contents are not waited for.
    if (dynamic_ && offset == 0 && size == bytes_) access |= GL_MAP_INVALIDATE_BUFFER_BIT;
    glBindBuffer(kWriteTarget, id_);
    void* address = glMapBufferRange(kWriteTarget, offset, size, access);
    mapped_ = address != nullptr;
    return address;
}

void GlBufferObject::unlock() {
    if (!mapped_) return;
    glBindBuffer(kWriteTarget, id_);
    glUnmapBuffer(kWriteTarget);
    mapped_ = false;
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
    : serial(serial), device_(device), width_(width), height_(height), format_(format) {
    const uint32_t full = fullChainLevels(width, height);
    levels_ = levels == 0 ? full : std::min(levels, full);
    glGenTextures(1, &id_);
    glActiveTexture(GL_TEXTURE0);
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, id_);
    // Only the levels that exist are sampled, so a single-level texture is
    // complete under a mipmapping filter.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels_ - 1));
    if (format == TexelFormat::Rgba8)
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0,
                     GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}

GlTexture::~GlTexture() { glDeleteTextures(1, &id_); }

void* GlTexture::lockRect(uint32_t* pitch) {
    if (locked_ || isBlockFormat(format_)) return nullptr;
    if (texels_.empty()) texels_.assign(static_cast<size_t>(width_) * height_, 0u);
    locked_ = true;
    if (pitch) *pitch = width_ * 4;
    return texels_.data();
}

void GlTexture::unlockRect() {
    if (!locked_) return;
    locked_ = false;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, id_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // 0xAARRGGBB words: blue, green, red, alpha from the low byte up.
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_),
                    GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels_.data());
    buildMipChain();
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}

bool GlTexture::uploadRgba(const uint8_t* rgba) {
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, id_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_),
                    GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    buildMipChain();
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    // Storage the driver could not find room for shows only here (the
    // texture would stay black); no error is left for a later call to find.
    return takeNoErrors();
}

bool GlTexture::uploadLevels(const uint8_t* levels) {
    while (glGetError() != GL_NO_ERROR) {}  // only this upload's errors count
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, id_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (uint32_t level = 0; level < levels_; ++level) {
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
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    return takeNoErrors();
}

void GlTexture::buildMipChain() {
    if (levels_ > 1) glGenerateMipmap(GL_TEXTURE_2D);
}

void GlTexture::destroy() { device_->free(this); }

}  // namespace q::gpu

