// GFX_WidgetRoundButton: press, hover and click tracking and the state colours.
#include "widgets/round_button.h"

#include "controller/color_theme.h"
#include "controller/sim_ctrl_nimbra.h"

// --- Construction --------------------------------------------------------------------------

GFX_WidgetRoundButton::GFX_WidgetRoundButton(UTL_SimCtrlNimbra* controller,
                                             GFX_WidgetScreen* screen, float x, float y,
                                             float width, float height, Location location,
                                             const Math_Vector4& color)
    : GFX_Widget(screen, x, y, width, height, location, color), m_controller(controller) {}

// --- Drawing -------------------------------------------------------------------------------

void GFX_WidgetRoundButton::draw() {
    const UTL_ColorTheme theme = m_controller ? m_controller->m_color_theme : UTL_ColorTheme();
    m_color = theme.m_nav_widget_dial_color;
    m_color_sel = theme.m_nav_widget_dial_color_sel;
    draw_rect(current_color());
}

Math_Vector4 GFX_WidgetRoundButton::current_color() const {
    if (m_active || (m_pressed && m_hover)) return m_color_sel;
    if (m_pressed) {
        return Math_Vector4(
            (m_color.m_x + m_color_sel.m_x) * 0.5f, (m_color.m_y + m_color_sel.m_y) * 0.5f,
            (m_color.m_z + m_color_sel.m_z) * 0.5f, (m_color.m_w + m_color_sel.m_w) * 0.5f);
    }
    return m_color;
}

// --- Input ---------------------------------------------------------------------------------

bool GFX_WidgetRoundButton::mouse_move(float x, float y) {
    if (m_pressed && is_inside(x, y)) {
        m_hover = true;
        return true;
    }
    m_hover = false;
    return false;
}

bool GFX_WidgetRoundButton::mouse_down(float x, float y) {
    if (!is_inside(x, y)) return false;
    m_pressed = true;
    m_hover = true;
    return true;
}

bool GFX_WidgetRoundButton::mouse_up(float x, float y) {
    const bool click = m_pressed && is_inside(x, y);
    m_pressed = false;
    m_hover = false;
    return click;
}
