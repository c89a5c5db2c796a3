// Picking rays against triangles: both windings, the range cut-off, shared edges and the rays
// that must not hit (parallel, in the plane, starting on it, degenerate).
#include "gfx/ray_triangle.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const Math_Vector3 A(0, 0, 0), B(1, 0, 0), C(0, 1, 0), D(1, 1, 0);
const Math_Vector3 DOWN(0, 0, -1), ABOVE(0.2f, 0.2f, 5);

}  // namespace

TEST(RayTriangle, HitsEitherWindingWithinRangeAndAlwaysReportsT) {
    float t = -1;
    EXPECT_TRUE(ray_triangle_intersection(ABOVE, DOWN, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 5);
    t = -1;
    EXPECT_TRUE(ray_triangle_intersection(ABOVE, DOWN, 100, A, C, B, t));
    EXPECT_FLOAT_EQ(t, 5);
    // t is in units of dir.
    EXPECT_TRUE(ray_triangle_intersection({0.2f, 0.2f, -3}, {0, 0, 2}, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 1.5f);
    // Out of range: no hit, but t is still written. The range itself is inclusive.
    t = -1;
    EXPECT_FALSE(ray_triangle_intersection(ABOVE, DOWN, 4.9f, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 5);
    EXPECT_TRUE(ray_triangle_intersection(ABOVE, DOWN, 5, A, B, C, t));
    // Behind the origin.
    EXPECT_FALSE(ray_triangle_intersection(ABOVE, {0, 0, 1}, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, -5);
}

TEST(RayTriangle, EdgesBelongToTheTriangle) {
    // The diagonal shared by the two halves of a quad hits both.
    float t = -1;
    EXPECT_TRUE(ray_triangle_intersection({0.5f, 0.5f, 2}, DOWN, 10, A, B, D, t));
    EXPECT_TRUE(ray_triangle_intersection({0.5f, 0.5f, 2}, DOWN, 10, A, D, C, t));
    EXPECT_TRUE(ray_triangle_intersection({0, 0.5f, 2}, DOWN, 10, A, C, B, t));
    EXPECT_TRUE(ray_triangle_intersection({0, 0, 2}, DOWN, 10, A, B, C, t));
    EXPECT_FALSE(ray_triangle_intersection({0.5f, -0.01f, 2}, DOWN, 10, A, B, C, t));
    EXPECT_FALSE(ray_triangle_intersection({-0.01f, 0.5f, 2}, DOWN, 10, A, C, B, t));
    EXPECT_FALSE(ray_triangle_intersection({0.51f, 0.51f, 2}, DOWN, 10, A, B, C, t));
}

TEST(RayTriangle, ParallelOnThePlaneAndDegenerateRaysMiss) {
    float t = 42;
    EXPECT_FALSE(ray_triangle_intersection({0.2f, 0.2f, 1}, {1, 0, 0}, 100, A, B, C, t));
    EXPECT_FALSE(ray_triangle_intersection({-1, 0.2f, 0}, {1, 0, 0}, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 42);  // untouched without an intersection
    EXPECT_FALSE(ray_triangle_intersection({0.2f, 0.2f, 0}, DOWN, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 0);
    EXPECT_FALSE(ray_triangle_intersection(ABOVE, {0, 0, 0}, 100, A, B, C, t));
    EXPECT_FALSE(ray_triangle_intersection(ABOVE, DOWN, 100, A, B, B, t));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(ray_triangle_intersection({nan, 0.2f, 5}, DOWN, 100, A, B, C, t));
}
