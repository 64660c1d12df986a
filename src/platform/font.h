#pragma once
// One typeface rasterised at one pixel height: single characters measured and
// drawn white on black, anti-aliased, into an 8-bit bitmap. The face is looked up
// by name through the system's font configuration, so a name such as "Arial"
// resolves to an installed metric-compatible face.

#include <cstdint>
#include <memory>
#include <string>

namespace q {

class Font {
public:
    struct Extent {
        int width;   // advance width in whole pixels
        int height;  // cell height (ascent + descent) in pixels
    };

    // pixelHeight is the cell height: the face is scaled so that its ascent plus
    // descent spans exactly that many pixels. Returns null with the reason in
    // *error when no face is found or it cannot be loaded or scaled.
    static std::unique_ptr<Font> open(const char* face, int pixelHeight, std::string* error);

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    Extent measure(char c) const;
    // Draws c with the top-left of its cell at (x, y) into a texSize x texSize
    // bitmap (one byte per pixel, rows top to bottom), keeping the brighter of
    // the bitmap's and the glyph's coverage. What falls outside is clipped.
    void draw(char c, int x, int y, uint8_t* bitmap, int texSize) const;

    // The file the face was loaded from (for messages).
    const std::string& file() const;

private:
    struct Impl;
    explicit Font(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace q
