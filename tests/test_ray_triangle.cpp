// Picking rays against triangles: both windings, the range cut-off, shared edges and the rays
// that must not hit (parallel, in the plane, starting on the plane, outside).
#include "gfx/ray_triangle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const Math_Vector3 A(0, 0, 0), B(1, 0, 0), C(0, 1, 0);
const Math_Vector3 DOWN(0, 0, -1);

}  // namespace

TEST(RayTriangle, HitsEitherWindingAtTheDistanceAlongTheRay) {
    float t = -1;
    EXPECT_TRUE(ray_triangle_intersection({0.2f, 0.2f, 5}, DOWN, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 5);
    t = -1;
    EXPECT_TRUE(ray_triangle_intersection({0.2f, 0.2f, 5}, DOWN, 100, A, C, B, t));
    EXPECT_FLOAT_EQ(t, 5);
    // From below, against the other face; and t scales with the length of dir.
    t = -1;
    EXPECT_TRUE(ray_triangle_intersection({0.2f, 0.2f, -3}, {0, 0, 2}, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 1.5f);
    // An oblique ray to a tilted triangle: the hit point is origin + t * dir.
    const Math_Vector3 p0(1, 2, 3), p1(4, 2, 4), p2(2, 5, 1);
    const Math_Vector3 target = (p0 + p1 + p2) / 3.0f;
    const Math_Vector3 origin(-2, -1, 7);
    const Math_Vector3 dir = (target - origin) / 10.0f;
    t = -1;
    EXPECT_TRUE(ray_triangle_intersection(origin, dir, 100, p0, p1, p2, t));
    EXPECT_NEAR(t, 10.0f, 1e-4f);
}

TEST(RayTriangle, RangeCutsOffButStillReportsTheParameter) {
    float t = -1;
    EXPECT_FALSE(ray_triangle_intersection({0.2f, 0.2f, 5}, DOWN, 4.9f, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 5);
    // The range is inclusive.
    t = -1;
    EXPECT_TRUE(ray_triangle_intersection({0.2f, 0.2f, 5}, DOWN, 5, A, B, C, t));
    // Triangle behind the origin: t is negative, no hit whatever the range.
    t = 0;
    EXPECT_FALSE(ray_triangle_intersection({0.2f, 0.2f, 5}, {0, 0, 1}, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, -5);
}

TEST(RayTriangle, EdgesAndCornersBelongToTheTriangle) {
    // The quad (0,0)-(1,1) split along its diagonal: a ray through the diagonal hits both halves.
    const Math_Vector3 D(1, 1, 0);
    float t = -1;
    EXPECT_TRUE(ray_triangle_intersection({0.5f, 0.5f, 2}, DOWN, 10, A, B, D, t));
    EXPECT_FLOAT_EQ(t, 2);
    t = -1;
    EXPECT_TRUE(ray_triangle_intersection({0.5f, 0.5f, 2}, DOWN, 10, A, D, C, t));
    EXPECT_FLOAT_EQ(t, 2);
    // Outer edges and a corner, in both windings.
    EXPECT_TRUE(ray_triangle_intersection({0.5f, 0, 2}, DOWN, 10, A, B, C, t));
    EXPECT_TRUE(ray_triangle_intersection({0, 0.5f, 2}, DOWN, 10, A, C, B, t));
    EXPECT_TRUE(ray_triangle_intersection({0, 0, 2}, DOWN, 10, A, B, C, t));
    // Just outside each edge.
    EXPECT_FALSE(ray_triangle_intersection({0.5f, -0.01f, 2}, DOWN, 10, A, B, C, t));
    EXPECT_FALSE(ray_triangle_intersection({-0.01f, 0.5f, 2}, DOWN, 10, A, C, B, t));
    EXPECT_FALSE(ray_triangle_intersection({0.51f, 0.51f, 2}, DOWN, 10, A, B, C, t));
}

TEST(RayTriangle, ParallelInPlaneStartingOnPlaneAndDegenerateRaysMiss) {
    float t = 42;
    // Parallel above the plane and lying in it: t untouched.
    EXPECT_FALSE(ray_triangle_intersection({0.2f, 0.2f, 1}, {1, 0, 0}, 100, A, B, C, t));
    EXPECT_FALSE(ray_triangle_intersection({-1, 0.2f, 0}, {1, 0, 0}, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 42);
    // Starting on the triangle: t = 0 is not a hit.
    EXPECT_FALSE(ray_triangle_intersection({0.2f, 0.2f, 0}, DOWN, 100, A, B, C, t));
    EXPECT_FLOAT_EQ(t, 0);
    // A zero direction, a collapsed triangle and a NaN origin never hit.
    EXPECT_FALSE(ray_triangle_intersection({0.2f, 0.2f, 1}, {0, 0, 0}, 100, A, B, C, t));
    EXPECT_FALSE(ray_triangle_intersection({0.2f, 0.2f, 1}, DOWN, 100, A, B, B, t));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(ray_triangle_intersection({nan, 0.2f, 1}, DOWN, 100, A, B, C, t));
}
