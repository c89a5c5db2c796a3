// The procedural shapes on the CPU: sizes, index order, positions and normals on the sphere,
// winding seen from outside, and faces that meet without gaps.
#include "gfx/shapes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Face axes in group order: +x, -x, +y, -y, +z, -z.
const Math_Vector3 FACE_AXIS[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};

void expect_sizes(const GFX_GroupedModel& model, int n) {
    ASSERT_EQ(model.m_groups.size(), 6u);
    const int vertex_count = (n + 1) * (n + 1);
    for (int g = 0; g < 6; ++g) {
        const GFX_MeshGroup& group = *model.m_groups[g];
        EXPECT_EQ(group.m_group_index, g);
        EXPECT_TRUE(group.is_visible());
        EXPECT_EQ(group.m_vertices.size(), static_cast<size_t>(vertex_count)) << g;
        EXPECT_EQ(group.m_triangles.size(), static_cast<size_t>(2 * n * n)) << g;
        ASSERT_EQ(group.m_strips.size(), static_cast<size_t>(n)) << g;
        for (const std::vector<int>* strip : group.m_strips) {
            EXPECT_EQ(strip->size(), static_cast<size_t>(2 * (n + 1)));
            for (int index : *strip) EXPECT_TRUE(index >= 0 && index < vertex_count);
        }
        for (const Math_Triangle& tri : group.m_triangles)
            for (int k = 0; k < 3; ++k) EXPECT_TRUE(tri[k] >= 0 && tri[k] < vertex_count);
    }
}

// Positive when a -> b -> c turns counter-clockwise seen from outside a sphere round the origin.
float outward_winding(const Math_Vector3& a, const Math_Vector3& b, const Math_Vector3& c) {
    return (b - a).cross(c - a).dot(a + b + c);
}

}  // namespace

TEST(Shapes, BallAndSphereButtonSizes) {
    GFX_ColorBall ball(125);
    expect_sizes(ball, 5);
    GFX_SphereButton button(40);
    expect_sizes(button, 10);
}

TEST(Shapes, GridIndexOrderOfTrianglesAndStrips) {
    GFX_ColorBall ball(125);
    const GFX_MeshGroup& px = *ball.m_groups[0];
    const Math_Triangle& t0 = px.m_triangles[0];
    EXPECT_EQ(t0[0], 0);
    EXPECT_EQ(t0[1], 6);
    EXPECT_EQ(t0[2], 1);
    const Math_Triangle& t1 = px.m_triangles[1];
    EXPECT_EQ(t1[0], 7);
    EXPECT_EQ(t1[1], 1);
    EXPECT_EQ(t1[2], 6);
    const std::vector<int> first_strip = {0, 6, 1, 7, 2, 8, 3, 9, 4, 10, 5, 11};
    EXPECT_EQ(*px.m_strips[0], first_strip);
    EXPECT_EQ(px.m_strips[4]->back(), 35);
    // Every face restarts its indices at 0: the groups are drawn separately.
    EXPECT_EQ(*ball.m_groups[5]->m_strips[0], first_strip);

    // A grid needs a cell: no face, and no strip or triangle, for n < 1.
    GFX_ColorBallMeshGroup empty;
    empty.create_cube_side_positive_x(0, 125);
    empty.create_triangle_strips(-3);
    empty.create_triangle_array(-3);
    EXPECT_TRUE(empty.m_vertices.empty() && empty.m_strips.empty() && empty.m_triangles.empty());
}

