// The layer laid over the window, at the window's resolution and at half of it: what is drawn
// into it behind the window's wall stays hidden, what is drawn beside it shows in its place.
#include "gfx/ogl_render_target.h"
#include "support/offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

namespace {

void quad(float x0, float x1, float z) {
    glBegin(GL_QUADS);
    glVertex3f(x0, -20.0f, z);
    glVertex3f(x1, -20.0f, z);
    glVertex3f(x1, 20.0f, z);
    glVertex3f(x0, 20.0f, z);
    glEnd();
}

}  // namespace

TEST(RenderTarget, ALayerOfAnyResolutionHidesBehindTheWindowAndLandsInPlace) {
    OffscreenGL gl(160, 100);
    ASSERT_TRUE(gl.ok());
    if (!OGL_RenderTarget::supported()) GTEST_SKIP() << "no framebuffer objects";
    for (int shrink : {1, 2}) {
        glViewport(0, 0, 160, 100);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-1.0, 1.0, -0.625, 0.625, 1.0, 100.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0.0f, 0.0f, -10.0f);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDisable(GL_BLEND);
        glColor3f(0.0f, 0.0f, 1.0f);
        quad(-20.0f, 0.0f, 0.0f);  // the wall: the window's left half, in blue

        OGL_RenderTarget layer;
        ASSERT_TRUE(layer.resize(160, 100, shrink));
        EXPECT_EQ(layer.width(), 160 / shrink);
        EXPECT_EQ(layer.height(), 100 / shrink);
        ASSERT_TRUE(layer.begin());
        OGL_RenderTarget::clear();
        glEnable(GL_BLEND);
        OGL_RenderTarget::blend_into_layer();
        glViewport(0, 0, layer.width(), layer.height());
        glDepthMask(GL_FALSE);
        glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
        quad(-40.0f, 40.0f, -10.0f);  // behind the wall, over the whole view, in red
        glDepthMask(GL_TRUE);
        OGL_RenderTarget::end();
        glViewport(0, 0, 160, 100);
        layer.draw_over();
        glDisable(GL_BLEND);

        // Two pixels of room at the wall's edge for the half resolution's smoothing.
        const int room = shrink == 1 ? 0 : 2;
        EXPECT_EQ(
            gl.count(0, 0, 80 - room, 100, [](const Rgba& p) { return p.b > 200 && p.r == 0; }),
            (80 - room) * 100)
            << "shrink " << shrink << ": the layer showed through the wall";
        EXPECT_EQ(
            gl.count(80 + room, 0, 160, 100, [](const Rgba& p) { return p.r > 250 && p.b == 0; }),
            (80 - room) * 100)
            << "shrink " << shrink << ": the layer is not where it was drawn";
    }
}
