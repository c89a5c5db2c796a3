// Shapes drawn into the offscreen context: every drawing path covers the ball's disc, hidden
// groups and empty models draw nothing, and vertex arrays give the same lit, textured picture
// as immediate mode (so the interleaved normal and texture pointers are right).
#include "gfx/shapes.h"
#include "tests/support/offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

constexpr int SIZE = 96;
constexpr float VIEW = 150;  // half the orthographic view, in model units

bool lit(const Rgba& p) { return p.r > 0 || p.g > 0 || p.b > 0; }

// Pixels of a disc of radius r model units.
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
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1, 1, 1);
    // The callers of draw() enable these once per frame; draw() itself does not.
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

struct DrawPath {
    const char* name;
    std::function<void(GFX_GroupedModel&)> draw;
};

const DrawPath PATHS[] = {
    {"draw", [](GFX_GroupedModel& m) { m.draw(); }},
    {"draw(name)", [](GFX_GroupedModel& m) { m.draw(std::string("any")); }},
    {"draw_imm_mode", [](GFX_GroupedModel& m) { m.draw_imm_mode(); }},
    {"draw_triangle_strips", [](GFX_GroupedModel& m) { m.draw_triangle_strips(); }},
};

int covered(OffscreenGL& gl, GFX_GroupedModel& model, const DrawPath& path) {
    begin_frame();
    path.draw(model);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << path.name;
    return gl.count(lit);
}

}  // namespace

TEST(ShapeDrawing, EveryPathCoversTheDiscAndCullsNothingSeenFromOutside) {
    OffscreenGL gl(SIZE, SIZE);
    ASSERT_TRUE(gl.ok());
    GFX_ColorBall ball(125);
    GFX_SphereButton button(40);
    // Back faces are culled: the faces toward the viewer must be counter-clockwise on screen.
    // The mesh is inscribed in the sphere, so its outline lies slightly inside the disc.
    glEnable(GL_CULL_FACE);
    for (const DrawPath& path : PATHS) {
        const int n = covered(gl, ball, path);
        EXPECT_TRUE(n > 0.93f * disc_pixels(125) && n < 1.02f * disc_pixels(125))
            << path.name << " " << n;
        const int m = covered(gl, button, path);
        EXPECT_TRUE(m > 0.93f * disc_pixels(40) && m < 1.05f * disc_pixels(40))
            << path.name << " " << m;
    }
    // Hiding the face toward the viewer (+z) opens a hole; the inside of the far face does not
    // show through it.
    ball.m_groups[4]->set_visibility(false);
    for (const DrawPath& path : PATHS) {
        EXPECT_GT(covered(gl, ball, path), 0.25f * disc_pixels(125)) << path.name;
        EXPECT_FALSE(lit(gl.pixel(SIZE / 2, SIZE / 2))) << path.name;
    }
}

TEST(ShapeDrawing, HiddenGroupsAndEmptyModelsDrawNothing) {
    OffscreenGL gl(SIZE, SIZE);
    ASSERT_TRUE(gl.ok());
    GFX_ColorBall ball(125);
    for (GFX_MeshGroup* group : ball.m_groups) group->set_visibility(false);
    for (const DrawPath& path : PATHS) EXPECT_EQ(covered(gl, ball, path), 0) << path.name;
    // Only the groups' flags count, not the model's.
    for (GFX_MeshGroup* group : ball.m_groups) group->set_visibility(true);
    ball.set_visibility(false);
    EXPECT_GT(covered(gl, ball, PATHS[0]), 0);

    GFX_GroupedModel empty;
    for (const DrawPath& path : PATHS) EXPECT_EQ(covered(gl, empty, path), 0) << path.name;
    empty.add_group(new GFX_MeshGroup());  // a group without vertices reads nothing
    for (const DrawPath& path : PATHS) EXPECT_EQ(covered(gl, empty, path), 0) << path.name;
    begin_frame();
    ball.draw(GFX_Stream());
    EXPECT_EQ(gl.count(lit), 0);
}

TEST(ShapeDrawing, VertexArraysMatchImmediateModeLitAndTextured) {
    OffscreenGL gl(SIZE, SIZE);
    ASSERT_TRUE(gl.ok());
    GFX_ColorBall ball(125);
    // A 2 x 2 red and green checker, sampled nearest, so texture coordinates show as colours.
    const unsigned char texels[] = {255, 0, 0, 0, 255, 0, 0, 255, 0, 255, 0, 0};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const GLfloat from_right[] = {1, 0, 0.3f, 0};

    auto render = [&](const DrawPath& path) {
        begin_frame();
        glLightfv(GL_LIGHT0, GL_POSITION, from_right);
        path.draw(ball);
        glFinish();
        return gl.buffer();
    };
    const std::vector<uint8_t> immediate = render(PATHS[2]);
    const std::vector<uint8_t> arrays = render(PATHS[0]);
    int differ = 0;
    for (size_t i = 0; i < arrays.size(); i += 4)
        if (std::abs(arrays[i] - immediate[i]) > 2 ||
            std::abs(arrays[i + 1] - immediate[i + 1]) > 2)
            ++differ;
    EXPECT_LE(differ, SIZE * SIZE / 200);

    // The picture is lit from the right and shows both texture colours.
    const Rgba right = gl.pixel(SIZE / 2 + 30, SIZE / 2 + 3),
               left = gl.pixel(SIZE / 2 - 30, SIZE / 2 + 3);
    EXPECT_GT(right.r + right.g, left.r + left.g + 100);
    EXPECT_GT(gl.count([](const Rgba& p) { return p.r > 2 * p.g + 20; }), 100);
    EXPECT_GT(gl.count([](const Rgba& p) { return p.g > 2 * p.r + 20; }), 100);
}
