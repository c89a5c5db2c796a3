// GFX_HoverLabel: the wait on a person, the box's placement and its drawing.
#include "widgets/hover_label.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/glyph_atlas.h"
#include "scene/friend.h"

#include <GL/gl.h>

#include <algorithm>

namespace {

// The box's corner from the pointer's tip: a little to the right and below, clear of the
// arrow of a usual pointer.
constexpr float kRightOfPointer = 14.0f;
constexpr float kBelowPointer = 20.0f;
constexpr float kScreenMargin = 2.0f;
constexpr float kMaxWidth = 360.0f;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

void GFX_HoverLabel::update(GFX_Friend* under_pointer, float x, float y, float dt) {
    if (under_pointer != m_friend) {
        m_friend = under_pointer;
        m_timer = 0.0f;
    } else if (m_friend && m_timer < kDelay) {
        m_timer += dt;
    }
    m_x = x;
    m_y = y;
}

void GFX_HoverLabel::hide() {
    m_friend = nullptr;
    m_timer = 0.0f;
}

void GFX_HoverLabel::place(float x, float y, float w, float h, float screen_w, float screen_h,
                           float& left, float& bottom) {
    left = x + kRightOfPointer;
    if (left + w > screen_w - kScreenMargin) left = x - kRightOfPointer - w;
    bottom = y - kBelowPointer - h;
    if (bottom < kScreenMargin) bottom = y + kBelowPointer;
    left = std::max(kScreenMargin, std::min(left, screen_w - kScreenMargin - w));
    bottom = std::max(kScreenMargin, std::min(bottom, screen_h - kScreenMargin - h));
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

void GFX_HoverLabel::draw() {
    GFX_Friend* f = shown();
    if (!f || !m_controller || !m_controller->m_glyph_atlas) return;
    GFX_GlyphAtlas& atlas = *m_controller->m_glyph_atlas;
    const UTL_ColorTheme& theme = m_controller->m_color_theme;
    const float screen_w = static_cast<float>(m_controller->m_view_width);
    const float screen_h = static_cast<float>(m_controller->m_view_height);

    const float max_text = std::min(kMaxWidth, screen_w - 2 * (kScreenMargin + kPadding));
    const GFX_TextLine line = atlas.layout(f->m_name.empty() ? std::string("?") : f->m_name,
                                           kTextPx, std::max(max_text, 1.0f));
    const float w = line.m_width + 2 * kPadding;
    const float h = line.m_ascent + line.m_descent + kPadding;
    float left = 0.0f, bottom = 0.0f;
    place(m_x, m_y, w, h, screen_w, screen_h, left, bottom);
    m_left = left, m_right = left + w, m_bottom = bottom, m_top = bottom + h;

    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    const Math_Vector4& back = theme.m_window_color;
    glColor4f(back.m_x, back.m_y, back.m_z, back.m_w * 0.94f);
    glRectf(m_left, m_bottom, m_right, m_top);
    const Math_Vector3& ink = theme.m_locator_text_color;
    atlas.draw(line, left + kPadding, bottom + 0.5f * kPadding + line.m_descent,
               Math_Vector4(ink.m_x, ink.m_y, ink.m_z, 1.0f));
}
