// The navigation dial: its globe and ring zones, the turned square, the globe and ring drags
// that turn the controller's camera (dead zone and elevation limit included), and its drawing
// read back from an offscreen frame.
#include "widgets/navigation_dial.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "scene/camera.h"
#include "tests/support/offscreen_gl.h"
#include "util/image.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// A controller with the camera and elevation limits it has after start, without OpenGL.
struct DialController : UTL_SimCtrlNimbra {
    DialController() {
        create_camera_center();
        m_camera->m_min_up_down = -85.0f;
        m_camera->m_max_up_down = 85.0f;
        m_widget_screen = GFX_WidgetScreen{800, 600};
    }
    float lr() const { return m_camera->m_left_right; }
    float ud() const { return m_camera->m_up_down; }
};

// The dial as the controller makes it: lower-left corner, 112 pixels, centre about (61, 61).
struct StandardDial : GFX_WidgetNavigationDial {
    StandardDial(UTL_SimCtrlNimbra* controller, GFX_WidgetScreen* screen)
        : GFX_WidgetNavigationDial(controller, screen, 5, 5, 112, 112, BOTTOM_LEFT,
                                   Math_Vector4(1, 0, 0, 1)) {}
};

bool lit(const Rgba& p) { return p.r > 40 || p.g > 40 || p.b > 40; }

}  // namespace

TEST(GFX_WidgetNavigationDial, PressesFallIntoTheGlobeTheRingOrNeither) {
    GFX_WidgetScreen screen{800, 600};
    StandardDial dial(nullptr, &screen);
    EXPECT_NEAR(dial.compute_center().m_x, 61.0f, 0.001f);
    EXPECT_NEAR(dial.compute_center().m_y, 61.0f, 0.001f);
    EXPECT_TRUE(dial.mouse_down(61, 100));  // 39 pixels out
    EXPECT_TRUE(dial.m_drag_globe && !dial.m_drag_dial);
    EXPECT_FALSE(dial.mouse_move(90, 90));  // no controller: nothing to turn, no harm
    EXPECT_FALSE(dial.mouse_up(61, 100));
    EXPECT_TRUE(dial.mouse_down(61, 110));  // 49 pixels out
    EXPECT_TRUE(dial.m_drag_dial && !dial.m_drag_globe);
    EXPECT_FALSE(dial.mouse_move(20, 61));
    EXPECT_FALSE(dial.mouse_up(300, 300));
    EXPECT_FALSE(dial.m_drag_dial);
    EXPECT_FALSE(dial.mouse_down(61, 118));  // 57 pixels out: beyond the ring
    EXPECT_FALSE(dial.m_drag_dial || dial.m_drag_globe);
    EXPECT_FLOAT_EQ(dial.m_last_y, 118);
    EXPECT_FALSE(dial.mouse_down(117, 117));  // a corner of the square
    // The zones are discs: turning the square changes neither.
    dial.m_left_right = 45;
    EXPECT_TRUE(dial.mouse_down(61, 110));
    EXPECT_FALSE(dial.mouse_down(117, 117));

    // A positive angle turns the square clockwise: at 90 degrees the lower-left corner is at
    // the upper left. Without a screen the square sits at its bare offsets.
    Math_Vector3 a, b, c, d;
    dial.m_left_right = 90;
    dial.compute_rect(a, b, c, d);
    EXPECT_NEAR(a.m_x, 5.0f, 0.01f);
    EXPECT_NEAR(a.m_y, 117.0f, 0.01f);
    EXPECT_NEAR(b.m_y, 5.0f, 0.01f);
    StandardDial loose(nullptr, nullptr);
    EXPECT_TRUE(loose.mouse_down(61, 100));
}

TEST(GFX_WidgetNavigationDial, AGlobeDragTiltsAndTurnsTheCameraUpToItsElevationLimit) {
    DialController controller;
    StandardDial dial(&controller, &controller.m_widget_screen);
    ASSERT_TRUE(dial.mouse_down(61, 80));
    // 10 pixels right and 4 up: +4 degrees of azimuth, -1 of elevation. Moves are never taken.
    EXPECT_FALSE(dial.mouse_move(71, 84));
    EXPECT_NEAR(controller.lr(), 4.0f, 1e-4f);
    EXPECT_NEAR(controller.ud(), -1.0f, 1e-4f);
    // Far up and far right: the elevation stops at the limit, the azimuth does not.
    dial.mouse_move(1071, 2084);
    EXPECT_FLOAT_EQ(controller.ud(), -85.0f);
    EXPECT_NEAR(controller.lr(), 404.0f, 1e-3f);
    dial.mouse_move(1071, -3916);
    EXPECT_FLOAT_EQ(controller.ud(), 85.0f);
    // The release anywhere ends the drag but is not taken, so the scene sees it too.
    EXPECT_FALSE(dial.mouse_up(2000, 2000));
    dial.mouse_move(0, 0);
    EXPECT_NEAR(controller.lr(), 404.0f, 1e-3f);
}

