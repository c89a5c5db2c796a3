// The overlay's base widget and push button: anchored placement and its edge rule, following a
// resized screen, the button's press/move/release sequences and state colours, and drawing read
// back from an offscreen frame.
#include "widgets/round_button.h"
#include "widgets/widget.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "tests/support/offscreen_gl.h"
#include "util/image.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const Math_Vector4 kGrey(0.5f, 0.5f, 0.5f, 1.0f);

void expect_rect(GFX_Widget& w, float left, float right, float top, float bottom) {
    float l, r, t, b;
    w.compute_rect(l, r, t, b);
    EXPECT_FLOAT_EQ(l, left);
    EXPECT_FLOAT_EQ(r, right);
    EXPECT_FLOAT_EQ(t, top);
    EXPECT_FLOAT_EQ(b, bottom);
}

bool near(const Rgba& p, int r, int g, int b) {
    return std::abs(p.r - r) <= 3 && std::abs(p.g - g) <= 3 && std::abs(p.b - b) <= 3;
}

// A black frame in the overlay's pixel projection, lighting on as the scene leaves it.
struct Overlay {
    OffscreenGL gl;
    Overlay(int w, int h) : gl(w, h) {
        glMatrixMode(GL_PROJECTION);
        glOrtho(0, w, 0, h, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_LIGHTING);
    }
};

// A 2 x 1 texture: red texel on the left (s < 0.5), blue on the right.
OGL_Texture2D* red_blue_texture() {
    GFX_Image* image = new GFX_Image();
    image->set_pixels(new unsigned char[6]{255, 0, 0, 0, 0, 255}, 24, 2, 1);
    OGL_Texture2D* texture = new OGL_Texture2D();
    texture->set_mag_filter(GL_NEAREST);
    texture->init_from_image(image);
    return texture;
}

}  // namespace

TEST(GFX_Widget, EveryAnchorPlacesTheOffsetsFromItsScreenPoint) {
    GFX_WidgetScreen screen{800, 600};
    const float origins[][3] = {{GFX_Widget::TOP_LEFT, 0, 600},
                                {GFX_Widget::TOP_RIGHT, 800, 600},
                                {GFX_Widget::BOTTOM_LEFT, 0, 0},
                                {GFX_Widget::BOTTOM_RIGHT, 800, 0},
                                {GFX_Widget::MIDDLE_LEFT, 0, 300},
                                {GFX_Widget::MIDDLE_RIGHT, 800, 300},
                                {GFX_Widget::TOP_CENTER, 400, 600},
                                {GFX_Widget::BOTTOM_CENTER, 400, 0},
                                {GFX_Widget::CENTER, 400, 300},
                                {9, 0, 0},
                                {-1, 0, 0}};  // unknown locations: the origin
    for (const auto& o : origins) {
        SCOPED_TRACE(o[0]);
        GFX_Widget w(&screen, -20, 7, 30, 12, GFX_Widget::Location(int(o[0])), kGrey);
        expect_rect(w, o[1] - 20 + 0.0001f, o[1] + 10, o[2] + 19, o[2] + 7 + 0.0001f);
    }
    GFX_Widget loose(nullptr, -40, -40, 32, 32, GFX_Widget::TOP_RIGHT, kGrey);
    expect_rect(loose, -40 + 0.0001f, -8, -8, -40 + 0.0001f);

    // A point on the nominal left or bottom edge is outside, one on the right or top inside,
    // so neighbours sharing an edge never both claim it.
    GFX_Widget dial(&screen, 5, 5, 112, 112, GFX_Widget::BOTTOM_LEFT, kGrey);
    EXPECT_FALSE(dial.is_inside(5, 50));
    EXPECT_FALSE(dial.is_inside(50, 5));
    EXPECT_TRUE(dial.is_inside(117, 117));
    EXPECT_FALSE(dial.is_inside(117.01f, 60));
    GFX_Widget corner(&screen, -40, -40, 32, 32, GFX_Widget::TOP_RIGHT, kGrey);
    EXPECT_FALSE(corner.is_inside(760, 570));
    EXPECT_FALSE(corner.is_inside(770, 560));
    EXPECT_TRUE(corner.is_inside(792, 592));
    GFX_Widget centre(&screen, -16, -16, 32, 32, GFX_Widget::CENTER, kGrey);
    EXPECT_FALSE(centre.is_inside(384, 300));
    EXPECT_TRUE(centre.is_inside(416, 316));

    // Resizing the screen moves the top-right widget with no call on it.
    screen.m_width = 1024;
    screen.m_height = 300;
    expect_rect(corner, 984.0001f, 1016, 292, 260.0001f);
    EXPECT_TRUE(corner.is_inside(1000, 280));
    EXPECT_FALSE(corner.is_inside(780, 580));
}

