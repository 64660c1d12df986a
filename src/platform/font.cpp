#include "platform/font.h"

#include <algorithm>
#include <cmath>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

namespace q {

struct Font::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string file;
    int cellHeight = 0;
    int ascent = 0;  // pixels from the cell's top to the baseline

    ~Impl() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }

    // Loads and renders c; false when the face has no usable glyph for it.
    bool render(char c) const {
        const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(c));
        if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return false;
        return FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0;
    }
};

namespace {

// The file and face index the font configuration picks for a family name. A
// private configuration, dropped once the face is found, leaves no library state
// behind for the rest of the run.
bool resolveFace(const char* family, std::string* file, int* index, std::string* error) {
    const std::string notFound = std::string("no font found for the face \"") + family + "\"";
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) {
        *error = "the font configuration cannot be read";
        return false;
    }
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    FcPattern* match = nullptr;
    if (pattern) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        match = FcFontMatch(config, pattern, &result);
        FcPatternDestroy(pattern);
    }
    FcChar8* path = nullptr;
    const bool found = match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (found) {
        *file = reinterpret_cast<const char*>(path);
        *index = 0;
        FcPatternGetInteger(match, FC_INDEX, 0, index);
    } else {
        *error = notFound;
    }
    if (match) FcPatternDestroy(match);
    FcConfigDestroy(config);
    return found;
}

}  // namespace

std::unique_ptr<Font> Font::open(const char* faceName, int pixelHeight, std::string* error) {
    std::string message;
    std::string* why = error ? error : &message;
    if (!faceName || pixelHeight <= 0 || pixelHeight > 4096) {
        *why = "font height " + std::to_string(pixelHeight) + " is out of range";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    int index = 0;
    if (!resolveFace(faceName, &impl->file, &index, why)) return nullptr;
    if (FT_Init_FreeType(&impl->library) != 0) {
        *why = "the font rasteriser cannot start";
        return nullptr;
    }
    if (FT_New_Face(impl->library, impl->file.c_str(), index, &impl->face) != 0) {
        *why = impl->file + ": cannot load the font file";
        return nullptr;
    }
    FT_Face face = impl->face;
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
        *why = impl->file + ": not a scalable font";
        return nullptr;
    }

    // The cell is the face's Windows ascent plus descent where it has them (the
    // metrics its cell height is defined by), else its ascender and descender.
    long ascentUnits = face->ascender;
    long descentUnits = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascentUnits = os2->usWinAscent;
        descentUnits = os2->usWinDescent;
    }
    const long cellUnits = ascentUnits + descentUnits;
    if (cellUnits <= 0) {
        *why = impl->file + ": the font has no cell height";
        return nullptr;
    }
    // Nominal size in 26.6 pixels so that the cell spans pixelHeight.
    const FT_Long size26 = static_cast<FT_Long>(
        std::lround(64.0 * pixelHeight * face->units_per_EM / static_cast<double>(cellUnits)));
    if (FT_Set_Char_Size(face, 0, size26, 72, 72) != 0) {
        *why = impl->file + ": the font cannot be scaled to " + std::to_string(pixelHeight) + " pixels";
        return nullptr;
    }
    impl->cellHeight = pixelHeight;
    impl->ascent = static_cast<int>(std::lround(double(ascentUnits) * pixelHeight / cellUnits));
    return std::unique_ptr<Font>(new Font(std::move(impl)));
}

Font::Font(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Font::~Font() = default;

const std::string& Font::file() const { return impl_->file; }

Font::Extent Font::measure(char c) const {
    const FT_UInt index = FT_Get_Char_Index(impl_->face, static_cast<unsigned char>(c));
    int advance = 0;
    if (FT_Load_Glyph(impl_->face, index, FT_LOAD_DEFAULT) == 0)
        advance = static_cast<int>((impl_->face->glyph->advance.x + 32) >> 6);
    return {std::max(advance, 0), impl_->cellHeight};
}

void Font::draw(char c, int x, int y, uint8_t* bitmap, int texSize) const {
    if (!bitmap || texSize <= 0 || !impl_->render(c)) return;
    const FT_GlyphSlot slot = impl_->face->glyph;
    const FT_Bitmap& glyph = slot->bitmap;
    if (!glyph.buffer || (glyph.pixel_mode != FT_PIXEL_MODE_GRAY && glyph.pixel_mode != FT_PIXEL_MODE_MONO))
        return;
    const int left = x + slot->bitmap_left;
    const int top = y + impl_->ascent - slot->bitmap_top;
    const int rows = static_cast<int>(glyph.rows);
    const int width = static_cast<int>(glyph.width);
    const int maxGrey = glyph.num_grays > 1 ? glyph.num_grays - 1 : 255;
    // With a negative pitch the rows are stored bottom-up.
    const unsigned char* firstRow =
        glyph.pitch >= 0 ? glyph.buffer : glyph.buffer - std::ptrdiff_t(rows - 1) * glyph.pitch;

    const int rowBegin = std::max(0, -top), rowEnd = std::min(rows, texSize - top);
    const int colBegin = std::max(0, -left), colEnd = std::min(width, texSize - left);
    for (int row = rowBegin; row < rowEnd; ++row) {
        const unsigned char* src = firstRow + std::ptrdiff_t(row) * glyph.pitch;
        uint8_t* dstRow = bitmap + std::ptrdiff_t(top + row) * texSize;
        for (int col = colBegin; col < colEnd; ++col) {
            int coverage;
            if (glyph.pixel_mode == FT_PIXEL_MODE_MONO)
                coverage = (src[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
            else
                coverage = src[col] * 255 / maxGrey;
            uint8_t& dst = dstRow[left + col];
            dst = static_cast<uint8_t>(std::max<int>(dst, coverage));
        }
    }
}

}  // namespace q
