// Glyph rasterising for the data generator: one FreeType face, rendered into coverage bitmaps.
#pragma once

#include <string>
#include <vector>

#include "canvas.h"

// A rendered glyph: coverage 0..1, top-left at (left, -top) relative to the pen on the baseline.
struct GlyphBitmap {
    int width = 0, height = 0;
    int left = 0, top = 0;  // bearing: left of the pen, above the baseline
    float advance = 0;      // pixels
    std::vector<float> coverage;
};

class Font {
public:
    // Opens a font file; a font that cannot be opened ends the generator with a message.
    explicit Font(const std::string& path);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    bool ok() const { return m_face != nullptr; }
    void set_pixel_size(float em);
    // Renders one character (a Unicode code point); hinting only aligns stems lightly.
    GlyphBitmap render(unsigned code) const;
    // Width in pixels of a string set with its advances plus extra spacing between letters.
    float measure(const std::string& text, float spacing = 0) const;
    // Paints a string with its baseline starting at (x, y) in the given colour (coverage as
    // alpha), over the canvas.
    void draw(Canvas& c, const std::string& text, float x, float y, Rgba colour,
              float spacing = 0) const;

private:
    void* m_library = nullptr;  // FT_Library
    void* m_face = nullptr;     // FT_Face
};

// Path of a DejaVu font of the fonts-dejavu-core package, e.g. "DejaVuSans-Bold.ttf".
std::string dejavu(const char* file);
