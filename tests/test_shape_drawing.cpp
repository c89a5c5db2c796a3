// Meshes drawn into the offscreen context: every drawing path covers the ball's disc, hidden
// groups and empty models draw nothing, and vertex arrays give the same lit, textured picture
// as immediate mode (so the interleaved normal and texture pointers are right).
#include "gfx/shapes.h"
#include "tests/support/offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

constexpr int SIZE = 96;
constexpr float VIEW = 150;  // half the orthographic view, in model units

bool lit(const Rgba& p) { return p.r > 0 || p.g > 0 || p.b > 0; }

// Pixels of a disc of radius r model units in the SIZE x SIZE view.
float disc_pixels(float r) {
    const float rp = r / (2 * VIEW) * SIZE;
    return 3.14159265f * rp * rp;
}

void begin_frame() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-VIEW, VIEW, -VIEW, VIEW, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    // The callers of draw() enable these once per frame; draw() itself does not.
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

using DrawPath = std::function<void(GFX_GroupedModel&)>;

struct NamedPath {
    const char* name;
    DrawPath draw;
};

const NamedPath PATHS[] = {
    {"draw", [](GFX_GroupedModel& m) { m.draw(); }},
    {"draw(name)", [](GFX_GroupedModel& m) { m.draw(std::string("any")); }},
    {"draw_imm_mode", [](GFX_GroupedModel& m) { m.draw_imm_mode(); }},
    {"draw_triangle_strips", [](GFX_GroupedModel& m) { m.draw_triangle_strips(); }},
};

int covered(OffscreenGL& gl, GFX_GroupedModel& model, const DrawPath& draw) {
    begin_frame();
    draw(model);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return gl.count(lit);
}

}  // namespace

TEST(ShapeDrawing, EveryPathCoversTheBallsDisc) {
    OffscreenGL gl(SIZE, SIZE);
    ASSERT_TRUE(gl.ok());
    GFX_ColorBall ball(125);
    // The mesh is inscribed in the sphere, so its outline lies slightly inside the disc.
    const float disc = disc_pixels(125);
    for (const NamedPath& path : PATHS) {
        const int n = covered(gl, ball, path.draw);
        EXPECT_GT(n, 0.93f * disc) << path.name;
        EXPECT_LT(n, 1.02f * disc) << path.name;
        // The centre is covered: no face is missing.
        EXPECT_TRUE(lit(gl.pixel(SIZE / 2, SIZE / 2))) << path.name;
    }
    GFX_SphereButton button(40);
    const int n = covered(gl, button, PATHS[0].draw);
    EXPECT_GT(n, 0.9f * disc_pixels(40));
    EXPECT_LT(n, 1.05f * disc_pixels(40));
}

TEST(ShapeDrawing, HiddenGroupsAndEmptyModelsDrawNothing) {
    OffscreenGL gl(SIZE, SIZE);
    ASSERT_TRUE(gl.ok());
    GFX_ColorBall ball(125);
    for (GFX_MeshGroup* group : ball.m_groups) group->set_visibility(false);
    for (const NamedPath& path : PATHS) EXPECT_EQ(covered(gl, ball, path.draw), 0) << path.name;

    // The model's own flag is not looked at: only the groups decide.
    ball.set_visibility(true);
    EXPECT_EQ(covered(gl, ball, PATHS[0].draw), 0);
    for (GFX_MeshGroup* group : ball.m_groups) group->set_visibility(true);
    ball.set_visibility(false);
    EXPECT_GT(covered(gl, ball, PATHS[0].draw), 0);

    // Hiding the face toward the viewer (+z) opens a hole. With back faces culled, the inside
    // of the far face (-z) does not show through it: seen from outside, the triangles of every
    // path are counter-clockwise.
    ball.m_groups[4]->set_visibility(false);
    for (const NamedPath& path : PATHS) {
        begin_frame();
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        path.draw(ball);
        glDisable(GL_CULL_FACE);
        EXPECT_FALSE(lit(gl.pixel(SIZE / 2, SIZE / 2))) << path.name;
        EXPECT_GT(gl.count(lit), 0.25f * disc_pixels(125)) << path.name;
    }

    GFX_GroupedModel empty;
    for (const NamedPath& path : PATHS) EXPECT_EQ(covered(gl, empty, path.draw), 0) << path.name;
    empty.draw(GFX_Stream());
    // A group without vertices or triangles draws nothing and reads nothing.
    empty.add_group(new GFX_MeshGroup());
    for (const NamedPath& path : PATHS) EXPECT_EQ(covered(gl, empty, path.draw), 0) << path.name;
    // The stream overload draws nothing even for a visible ball.
    ball.m_groups[4]->set_visibility(true);
    begin_frame();
    ball.draw(GFX_Stream());
    EXPECT_EQ(gl.count(lit), 0);
}

TEST(ShapeDrawing, VertexArraysMatchImmediateModeLitAndTextured) {
    OffscreenGL gl(SIZE, SIZE);
    ASSERT_TRUE(gl.ok());
    GFX_ColorBall ball(125);

    // A 2 x 2 checker, red and green, sampled nearest: texture coordinates show as colours.
    const unsigned char texels[] = {255, 0, 0, 0, 255, 0, 0, 255, 0, 255, 0, 0};
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);

    auto render = [&](const DrawPath& draw) {
        begin_frame();
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        const GLfloat from_right[] = {1, 0, 0.3f, 0};
        glLightfv(GL_LIGHT0, GL_POSITION, from_right);
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        draw(ball);
        glFinish();
        return gl.buffer();
    };
    const std::vector<uint8_t> arrays = render(PATHS[0].draw);
    const std::vector<uint8_t> immediate = render(PATHS[2].draw);
    int differ = 0;
    for (size_t i = 0; i < arrays.size(); i += 4)
        if (std::abs(arrays[i] - immediate[i]) > 2 || std::abs(arrays[i + 1] - immediate[i + 1]) > 2) ++differ;
    EXPECT_LE(differ, SIZE * SIZE / 200);

    // The picture is lit from the right and shows both texture colours.
    render(PATHS[0].draw);
    const Rgba right = gl.pixel(SIZE / 2 + 30, SIZE / 2 + 3), left = gl.pixel(SIZE / 2 - 30, SIZE / 2 + 3);
    EXPECT_GT(right.r + right.g, left.r + left.g + 100);
    EXPECT_GT(gl.count([](const Rgba& p) { return p.r > 2 * p.g + 20; }), 100);
    EXPECT_GT(gl.count([](const Rgba& p) { return p.g > 2 * p.r + 20; }), 100);
    glDeleteTextures(1, &texture);
}
