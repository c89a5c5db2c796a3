// GFX_HelpPanel: the list of controls and its drawing in two columns.
#include "widgets/help_panel.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/glyph_atlas.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPad = 14.0f;
constexpr float kColumnGap = 18.0f;
const char* const kTitle = "Controls";

}  // namespace

const std::vector<std::pair<const char*, const char*>>& GFX_HelpPanel::controls() {
    static const std::vector<std::pair<const char*, const char*>> kControls = {
        {"Drag", "turn the globe; let go while moving to spin it"},
        {"Click", "select a person or a thumbnail and fly there"},
        {"Rest the pointer", "show the name of a person or thumbnail"},
        {"Type a name, / or Ctrl+F", "search; the list shows up to 8 people"},
        {"\u2191 \u2193, Enter, Esc", "choose in the list, select, close"},
        {"Wheel, + and \u2212", "move closer or farther"},
        {"\u2190 \u2192 \u2191 \u2193", "turn and tilt the globe"},
        {"Space", "start or stop turning by itself"},
        {"Round buttons", "turn either way, or visit people by chance"},
        {"Shift+C, or the fourth button", "arrange by circles, or in order of arrival"},
        {"Shift+click, Shift+Enter", "the chain of friends from the selected person"},
        {"F1 or ?", "show or hide this list"},
        {"Ctrl+Q", "quit"},
    };
    return kControls;
}

// The keys in the first column, what they do in the second, under a title; the panel in the
// theme's window colour, centred and no larger than the screen.
void GFX_HelpPanel::draw() {
    if (!m_shown || !m_controller || !m_controller->m_glyph_atlas) return;
    GFX_GlyphAtlas& atlas = *m_controller->m_glyph_atlas;
    const UTL_ColorTheme& theme = m_controller->m_color_theme;
    const float w = static_cast<float>(m_controller->m_view_width);
    const float h = static_cast<float>(m_controller->m_view_height);

    // Measured first, laid out again as each line is drawn: a line stays valid only until the
    // atlas next fills up, which laying out others may cause.
    float key_width = 0.0f, action_width = 0.0f;
    for (const auto& c : controls())
        key_width = std::max(key_width, atlas.layout(c.first, kTextPx).m_width);
    const float room = std::max(40.0f, w - 16.0f - 2 * kPad - key_width - kColumnGap);
    for (const auto& c : controls())
        action_width = std::max(action_width, atlas.layout(c.second, kTextPx, room).m_width);
    const float width = 2 * kPad + key_width + kColumnGap + action_width;
    const float height = 2 * kPad + kLineHeight * static_cast<float>(controls().size() + 1);
    m_left = std::floor(std::max(8.0f, (w - width) / 2));
    m_right = m_left + width;
    m_top = std::floor(std::min(h - 8.0f, (h + height) / 2));
    m_bottom = m_top - height;

    const Math_Vector4& back = theme.m_window_color;
    const Math_Vector3& t = theme.m_locator_text_color;
    const Math_Vector4 ink(t.m_x, t.m_y, t.m_z, 1.0f);
    const Math_Vector4 soft(t.m_x, t.m_y, t.m_z, 0.75f);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    glColor4f(back.m_x, back.m_y, back.m_z, 0.96f * back.m_w);
    glRectf(m_left, m_bottom, m_right, m_top);

    float baseline = m_top - kPad - kLineHeight + 6.0f;
    atlas.draw(atlas.layout(kTitle, kTextPx + 3), m_left + kPad, baseline, ink);
    for (const auto& c : controls()) {
        baseline -= kLineHeight;
        atlas.draw(atlas.layout(c.first, kTextPx), m_left + kPad, baseline, ink);
        atlas.draw(atlas.layout(c.second, kTextPx, room), m_left + kPad + key_width + kColumnGap,
                   baseline, soft);
    }
    glDisable(GL_BLEND);
}
