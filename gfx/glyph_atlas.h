// GFX_GlyphAtlas: text in any script drawn from one alpha texture that is filled on demand with
// glyphs from the system's fonts (GFX_FontSource), each rendered once per size and kept;
// GFX_TextLine: one laid-out line, drawn in overlay pixels or along a billboard's axes.
#pragma once

#include "gfx/font_source.h"
#include "gfx/math.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// A line ready to draw: one textured quad per visible character, in pixels of its size from
// the pen's start on the baseline (x right, y up). Valid until the atlas is next reset, so a
// line is laid out and drawn in the same frame.
struct GFX_TextLine {
    struct Quad {
        float x0, y0, x1, y1;  // pixels
        float s0, t0, s1, t1;  // texture coordinates
    };
    std::vector<Quad> m_quads;
    float m_width = 0.0f;    // advance of the whole line
    float m_ascent = 0.0f;   // above the baseline
    float m_descent = 0.0f;  // below the baseline, positive
    bool m_cut = false;      // ended with an ellipsis
};

// Glyphs are packed in rows into a square texture; when it is full it is emptied and refilled
// with what is drawn from then on. A character no font has shows U+FFFD, and without that a
// hollow box. All calls that lay out or draw need the current OpenGL context: main (GL) thread,
// and never between glBegin and glEnd (a layout may upload glyphs).
class GFX_GlyphAtlas {
public:
    // Longest label the atlas lays out, in characters; a longer text ends in an ellipsis.
    static constexpr std::size_t kMaxChars = 100;
    // Largest em size in pixels; larger text is drawn scaled up from this one.
    static constexpr int kMaxPx = 48;

    // The em size to render text at that shows about pixels high on screen: one of a few
    // sizes (so the atlas holds few copies of a character), the next one up, at most kMaxPx.
    static int size_for(float pixels);

    explicit GFX_GlyphAtlas(int texture_size = 1024);
    // The OpenGL texture goes with the context (like every texture of the program).
    virtual ~GFX_GlyphAtlas() = default;
    GFX_GlyphAtlas(const GFX_GlyphAtlas&) = delete;
    GFX_GlyphAtlas& operator=(const GFX_GlyphAtlas&) = delete;

    // One line of UTF-8 text at an em size of px pixels (4 to kMaxPx), cut with an ellipsis to
    // at most max_width pixels. Malformed bytes and control characters show U+FFFD.
    GFX_TextLine layout(const std::string& utf8, int px, float max_width = 1e9f);
    // The same for characters already decoded.
    GFX_TextLine layout(const std::vector<std::uint32_t>& chars, int px, float max_width = 1e9f);

    // The line with its baseline starting at (x, y) in overlay pixels, scale 1, in colour.
    // Leaves blending on and lighting off; binds the atlas texture.
    void draw(const GFX_TextLine& line, float x, float y, const Math_Vector4& color);
    // The line along right and up from origin (the baseline's start), scale world units per
    // pixel, in colour; face culling is off for the quads and on afterwards.
    void draw(const GFX_TextLine& line, const Math_Vector3& origin, const Math_Vector3& right,
              const Math_Vector3& up, float scale, const Math_Vector3& color);
    // Many billboard lines in a row without a dozen state changes each (every change makes
    // the software renderer start a new draw): begin_billboard_lines() sets the state the draw
    // above sets, draw_billboard_line() draws one line in it, end_billboard_lines() leaves the
    // state the draw above leaves. Lines are laid out before they are drawn, as always.
    void begin_billboard_lines();
    void draw_billboard_line(const GFX_TextLine& line, const Math_Vector3& origin,
                             const Math_Vector3& right, const Math_Vector3& up, float scale,
                             const Math_Vector3& color);
    void end_billboard_lines();

    bool has_fonts() { return m_fonts.has_fonts(); }
    std::size_t glyph_count() const { return m_glyphs.size(); }
    // How many glyphs were rendered so far (each character and size once, until a reset).
    int rendered() const { return m_rendered; }
    // How many times the texture filled up and was emptied.
    int resets() const { return m_resets; }
    // Changes whenever lines laid out before may no longer draw right (the texture emptied or
    // made anew), so a caller may keep a line and draw it again until then.
    int generation() const { return m_generation; }
    unsigned int texture() const { return m_texture; }
    int texture_size() const { return m_size; }

private:
    struct Glyph {
        float x0, y0, x1, y1;  // pixels from the pen on the baseline
        float s0, t0, s1, t1;
        float advance;
        bool visible;
    };
    const Glyph& glyph(std::uint32_t ch, int px);
    // Renders ch, or its stand-ins, into bm; false leaves the hollow box to draw.
    bool render(std::uint32_t ch, int px, GFX_GlyphBitmap& bm);
    // Places a bitmap in the texture; false when the texture is full.
    bool pack(const GFX_GlyphBitmap& bm, int& x, int& y);
    void ensure_texture();
    void reset();
    void set_draw_state();

    GFX_FontSource m_fonts;
    int m_size;
    unsigned int m_texture = 0;
    int m_pen_x = 1, m_pen_y = 1, m_row_height = 0;
    int m_resets = 0;
    int m_generation = 0;
    int m_rendered = 0;
    std::unordered_map<std::uint64_t, Glyph> m_glyphs;           // key: character << 8 | px
    std::unordered_map<int, std::pair<float, float>> m_metrics;  // px -> ascent, descent
};
