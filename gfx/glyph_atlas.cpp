// GFX_GlyphAtlas: rendering characters into the atlas texture, laying out lines from the
// glyphs' advances, and drawing the lines' quads.
#include "gfx/glyph_atlas.h"

#include "gfx/text_layout.h"
#include "util/utf8.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

bool is_space(std::uint32_t ch) {
    return ch == ' ' || ch == 0xA0 || (ch >= 0x2000 && ch <= 0x200A) || ch == 0x202F ||
           ch == 0x205F || ch == 0x3000;
}

// A hollow box, the mark of a character that no font can show.
GFX_GlyphBitmap hollow_box(int px) {
    GFX_GlyphBitmap bm;
    bm.m_width = std::max(3, static_cast<int>(std::lround(0.5 * px)));
    bm.m_height = std::max(4, static_cast<int>(std::lround(0.7 * px)));
    bm.m_left = static_cast<int>(std::lround(0.08 * px));
    bm.m_top = bm.m_height;
    bm.m_advance = static_cast<float>(bm.m_width) + 0.2f * static_cast<float>(px);
    const int line = std::max(1, px / 12);
    bm.m_alpha.assign(static_cast<std::size_t>(bm.m_width) * bm.m_height, 0);
    for (int y = 0; y < bm.m_height; ++y)
        for (int x = 0; x < bm.m_width; ++x)
            if (x < line || y < line || x >= bm.m_width - line || y >= bm.m_height - line)
                bm.m_alpha[static_cast<std::size_t>(y) * bm.m_width + x] = 255;
    return bm;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------

int GFX_GlyphAtlas::size_for(float pixels) {
    static const int kSizes[] = {10, 12, 14, 16, 20, 24, 32, 40};
    for (int px : kSizes)
        if (pixels <= static_cast<float>(px)) return px;
    return kMaxPx;
}

GFX_GlyphAtlas::GFX_GlyphAtlas(int texture_size) : m_size(std::clamp(texture_size, 64, 4096)) {}

// Made on the first layout, and again if the context lost it; a new texture holds no glyphs.
void GFX_GlyphAtlas::ensure_texture() {
    if (m_texture != 0 && glIsTexture(m_texture)) return;
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    if (max_size > 0 && m_size > max_size) m_size = max_size;
    GLuint id = 0;
    glGenTextures(1, &id);
    m_texture = id;
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(m_size) * m_size, 0);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, m_size, m_size, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 zeros.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    m_glyphs.clear();
    ++m_generation;
    m_pen_x = m_pen_y = 1;
    m_row_height = 0;
}

// Forgets every glyph and clears the texture, so the lines laid out from now on fill it again.
void GFX_GlyphAtlas::reset() {
    ++m_resets;
    if (m_texture != 0 && glIsTexture(m_texture)) {
        GLuint id = m_texture;
        glDeleteTextures(1, &id);
    }
    m_texture = 0;
    ensure_texture();
}

// ---------------------------------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------------------------------

GFX_TextLine GFX_GlyphAtlas::layout(const std::string& utf8, int px, float max_width) {
    return layout(label_chars(utf8, kMaxChars), px, max_width);
}

GFX_TextLine GFX_GlyphAtlas::layout(const std::vector<std::uint32_t>& chars_in, int px,
                                    float max_width) {
    px = std::clamp(px, 4, kMaxPx);
    std::vector<std::uint32_t> chars(
        chars_in.begin(),
        chars_in.begin() + static_cast<std::ptrdiff_t>(std::min(chars_in.size(), kMaxChars)));
    for (std::uint32_t& ch : chars)
        if (!is_printable_char(ch)) ch = kReplacementChar;
    ensure_texture();

    auto metrics = m_metrics.find(px);
    if (metrics == m_metrics.end()) {
        float ascent = 0.0f, descent = 0.0f;
        m_fonts.line_metrics(px, ascent, descent);
        metrics = m_metrics.emplace(px, std::make_pair(ascent, descent)).first;
    }

    // Every character's advance first (which renders the glyphs), then the quads. NOTE: a
    // texture that fills up half-way is emptied, and the glyphs placed before then go with
    // it; the quad pass renders those again into the fresh texture. Only a line with more
    // glyphs than the whole texture holds could lose some, and kMaxChars glyphs of kMaxPx
    // fit in the default texture many times over.
    const GFX_LineLayout l =
        layout_line(chars, max_width, [&](std::uint32_t ch) { return glyph(ch, px).advance; });
    GFX_TextLine line;
    line.m_width = l.m_width;
    line.m_cut = l.m_cut;
    line.m_ascent = metrics->second.first;
    line.m_descent = metrics->second.second;
    line.m_quads.reserve(l.m_chars.size());
    for (std::size_t i = 0; i < l.m_chars.size(); ++i) {
        const Glyph g = glyph(l.m_chars[i], px);
        if (!g.visible) continue;
        line.m_quads.push_back(GFX_TextLine::Quad{l.m_x[i] + g.x0, g.y0, l.m_x[i] + g.x1, g.y1,
                                                  g.s0, g.t0, g.s1, g.t1});
    }
    return line;
}

