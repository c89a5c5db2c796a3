// Dotted lines: how many dots a line gets and where, that lines of zero, broken or tiny length
// emit nothing, and the size and opacity of the dots. The dots are captured with OpenGL's
// feedback mode, which reports every emitted polygon without rasterising it.
#include "scene/connection.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

#include "scene/billboard.h"
#include "tests/support/offscreen_gl.h"

namespace {

// A window the size of the scene, so feedback window coordinates equal world x and y.
void set_world_window() {
    glViewport(0, 0, 4096, 4096);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 4096, 0, 4096, -4096, 4096);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

struct Quad {
    float cx, cy, w, h;
};

// Runs draw inside a GL_QUADS batch in feedback mode. Each quad comes back as two triangles;
// the mean of their six corners is the quad's centre.
std::vector<Quad> capture_quads(const std::function<void()>& draw) {
    static std::vector<GLfloat> buf(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_3D, buf.data());
    glRenderMode(GL_FEEDBACK);
    glBegin(GL_QUADS);
    draw();
    glEnd();
    int n = glRenderMode(GL_RENDER);
    std::vector<float> xs, ys;
    for (int i = 0; i < n;) {
        EXPECT_EQ(buf[i], GL_POLYGON_TOKEN);
        int count = static_cast<int>(buf[i + 1]);
        for (int v = 0; v < count; ++v) {
            xs.push_back(buf[i + 2 + 3 * v]);
            ys.push_back(buf[i + 3 + 3 * v]);
        }
        i += 2 + 3 * count;
    }
    std::vector<Quad> quads;
    for (size_t q = 0; q + 6 <= xs.size(); q += 6) {
        float sx = 0, sy = 0, lo_x = xs[q], hi_x = xs[q], lo_y = ys[q], hi_y = ys[q];
        for (size_t k = q; k < q + 6; ++k) {
            sx += xs[k];
            sy += ys[k];
            lo_x = std::min(lo_x, xs[k]);
            hi_x = std::max(hi_x, xs[k]);
            lo_y = std::min(lo_y, ys[k]);
            hi_y = std::max(hi_y, ys[k]);
        }
        quads.push_back({sx / 6, sy / 6, hi_x - lo_x, hi_y - lo_y});
    }
    return quads;
}

std::vector<Quad> line_dots(GFX_Connection& c, Math_Vector3 start, Math_Vector3 end) {
    c.m_start = start;
    c.m_end = end;
    return capture_quads([&] { c.draw(); });
}

}  // namespace

TEST(SceneConnection, DotCountIsOnePerFullNinetyUnits) {
    EXPECT_EQ(GFX_Connection::dot_count(1000), 11);
    EXPECT_EQ(GFX_Connection::dot_count(179.9f), 1);
    EXPECT_EQ(GFX_Connection::dot_count(180), 2);
    EXPECT_EQ(GFX_Connection::dot_count(89.9f), 0);
    EXPECT_EQ(GFX_Connection::dot_count(0), 0);
    EXPECT_EQ(GFX_Connection::dot_count(-500), 0);
    EXPECT_EQ(GFX_Connection::dot_count(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(GFX_Connection::dot_count(std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(GFX_Connection::dot_count(3.0e38f), 0);
}

TEST(SceneConnection, DotsAreEvenlySpacedBetweenButNotOnTheEnds) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    set_world_window();
    GFX_Connection c(nullptr);

    std::vector<Quad> dots = line_dots(c, {100, 200, 0}, {1100, 200, 0});
    ASSERT_EQ(dots.size(), 10u);
    for (size_t k = 0; k < dots.size(); ++k) {
        EXPECT_NEAR(dots[k].cx, 100 + (k + 1) * 1000.0f / 11, 0.05f);
        EXPECT_NEAR(dots[k].cy, 200, 0.05f);
        EXPECT_NEAR(dots[k].w, 90, 0.05f);
        EXPECT_NEAR(dots[k].h, 90, 0.05f);
    }
    // Along a diagonal, from the second end back to the first.
    dots = line_dots(c, {1000, 1000, 0}, {1000 - 300, 1000 - 400, 0});
    ASSERT_EQ(dots.size(), 4u);
    EXPECT_NEAR(dots[0].cx, 1000 - 60, 0.05f);
    EXPECT_NEAR(dots[0].cy, 1000 - 80, 0.05f);

    // 180 apart: one dot in the middle; 179.9 apart: none.
    dots = line_dots(c, {500, 500, 0}, {680, 500, 0});
    ASSERT_EQ(dots.size(), 1u);
    EXPECT_NEAR(dots[0].cx, 590, 0.05f);
    EXPECT_TRUE(line_dots(c, {500, 500, 0}, {679.9f, 500, 0}).empty());
}

TEST(SceneConnection, ZeroLengthAndBrokenEndsEmitNothing) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    set_world_window();
    GFX_Connection c(nullptr);
    EXPECT_TRUE(line_dots(c, {700, 700, 0}, {700, 700, 0}).empty());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(line_dots(c, {nan, 700, 0}, {700, 700, 0}).empty());
    EXPECT_TRUE(line_dots(c, {0, 0, 0}, {inf, 0, 0}).empty());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