TEST(GFX_WidgetNavigationDial, ARingDragTurnsTheCameraByTheAngleSweptAboutTheCentre) {
    DialController controller;
    StandardDial dial(&controller, &controller.m_widget_screen);
    // A quarter turn clockwise on the screen: +90 degrees; the reverse sweep: back by 90. The
    // sweep goes on counting once the pointer leaves the ring.
    ASSERT_TRUE(dial.mouse_down(111, 61));
    EXPECT_FALSE(dial.mouse_move(61, 11));
    EXPECT_NEAR(controller.lr(), 90.0f, 0.01f);
    EXPECT_EQ(controller.ud(), 0.0f);
    dial.mouse_move(111, 61);
    EXPECT_NEAR(controller.lr(), 0.0f, 0.01f);
    dial.mouse_move(61, 300);
    EXPECT_NEAR(controller.lr(), -90.0f, 0.01f);

    // Inside the 10-pixel dead zone nothing turns, but the drag goes on and the next step
    // measures from there: from direction (3, 4) to straight up, 36.87 degrees anticlockwise.
    controller.m_camera->set_left_right(0);
    ASSERT_TRUE(dial.mouse_down(111, 61));
    dial.mouse_move(64, 65);
    EXPECT_EQ(controller.lr(), 0.0f);
    dial.mouse_move(61, 81);
    EXPECT_NEAR(controller.lr(), -36.87f, 0.01f);
    // A step from the very centre has no direction to measure from: no turn, no NaN.
    const Math_Vector3 m = dial.compute_center();
    dial.mouse_move(m.m_x, m.m_y);
    dial.mouse_move(m.m_x + 20, m.m_y);
    EXPECT_NEAR(controller.lr(), -36.87f, 0.01f);
}

TEST(GFX_WidgetNavigationDial, DrawsTheTurnedSquareInTheRingColourAndTheGlobeInTheGlobeColour) {
    OffscreenGL gl(200, 200);
    ASSERT_TRUE(gl.ok());
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, 200, 0, 200, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    // The scene's state: one light, colour material, depth test, models from vertex arrays.
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DEPTH_TEST);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    const auto clear = [] { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); };

    // Without a controller: the square alone, in the default theme's white (not its own red).
    GFX_WidgetScreen screen{200, 200};
    StandardDial bare(nullptr, &screen);
    clear();
    bare.draw();
    EXPECT_TRUE(gl.pixel(61, 61).g > 250 && lit(gl.pixel(10, 10)) && !lit(gl.pixel(120, 120)));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    // Turned by 45 degrees the corners are cut off and the points reach further out.
    bare.m_left_right = 45;
    clear();
    bare.draw();
    EXPECT_FALSE(lit(gl.pixel(10, 10)));
    EXPECT_TRUE(lit(gl.pixel(61, 135)) && lit(gl.pixel(135, 61)));
    // During a ring drag the square takes the highlight colour.
    bare.m_left_right = 0;
    ASSERT_TRUE(bare.mouse_down(111, 61));
    clear();
    bare.draw();
    EXPECT_NEAR(gl.pixel(10, 10).r, 0.7 * 255, 3);

    // With a controller and its globe model: the globe covers the centre in the globe colour,
    // in the highlight during a globe drag; the ring keeps the ring colour.
    DialController controller;
    controller.m_color_theme.m_nav_widget_dial_color = Math_Vector4(0, 0, 1, 1);
    controller.m_color_theme.m_nav_widget_globe_color = Math_Vector4(0, 1, 0, 1);
    controller.m_color_theme.m_nav_widget_globe_color_sel = Math_Vector4(1, 0, 0, 1);
    controller.create_sphere_button();
    StandardDial dial(&controller, &screen);
    clear();
    dial.draw();
    EXPECT_TRUE(gl.pixel(61, 61).g > 60 && gl.pixel(61, 61).b < 30);
    EXPECT_TRUE(gl.pixel(61, 110).b > 250 && gl.pixel(61, 110).g < 5);
    ASSERT_TRUE(dial.mouse_down(61, 61));
    clear();
    dial.draw();
    EXPECT_TRUE(gl.pixel(61, 61).r > 60 && gl.pixel(61, 61).g < 30);
    dial.mouse_up(61, 61);

    // A ring image but no globe image: the globe keeps its plain colour rather than wearing
    // the ring's image.
    GFX_Image* image = new GFX_Image();
    image->set_pixels(new unsigned char[3]{0, 0, 255}, 24, 1, 1);
    OGL_Texture2D* ring_image = new OGL_Texture2D();
    ring_image->init_from_image(image);
    dial.m_texture = ring_image;
    clear();
    dial.draw();
    EXPECT_GT(gl.pixel(61, 61).g, 60);
    EXPECT_TRUE(lit(gl.pixel(61, 110)));
}