TEST(GFX_WidgetRoundButton, ClicksOnlyWhenPressedAndReleasedInsideWhereverThePointerWentBetween) {
    GFX_WidgetScreen screen{800, 600};
    GFX_WidgetRoundButton b(nullptr, &screen, 93, 1, 28, 28, GFX_Widget::BOTTOM_LEFT, kGrey);
    // Press, leave, release outside: no click, and the button is released.
    EXPECT_TRUE(b.mouse_down(100, 10));
    EXPECT_FALSE(b.mouse_move(300, 300));
    EXPECT_TRUE(b.m_pressed && !b.m_hover);
    EXPECT_FALSE(b.mouse_up(300, 300));
    EXPECT_FALSE(b.m_pressed || b.m_hover);
    // Press, leave, come back, release inside: a click.
    EXPECT_TRUE(b.mouse_down(100, 10));
    EXPECT_FALSE(b.mouse_move(300, 300));
    EXPECT_TRUE(b.mouse_move(105, 15));
    EXPECT_TRUE(b.mouse_up(105, 15));
    EXPECT_FALSE(b.m_pressed || b.m_hover);
    // A press outside is not taken, so moving in and releasing there is no click; nor is a
    // second release after a click.
    EXPECT_FALSE(b.mouse_down(300, 300));
    EXPECT_FALSE(b.mouse_move(100, 10));
    EXPECT_FALSE(b.mouse_up(100, 10));
    // None of it touches the owner's active mark.
    b.m_active = true;
    EXPECT_TRUE(b.mouse_down(100, 10));
    EXPECT_TRUE(b.mouse_up(100, 10));
    EXPECT_FALSE(b.mouse_up(100, 10));
    EXPECT_TRUE(b.m_active);
}

TEST(GFX_WidgetRoundButton, StateColoursComeFromTheThemeAtEveryDraw) {
    Overlay o(64, 64);
    ASSERT_TRUE(o.gl.ok());
    GFX_WidgetScreen screen{64, 64};
    UTL_SimCtrlNimbra controller;
    controller.m_color_theme.m_nav_widget_dial_color = Math_Vector4(0, 1, 0, 1);
    controller.m_color_theme.m_nav_widget_dial_color_sel = Math_Vector4(0, 0, 1, 0);
    // The constructor's red counts only until the first draw.
    GFX_WidgetRoundButton b(&controller, &screen, 10, 10, 20, 20, GFX_Widget::BOTTOM_LEFT,
                            Math_Vector4(1, 0, 0, 1));
    b.draw();
    EXPECT_TRUE(near(o.gl.pixel(20, 20), 0, 255, 0));
    // Active: the highlight, though the pointer is elsewhere.
    b.m_active = true;
    controller.m_color_theme.m_nav_widget_dial_color_sel = Math_Vector4(0, 0, 1, 1);
    b.draw();
    EXPECT_TRUE(near(o.gl.pixel(20, 20), 0, 0, 255));
    b.m_active = false;
    // Pressed inside: the highlight; pressed outside: halfway, alpha included.
    controller.m_color_theme.m_nav_widget_dial_color_sel = Math_Vector4(0, 0, 1, 0);
    ASSERT_TRUE(b.mouse_down(20, 20));
    EXPECT_TRUE(b.current_color() == b.m_color_sel);
    b.mouse_move(50, 50);
    b.draw();
    EXPECT_TRUE(b.current_color() == Math_Vector4(0, 0.5f, 0.5f, 0.5f));
    b.mouse_up(50, 50);
    EXPECT_TRUE(b.current_color() == b.m_color);

    // Without a controller: the default theme's colours.
    GFX_WidgetRoundButton plain(nullptr, &screen, 40, 10, 20, 20, GFX_Widget::BOTTOM_LEFT, kGrey);
    plain.m_active = true;
    plain.draw();
    EXPECT_TRUE(near(o.gl.pixel(50, 20), int(0.7f * 255), int(0.9f * 255), 255));
}

TEST(GFX_Widget, DrawsWhereItIsPlacedTexturedOrInItsPlainColourWhenTheImageIsMissing) {
    Overlay o(200, 100);
    ASSERT_TRUE(o.gl.ok());
    GFX_WidgetScreen screen{200, 100};
    // 40 x 20 pixels, 10 in from the top-right corner; s runs left to right.
    GFX_Widget w(&screen, -50, -30, 40, 20, GFX_Widget::TOP_RIGHT, Math_Vector4(1, 1, 1, 1));
    w.m_texture = red_blue_texture();
    glEnable(GL_BLEND);
    w.draw();
    EXPECT_TRUE(near(o.gl.pixel(155, 80), 255, 0, 0));
    EXPECT_TRUE(near(o.gl.pixel(185, 80), 0, 0, 255));
    EXPECT_EQ(o.gl.count([](const Rgba& p) { return p.r || p.g || p.b; }), 40 * 20);
    EXPECT_EQ(o.gl.count(150, 70, 190, 90, [](const Rgba& p) { return p.r || p.g || p.b; }), 800);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    // An image that does not read, with another texture still bound and enabled from the
    // control before: the plain colour. The button draws its theme colour the same way.
    GFX_Widget missing(&screen, 0, 0, 20, 20, GFX_Widget::BOTTOM_LEFT, Math_Vector4(0, 1, 0, 1));
    EXPECT_FALSE(missing.load_texture("./data/config/no_such_texture.tga"));
    ASSERT_NE(missing.m_texture, nullptr);
    w.m_texture->apply();
    glEnable(GL_TEXTURE_2D);
    missing.draw();
    EXPECT_TRUE(near(o.gl.pixel(10, 10), 0, 255, 0));
    GFX_WidgetRoundButton button(nullptr, &screen, 30, 0, 20, 20, GFX_Widget::BOTTOM_LEFT, kGrey);
    EXPECT_FALSE(button.load_texture(nullptr));
    button.draw();
    EXPECT_TRUE(near(o.gl.pixel(40, 10), 255, 255, 255));

    // A real image uploads at once and repeats; loading again replaces it.
    EXPECT_TRUE(missing.load_texture("./data/config/rot_but_1.tga"));
    EXPECT_EQ(missing.m_texture->get_wrap_mode(), GL_REPEAT);
    EXPECT_TRUE(missing.load_texture("./data/config/rot_but_2.tga"));
    missing.clear();
    EXPECT_EQ(missing.m_texture, nullptr);
}