TEST(Shapes, VerticesLieOnTheSphereWithOutwardUnitNormals) {
    GFX_ColorBall ball(125);
    const Math_VertexTangentSpace& v = ball.m_groups[0]->m_vertices[0];
    EXPECT_NEAR(v.m_position.m_x, 72.1688f, 1e-3f);
    EXPECT_NEAR(v.m_position.m_y, -72.1688f, 1e-3f);
    EXPECT_NEAR(v.m_position.m_z, 72.1688f, 1e-3f);
    const float k = 1.0f / std::sqrt(3.0f);
    EXPECT_NEAR(v.m_normal.m_x, k, 1e-6f);
    EXPECT_NEAR(v.m_normal.m_y, -k, 1e-6f);
    EXPECT_NEAR(v.m_normal.m_z, k, 1e-6f);
    EXPECT_EQ(v.m_s, 0);
    EXPECT_EQ(v.m_t, 0);
    // The last vertex of a face carries the far corner of the texture.
    EXPECT_FLOAT_EQ(ball.m_groups[0]->m_vertices[35].m_s, 1);
    EXPECT_FLOAT_EQ(ball.m_groups[0]->m_vertices[35].m_t, 1);

    GFX_SphereButton button(40);
    for (const GFX_GroupedModel* model : {static_cast<GFX_GroupedModel*>(&ball), static_cast<GFX_GroupedModel*>(&button)}) {
        const float r = model == &ball ? 125.0f : 40.0f;
        for (const GFX_MeshGroup* group : model->m_groups) {
            for (const Math_VertexTangentSpace& p : group->m_vertices) {
                EXPECT_NEAR(p.m_position.length(), r, r * 1e-6f);
                EXPECT_NEAR(p.m_normal.length(), 1.0f, 1e-6f);
                EXPECT_NEAR(p.m_position.distance(p.m_normal * r), 0, r * 1e-6f);
                EXPECT_EQ(p.m_frame_normal, p.m_normal);
                // Members the generators do not set stay zero.
                EXPECT_EQ(p.m_tangent, Math_Vector3());
                EXPECT_EQ(p.m_light, Math_Vector3());
            }
        }
    }

    // The sphere button has a vertex at the centre of each face, on that face's axis; the ball,
    // with an odd grid, has none.
    for (int g = 0; g < 6; ++g) {
        const Math_VertexTangentSpace& centre = button.m_groups[g]->m_vertices[5 * 11 + 5];
        EXPECT_NEAR(centre.m_position.distance(FACE_AXIS[g] * 40.0f), 0, 1e-4f) << g;
        EXPECT_FLOAT_EQ(centre.m_s, 0.5f);
        for (const Math_VertexTangentSpace& p : ball.m_groups[g]->m_vertices)
            EXPECT_LT(p.m_normal.dot(FACE_AXIS[g]), 0.999f);
    }
}

TEST(Shapes, TrianglesAndStripsTurnCounterClockwiseSeenFromOutside) {
    GFX_ColorBall ball(125);
    GFX_SphereButton button(40);
    for (const GFX_GroupedModel* model : {static_cast<GFX_GroupedModel*>(&ball), static_cast<GFX_GroupedModel*>(&button)}) {
        for (const GFX_MeshGroup* group : model->m_groups) {
            const auto& v = group->m_vertices;
            for (const Math_Triangle& tri : group->m_triangles)
                EXPECT_GT(outward_winding(v[tri[0]].m_position, v[tri[1]].m_position, v[tri[2]].m_position), 0)
                    << "group " << group->m_group_index;
            // OpenGL takes strip triangle k as (k, k+1, k+2), swapping the first two when k is odd.
            for (const std::vector<int>* strip : group->m_strips) {
                for (size_t k = 0; k + 2 < strip->size(); ++k) {
                    int a = (*strip)[k], b = (*strip)[k + 1];
                    if (k % 2) std::swap(a, b);
                    EXPECT_GT(outward_winding(v[a].m_position, v[b].m_position, v[(*strip)[k + 2]].m_position), 0)
                        << "group " << group->m_group_index << " strip triangle " << k;
                }
            }
        }
    }
}

TEST(Shapes, FacesMeetWithoutGaps) {
    // Every vertex on the border of a face is also a vertex of a neighbouring face, so the six
    // faces close the sphere.
    const int n = 5;
    GFX_ColorBall ball(125);
    for (int g = 0; g < 6; ++g) {
        const auto& verts = ball.m_groups[g]->m_vertices;
        for (int i = 0; i <= n; ++i) {
            for (int j = 0; j <= n; ++j) {
                if (i != 0 && i != n && j != 0 && j != n) continue;
                const Math_Vector3& p = verts[i * (n + 1) + j].m_position;
                int shared = 0;
                for (int h = 0; h < 6; ++h) {
                    if (h == g) continue;
                    for (const Math_VertexTangentSpace& q : ball.m_groups[h]->m_vertices)
                        if (q.m_position.distance(p) < 1e-3f) ++shared;
                }
                // Corners are shared by three faces, other border vertices by two.
                const bool corner = (i == 0 || i == n) && (j == 0 || j == n);
                EXPECT_EQ(shared, corner ? 2 : 1) << "face " << g << " vertex " << i << "," << j;
            }
        }
    }
}
