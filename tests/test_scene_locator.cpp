// Locators: where the frame goes beside the ball and how it eases to the other side, the size
// of the photo rectangle for tall, wide, square and missing photos, and the size of the name.
#include "scene/location_holder.h"

#include <gtest/gtest.h>

#include "scene/billboard.h"

namespace {

void expect_near(const Math_Vector3& a, const Math_Vector3& b, float eps = 1e-2f) {
    EXPECT_NEAR(a.m_x, b.m_x, eps);
    EXPECT_NEAR(a.m_y, b.m_y, eps);
    EXPECT_NEAR(a.m_z, b.m_z, eps);
}

// The frame's centre before the push towards the viewer.
Math_Vector3 frame_centre(const GFX_LocationHolder& h) {
    const Math_Vector3* v = h.m_billboard->m_vertices;
    return (v[0] + v[1] + v[2] + v[3]) * 0.25f - h.m_billboard->m_right.cross(h.m_billboard->m_up) * 100.0f;
}

}  // namespace

TEST(SceneLocator, FrameJumpsToItsSideFirstThenEasesAQuarterOfTheWayPerFrame) {
    GFX_LocationHolder h(nullptr);
    h.set_billboard_size(750, 750);
    h.m_ball_size = 100;
    h.m_position = {3000, 2000, 1000};  // upper right of the globe on a screen looking down -z
    h.place_billboard();
    EXPECT_EQ(h.m_offset_up, 1.0f);
    EXPECT_EQ(h.m_offset_right, 1.0f);
    // Inner corner at the rim: 0.75 ball sizes out along both axes; 100 towards the viewer.
    expect_near(frame_centre(h), {3000 + 450, 2000 + 450, 1000});
    expect_near(h.m_billboard->m_vertices[0], {3075, 2075, 1100});

    // The globe turned: the ball is now left of the screen's middle.
    h.m_position = {-3000, 2000, 1000};
    h.place_billboard();
    EXPECT_FLOAT_EQ(h.m_offset_right, 0.5f);
    h.place_billboard();
    EXPECT_FLOAT_EQ(h.m_offset_right, 0.125f);
    expect_near(frame_centre(h), {-3000 + 450 * 0.125f, 2450, 1000});
    for (int i = 0; i < 40; ++i) h.place_billboard();
    EXPECT_NEAR(h.m_offset_right, -1.0f, 1e-4f);
    EXPECT_FLOAT_EQ(h.m_offset_up, 1.0f);
}

TEST(SceneLocator, BallStraightAlongScreenUpGetsItsFrameCentredAboveIt) {
    GFX_LocationHolder h(nullptr);
    h.set_billboard_size(750, 750);
    h.m_ball_size = 100;
    h.m_position = {0, 5555.5f, 0};
    h.place_billboard();
    EXPECT_EQ(h.m_offset_right, 0.0f);
    EXPECT_EQ(h.m_offset_up, 1.0f);
    const Math_Vector3 c = frame_centre(h);
    EXPECT_NEAR(c.m_x, 0, 1e-3f);
    // Lower edge 0.75 ball sizes above the ball centre.
    EXPECT_NEAR(c.m_y - 375, 5555.5f + 75, 1e-2f);

    // A ball at the globe's centre on screen (zero position) stays put, without NaN.
    GFX_LocationHolder z(nullptr);
    z.place_billboard();
    EXPECT_EQ(z.m_offset_up, 0.0f);
    EXPECT_EQ(z.m_offset_right, 0.0f);
    expect_near(frame_centre(z), {0, 0, 0});
}

TEST(SceneLocator, PhotoRectangleKeepsTheAspectInsideTheFrame) {
    float a = 0, b = 0;
    // Wide photo on an unselected locator: 0.9 of the width, half as high.
    GFX_LocationHolderFriend::photo_extent(0.9f, 200, 100, a, b);
    EXPECT_FLOAT_EQ(2 * a, 0.9f);
    EXPECT_FLOAT_EQ(2 * b, 0.45f);
    // Tall photo: 0.9 of the height, half as wide.
    GFX_LocationHolderFriend::photo_extent(0.9f, 100, 200, a, b);
    EXPECT_FLOAT_EQ(2 * a, 0.45f);
    EXPECT_FLOAT_EQ(2 * b, 0.9f);
    // Square photo on the selected locator of 2250: 1518.75 high.
    GFX_LocationHolderFriend::photo_extent(0.675f, 50, 50, a, b);
    EXPECT_FLOAT_EQ(2 * b * 2250, 1518.75f);
    EXPECT_FLOAT_EQ(2 * a * 2250, 1518.75f);
    // Just narrower than the 0.9 limit: sized by its height.
    GFX_LocationHolderFriend::photo_extent(0.9f, 99, 100, a, b);
    EXPECT_FLOAT_EQ(a, 0.5f * 0.891f);
    EXPECT_FLOAT_EQ(b, 0.45f);
    // No image yet, or an image that decoded to nothing: the default rectangle, never NaN.
    for (int w : {0, 100}) {
        GFX_LocationHolderFriend::photo_extent(0.675f, w, 0, a, b);
        EXPECT_FLOAT_EQ(a, 0.45f);
        EXPECT_FLOAT_EQ(b, 0.3375f);
    }
}

TEST(SceneLocator, NameIsNarrowedToFitTheFrame) {
    float cw = 0, ch = 0;
    GFX_LocationHolderFriend::name_extent(750, 750, 30, cw, ch);
    EXPECT_FLOAT_EQ(ch, 103.125f);
    EXPECT_FLOAT_EQ(cw, 22.5f);
    // A short name keeps characters half as wide as high.
    GFX_LocationHolderFriend::name_extent(750, 750, 5, cw, ch);
    EXPECT_FLOAT_EQ(cw, 51.5625f);
    GFX_LocationHolderFriend::name_extent(750, 750, 0, cw, ch);
    EXPECT_FLOAT_EQ(cw, 51.5625f);
}
