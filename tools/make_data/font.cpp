// Glyph rasterising with FreeType for the data generator.
#include "font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string dejavu(const char* file) {
    return std::string("/usr/share/fonts/truetype/dejavu/") + file;
}

Font::Font(const std::string& path) {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) return;
    m_library = lib;
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path.c_str(), 0, &face) != 0) {
        // Without the font the logos and the glyph sheet would silently come out blank.
        std::fprintf(stderr, "make_data: cannot open the font %s (tools/setup.sh installs it)\n",
                     path.c_str());
        std::exit(1);
    }
    m_face = face;
}

Font::~Font() {
    if (m_face) FT_Done_Face(static_cast<FT_Face>(m_face));
    if (m_library) FT_Done_FreeType(static_cast<FT_Library>(m_library));
}

void Font::set_pixel_size(float em) {
    if (!m_face) return;
    // 26.6 fixed point lets the em size be fractional.
    FT_Set_Char_Size(static_cast<FT_Face>(m_face), 0, static_cast<FT_F26Dot6>(std::lround(em * 64)),
                     72, 72);
}

GlyphBitmap Font::render(unsigned code) const {
    GlyphBitmap g;
    if (!m_face) return g;
    FT_Face face = static_cast<FT_Face>(m_face);
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0) return g;
    if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_LIGHT) != 0) return g;
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return g;
    const FT_Bitmap& bm = face->glyph->bitmap;
    g.width = static_cast<int>(bm.width);
    g.height = static_cast<int>(bm.rows);
    g.left = face->glyph->bitmap_left;
    g.top = face->glyph->bitmap_top;
    g.advance = face->glyph->advance.x / 64.0f;
    g.coverage.resize(static_cast<size_t>(g.width) * g.height);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            g.coverage[static_cast<size_t>(y) * g.width + x] = bm.buffer[y * bm.pitch + x] / 255.0f;
    return g;
}

float Font::measure(const std::string& text, float spacing) const {
    float w = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        w += render(static_cast<unsigned char>(text[i])).advance;
        if (i + 1 < text.size()) w += spacing;
    }
    return w;
}

void Font::draw(Canvas& c, const std::string& text, float x, float y, Rgba colour,
                float spacing) const {
    float pen = x;
    for (char ch : text) {
        GlyphBitmap g = render(static_cast<unsigned char>(ch));
        int ox = static_cast<int>(std::lround(pen)) + g.left;
        int oy = static_cast<int>(std::lround(y)) - g.top;
        for (int gy = 0; gy < g.height; ++gy) {
            for (int gx = 0; gx < g.width; ++gx) {
                int tx = ox + gx, ty = oy + gy;
                if (tx < 0 || ty < 0 || tx >= c.width() || ty >= c.height()) continue;
                Rgba s = colour;
                s.a *= g.coverage[static_cast<size_t>(gy) * g.width + gx];
                if (s.a > 0) c.at(tx, ty) = over(c.at(tx, ty), s);
            }
        }
        pen += g.advance + spacing;
    }
}
