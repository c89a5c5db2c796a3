// The scene's pure geometry: billboard corners, push and pick, the locator frame's side and its
// easing, the photo rectangle for wide, tall, square and missing photos, the name's character
// size, and how many dots a line of a given length gets.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/billboard.h"
#include "scene/connection.h"
#include "scene/location_holder.h"

namespace {

void expect_near(const Math_Vector3& a, const Math_Vector3& b, float eps = 1e-2f) {
    EXPECT_NEAR(a.m_x, b.m_x, eps);
    EXPECT_NEAR(a.m_y, b.m_y, eps);
    EXPECT_NEAR(a.m_z, b.m_z, eps);
}

// A locator frame's centre before the push of 100 towards the viewer.
Math_Vector3 frame_centre(const GFX_LocationHolder& h) {
    const Math_Vector3* v = h.m_billboard->m_vertices;
    return (v[0] + v[1] + v[2] + v[3]) * 0.25f -
           h.m_billboard->m_right.cross(h.m_billboard->m_up) * 100.0f;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace

TEST(SceneLayout, BillboardCornersWindCounterClockwiseAndShiftTowardsTheViewer) {
    GFX_Billboard b({10, 20, 30}, 4, 2);
    b.update_vertex_position();
    expect_near(b.m_vertices[0], {8, 19, 30});
    expect_near(b.m_vertices[2], {12, 21, 30});
    b.shift_vertex_position();
    expect_near(b.m_vertices[1], {12, 19, 130});

    // Screen up along +z, right along -x; axes are normalised, degenerate ones ignored.
    b.set_impostor_orientation({0, 0, 5}, {-2, 0, 0});
    b.set_impostor_orientation({0, 0, 0}, {kNaN, 0, 0});
    expect_near(b.m_up, {0, 0, 1});
    expect_near(b.m_right, {-1, 0, 0});
    b.update_vertex_position();
    expect_near(b.m_vertices[0], {12, 20, 29});
    Math_Vector3 n = (b.m_vertices[1] - b.m_vertices[0]).cross(b.m_vertices[3] - b.m_vertices[0]);
    EXPECT_GT(n.dot(b.m_right.cross(b.m_up)), 0);
    b.shift_vertex_position();
    expect_near(b.m_vertices[1], {8, 120, 29});
}

TEST(SceneLayout, BillboardPickTriesTheLowerRightTriangleThenTheUpperLeft) {
    GFX_Billboard b({0, 0, 0}, 10, 10);
    b.update_vertex_position();
    const Math_Vector3 down(0, 0, -1);
    float t = -1;
    EXPECT_TRUE(b.line_collide({3, -3, 50}, down, 1000, t));
    EXPECT_FLOAT_EQ(t, 50);
    EXPECT_TRUE(b.line_collide({-3, 3, 20}, down, 1000, t));  // misses the first, hits the second
    EXPECT_FLOAT_EQ(t, 20);
    EXPECT_FALSE(b.line_collide({6, 0, 20}, down, 1000, t));
    EXPECT_FALSE(b.line_collide({-3, 3, 20}, down, 19, t));
    EXPECT_TRUE(b.line_collide({1, 1, -7}, {0, 0, 1}, 1000, t));  // from behind as well
}

TEST(SceneLayout, FrameJumpsToItsSideFirstThenEasesAQuarterOfTheWayPerFrame) {
    GFX_LocationHolder h(nullptr);
    h.set_billboard_size(750, 750);
    h.m_ball_size = 100;
    h.m_position = {3000, 2000, 1000};  // upper right on a screen looking down -z
    h.place_billboard();
    EXPECT_EQ(h.m_offset_up, 1.0f);
    EXPECT_EQ(h.m_offset_right, 1.0f);
    // Inner corner at the rim: 0.75 ball sizes out along both axes; 100 towards the viewer.
    expect_near(frame_centre(h), {3450, 2450, 1000});
    expect_near(h.m_billboard->m_vertices[0], {3075, 2075, 1100});

    h.m_position = {-3000, 2000, 1000};  // the globe turned: now left of the middle
    h.place_billboard();
    EXPECT_FLOAT_EQ(h.m_offset_right, 0.5f);
    h.place_billboard();
    EXPECT_FLOAT_EQ(h.m_offset_right, 0.125f);
    expect_near(frame_centre(h), {-3000 + 450 * 0.125f, 2450, 1000});
    for (int i = 0; i < 40; ++i) h.place_billboard();
    EXPECT_NEAR(h.m_offset_right, -1.0f, 1e-4f);

    // Straight along screen up: centred over the ball, lower edge 0.75 ball sizes above it.
    GFX_LocationHolder top(nullptr);
    top.set_billboard_size(750, 750);
    top.m_ball_size = 100;
    top.m_position = {0, 5555.5f, 0};
    top.place_billboard();
    EXPECT_EQ(top.m_offset_right, 0.0f);
    expect_near(frame_centre(top) - Math_Vector3(0, 375, 0), {0, 5555.5f + 75, 0});
}

TEST(SceneLayout, PhotoRectangleKeepsTheAspectAndNameFitsTheFrame) {
    float a = 0, b = 0;
    GFX_LocationHolderFriend::photo_extent(0.9f, 200, 100, a, b);  // wide: 0.9 W by 0.45 H
    EXPECT_FLOAT_EQ(2 * a, 0.9f);
    EXPECT_FLOAT_EQ(2 * b, 0.45f);
    GFX_LocationHolderFriend::photo_extent(0.9f, 100, 200, a, b);  // tall: 0.45 W by 0.9 H
    EXPECT_FLOAT_EQ(2 * a, 0.45f);
    EXPECT_FLOAT_EQ(2 * b, 0.9f);
    GFX_LocationHolderFriend::photo_extent(0.675f, 50, 50, a, b);  // selected square on 2250
    EXPECT_FLOAT_EQ(2 * b * 2250, 1518.75f);
    EXPECT_FLOAT_EQ(a, b);
    for (int w : {0, 100}) {  // no image, or one of height 0: the default rectangle, no NaN
        GFX_LocationHolderFriend::photo_extent(0.675f, w, 0, a, b);
        EXPECT_FLOAT_EQ(a, 0.45f);
        EXPECT_FLOAT_EQ(b, 0.3375f);
    }

    float cw = 0, ch = 0;
    GFX_LocationHolderFriend::name_extent(750, 750, 30, cw, ch);
    EXPECT_FLOAT_EQ(ch, 103.125f);
    EXPECT_FLOAT_EQ(cw, 22.5f);
    GFX_LocationHolderFriend::name_extent(750, 750, 5, cw, ch);
    EXPECT_FLOAT_EQ(cw, 51.5625f);
    GFX_LocationHolderFriend::name_extent(750, 750, 0, cw, ch);
    EXPECT_FLOAT_EQ(cw, 51.5625f);
}

TEST(SceneLayout, DotCountIsOnePerFullNinetyUnits) {
    EXPECT_EQ(GFX_Connection::dot_count(1000), 11);
    EXPECT_EQ(GFX_Connection::dot_count(179.9f), 1);
    EXPECT_EQ(GFX_Connection::dot_count(180), 2);
    EXPECT_EQ(GFX_Connection::dot_count(0), 0);
    EXPECT_EQ(GFX_Connection::dot_count(-500), 0);
    EXPECT_EQ(GFX_Connection::dot_count(kNaN), 0);
    EXPECT_EQ(GFX_Connection::dot_count(std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(GFX_Connection::dot_count(3.0e38f), 0);
}
