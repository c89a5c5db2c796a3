// UTL_SimCtrlNimbra: the overlay controls drawn over the globe in pixels: their creation, the
// routing of press, move and release through them before the scene sees an event, their
// animation, and the overlay pass with the top bar and the two logos.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/ogl_texture.h"
#include "gfx/shapes.h"
#include "gfx/text.h"

#include <GL/gl.h>

namespace {

// The maker logo hangs below the bottom edge: only its top 26 pixels show, and the pointer
// test uses the same rectangle.
constexpr float kMakerLeftFromRight = 200.0f;
constexpr float kMakerRightFromRight = 70.0f;
constexpr float kMakerBottom = -104.0f;
constexpr float kMakerTop = 26.0f;
constexpr float kTopBarHeight = 32.0f;

// A rectangle in overlay pixels with the whole texture on it, (0, 0) at the lower left.
void draw_rect(float left, float right, float bottom, float top)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(left, bottom);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(right, bottom);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(right, top);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(left, top);
    glEnd();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation and deletion
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::create_text()
{
    delete m_text;
    m_text = new GFX_Text();
    m_text->read_from_file("./data/config/fixed_font.tga");
}

void UTL_SimCtrlNimbra::create_sphere_button()
{
    delete m_sphere_button;
    m_sphere_button = new GFX_SphereButton(40.0f);
}

// The docks, the dial and the rotate buttons arrive with the widget toolkit; until then the
// overlay has none and every step below skips them.
void UTL_SimCtrlNimbra::create_docks() {}

void UTL_SimCtrlNimbra::create_navigation_widgets() {}

void UTL_SimCtrlNimbra::create_rotate_buttons() { delete_rotate_buttons(); }

void UTL_SimCtrlNimbra::delete_rotate_buttons() { m_rotate_buttons.clear(); }

void UTL_SimCtrlNimbra::delete_navigation_widgets() { m_nav_dial = nullptr; }

void UTL_SimCtrlNimbra::delete_docks()
{
    m_myself_dock = nullptr;
    m_list_dock = nullptr;
}

void UTL_SimCtrlNimbra::add_myself_button() {}

void UTL_SimCtrlNimbra::add_friend_button(GFX_Friend*) {}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::update_buttons(float) {}

void UTL_SimCtrlNimbra::update_navigation_widgets(float) {}

void UTL_SimCtrlNimbra::activate_rotate_button(int) {}

void UTL_SimCtrlNimbra::select_dock_friend(GFX_LocationHolder*) {}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::draw_buttons()
{
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    draw_top_bar();
}

void UTL_SimCtrlNimbra::draw_top_bar()
{
    const float w = static_cast<float>(m_view_width), h = static_cast<float>(m_view_height);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);

    if (m_top_bar_texture) {
        m_top_bar_texture->apply();
        const Math_Vector4& c = m_color_theme.m_top_bar_color;
        glColor4f(c.m_x, c.m_y, c.m_z, c.m_w);
        draw_rect(0.0f, w, h - kTopBarHeight, h);
    }
    if (m_nimbra_texture) {
        m_nimbra_texture->apply();
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        draw_rect(2.0f, 132.0f, h - 132.0f, h - 2.0f);
    }
    if (m_korvel_texture) {
        m_korvel_texture->apply();
        glColor4f(1.0f, 1.0f, 1.0f, m_top_bar_highlighted ? 0.25f : 0.1f);
        draw_rect(w - kMakerLeftFromRight, w - kMakerRightFromRight, kMakerBottom, kMakerTop);
    }
}

// Called by the dial while it draws its globe.
void UTL_SimCtrlNimbra::draw_sphere_button()
{
    if (!m_sphere_button) return;
    if (m_sphere_button_texture) m_sphere_button_texture->apply();
    m_sphere_button->draw();
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

bool UTL_SimCtrlNimbra::mouse_move_buttons(float x, float y)
{
    const float w = static_cast<float>(m_view_width);
    m_top_bar_highlighted = x >= w - kMakerLeftFromRight && x <= w - kMakerRightFromRight &&
                            y >= kMakerBottom && y <= kMakerTop;
    return false;
}

// Every press stops the automatic motion, whether a control takes it or not.
bool UTL_SimCtrlNimbra::mouse_down_buttons(float, float)
{
    m_rotate_mode = 0;
    m_rotate_timer = 0.0f;
    return false;
}

bool UTL_SimCtrlNimbra::mouse_up_buttons(float, float) { return false; }
