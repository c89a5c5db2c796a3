// Camera-facing quads: corners and winding for any pair of screen axes, the push towards the
// viewer, axis normalisation that never lets NaN in, the two-triangle pick test, and the
// vertices a draw really puts on screen.
#include "scene/billboard.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/offscreen_gl.h"

namespace {

void expect_near(const Math_Vector3& a, const Math_Vector3& b, float eps = 1e-4f) {
    EXPECT_NEAR(a.m_x, b.m_x, eps);
    EXPECT_NEAR(a.m_y, b.m_y, eps);
    EXPECT_NEAR(a.m_z, b.m_z, eps);
}

}  // namespace

TEST(SceneBillboard, CornersFollowTheAxesCounterClockwiseAndShiftTowardsTheViewer) {
    GFX_Billboard b({10, 20, 30}, 4, 2);
    b.update_vertex_position();
    expect_near(b.m_vertices[0], {8, 19, 30});
    expect_near(b.m_vertices[1], {12, 19, 30});
    expect_near(b.m_vertices[2], {12, 21, 30});
    expect_near(b.m_vertices[3], {8, 21, 30});
    b.shift_vertex_position();
    expect_near(b.m_vertices[0], {8, 19, 130});
    expect_near(b.m_vertices[2], {12, 21, 130});

    // Screen up along +z and right along -x (a camera looking down -y from above the quad).
    b.set_impostor_orientation({0, 0, 5}, {-2, 0, 0});
    expect_near(b.m_up, {0, 0, 1});
    expect_near(b.m_right, {-1, 0, 0});
    b.update_vertex_position();
    expect_near(b.m_vertices[0], {12, 20, 29});
    expect_near(b.m_vertices[2], {8, 20, 31});
    // Counter-clockwise as seen from right x up, which is where the shift goes (+y here).
    Math_Vector3 n = (b.m_vertices[1] - b.m_vertices[0]).cross(b.m_vertices[3] - b.m_vertices[0]);
    EXPECT_GT(n.dot(b.m_right.cross(b.m_up)), 0);
    b.shift_vertex_position();
    expect_near(b.m_vertices[1], {8, 120, 29});
}

TEST(SceneBillboard, DegenerateAxesKeepThePreviousOrientation) {
    GFX_Billboard b;
    b.set_impostor_orientation({0, 0, 1}, {1, 0, 0});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    b.set_impostor_orientation({0, 0, 0}, {nan, 0, 0});
    expect_near(b.m_up, {0, 0, 1});
    expect_near(b.m_right, {1, 0, 0});
    b.update_vertex_position();
    for (const Math_Vector3& v : b.m_vertices) EXPECT_TRUE(std::isfinite(v.m_x + v.m_y + v.m_z));
}

TEST(SceneBillboard, PickTriesTheLowerRightTriangleThenTheUpperLeft) {
    GFX_Billboard b({0, 0, 0}, 10, 10);
    b.update_vertex_position();
    const Math_Vector3 down(0, 0, -1);
    float t = -1;
    // Lower right half (triangle 0, 1, 2).
    EXPECT_TRUE(b.line_collide({3, -3, 50}, down, 1000, t));
    EXPECT_FLOAT_EQ(t, 50);
    // Upper left half: misses the first triangle, hits the second.
    t = -1;
    EXPECT_TRUE(b.line_collide({-3, 3, 20}, down, 1000, t));
    EXPECT_FLOAT_EQ(t, 20);
    // Beside the quad, or beyond the range.
    EXPECT_FALSE(b.line_collide({6, 0, 20}, down, 1000, t));
    EXPECT_FALSE(b.line_collide({-3, 3, 20}, down, 19, t));
    // The quad is picked from behind as well.
    EXPECT_TRUE(b.line_collide({1, 1, -7}, {0, 0, 1}, 1000, t));
    EXPECT_FLOAT_EQ(t, 7);
}

TEST(SceneBillboard, DrawEmitsAFrontFacingQuadInItsColourAndOpacity) {
    OffscreenGL gl(64, 64);
    ASSERT_TRUE(gl.ok());
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 64, 0, 64, -200, 200);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_CULL_FACE);  // back faces culled: only a counter-clockwise quad shows
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    GFX_Billboard b({20, 30, 0}, 20, 10);
    b.m_color = {1, 0.5f, 0};
    b.m_alpha = 0.5f;
    b.update_vertex_position();
    glBegin(GL_QUADS);
    b.draw();
    glEnd();

    Rgba inside = gl.pixel(20, 30);
    EXPECT_NEAR(inside.r, 128, 2);
    EXPECT_NEAR(inside.g, 64, 2);
    EXPECT_EQ(inside.b, 0);
    EXPECT_EQ(gl.count([](const Rgba& p) { return p.r > 0; }), 20 * 10);
    EXPECT_EQ(gl.pixel(20, 40).r, 0);
}
