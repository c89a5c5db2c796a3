// The offscreen context every OpenGL test draws into: it must be a real renderer whose pixels
// read back where they were drawn, and GLU must reach the same context.
#include "tests/support/offscreen_gl.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

TEST(OffscreenGL, ClearsDrawsAndReadsBackBottomRowFirst) {
    OffscreenGL gl(64, 32);
    ASSERT_TRUE(gl.ok());
    GLint depth = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    EXPECT_EQ(depth, 24);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 64, 0, 32);  // a GLU call into the OSMesa context
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1, 0, 0);
    glBegin(GL_QUADS);
    glVertex2f(0, 0);
    glVertex2f(10, 0);
    glVertex2f(10, 5);
    glVertex2f(0, 5);
    glEnd();
    EXPECT_EQ(gl.pixel(2, 2).r, 255);
    EXPECT_EQ(gl.pixel(2, 2).b, 0);
    EXPECT_EQ(gl.pixel(2, 20).b, 255);
    EXPECT_EQ(gl.count([](const Rgba& p) { return p.r == 255; }), 50);
}
