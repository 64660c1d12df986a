// JPEG through libjpeg(-turbo). The library reports fatal errors through a
// callback that must not return; ours jumps back to the decode or encode call,
// which cleans up and reports, so a bad file never ends the program.

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "image/image_formats.h"

namespace q::image_detail {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;  // first, so the library's pointer is ours too
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int firstDataWarning;  // 0, JWRN_JPEG_EOF or JWRN_HIT_MARKER
};

[[noreturn]] void onFatalError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->format_message(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings are not printed; the ones that mean the data ran out are remembered
// so the decode can stop and say so.
void onMessage(j_common_ptr cinfo, int level) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level >= 0) return;
    const int code = cinfo->err->msg_code;
    if (manager->firstDataWarning == 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER))
        manager->firstDataWarning = code;
}

void installErrorManager(ErrorManager* manager) {
    jpeg_std_error(&manager->base);
    manager->base.error_exit = onFatalError;
    manager->base.emit_message = onMessage;
    manager->message[0] = 0;
    manager->firstDataWarning = 0;
}

// Crafted progressive files can hold thousands of tiny scans that take minutes
// to decode; no real texture has anywhere near this many.
constexpr int kMaxScans = 500;

void limitScans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > kMaxScans) {
            std::snprintf(reinterpret_cast<ErrorManager*>(cinfo->err)->message, JMSG_LENGTH_MAX,
                          "more than %d scans", kMaxScans);
            std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
        }
    }
}

// Progressive files need the whole image's coefficients in memory; above this the
// library gives up (it has no backing store) instead of exhausting the machine.
constexpr long kMaxDecoderMemory = 1024L << 20;

}  // namespace

bool looksLikeJpeg(const uint8_t* data, size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool decodeJpeg(const uint8_t* data, size_t size, const char* name, Image* out, std::string* error) {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = &errors.base;
    installErrorManager(&errors);

    // Nothing with a destructor lives between here and the decode's end except
    // *out, which belongs to the caller's frame.
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (errors.firstDataWarning) return fail(error, name, "truncated JPEG data");
        return fail(error, name, std::string("not a valid JPEG image (") + errors.message + ")");
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    progress.progress_monitor = limitScans;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));

    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || errors.firstDataWarning) {
        jpeg_destroy_decompress(&cinfo);
        return fail(error, name, "truncated JPEG data");
    }
    if (cinfo.image_width == 0 || cinfo.image_height == 0 ||
        cinfo.image_width > kMaxImageSide || cinfo.image_height > kMaxImageSide) {
        const uint32_t w = cinfo.image_width, h = cinfo.image_height;
        jpeg_destroy_decompress(&cinfo);
        return fail(error, name, w == 0 || h == 0 ? std::string("JPEG image has no pixels")
                                                  : tooLarge(w, h));
    }
    // Every 8x8 block of a Huffman-coded image takes at least one bit (the code
    // of its DC difference), so a file cannot hold more blocks than eight per
    // byte; with subsampling split between components at most half of them lie
    // in one plane, hence sixteen. Arithmetic coding can spend less on a block,
    // and when its data runs into a marker it decodes the rest as flat grey
    // without a word, so there a block must have at least 1/8 bit: 64 blocks a
    // byte, beyond what real textures come near (a flat image coded that way
    // is the one kind refused). A few bytes that
    // claim a large image are refused here, before the library sets up memory
    // for it (for a progressive file, every coefficient). Progressive files
    // hold all their coefficients at once, and may need at most 16384 bytes of
    // them per byte of file (64 MB at least).
    const uint64_t blocks = uint64_t{(cinfo.image_width + 7) / 8} * ((cinfo.image_height + 7) / 8);
    uint64_t coefficientBytes = 0;
    for (int c = 0; c < cinfo.num_components; ++c)
        coefficientBytes += uint64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks * 128;
    const bool tooFewBits = blocks > uint64_t{size} * (cinfo.arith_code ? 64 : 16);
    const bool tooLittleData =
        cinfo.progressive_mode && coefficientBytes > std::max(uint64_t{size} * 16384, uint64_t{64} << 20);
    if (tooFewBits || tooLittleData) {
        const uint32_t w = cinfo.image_width, h = cinfo.image_height;
        jpeg_destroy_decompress(&cinfo);
        return fail(error, name, "truncated JPEG data (" + std::to_string(size) + " bytes cannot hold a " +
                                     std::to_string(w) + " x " + std::to_string(h) + " image)");
    }
    cinfo.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&cinfo);

    const uint32_t width = cinfo.output_width;
    const uint32_t height = cinfo.output_height;
    const size_t rowBytes = size_t{width} * 4;
    // Grows with the rows actually decoded, so a tiny file that claims a huge
    // image costs little before its truncation is found.
    out->rgba.reserve(std::min(rowBytes * height, size_t{64} << 20));
    while (!errors.firstDataWarning && cinfo.output_scanline < height) {
        out->rgba.resize(rowBytes * (cinfo.output_scanline + 1));
        JSAMPROW row = out->rgba.data() + rowBytes * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    // Trailing bytes are not read: once the pixels are complete the file is good.
    const int dataWarning = errors.firstDataWarning;
    jpeg_destroy_decompress(&cinfo);
    // Either the file ended or a marker came before the image's data did: both
    // mean the file holds fewer pixels than its header claims.
    if (dataWarning) return fail(error, name, "truncated JPEG data");
    out->width = width;
    out->height = height;
    return true;
}

}  // namespace q::image_detail

namespace q {

using image_detail::fail;

bool writeJpeg(const char* path, const Image& image, int quality, std::string* error) {
    if (!image_detail::checkWritable(image, path, error)) return false;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return fail(error, path, std::string("cannot create (") + std::strerror(errno) + ")");

    jpeg_compress_struct cinfo;
    image_detail::ErrorManager errors;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = &errors.base;
    image_detail::installErrorManager(&errors);
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::fclose(file);
        std::remove(path);
        return fail(error, path, std::string("cannot write JPEG (") + errors.message + ")");
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = image.width;
    cinfo.image_height = image.height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_RGBA;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t rowBytes = size_t{image.width} * 4;
    while (cinfo.next_scanline < cinfo.image_height) {
        // The library does not write through the row pointer.
        JSAMPROW row = const_cast<JSAMPROW>(image.rgba.data() + rowBytes * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        std::remove(path);
        return fail(error, path, "cannot write JPEG (disk full or write error)");
    }
    return true;
}

}  // namespace q
