// What the glow leaves out as hidden: against a real Mesa depth buffer, a dot said to be hidden
// changes no pixel when drawn, and dots in front, beside or across an edge are never said to be
// hidden. Depth that only rounds differently counts as the same; depth that moved does not.
#include "gfx/ogl_depth_tiles.h"
#include "gfx/ogl_point_sprites.h"
#include "scene/connection.h"
#include "support/offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr float kReach = 100.0f;
constexpr float kUnit = kReach / 32767.0f;

// One solid dot drawn as the glow draws its sprites, without the texture: its whole square.
void draw_dot(const Math_Vector3& p, float world_size) {
    const int16_t position[3] = {static_cast<int16_t>(p.m_x / kUnit),
                                 static_cast<int16_t>(p.m_y / kUnit),
                                 static_cast<int16_t>(p.m_z / kUnit)};
    const uint8_t colour[4] = {255, 0, 255, 255};
    GFX_DotSprites::Run run;
    run.positions = position;
    run.colours = colour;
    run.count = 1;
    run.world_size = world_size;
    GFX_DotSprites::draw_runs(&run, 1, kUnit, OGL_PointSprites::pixels_per_unit(), 0, nullptr);
}

}  // namespace

TEST(DepthTiles, ADotSaidToBeHiddenShowsNowhereAndNoVisibleDotIsSaidToBeHidden) {
    OffscreenGL gl(160, 100);
    ASSERT_TRUE(gl.ok());
    ASSERT_TRUE(OGL_PointSprites::supported());
    glViewport(0, 0, 160, 100);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1.0, 1.0, -0.625, 0.625, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -10.0f);  // the quad at the origin, the eye 10 in front of it
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    // An opaque wall over the left half of the window.
    glColor3f(0.2f, 0.4f, 0.6f);
    glBegin(GL_QUADS);
    glVertex3f(-20.0f, -20.0f, 0.0f);
    glVertex3f(0.0f, -20.0f, 0.0f);
    glVertex3f(0.0f, 20.0f, 0.0f);
    glVertex3f(-20.0f, 20.0f, 0.0f);
    glEnd();

    OGL_DepthTiles tiles;
    ASSERT_FALSE(tiles.valid());
    EXPECT_FALSE(tiles.hides({-5.0f, 0.0f, -10.0f}, 1.0f)) << "nothing read: nothing hidden";
    ASSERT_TRUE(tiles.read());

    // Behind the wall, well inside it: hidden, and drawing it changes nothing.
    const std::vector<Math_Vector3> behind = {
        {-5.0f, 0.0f, -10.0f}, {-3.0f, 3.0f, -5.0f}, {-12.0f, -8.0f, -30.0f}, {-1.5f, 0.0f, -2.0f}};
    glDepthMask(GL_FALSE);
    for (const Math_Vector3& p : behind) {
        EXPECT_TRUE(tiles.hides(p, 1.0f)) << p.m_x << " " << p.m_y << " " << p.m_z;
        glFinish();
        gl.pixel(0, 0);
        const std::vector<uint8_t> before = gl.buffer();
        draw_dot(p, 1.0f);
        gl.pixel(0, 0);
        EXPECT_EQ(gl.buffer(), before) << "a hidden dot showed at " << p.m_x << " " << p.m_z;
    }
    // In front of the wall, beside it, across its edge, larger than the gap to the edge, at or
    // behind the eye: never hidden.
    const std::vector<std::pair<Math_Vector3, float>> shown = {
        {{-5.0f, 0.0f, 2.0f}, 1.0f},  {{5.0f, 0.0f, -10.0f}, 1.0f},  {{0.0f, 0.0f, -10.0f}, 1.0f},
        {{-0.3f, 0.0f, -1.0f}, 1.0f}, {{-1.0f, 0.0f, -1.0f}, 20.0f}, {{-1.0f, 0.0f, 10.0f}, 1.0f},
        {{-1.0f, 0.0f, 30.0f}, 1.0f}};
    for (const auto& [p, size] : shown) {
        EXPECT_FALSE(tiles.hides(p, size)) << p.m_x << " " << p.m_y << " " << p.m_z;
        gl.pixel(0, 0);
        const std::vector<uint8_t> before = gl.buffer();
        draw_dot(p, size);
        gl.pixel(0, 0);
        if (p.m_z < 9.0f) {
            EXPECT_NE(gl.buffer(), before) << "expected to see " << p.m_x;
        }
    }
    // Beyond the window's edge only the part inside counts: a dot centred just off the left
    // edge, its inner part behind the wall; one wholly off it shows nowhere.
    EXPECT_TRUE(tiles.hides({-20.2f, 0.0f, -10.0f}, 1.0f));
    EXPECT_TRUE(tiles.hides({-30.0f, 0.0f, -10.0f}, 1.0f));
}

TEST(DepthTiles, DepthThatOnlyRoundsDifferentlyIsTheSameAndDepthThatMovedIsNot) {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const int viewport[4] = {0, 0, 8, 4};
    std::vector<float> depth(32, 0.75f);
    OGL_DepthTiles a, b, unread;
    a.set(8, 4, depth, identity, identity, viewport);
    ASSERT_TRUE(a.valid());
    depth[13] += 2.0f / 16777215.0f;  // two steps of a 24-bit buffer
    b.set(8, 4, depth, identity, identity, viewport);
    EXPECT_TRUE(a.same_depth(b));
    depth[13] = 0.74f;
    b.set(8, 4, depth, identity, identity, viewport);
    EXPECT_FALSE(a.same_depth(b));
    // Another window size, or one side unread.
    b.set(4, 8, std::vector<float>(32, 0.75f), identity, identity, viewport);
    EXPECT_FALSE(a.same_depth(b));
    EXPECT_FALSE(a.same_depth(unread));
    EXPECT_TRUE(unread.same_depth(OGL_DepthTiles()));
    // Too little depth for the size given: nothing read, nothing hidden.
    b.set(8, 4, std::vector<float>(31, 0.0f), identity, identity, viewport);
    EXPECT_FALSE(b.valid());
    EXPECT_FALSE(b.hides({0.0f, 0.0f, 0.5f}, 0.01f));
}
