// The navigation dial: its globe and ring zones, the turned square, the globe and ring drags
// that turn the controller's camera (dead zone and elevation limit included), and its drawing
// read back from an offscreen frame.
#include "widgets/navigation_dial.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "gfx/shapes.h"
#include "scene/camera.h"
#include "tests/support/offscreen_gl.h"
#include "util/image.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

// A controller with the camera and the elevation limits it has after start, without OpenGL.
struct DialController : UTL_SimCtrlNimbra {
    DialController() {
        create_camera_center();
        m_camera->m_min_up_down = -85.0f;
        m_camera->m_max_up_down = 85.0f;
        m_camera->set_up_down(0.0f);
        m_camera->set_left_right(0.0f);
        m_widget_screen.m_width = 800;
        m_widget_screen.m_height = 600;
    }
    float lr() const { return m_camera->m_left_right; }
    float ud() const { return m_camera->m_up_down; }
};

// The dial as the controller makes it: lower-left corner, 112 pixels, centre about (61, 61).
GFX_WidgetNavigationDial* standard_dial(UTL_SimCtrlNimbra* controller, GFX_WidgetScreen* screen) {
    return new GFX_WidgetNavigationDial(controller, screen, 5, 5, 112, 112,
                                        GFX_Widget::BOTTOM_LEFT, Math_Vector4(1, 1, 1, 1));
}

bool lit(const Rgba& p) { return p.r > 40 || p.g > 40 || p.b > 40; }

}  // namespace

TEST(GFX_WidgetNavigationDial, PressesFallIntoTheGlobeTheRingOrNeither) {
    GFX_WidgetScreen screen{800, 600};
    GFX_WidgetNavigationDial* dial = standard_dial(nullptr, &screen);
    const Math_Vector3 m = dial->compute_center();
    EXPECT_NEAR(m.m_x, 61.0f, 0.001f);
    EXPECT_NEAR(m.m_y, 61.0f, 0.001f);

    EXPECT_TRUE(dial->mouse_down(61, 100));  // 39 pixels out
    EXPECT_TRUE(dial->m_drag_globe);
    EXPECT_FALSE(dial->m_drag_dial);
    EXPECT_FALSE(dial->mouse_up(61, 100));

    EXPECT_TRUE(dial->mouse_down(61, 110));  // 49 pixels out
    EXPECT_TRUE(dial->m_drag_dial);
    EXPECT_FALSE(dial->m_drag_globe);
    dial->mouse_up(300, 300);

    EXPECT_FALSE(dial->mouse_down(61, 118));  // 57 pixels out: beyond the ring
    EXPECT_FALSE(dial->m_drag_dial || dial->m_drag_globe);
    EXPECT_FLOAT_EQ(dial->m_last_x, 61);
    EXPECT_FLOAT_EQ(dial->m_last_y, 118);
    EXPECT_FALSE(dial->mouse_down(117, 117));  // a corner of the square
    EXPECT_FALSE(dial->mouse_down(500, 500));

    // The zones are discs: turning the square changes none of them.
    dial->m_left_right = 45;
    EXPECT_TRUE(dial->mouse_down(61, 110));
    EXPECT_FALSE(dial->mouse_down(117, 117));
    delete dial;
}

TEST(GFX_WidgetNavigationDial, APositiveAngleTurnsTheSquareClockwiseAboutItsCentre) {
    GFX_WidgetScreen screen{800, 600};
    GFX_WidgetNavigationDial* dial = standard_dial(nullptr, &screen);
    Math_Vector3 a, b, c, d;
    dial->compute_rect(a, b, c, d);
    EXPECT_NEAR(a.m_x, 5.0001f, 1e-4f);
    EXPECT_NEAR(a.m_y, 5.0001f, 1e-4f);
    EXPECT_NEAR(c.m_x, 117.0f, 1e-4f);
    EXPECT_NEAR(c.m_y, 117.0f, 1e-4f);

    // A quarter turn clockwise: the lower-left corner goes to the upper left.
    dial->m_left_right = 90;
    dial->compute_rect(a, b, c, d);
    EXPECT_NEAR(a.m_x, 5.0f, 0.01f);
    EXPECT_NEAR(a.m_y, 117.0f, 0.01f);
    EXPECT_NEAR(b.m_x, 5.0f, 0.01f);
    EXPECT_NEAR(b.m_y, 5.0f, 0.01f);
    EXPECT_EQ(a.m_z, 0.0f);
    const Math_Vector3 m = (a + b + c + d) * 0.25f;
    EXPECT_NEAR(m.m_x, 61.0f, 0.01f);
    EXPECT_NEAR(m.m_y, 61.0f, 0.01f);

    // The square follows the screen: a TOP_RIGHT dial moves with it.
    GFX_WidgetNavigationDial corner(nullptr, &screen, -120, -120, 112, 112, GFX_Widget::TOP_RIGHT,
                                    Math_Vector4(1, 1, 1, 1));
    screen.m_width = 1000;
    EXPECT_NEAR(corner.compute_center().m_x, 1000 - 120 + 56, 0.01f);
    delete dial;
}

