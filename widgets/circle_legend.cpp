// GFX_CircleLegend: placement, pointer and drawing of the list of circles.
#include "widgets/circle_legend.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/glyph_atlas.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr float kLeft = 8.0f;
constexpr float kBottom = 150.0f;     // above the dial and the round buttons
constexpr float kRoomAtTop = 170.0f;  // left to the logo and the user's swollen thumbnail
constexpr float kTitle = 26.0f;       // the title row
constexpr float kPad = 8.0f;
constexpr float kSwatch = 12.0f;
const char* const kTitleText = "Circles";

void fill_rect(float left, float right, float bottom, float top, const Math_Vector4& c) {
    glDisable(GL_TEXTURE_2D);
    glColor4fv(c.data());
    glRectf(left, bottom, right, top);
}

std::string thousands(int n) {
    std::string s = std::to_string(n);
    for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3)
        s.insert(static_cast<size_t>(i), ",");
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Placement and pointer
// ---------------------------------------------------------------------------------------------

void GFX_CircleLegend::layout(float w, float h) {
    m_rows = m_hidden = 0;
    if (!m_controller || m_controller->layout() != UTL_SimCtrlNimbra::LAYOUT_CIRCLES) {
        m_pointed = -1;
        return;
    }
    const int circles = static_cast<int>(m_controller->circles().circles().size());
    const float room = h - kRoomAtTop - kBottom - kTitle - kPad;
    int fit = static_cast<int>(std::floor(room / kRowHeight));
    if (fit < 2 || circles == 0) {
        m_pointed = -1;
        return;
    }
    if (circles <= fit) {
        m_rows = circles;
    } else {
        m_rows = fit - 1;  // the last row tells how many more
        m_hidden = circles - m_rows;
    }
    const int lines = m_rows + (m_hidden > 0 ? 1 : 0);
    m_left = kLeft;
    m_right = std::min(kLeft + kWidth, std::max(w - kLeft, kLeft + 1.0f));
    m_bottom = kBottom;
    m_top = kBottom + kPad + kTitle + static_cast<float>(lines) * kRowHeight;
    if (m_pointed >= m_rows) m_pointed = -1;
}

bool GFX_CircleLegend::is_inside(float x, float y) const {
    return shown() && x >= m_left && x <= m_right && y >= m_bottom && y <= m_top;
}

int GFX_CircleLegend::circle_at(float x, float y) const {
    if (!is_inside(x, y)) return -1;
    const float below = m_top - kTitle - y;
    if (below < 0.0f) return -1;
    const int row = static_cast<int>(below / kRowHeight);
    return row < m_rows ? row : -1;
}

bool GFX_CircleLegend::mouse_move(float x, float y) {
    m_pointed = circle_at(x, y);
    return is_inside(x, y);
}

bool GFX_CircleLegend::mouse_down(float x, float y) {
    if (!is_inside(x, y)) return false;
    m_pressed = circle_at(x, y);
    return true;
}

bool GFX_CircleLegend::mouse_up(float x, float y) {
    const int pressed = m_pressed;
    m_pressed = -2;
    if (pressed == -2) return false;
    const int row = circle_at(x, y);
    if (row >= 0 && row == pressed) m_picked = row;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

// The panel in the theme's window colour, the title, then a row per circle: its hue in a small
// square framed in the text colour (so a pale hue shows on a pale panel), its name and its
// size; the row pointed at in the selected button colour.
void GFX_CircleLegend::draw() {
    if (!shown() || !m_controller || !m_controller->m_glyph_atlas) return;
    GFX_GlyphAtlas& atlas = *m_controller->m_glyph_atlas;
    const UTL_ColorTheme& theme = m_controller->m_color_theme;
    const Math_Vector4 back(theme.m_window_color.m_x, theme.m_window_color.m_y,
                            theme.m_window_color.m_z, 0.9f * theme.m_window_color.m_w);
    const Math_Vector3& t = theme.m_locator_text_color;
    const Math_Vector4 ink(t.m_x, t.m_y, t.m_z, 1.0f);
    const Math_Vector4 dim(t.m_x, t.m_y, t.m_z, 0.6f);
    const auto& circles = m_controller->circles().circles();

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    fill_rect(m_left, m_right, m_bottom, m_top, back);

    const GFX_TextLine title = atlas.layout(kTitleText, kTextPx);
    atlas.draw(title, m_left + kPad, m_top - kTitle / 2 - (title.m_ascent - title.m_descent) / 2,
               dim);

    const float count_right = m_right - kPad;
    for (int k = 0; k < m_rows + (m_hidden > 0 ? 1 : 0); ++k) {
        const float top = m_top - kTitle - static_cast<float>(k) * kRowHeight;
        const float bottom = top - kRowHeight;
        const float middle = (top + bottom) / 2;
        if (k == m_rows) {
            int people = 0;
            for (int j = m_rows; j < static_cast<int>(circles.size()); ++j)
                people += circles[static_cast<size_t>(j)].size();
            const std::string more = "and " + thousands(m_hidden) + " smaller circles, " +
                                     thousands(people) + (people == 1 ? " person" : " people");
            const GFX_TextLine line = atlas.layout(more, kTextPx, m_right - m_left - 2 * kPad);
            glEnable(GL_BLEND);
            atlas.draw(line, m_left + kPad, middle - (line.m_ascent - line.m_descent) / 2, dim);
            continue;
        }
        if (k == m_pointed)
            fill_rect(m_left + 3, m_right - 3, bottom + 1, top - 1, theme.m_button_color_sel);
        const Math_Vector3 hue = m_controller->circle_color(k);
        const float sx = m_left + kPad, sy = middle - kSwatch / 2;
        fill_rect(sx - 1, sx + kSwatch + 1, sy - 1, sy + kSwatch + 1, ink);
        fill_rect(sx, sx + kSwatch, sy, sy + kSwatch,
                  Math_Vector4(hue.m_x, hue.m_y, hue.m_z, 1.0f));

        glEnable(GL_BLEND);
        const GFX_TextLine size =
            atlas.layout(thousands(circles[static_cast<size_t>(k)].size()), kTextPx);
        atlas.draw(size, count_right - size.m_width, middle - (size.m_ascent - size.m_descent) / 2,
                   dim);
        const float name_left = sx + kSwatch + kPad;
        const GFX_TextLine name = atlas.layout(m_controller->circle_name(k), kTextPx,
                                               count_right - size.m_width - kPad - name_left);
        atlas.draw(name, name_left, middle - (name.m_ascent - name.m_descent) / 2, ink);
    }
    glDisable(GL_BLEND);
}
