// GFX_WidgetNavigationDial: the turned square, the globe, and the globe and ring drags that turn
// the camera.
#include "widgets/navigation_dial.h"

#include "controller/color_theme.h"
#include "controller/sim_ctrl_nimbra.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float DEGREES_PER_RADIAN = 57.29578399658203f;

}  // namespace

// --- Construction --------------------------------------------------------------------------

GFX_WidgetNavigationDial::GFX_WidgetNavigationDial(UTL_SimCtrlNimbra* controller,
                                                   GFX_WidgetScreen* screen, float x, float y,
                                                   float width, float height, Location location,
                                                   const Math_Vector4& color)
    : GFX_Widget(screen, x, y, width, height, location, color), m_controller(controller) {}

// --- Drawing -------------------------------------------------------------------------------

void GFX_WidgetNavigationDial::draw() {
    const UTL_ColorTheme theme = m_controller ? m_controller->m_color_theme : UTL_ColorTheme();
    apply_texture(m_texture);
    Math_Vector3 a, b, c, d;
    compute_rect(a, b, c, d);
    const Math_Vector3 m = (a + b + c + d) * 0.25f;

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    const Math_Vector4& ring =
        m_drag_dial ? theme.m_nav_widget_dial_color_sel : theme.m_nav_widget_dial_color;
    glColor4fv(ring.data());
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3fv(a.data());
    glTexCoord2f(1.0f, 0.0f);
    glVertex3fv(b.data());
    glTexCoord2f(1.0f, 1.0f);
    glVertex3fv(c.data());
    glTexCoord2f(0.0f, 1.0f);
    glVertex3fv(d.data());
    glEnd();
    glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);

    if (!m_controller) return;
    // The globe is a lit model drawn in the overlay's projection, whose depth range of -100 to
    // 100 holds its radius of 40.
    const Math_Vector4& globe =
        m_drag_globe ? theme.m_nav_widget_globe_color_sel : theme.m_nav_widget_globe_color;
    glColor4fv(globe.data());
    // NOTE: without a usable globe texture the globe would otherwise wear the ring's image,
    // still bound from the square; it is drawn in its plain colour instead.
    apply_texture(m_controller->m_sphere_button_texture);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(m.m_x, m.m_y, m.m_z);
    glRotatef(m_up_down, 1.0f, 0.0f, 0.0f);
    glRotatef(m_left_right - 90.0f, 0.0f, 1.0f, 0.0f);
    m_controller->draw_sphere_button();
    glPopMatrix();
}

// --- Input ---------------------------------------------------------------------------------

bool GFX_WidgetNavigationDial::mouse_move(float x, float y) {
    const Math_Vector3 m = compute_center();
    if (m_drag_globe && m_controller) {
        m_controller->rotate_camera((x - m_last_x) * GLOBE_LEFT_RIGHT_PER_PIXEL,
                                    -(y - m_last_y) * GLOBE_UP_DOWN_PER_PIXEL);
    }
    if (m_drag_dial) {
        Math_Vector3 u = Math_Vector3(x, y, 0.0f) - m;
        Math_Vector3 v = Math_Vector3(m_last_x, m_last_y, 0.0f) - m;
        // NOTE: the previous position may lie on the centre itself (the drag stays on inside
        // the dead zone); it has no direction, so that step measures no angle.
        if (u.length() >= RING_DEAD_ZONE && v.length() > 0.0f) {
            u.normalize();
            v.normalize();
            float angle = std::acos(std::clamp(u.dot(v), -1.0f, 1.0f)) * DEGREES_PER_RADIAN;
            if (angle > 0.0f) {
                // A clockwise sweep on the screen turns the camera's azimuth up.
                if (u.m_x * v.m_y - v.m_x * u.m_y < 0.0f) angle = -angle;
                if (m_controller) m_controller->rotate_camera(angle, 0.0f);
            }
        }
    }
    m_last_x = x;
    m_last_y = y;
    return false;
}

bool GFX_WidgetNavigationDial::mouse_down(float x, float y) {
    const Math_Vector3 m = compute_center();
    m_last_x = x;
    m_last_y = y;
    // A new press ends whatever drag a lost release left behind, so only one drag is ever on.
    m_drag_globe = false;
    m_drag_dial = false;
    const float distance = m.distance(Math_Vector3(x, y, 0.0f));
    if (distance <= GLOBE_RADIUS) {
        m_drag_globe = true;
        return true;
    }
    if (distance <= m_width / 2.0f) {
        m_drag_dial = true;
        return true;
    }
    return false;
}

bool GFX_WidgetNavigationDial::mouse_up(float, float) {
    m_drag_globe = false;
    m_drag_dial = false;
    return false;
}

// --- Helpers -------------------------------------------------------------------------------

void GFX_WidgetNavigationDial::compute_rect(Math_Vector3& a, Math_Vector3& b, Math_Vector3& c,
                                            Math_Vector3& d) {
    float left, right, top, bottom;
    compute_rect(left, right, top, bottom);
    a = Math_Vector3(left, bottom, 0.0f);
    b = Math_Vector3(right, bottom, 0.0f);
    c = Math_Vector3(right, top, 0.0f);
    d = Math_Vector3(left, top, 0.0f);
    const Math_Vector3 m = (a + b + c + d) * 0.25f;
    const float t = m_left_right / DEGREES_PER_RADIAN;
    const float cos_t = std::cos(t);
    const float sin_t = std::sin(t);
    for (Math_Vector3* p : {&a, &b, &c, &d}) {
        const float px = p->m_x - m.m_x;
        const float py = p->m_y - m.m_y;
        p->m_x = m.m_x + px * cos_t + py * sin_t;
        p->m_y = m.m_y - px * sin_t + py * cos_t;
    }
}

Math_Vector3 GFX_WidgetNavigationDial::compute_center() {
    Math_Vector3 a, b, c, d;
    compute_rect(a, b, c, d);
    return (a + b + c + d) * 0.25f;
}