TEST(GFX_WidgetNavigationDial, AGlobeDragTiltsAndTurnsTheCameraUpToItsElevationLimit) {
    DialController controller;
    GFX_WidgetNavigationDial* dial = standard_dial(&controller, &controller.m_widget_screen);
    ASSERT_TRUE(dial->mouse_down(61, 80));
    // 10 pixels right and 4 up: +4 degrees of azimuth, -1 of elevation. Moves are never taken.
    EXPECT_FALSE(dial->mouse_move(71, 84));
    EXPECT_NEAR(controller.lr(), 4.0f, 1e-4f);
    EXPECT_NEAR(controller.ud(), -1.0f, 1e-4f);

    // Far up and far right: the elevation stops at the limit, the azimuth does not.
    dial->mouse_move(71 + 1000, 84 + 2000);
    EXPECT_FLOAT_EQ(controller.ud(), -85.0f);
    EXPECT_NEAR(controller.lr(), 404.0f, 1e-3f);
    dial->mouse_move(71 + 1000, 84 - 4000);
    EXPECT_FLOAT_EQ(controller.ud(), 85.0f);

    // The release ends the drag but is not taken, so the scene sees it too.
    EXPECT_FALSE(dial->mouse_up(2000, 2000));
    EXPECT_FALSE(dial->m_drag_globe);
    const float lr = controller.lr();
    dial->mouse_move(0, 0);
    EXPECT_FLOAT_EQ(controller.lr(), lr);
    delete dial;
}

TEST(GFX_WidgetNavigationDial, ARingDragTurnsTheCameraByTheAngleSweptAboutTheCentre) {
    DialController controller;
    GFX_WidgetNavigationDial* dial = standard_dial(&controller, &controller.m_widget_screen);
    // A quarter turn clockwise on the screen: +90 degrees; the reverse sweep: back by 90.
    ASSERT_TRUE(dial->mouse_down(111, 61));
    ASSERT_TRUE(dial->m_drag_dial);
    EXPECT_FALSE(dial->mouse_move(61, 11));
    EXPECT_NEAR(controller.lr(), 90.0f, 0.01f);
    EXPECT_NEAR(controller.ud(), 0.0f, 1e-6f);
    dial->mouse_move(111, 61);
    EXPECT_NEAR(controller.lr(), 0.0f, 0.01f);
    // The sweep keeps turning the camera once the pointer leaves the ring.
    dial->mouse_move(61, 300);
    EXPECT_NEAR(controller.lr(), -90.0f, 0.01f);
    dial->mouse_up(61, 300);

    // Inside the 10-pixel dead zone nothing turns, but the drag goes on and the next step
    // measures from there: from direction (3, 4) to straight up is 36.87 degrees
    // anticlockwise.
    controller.m_camera->set_left_right(0);
    ASSERT_TRUE(dial->mouse_down(111, 61));
    dial->mouse_move(64, 65);
    EXPECT_FLOAT_EQ(controller.lr(), 0.0f);
    EXPECT_TRUE(dial->m_drag_dial);
    dial->mouse_move(61, 81);
    EXPECT_NEAR(controller.lr(), -36.87f, 0.01f);

    // A step from the very centre has no direction to measure from: no turn, no NaN.
    const Math_Vector3 m = dial->compute_center();
    dial->mouse_move(m.m_x, m.m_y);
    dial->mouse_move(m.m_x + 20, m.m_y);
    EXPECT_NEAR(controller.lr(), -36.87f, 0.01f);
    EXPECT_TRUE(std::isfinite(controller.lr()));
    dial->mouse_up(0, 0);
    EXPECT_FALSE(dial->m_drag_dial);
    delete dial;
}

