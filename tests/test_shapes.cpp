// The procedural shapes on the CPU: sizes, index order, positions and normals on the sphere,
// and triangles and strips that turn counter-clockwise seen from outside.
#include "gfx/shapes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Positive when a -> b -> c turns counter-clockwise seen from outside a sphere round the origin.
float outward_winding(const Math_Vector3& a, const Math_Vector3& b, const Math_Vector3& c) {
    return (b - a).cross(c - a).dot(a + b + c);
}

// Sizes, index ranges, radius and winding of a six-face shape with n x n cells per face.
void check_shape(const GFX_GroupedModel& model, int n, float radius) {
    ASSERT_EQ(model.m_groups.size(), 6u);
    const int count = (n + 1) * (n + 1);
    for (const GFX_MeshGroup* group : model.m_groups) {
        const int g = group->m_group_index;
        const auto& v = group->m_vertices;
        ASSERT_EQ(v.size(), static_cast<size_t>(count)) << g;
        EXPECT_EQ(group->m_triangles.size(), static_cast<size_t>(2 * n * n)) << g;
        ASSERT_EQ(group->m_strips.size(), static_cast<size_t>(n)) << g;
        for (const Math_VertexTangentSpace& p : v) {
            EXPECT_NEAR(p.m_position.length(), radius, radius * 1e-6f);
            EXPECT_NEAR(p.m_position.distance(p.m_normal * radius), 0, radius * 1e-6f);
            EXPECT_EQ(p.m_frame_normal, p.m_normal);
            EXPECT_EQ(p.m_tangent, Math_Vector3());
        }
        for (const Math_Triangle& tri : group->m_triangles) {
            ASSERT_TRUE(tri[0] >= 0 && tri[0] < count && tri[1] >= 0 && tri[1] < count &&
                        tri[2] >= 0 && tri[2] < count);
            EXPECT_GT(
                outward_winding(v[tri[0]].m_position, v[tri[1]].m_position, v[tri[2]].m_position),
                0)
                << g;
        }
        // OpenGL takes strip triangle k as (k, k+1, k+2), the first two swapped when k is odd.
        for (const std::vector<int>* strip : group->m_strips) {
            ASSERT_EQ(strip->size(), static_cast<size_t>(2 * (n + 1))) << g;
            for (int index : *strip) ASSERT_TRUE(index >= 0 && index < count);
            for (size_t k = 0; k + 2 < strip->size(); ++k) {
                const int a = (*strip)[k + (k % 2)], b = (*strip)[k + 1 - (k % 2)];
                EXPECT_GT(outward_winding(v[a].m_position, v[b].m_position,
                                          v[(*strip)[k + 2]].m_position),
                          0)
                    << g;
            }
        }
    }
}

}  // namespace

TEST(Shapes, BallAndSphereButtonSizesRadiusAndWinding) {
    GFX_ColorBall ball(125);
    check_shape(ball, 5, 125);
    GFX_SphereButton button(40);
    check_shape(button, 10, 40);
    // A grid needs a cell: nothing is appended for n < 1.
    GFX_ColorBallMeshGroup empty;
    empty.create_cube_side_positive_x(0, 125);
    empty.create_triangle_strips(-3);
    empty.create_triangle_array(-3);
    EXPECT_TRUE(empty.m_vertices.empty() && empty.m_strips.empty() && empty.m_triangles.empty());
}

TEST(Shapes, FirstTriangleStripAndVertexOfTheBall) {
    GFX_ColorBall ball(125);
    const GFX_MeshGroup& px = *ball.m_groups[0];
    const Math_Triangle& t0 = px.m_triangles[0];
    EXPECT_TRUE(t0[0] == 0 && t0[1] == 6 && t0[2] == 1);
    const std::vector<int> first_strip = {0, 6, 1, 7, 2, 8, 3, 9, 4, 10, 5, 11};
    EXPECT_EQ(*px.m_strips[0], first_strip);
    EXPECT_EQ(*ball.m_groups[5]->m_strips[0], first_strip);  // each face counts from 0

    const Math_VertexTangentSpace& v = px.m_vertices[0];
    const float k = 1.0f / std::sqrt(3.0f);
    EXPECT_NEAR(v.m_position.distance({72.1688f, -72.1688f, 72.1688f}), 0, 1e-3f);
    EXPECT_NEAR(v.m_normal.distance({k, -k, k}), 0, 1e-6f);
    EXPECT_TRUE(v.m_s == 0 && v.m_t == 0);
    EXPECT_TRUE(px.m_vertices[35].m_s == 1 && px.m_vertices[35].m_t == 1);
}

TEST(Shapes, SphereButtonHasAVertexOnEachFaceAxisTheBallHasNone) {
    const Math_Vector3 axes[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                  {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
    GFX_SphereButton button(40);
    GFX_ColorBall ball(125);
    for (int g = 0; g < 6; ++g) {
        const Math_VertexTangentSpace& centre = button.m_groups[g]->m_vertices[5 * 11 + 5];
        EXPECT_NEAR(centre.m_position.distance(axes[g] * 40.0f), 0, 1e-4f) << g;
        EXPECT_TRUE(centre.m_s == 0.5f && centre.m_t == 0.5f);
        for (const Math_VertexTangentSpace& p : ball.m_groups[g]->m_vertices)
            EXPECT_LT(p.m_normal.dot(axes[g]), 0.999f);
    }
}
