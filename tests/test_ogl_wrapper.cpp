// OGL_Wrapper against a real Mesa context: projection round trips through GLU and the
// extension query's substring matching.
#include "gfx/ogl_wrapper.h"

#include "tests/support/offscreen_gl.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

TEST(OGL_Wrapper, ModelAndWindowCoordinatesConvertBothWays) {
    OffscreenGL gl(200, 100);
    ASSERT_TRUE(gl.ok());
    OGL_Wrapper wrapper;

    // Pixel projection: a model point is its own window point, y up from the bottom.
    glViewport(0, 0, 200, 100);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 200, 0, 100, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Math_Vector3 window;
    ASSERT_TRUE(wrapper.model_to_window(Math_Vector3(10, 20, 0), window));
    EXPECT_NEAR(window.m_x, 10, 1e-4);
    EXPECT_NEAR(window.m_y, 20, 1e-4);
    EXPECT_NEAR(window.m_z, 0.5, 1e-4);

    // A perspective camera like the scene's: the two conversions undo each other, and depth 0
    // and 1 land on the near and far planes.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45, 2, 1000, 25000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(3000, 4000, 12000, 0, 0, 0, 0, 1, 0);
    const Math_Vector3 model(1234.5f, -2222.0f, 3100.0f);
    ASSERT_TRUE(wrapper.model_to_window(model, window));
    EXPECT_GT(window.m_z, 0.0f);
    EXPECT_LT(window.m_z, 1.0f);
    Math_Vector3 back;
    ASSERT_TRUE(wrapper.window_to_model(window, back));
    EXPECT_NEAR(back.distance(model), 0, 2.0);

    const Math_Vector3 eye(3000, 4000, 12000);
    const float eye_to_centre = eye.length();
    Math_Vector3 on_near, on_far;
    ASSERT_TRUE(wrapper.window_to_model(Math_Vector3(100, 50, 0), on_near));
    ASSERT_TRUE(wrapper.window_to_model(Math_Vector3(100, 50, 1), on_far));
    EXPECT_NEAR(on_near.distance(eye), 1000, 1);
    EXPECT_NEAR(on_far.distance(eye), 25000, 25);
    EXPECT_NEAR((on_far - eye).dot(eye) / (on_far.distance(eye) * eye_to_centre), -1, 1e-4);

    // A projection that cannot be inverted answers false and leaves the result alone.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(0, 0, 0);
    back = Math_Vector3(7, 8, 9);
    EXPECT_FALSE(wrapper.window_to_model(Math_Vector3(10, 10, 0.5f), back));
    EXPECT_EQ(back, Math_Vector3(7, 8, 9));
}

TEST(OGL_Wrapper, HasExtensionMatchesAnySubstringOfTheList) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    EXPECT_TRUE(OGL_Wrapper::has_extension("ARB_multitexture"));
    EXPECT_TRUE(OGL_Wrapper::has_extension("GL_ARB_multitexture"));
    EXPECT_TRUE(OGL_Wrapper::has_extension("multitex"));
    EXPECT_FALSE(OGL_Wrapper::has_extension("XYZ_no_such_extension"));
    EXPECT_FALSE(OGL_Wrapper::has_extension(nullptr));
}
