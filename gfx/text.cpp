// GFX_Text: the glyph sheet's loading and the quads of a string, one GL_QUADS batch per draw.
#include "gfx/text.h"

#include "gfx/ogl_texture.h"

#include <GL/gl.h>

namespace {

// The sampled part of a character's cell in texture coordinates: the left half of the cell
// and the lower 0.95 of its height (the top rows of a cell are left out so neighbouring
// glyphs cannot bleed in under linear filtering). False for codes without a cell.
struct GlyphCell {
    float s0, s1, t0, t1;
};

bool glyph_cell(char ch, GlyphCell& cell) {
    const int c = static_cast<signed char>(ch);
    if (c < 0) {
        return false;
    }
    const float col = float(c % 16);
    const float row = float(c / 16);
    cell.s0 = col / 16.0f;
    cell.s1 = (col + 0.5f) / 16.0f;
    cell.t0 = (15.0f - row) / 16.0f;
    cell.t1 = (15.0f - row + 0.95f) / 16.0f;
    return true;
}

// Corners in the order upper right, upper left, lower left, lower right.
void emit_glyph(const GlyphCell& g, const Math_Vector3& p0, const Math_Vector3& p1,
                const Math_Vector3& p2, const Math_Vector3& p3) {
    glTexCoord2f(g.s1, g.t1);
    glVertex3fv(p2.data());
    glTexCoord2f(g.s0, g.t1);
    glVertex3fv(p3.data());
    glTexCoord2f(g.s0, g.t0);
    glVertex3fv(p0.data());
    glTexCoord2f(g.s1, g.t0);
    glVertex3fv(p1.data());
}

}  // namespace

// ---- construction ------------------------------------------------------------------------

GFX_Text::~GFX_Text() { delete m_texture; }

void GFX_Text::read_from_file(const char* path) {
    delete m_texture;
    m_texture = new OGL_Texture2D();
    m_texture->read_from_file(path);
    m_texture->set_wrap_mode(GL_CLAMP);
    m_texture->load();
}

void GFX_Text::init_from_image(GFX_Image* image) {
    delete m_texture;
    m_texture = new OGL_Texture2D();
    m_texture->init_from_image(image);
    m_texture->set_wrap_mode(GL_CLAMP);
    m_texture->load();
}

// ---- drawing -----------------------------------------------------------------------------

void GFX_Text::apply() {
    if (m_texture != nullptr) {
        m_texture->apply();
    }
}

void GFX_Text::draw(const Math_Vector3& origin, const Math_Vector3& right, const Math_Vector3& up,
                    float w, float h, const char* text, const Math_Vector3& color) {
    glColor3fv(color.data());
    set_draw_state();
    // The billboard's axes may show the quads from behind.
    glDisable(GL_CULL_FACE);
    glBegin(GL_QUADS);
    const Math_Vector3 advance = right * w;
    const Math_Vector3 height = up * h;
    for (int i = 0; text != nullptr && text[i] != '\0'; ++i) {
        GlyphCell g;
        if (!glyph_cell(text[i], g)) {
            continue;
        }
        const Math_Vector3 p0 = origin + right * (float(i) * w);
        const Math_Vector3 p1 = p0 + advance;
        emit_glyph(g, p0, p1, p1 + height, p0 + height);
    }
    glEnd();
    restore_draw_state();
    glEnable(GL_CULL_FACE);
}

void GFX_Text::draw(float x, float y, float w, float h, const char* text,
                    const Math_Vector4& color) {
    glColor4fv(color.data());
    set_draw_state();
    glBegin(GL_QUADS);
    for (int i = 0; text != nullptr && text[i] != '\0'; ++i) {
        GlyphCell g;
        if (!glyph_cell(text[i], g)) {
            continue;
        }
        const float left = x + float(i) * w;
        emit_glyph(g, Math_Vector3(left, y, 0), Math_Vector3(left + w, y, 0),
                   Math_Vector3(left + w, y + h, 0), Math_Vector3(left, y + h, 0));
    }
    glEnd();
    restore_draw_state();
}

// ---- helpers -----------------------------------------------------------------------------

void GFX_Text::set_draw_state() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
}

// Lighting on and blending off is the state the scene passes draw in; texturing stays on.
void GFX_Text::restore_draw_state() {
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
}
