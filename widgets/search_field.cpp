// GFX_SearchField: editing, the list and its highlight, placement, pointer and drawing.
#include "widgets/search_field.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/glyph_atlas.h"
#include "gfx/text_layout.h"
#include "photos/texture_foto.h"
#include "scene/foto.h"
#include "scene/friend.h"
#include "util/utf8.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTopGap = 40.0f;  // below the top bar
constexpr float kMaxWidth = 380.0f;
constexpr float kMinWidth = 200.0f;
constexpr float kSideRoom = 150.0f;  // left for the logo and the docks on either side
constexpr float kPad = 8.0f;
constexpr float kPhoto = 20.0f;
const char* const kPlaceholder = "Type a name";
const char* const kNoMatch = "no match";

void fill_rect(float left, float right, float bottom, float top, const Math_Vector4& c) {
    glDisable(GL_TEXTURE_2D);
    glColor4fv(c.data());
    glRectf(left, bottom, right, top);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Editing and the list
// ---------------------------------------------------------------------------------------------

void GFX_SearchField::open() { m_open = true; }

void GFX_SearchField::close() {
    m_open = false;
    m_pressed = false;
    m_chars.clear();
    m_matches.clear();
    m_highlight = 0;
    m_picked = nullptr;
}

bool GFX_SearchField::type(std::uint32_t ch) {
    if (!m_open || !is_printable_char(ch) || m_chars.size() >= kMaxChars) return false;
    m_chars.push_back(ch);
    return true;
}

bool GFX_SearchField::erase() {
    if (!m_open || m_chars.empty()) return false;
    m_chars.pop_back();
    return true;
}

std::string GFX_SearchField::text() const { return encode_utf8(m_chars); }

void GFX_SearchField::set_matches(const std::vector<GFX_Friend*>& people) {
    m_matches.assign(people.begin(), people.begin() + static_cast<std::ptrdiff_t>(
                                                          std::min(people.size(), kMaxRows)));
    m_highlight = 0;
}

void GFX_SearchField::move(int step) {
    if (!m_open || m_matches.empty()) return;
    const int last = static_cast<int>(std::min(m_matches.size(), m_rows_fit)) - 1;
    m_highlight = std::clamp(m_highlight + step, 0, std::max(last, 0));
}

GFX_Friend* GFX_SearchField::highlighted() const {
    if (m_highlight < 0 || static_cast<std::size_t>(m_highlight) >= m_matches.size())
        return nullptr;
    return m_matches[static_cast<std::size_t>(m_highlight)];
}

// ---------------------------------------------------------------------------------------------
// Placement and pointer
// ---------------------------------------------------------------------------------------------

std::size_t GFX_SearchField::rows_shown() const {
    const std::size_t rows = !m_matches.empty() ? m_matches.size() : (m_chars.empty() ? 0 : 1);
    return std::min(rows, m_rows_fit);
}

void GFX_SearchField::layout(float w, float h) {
    float width = std::clamp(w - 2 * kSideRoom, kMinWidth, kMaxWidth);
    width = std::min(width, std::max(w - 8.0f, 1.0f));
    m_left = std::floor((w - width) / 2);
    m_right = m_left + width;
    m_top = std::max(h - kTopGap, kFieldHeight + 4.0f);
    // As many rows as fit above the bottom edge, at least one.
    const float room = m_top - kFieldHeight - kPad - 4.0f;
    m_rows_fit = std::max<std::size_t>(
        1, std::min<std::size_t>(kMaxRows,
                                 static_cast<std::size_t>(std::max(0.0f, room / kRowHeight))));
    const std::size_t rows = rows_shown();
    m_bottom = m_top - kFieldHeight - (rows > 0 ? rows * kRowHeight + kPad : 0.0f);
    if (m_highlight >= static_cast<int>(m_rows_fit)) m_highlight = static_cast<int>(m_rows_fit) - 1;
}

bool GFX_SearchField::is_inside(float x, float y) const {
    return m_open && x >= m_left && x <= m_right && y >= m_bottom && y <= m_top;
}

int GFX_SearchField::row_at(float x, float y) const {
    if (!is_inside(x, y) || m_matches.empty()) return -1;
    const float below = m_top - kFieldHeight - y;
    if (below < 0) return -1;
    const int row = static_cast<int>(below / kRowHeight);
    return row < static_cast<int>(std::min(m_matches.size(), m_rows_fit)) ? row : -1;
}

bool GFX_SearchField::mouse_move(float x, float y) {
    const int row = row_at(x, y);
    if (row >= 0) m_highlight = row;
    return is_inside(x, y);
}

bool GFX_SearchField::mouse_down(float x, float y) {
    m_pressed = is_inside(x, y);
    return m_pressed;
}

bool GFX_SearchField::mouse_up(float x, float y) {
    if (!m_pressed) return false;
    m_pressed = false;
    const int row = row_at(x, y);
    if (row >= 0) m_picked = m_matches[static_cast<std::size_t>(row)];
    return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

// The box in the theme's window colour, the field a shade darker with the text and a caret,
// then one row per match: the highlighted one in the selected button colour, each with the
// person's small photo and name.
void GFX_SearchField::draw() {
    if (!m_open || !m_controller || !m_controller->m_glyph_atlas) return;
    GFX_GlyphAtlas& atlas = *m_controller->m_glyph_atlas;
    const UTL_ColorTheme& theme = m_controller->m_color_theme;
    const Math_Vector4 back(theme.m_window_color.m_x, theme.m_window_color.m_y,
                            theme.m_window_color.m_z, 0.95f * theme.m_window_color.m_w);
    const Math_Vector3& t = theme.m_locator_text_color;
    const Math_Vector4 ink(t.m_x, t.m_y, t.m_z, 1.0f);
    const Math_Vector4 dim(t.m_x, t.m_y, t.m_z, 0.55f);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    fill_rect(m_left, m_right, m_bottom, m_top, back);
    fill_rect(m_left + 3, m_right - 3, m_top - kFieldHeight + 3, m_top - 3,
              Math_Vector4(t.m_x, t.m_y, t.m_z, 0.08f));

    // The text; a text wider than the field shows its end, where the caret is.
    const float max_text = m_right - m_left - 2 * kPad - 4;
    GFX_TextLine line;
    if (m_chars.empty()) {
        line = atlas.layout(kPlaceholder, kTextPx, max_text);
    } else {
        std::vector<std::uint32_t> shown = m_chars;
        line = atlas.layout(shown, kTextPx);
        while (line.m_width > max_text && shown.size() > 1) {
            shown.erase(shown.begin(), shown.begin() + 2);
            shown.insert(shown.begin(), kEllipsisChar);
            line = atlas.layout(shown, kTextPx);
        }
    }
    const float baseline = m_top - kFieldHeight / 2 - (line.m_ascent - line.m_descent) / 2;
    atlas.draw(line, m_left + kPad, baseline, m_chars.empty() ? dim : ink);
    const float caret = m_left + kPad + (m_chars.empty() ? 0.0f : line.m_width) + 1;
    fill_rect(caret, caret + 1.5f, baseline - line.m_descent, baseline + line.m_ascent, ink);

    const std::size_t rows = rows_shown();
    for (std::size_t i = 0; i < rows; ++i) {
        const float top = m_top - kFieldHeight - static_cast<float>(i) * kRowHeight;
        const float bottom = top - kRowHeight;
        const float row_baseline = bottom + kRowHeight / 2 - (line.m_ascent - line.m_descent) / 2;
        if (m_matches.empty()) {
            atlas.draw(atlas.layout(kNoMatch, kTextPx), m_left + kPad, row_baseline, dim);
            continue;
        }
        if (static_cast<int>(i) == m_highlight) {
            glEnable(GL_BLEND);
            fill_rect(m_left + 3, m_right - 3, bottom + 1, top - 1, theme.m_button_color_sel);
        }
        GFX_Friend* f = m_matches[i];
        float text_left = m_left + kPad;
        GFX_Foto* foto = f->m_foto_square ? f->m_foto_square : f->m_foto;
        if (foto) {
            const bool own = f->m_foto_square ? f->m_has_foto_square : f->m_has_foto;
            const float py = bottom + (kRowHeight - kPhoto) / 2;
            if (foto->get_texture()) {
                // The placeholder takes the colour of the name, as in the docks.
                const Math_Vector4 tint = own ? Math_Vector4(1, 1, 1, 1) : ink;
                glEnable(GL_TEXTURE_2D);
                glColor4fv(tint.data());
                foto->draw_quad(text_left, text_left + kPhoto, py + kPhoto, py);
                glDisable(GL_LIGHTING);  // the photo's draw turns it back on
            }
            text_left += kPhoto + kPad;
        }
        glEnable(GL_BLEND);
        const GFX_TextLine name = atlas.layout(f->m_name, kTextPx, m_right - kPad - text_left);
        atlas.draw(name, text_left, row_baseline, ink);
    }
    glDisable(GL_BLEND);
}
