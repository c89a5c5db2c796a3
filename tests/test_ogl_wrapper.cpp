// OGL_Wrapper against a real Mesa context: the projection round trip through GLU and the
// extension query's substring matching, and the version query.
#include "gfx/ogl_wrapper.h"

#include "tests/support/offscreen_gl.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

TEST(OGL_Wrapper, ModelAndWindowCoordinatesConvertBothWays) {
    OffscreenGL gl(200, 100);
    ASSERT_TRUE(gl.ok());
    OGL_Wrapper wrapper;
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, 200, 0, 100, -1, 1);
    Math_Vector3 window, back;
    ASSERT_TRUE(wrapper.model_to_window(Math_Vector3(10, 20, 0), window));
    EXPECT_NEAR(window.distance(Math_Vector3(10, 20, 0.5f)), 0, 1e-4);  // y up from the bottom

    // A camera like the scene's: the conversions undo each other.
    glLoadIdentity();
    gluPerspective(45, 2, 1000, 25000);
    glMatrixMode(GL_MODELVIEW);
    gluLookAt(3000, 4000, 12000, 0, 0, 0, 0, 1, 0);
    const Math_Vector3 model(1234.5f, -2222.0f, 3100.0f);
    ASSERT_TRUE(wrapper.model_to_window(model, window));
    ASSERT_TRUE(wrapper.window_to_model(window, back));
    EXPECT_NEAR(back.distance(model), 0, 2.0);
    ASSERT_TRUE(wrapper.window_to_model(Math_Vector3(100, 50, 0), back));
    EXPECT_NEAR(back.distance(Math_Vector3(3000, 4000, 12000)), 1000, 1);  // depth 0: near plane

    // A projection that cannot be inverted answers false and leaves the result alone.
    glMatrixMode(GL_PROJECTION);
    glScalef(0, 0, 0);
    back = Math_Vector3(7, 8, 9);
    EXPECT_FALSE(wrapper.window_to_model(Math_Vector3(10, 10, 0.5f), back));
    EXPECT_EQ(back, Math_Vector3(7, 8, 9));
}

TEST(OGL_Wrapper, HasExtensionMatchesAnySubstringOfTheList) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    EXPECT_TRUE(OGL_Wrapper::has_extension("ARB_multitexture"));
    EXPECT_TRUE(OGL_Wrapper::has_extension("multitex"));
    EXPECT_FALSE(OGL_Wrapper::has_extension("XYZ_no_such_extension"));
    EXPECT_FALSE(OGL_Wrapper::has_extension(nullptr));
}

TEST(OGL_Wrapper, VersionIsReadFromTheLeadingNumbersOnly) {
    int major = -1, minor = -1;
    EXPECT_TRUE(
        OGL_Wrapper::parse_version("4.5 (Compatibility Profile) Mesa 22.3.6", major, minor));
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 5);
    EXPECT_TRUE(OGL_Wrapper::parse_version("1.10.3", major, minor));
    EXPECT_EQ(minor, 10);  // 1.10 is newer than 1.5
    for (const char* bad : {"", "4", "4.", ".5", "x4.5", " 4.5", "OpenGL ES 3.2"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(OGL_Wrapper::parse_version(bad, major, minor));
        EXPECT_EQ(major, 0);
    }
    EXPECT_FALSE(OGL_Wrapper::parse_version(nullptr, major, minor));
    // Digits past any real version neither overflow nor wrap to a small number.
    EXPECT_TRUE(OGL_Wrapper::parse_version("99999999999999999999.1", major, minor));
    EXPECT_GE(major, 10000);

    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    EXPECT_TRUE(OGL_Wrapper::has_version(1, 5));  // Mesa's compatibility profile
    EXPECT_FALSE(OGL_Wrapper::has_version(99, 0));
}
