// UTL_SimCtrlNimbra: the overlay controls drawn over the globe in pixels: their creation, the
// routing of press, move and release through them before the scene sees an event, their
// animation, and the overlay pass with the top bar and the two logos.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/glyph_atlas.h"
#include "gfx/ogl_texture.h"
#include "gfx/shapes.h"
#include "gfx/text.h"
#include "scene/camera.h"
#include "scene/location_holder.h"
#include "widgets/dock.h"
#include "widgets/navigation_dial.h"
#include "widgets/round_button.h"

#include <GL/gl.h>

#include <string>

namespace {

// The maker logo hangs below the bottom edge: only its top 26 pixels show, and the pointer
// test uses the same rectangle.
constexpr float kMakerLeftFromRight = 200.0f;
constexpr float kMakerRightFromRight = 70.0f;
constexpr float kMakerBottom = -104.0f;
constexpr float kMakerTop = 26.0f;
constexpr float kTopBarHeight = 32.0f;
constexpr float kDockMargin = 25.0f;
constexpr int kRotateButtons = 3;
constexpr float kCirclesButtonX = 149.0f;  // right of the last rotate button

// A rectangle in overlay pixels with the whole texture on it, (0, 0) at the lower left.
void draw_rect(float left, float right, float bottom, float top) {
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

void UTL_SimCtrlNimbra::create_text() {
    delete m_text;
    m_text = new GFX_Text();
    m_text->read_from_file("./data/config/fixed_font.tga");
    // Its texture and the fonts are made on the first text drawn.
    delete m_glyph_atlas;
    m_glyph_atlas = new GFX_GlyphAtlas();
}

void UTL_SimCtrlNimbra::create_sphere_button() {
    delete m_sphere_button;
    m_sphere_button = new GFX_SphereButton(40.0f);
}

void UTL_SimCtrlNimbra::create_docks() {
    delete_docks();
    m_myself_dock = new GFX_Dock(this);
    m_myself_dock->m_orientation = GFX_Dock::LEFT_COLUMN;
    m_myself_dock->m_margin = kDockMargin;
    m_myself_dock->m_widget_size = 64.0f;
    m_myself_dock->m_widget_size_max = 128.0f;

    m_list_dock = new GFX_Dock(this);
    m_list_dock->m_orientation = GFX_Dock::RIGHT_COLUMN;
    m_list_dock->m_margin = kDockMargin;
    m_list_dock->m_widget_size = 48.0f;
    m_list_dock->m_widget_size_max = 96.0f;
    m_list_dock->m_ruler_width = 16.0f;
    m_list_dock->load_ruler_texture("./data/config/ruler.tga");

    // NOTE: people who arrived before the docks existed (or who were in the docks these
    // replace) get their thumbnails now; otherwise they would never appear in a dock.
    add_myself_button();
    for (GFX_Friend* f : m_friends) add_friend_button(f);
}

void UTL_SimCtrlNimbra::delete_docks() {
    // The thumbnails go with their docks; the people they show are the scene's.
    delete m_myself_dock;
    m_myself_dock = nullptr;
    delete m_list_dock;
    m_list_dock = nullptr;
}

// The docks stay (with their ruler); only the thumbnails go.
void UTL_SimCtrlNimbra::clear_dock_thumbnails() {
    for (GFX_Dock* dock : {m_myself_dock, m_list_dock}) {
        if (!dock) continue;
        for (GFX_WidgetDocked* w : dock->m_widgets) delete w;
        dock->m_widgets.clear();
        dock->m_clicked_widget = nullptr;
        dock->m_pressed = false;
    }
}

void UTL_SimCtrlNimbra::create_navigation_widgets() {
    delete_navigation_widgets();
    m_nav_dial = new GFX_WidgetNavigationDial(this, &m_widget_screen, 5.0f, 5.0f, 112.0f, 112.0f,
                                              GFX_Widget::BOTTOM_LEFT,
                                              m_color_theme.m_nav_widget_dial_color);
    m_nav_dial->load_texture("./data/config/dial.tga");
}

void UTL_SimCtrlNimbra::delete_navigation_widgets() {
    delete m_nav_dial;
    m_nav_dial = nullptr;
}

// Button k starts mode k + 1. Button 0 overlaps the dial's lower-left corner and is drawn over
// it; the dial's round zones still win a press there (it is asked first).
void UTL_SimCtrlNimbra::create_rotate_buttons() {
    delete_rotate_buttons();
    const float xs[kRotateButtons] = {1.0f, 93.0f, 121.0f};
    for (int i = 0; i < kRotateButtons; ++i) {
        auto* b = new GFX_WidgetRoundButton(this, &m_widget_screen, xs[i], 1.0f, 28.0f, 28.0f,
                                            GFX_Widget::BOTTOM_LEFT,
                                            m_color_theme.m_nav_widget_dial_color);
        const std::string path = "./data/config/rot_but_" + std::to_string(i + 1) + ".tga";
        b->load_texture(path.c_str());
        m_rotate_buttons.push_back(b);
    }
    m_circles_button =
        new GFX_WidgetRoundButton(this, &m_widget_screen, kCirclesButtonX, 1.0f, 28.0f, 28.0f,
                                  GFX_Widget::BOTTOM_LEFT, m_color_theme.m_nav_widget_dial_color);
    m_circles_button->load_texture("./data/config/circles_but.tga");
}

void UTL_SimCtrlNimbra::delete_rotate_buttons() {
    for (GFX_WidgetRoundButton* b : m_rotate_buttons) delete b;
    m_rotate_buttons.clear();
    delete m_circles_button;
    m_circles_button = nullptr;
}

// NOTE: a repeated add_myself replaces the user. The myself dock shows only the current user,
// so its thumbnail moves to the new person instead of a second one being added; the old person
// stays alive in m_retired_friends meanwhile.
void UTL_SimCtrlNimbra::add_myself_button() {
    if (!m_myself_dock || !m_myself) return;
    for (GFX_WidgetDocked* w : m_myself_dock->m_widgets) {
        if (auto* wf = dynamic_cast<GFX_WidgetDockedFriend*>(w)) {
            wf->m_friend = m_myself;
            wf->m_selected = true;
            return;
        }
    }
    auto* w = new GFX_WidgetDockedFriend(this, m_myself);
    w->m_selected = true;
    m_myself_dock->add_widget(w);
}

void UTL_SimCtrlNimbra::add_friend_button(GFX_Friend* f) {
    if (!m_list_dock || !f) return;
    m_list_dock->add_widget(new GFX_WidgetDockedFriend(this, f));
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

// The docks ease their thumbnails and scroll; the dial and the buttons have nothing to animate.
void UTL_SimCtrlNimbra::update_buttons(float dt) {
    if (m_myself_dock) m_myself_dock->update(dt);
    if (m_list_dock) m_list_dock->update(dt);
}

// The dial mirrors the camera, whatever turned it.
void UTL_SimCtrlNimbra::update_navigation_widgets(float dt) {
    if (!m_nav_dial) return;
    if (m_camera) {
        m_nav_dial->m_left_right = m_camera->m_left_right;
        m_nav_dial->m_up_down = m_camera->m_up_down;
    }
    m_nav_dial->update(dt);
}

void UTL_SimCtrlNimbra::activate_rotate_button(int index) {
    for (size_t i = 0; i < m_rotate_buttons.size(); ++i)
        if (m_rotate_buttons[i]) m_rotate_buttons[i]->m_active = static_cast<int>(i) == index;
}

void UTL_SimCtrlNimbra::select_dock_friend(GFX_LocationHolder* h) {
    auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h);
    for (GFX_Dock* dock : {m_myself_dock, m_list_dock}) {
        if (!dock) continue;
        for (GFX_WidgetDocked* w : dock->m_widgets)
            if (auto* wf = dynamic_cast<GFX_WidgetDockedFriend*>(w))
                wf->m_selected = hf && hf->find_friend(wf->m_friend);
    }
    if (m_list_dock) m_list_dock->m_scroll_to_selected = true;
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

// The dial, the rotate buttons over it, the top bar and logos, then the docks on top, so a
// swollen thumbnail covers the logo rather than the other way round; the status line last, so
// nothing hides what the program is waiting for.
void UTL_SimCtrlNimbra::draw_buttons() {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    if (m_nav_dial) m_nav_dial->draw();
    for (GFX_WidgetRoundButton* b : m_rotate_buttons)
        if (b) b->draw();
    if (m_circles_button) {
        m_circles_button->m_active = m_layout == LAYOUT_CIRCLES;
        m_circles_button->draw();
    }
    draw_top_bar();
    draw_card();
    if (m_myself_dock) m_myself_dock->draw();
    if (m_list_dock) m_list_dock->draw();
    m_status_line.draw(m_text, static_cast<float>(m_view_width), static_cast<float>(m_view_height));
    draw_circle_overlay();
    draw_find_overlay();
}

void UTL_SimCtrlNimbra::draw_top_bar() {
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
void UTL_SimCtrlNimbra::draw_sphere_button() {
    if (!m_sphere_button) return;
    if (m_sphere_button_texture) m_sphere_button_texture->apply();
    m_sphere_button->draw();
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

// The dial sees every move (it never takes one); a pressed rotate button takes moves inside
// it, and then the docks and the logo keep their last state.
bool UTL_SimCtrlNimbra::mouse_move_buttons(float x, float y) {
    mouse_move_find(x, y);
    mouse_move_circles(x, y);
    if (m_nav_dial && m_nav_dial->mouse_move(x, y)) return true;
    for (GFX_WidgetRoundButton* b : m_rotate_buttons)
        if (b && b->mouse_move(x, y)) return true;
    if (m_circles_button && m_circles_button->mouse_move(x, y)) return true;
    if (m_myself_dock) m_myself_dock->mouse_move(x, y);
    if (m_list_dock) m_list_dock->mouse_move(x, y);

    const float w = static_cast<float>(m_view_width);
    m_top_bar_highlighted = x >= w - kMakerLeftFromRight && x <= w - kMakerRightFromRight &&
                            y >= kMakerBottom && y <= kMakerTop;
    return false;
}

// Every press stops the automatic motion, whether a control takes it or not. Then it goes to
// the first control that takes it: the dial, rotate buttons 0 to 2, the myself dock, the list
// dock.
bool UTL_SimCtrlNimbra::mouse_down_buttons(float x, float y) {
    m_rotate_mode = 0;
    m_rotate_timer = 0.0f;
    for (GFX_WidgetRoundButton* b : m_rotate_buttons)
        if (b) b->m_active = false;

    press_outside_card(x, y);
    if (mouse_down_find(x, y)) return true;
    if (mouse_down_circles(x, y)) return true;
    if (m_nav_dial && m_nav_dial->mouse_down(x, y)) return true;
    for (GFX_WidgetRoundButton* b : m_rotate_buttons)
        if (b && b->mouse_down(x, y)) return true;
    if (m_circles_button && m_circles_button->mouse_down(x, y)) return true;
    if (m_myself_dock && m_myself_dock->mouse_down(x, y)) return true;
    if (m_list_dock && m_list_dock->mouse_down(x, y)) return true;
    // After the docks: a swollen thumbnail reaches over the card's edge.
    if (mouse_down_card(x, y)) return true;
    return false;
}

// A rotate button's click starts its motion; the circles button's switches the layout; a
// thumbnail's click selects its person; a release over the maker logo opens the About page and
// still reaches the scene.
bool UTL_SimCtrlNimbra::mouse_up_buttons(float x, float y) {
    if (mouse_up_find(x, y)) return true;
    if (mouse_up_circles(x, y)) return true;
    if (m_nav_dial && m_nav_dial->mouse_up(x, y)) return true;

    for (size_t i = 0; i < m_rotate_buttons.size(); ++i) {
        GFX_WidgetRoundButton* b = m_rotate_buttons[i];
        if (!b || !b->mouse_up(x, y)) continue;
        activate_rotate_button(static_cast<int>(i));
        m_cam_transition = false;
        m_rotate_mode = static_cast<int>(i) + 1;
        // The random jumps start at once instead of after the usual wait.
        if (i == 2) m_rotate_timer = 5.0f;
        return true;
    }
    if (m_circles_button && m_circles_button->mouse_up(x, y)) {
        set_layout(m_layout == LAYOUT_CIRCLES ? LAYOUT_ARRIVAL : LAYOUT_CIRCLES);
        return true;
    }

    // Both docks hear the release so neither keeps a press; the myself dock wins a tie.
    GFX_WidgetDocked* clicked = nullptr;
    if (m_list_dock && m_list_dock->mouse_up(x, y)) clicked = m_list_dock->m_clicked_widget;
    if (m_myself_dock && m_myself_dock->mouse_up(x, y)) clicked = m_myself_dock->m_clicked_widget;
    if (clicked) {
        select_thumbnail(clicked);
        return true;
    }
    if (mouse_up_card(x, y)) return true;

    if (m_top_bar_highlighted && m_open_url) m_open_url(ABOUT_PAGE);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

// A thumbnail click selects its person exactly as a click on the person's locator does. A
// person without a locator yet (not laid out) is selected in the docks only, and the globe's
// selection is cleared so it does not go on showing somebody else.
void UTL_SimCtrlNimbra::select_thumbnail(GFX_WidgetDocked* clicked) {
    for (GFX_Dock* dock : {m_myself_dock, m_list_dock}) {
        if (!dock) continue;
        for (GFX_WidgetDocked* w : dock->m_widgets)
            if (auto* wf = dynamic_cast<GFX_WidgetDockedFriend*>(w)) wf->m_selected = false;
    }
    auto* cf = dynamic_cast<GFX_WidgetDockedFriend*>(clicked);
    if (!cf) return;
    cf->m_selected = true;
    select_friend(cf->m_friend);
}