const GFX_GlyphAtlas::Glyph& GFX_GlyphAtlas::glyph(std::uint32_t ch, int px) {
    const std::uint64_t key = (static_cast<std::uint64_t>(ch) << 8) | static_cast<unsigned>(px);
    auto it = m_glyphs.find(key);
    if (it != m_glyphs.end()) return it->second;

    GFX_GlyphBitmap bm;
    if (!render(ch, px, bm)) bm = hollow_box(px);
    ++m_rendered;
    Glyph g{};
    g.advance = std::isfinite(bm.m_advance) ? std::max(0.0f, bm.m_advance) : 0.0f;
    int x = 0, y = 0;
    if (bm.m_width > 0 && bm.m_height > 0) {
        if (!pack(bm, x, y)) {
            reset();
            if (!pack(bm, x, y)) bm.m_width = 0;  // larger than the whole texture
        }
    }
    if (bm.m_width > 0 && bm.m_height > 0) {
        glBindTexture(GL_TEXTURE_2D, m_texture);
        GLint alignment = 4;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, bm.m_width, bm.m_height, GL_ALPHA, GL_UNSIGNED_BYTE,
                        bm.m_alpha.data());
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        const float size = static_cast<float>(m_size);
        // The bitmap's top row went to texture row y: t grows downwards through the glyph.
        g.x0 = static_cast<float>(bm.m_left);
        g.x1 = static_cast<float>(bm.m_left + bm.m_width);
        g.y1 = static_cast<float>(bm.m_top);
        g.y0 = static_cast<float>(bm.m_top - bm.m_height);
        g.s0 = static_cast<float>(x) / size;
        g.s1 = static_cast<float>(x + bm.m_width) / size;
        g.t1 = static_cast<float>(y) / size;
        g.t0 = static_cast<float>(y + bm.m_height) / size;
        g.visible = true;
    }
    return m_glyphs.emplace(key, g).first->second;
}

bool GFX_GlyphAtlas::render(std::uint32_t ch, int px, GFX_GlyphBitmap& bm) {
    if (m_fonts.render(ch, px, bm)) return true;
    if (is_space(ch)) {
        bm = GFX_GlyphBitmap();
        bm.m_advance = 0.3f * static_cast<float>(px);
        return true;
    }
    return ch != kReplacementChar && m_fonts.render(kReplacementChar, px, bm);
}

// Rows of glyphs from the top left, one pixel apart so linear filtering never mixes two.
bool GFX_GlyphAtlas::pack(const GFX_GlyphBitmap& bm, int& x, int& y) {
    if (bm.m_width + 2 > m_size || bm.m_height + 2 > m_size) return false;
    if (m_pen_x + bm.m_width + 1 > m_size) {
        m_pen_x = 1;
        m_pen_y += m_row_height + 1;
        m_row_height = 0;
    }
    if (m_pen_y + bm.m_height + 1 > m_size) return false;
    x = m_pen_x;
    y = m_pen_y;
    m_pen_x += bm.m_width + 1;
    m_row_height = std::max(m_row_height, bm.m_height);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

void GFX_GlyphAtlas::set_draw_state() {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
}

void GFX_GlyphAtlas::draw(const GFX_TextLine& line, float x, float y, const Math_Vector4& color) {
    set_draw_state();
    glColor4fv(color.data());
    // Whole pixels keep small text sharp.
    x = std::floor(x + 0.5f);
    y = std::floor(y + 0.5f);
    glBegin(GL_QUADS);
    for (const GFX_TextLine::Quad& q : line.m_quads) {
        glTexCoord2f(q.s0, q.t0);
        glVertex2f(x + q.x0, y + q.y0);
        glTexCoord2f(q.s1, q.t0);
        glVertex2f(x + q.x1, y + q.y0);
        glTexCoord2f(q.s1, q.t1);
        glVertex2f(x + q.x1, y + q.y1);
        glTexCoord2f(q.s0, q.t1);
        glVertex2f(x + q.x0, y + q.y1);
    }
    glEnd();
}

void GFX_GlyphAtlas::draw(const GFX_TextLine& line, const Math_Vector3& origin,
                          const Math_Vector3& right, const Math_Vector3& up, float scale,
                          const Math_Vector3& color) {
    begin_billboard_lines();
    draw_billboard_line(line, origin, right, up, scale, color);
    end_billboard_lines();
}

void GFX_GlyphAtlas::begin_billboard_lines() {
    // A texture the context lost is made anew here, so that lines kept from before are seen to
    // be out of date before they are drawn.
    ensure_texture();
    set_draw_state();
    // The billboard's axes may show the quads from behind.
    glDisable(GL_CULL_FACE);
}

void GFX_GlyphAtlas::draw_billboard_line(const GFX_TextLine& line, const Math_Vector3& origin,
                                         const Math_Vector3& right, const Math_Vector3& up,
                                         float scale, const Math_Vector3& color) {
    glColor3fv(color.data());
    glBegin(GL_QUADS);
    for (const GFX_TextLine::Quad& q : line.m_quads) {
        const Math_Vector3 r0 = right * (q.x0 * scale), r1 = right * (q.x1 * scale);
        const Math_Vector3 u0 = up * (q.y0 * scale), u1 = up * (q.y1 * scale);
        glTexCoord2f(q.s0, q.t0);
        glVertex3fv((origin + r0 + u0).data());
        glTexCoord2f(q.s1, q.t0);
        glVertex3fv((origin + r1 + u0).data());
        glTexCoord2f(q.s1, q.t1);
        glVertex3fv((origin + r1 + u1).data());
        glTexCoord2f(q.s0, q.t1);
        glVertex3fv((origin + r0 + u1).data());
    }
    glEnd();
}

void GFX_GlyphAtlas::end_billboard_lines() {
    // The state the scene pass draws in, as the bitmap font leaves it.
    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
}