TEST(GFX_WidgetNavigationDial, WithoutAControllerOrAScreenTheDialTurnsNothingAndKeepsWorking) {
    GFX_WidgetNavigationDial dial(nullptr, nullptr, 5, 5, 112, 112, GFX_Widget::BOTTOM_LEFT,
                                  Math_Vector4(1, 1, 1, 1));
    EXPECT_TRUE(dial.mouse_down(61, 80));
    EXPECT_FALSE(dial.mouse_move(90, 90));
    EXPECT_FALSE(dial.mouse_up(90, 90));
    EXPECT_TRUE(dial.mouse_down(111, 61));
    EXPECT_FALSE(dial.mouse_move(61, 11));
    EXPECT_FALSE(dial.mouse_up(61, 11));
}

TEST(GFX_WidgetNavigationDial, DrawsTheTurnedSquareInTheRingColourAndTheGlobeInTheGlobeColour) {
    OffscreenGL gl(200, 200);
    ASSERT_TRUE(gl.ok());
    glViewport(0, 0, 200, 200);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 200, 0, 200, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The scene's lighting: one light, colour material following glColor.
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DEPTH_TEST);
    // Models draw from vertex arrays.
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);

    GFX_WidgetScreen screen{200, 200};
    // Without a controller: the square alone, in the default theme's white, no texture.
    GFX_WidgetNavigationDial bare(nullptr, &screen, 5, 5, 112, 112, GFX_Widget::BOTTOM_LEFT,
                                  Math_Vector4(1, 0, 0, 1));
    bare.draw();
    const Rgba p = gl.pixel(61, 61);
    EXPECT_GT(p.r, 250);
    EXPECT_GT(p.g, 250);
    EXPECT_TRUE(lit(gl.pixel(10, 10)));
    EXPECT_FALSE(lit(gl.pixel(120, 120)));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    // Turned by 45 degrees the square's corners are cut off and its points reach further out.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    bare.m_left_right = 45;
    bare.draw();
    EXPECT_FALSE(lit(gl.pixel(10, 10)));
    EXPECT_TRUE(lit(gl.pixel(61, 135)));
    EXPECT_TRUE(lit(gl.pixel(135, 61)));

    // During a ring drag the square takes the highlight colour: less red than white.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    bare.m_left_right = 0;
    ASSERT_TRUE(bare.mouse_down(111, 61));
    bare.draw();
    const Rgba q = gl.pixel(10, 10);
    EXPECT_NEAR(q.r, 0.7 * 255, 3);
    EXPECT_NEAR(q.g, 0.9 * 255, 3);
    bare.mouse_up(0, 0);

    // With a controller and its globe model: the globe covers the centre in the theme's globe
    // colour, tinted with the highlight during a globe drag.
    DialController controller;
    controller.m_color_theme.m_nav_widget_dial_color = Math_Vector4(0, 0, 1, 1);
    controller.m_color_theme.m_nav_widget_globe_color = Math_Vector4(0, 1, 0, 1);
    controller.m_color_theme.m_nav_widget_globe_color_sel = Math_Vector4(1, 0, 0, 1);
    controller.create_sphere_button();
    GFX_WidgetNavigationDial dial(&controller, &screen, 5, 5, 112, 112, GFX_Widget::BOTTOM_LEFT,
                                  Math_Vector4(1, 1, 1, 1));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    dial.draw();
    Rgba centre = gl.pixel(61, 61);
    EXPECT_GT(centre.g, 60);
    EXPECT_LT(centre.r, 30);
    EXPECT_LT(centre.b, 30);
    Rgba ring = gl.pixel(61, 110);
    EXPECT_GT(ring.b, 250);
    EXPECT_LT(ring.g, 5);

    ASSERT_TRUE(dial.mouse_down(61, 61));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    dial.draw();
    centre = gl.pixel(61, 61);
    EXPECT_GT(centre.r, 60);
    EXPECT_LT(centre.g, 30);
    dial.mouse_up(61, 61);

    // A ring image on the square, but no globe image: the globe keeps its plain colour rather
    // than wearing the ring's image.
    unsigned char* pixels = new unsigned char[3]{0, 0, 255};
    GFX_Image* image = new GFX_Image();
    image->set_pixels(pixels, 24, 1, 1);
    OGL_Texture2D* ring_image = new OGL_Texture2D();
    ring_image->init_from_image(image);
    dial.m_texture = ring_image;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    dial.draw();
    centre = gl.pixel(61, 61);
    EXPECT_GT(centre.g, 60);
    EXPECT_TRUE(lit(gl.pixel(61, 110)));
}
