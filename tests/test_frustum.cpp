// The view frustum: sizes from the field of view, outward planes with their sign masks, and
// corners that lie on the planes bounding them.
#include "gfx/frustum.h"

#include <gtest/gtest.h>

namespace {

using P = GFX_Frustum;

float side(const GFX_Frustum& f, int plane, const Math_Vector3& p) {
    return f.m_plane_norm[plane].dot(p) + f.m_plane_d[plane];
}

}  // namespace

TEST(Frustum, SizesFromFieldOfViewAspectAndClipDistances) {
    GFX_Frustum f(90, 2, 1, 100);
    EXPECT_NEAR(f.m_near_height, 1.0f, 1e-5f);
    EXPECT_NEAR(f.m_near_width, 2.0f, 1e-5f);
    EXPECT_NEAR(f.m_far_height, 100.0f, 1e-3f);
    EXPECT_NEAR(f.m_far_width, 200.0f, 1e-3f);
}

TEST(Frustum, PlanesPointOutwardWithTheirSignMasks) {
    GFX_Frustum f(90, 2, 1, 100);
    f.update({0, 0, 0}, {0, 0, -1}, {0, 1, 0});
    EXPECT_EQ(f.m_plane_norm[P::NEAR_PLANE], Math_Vector3(0, 0, 1));
    EXPECT_EQ(f.m_plane_norm[P::FAR_PLANE], Math_Vector3(0, 0, -1));
    EXPECT_GT(f.m_plane_norm[P::TOP_PLANE].m_y, 0);
    EXPECT_LT(f.m_plane_norm[P::BOTTOM_PLANE].m_y, 0);
    EXPECT_LT(f.m_plane_norm[P::LEFT_PLANE].m_x, 0);
    EXPECT_GT(f.m_plane_norm[P::RIGHT_PLANE].m_x, 0);
    // The sides lean back toward the eye (+z); the far plane faces -z.
    const int masks[P::PLANE_COUNT] = {4, 0, 2 | 4, 4, 4, 1 | 4};
    for (int i = 0; i < P::PLANE_COUNT; ++i) {
        EXPECT_NEAR(f.m_plane_norm[i].length(), 1.0f, 1e-6f) << i;
        EXPECT_EQ(f.m_primary_axis[i], masks[i]) << i;
        EXPECT_LT(side(f, i, {0, 0, -50}), 0) << i;  // inside is behind every plane
    }
    EXPECT_GT(side(f, P::NEAR_PLANE, {0, 0, -0.5f}), 0);
    EXPECT_GT(side(f, P::FAR_PLANE, {0, 0, -101}), 0);
    EXPECT_GT(side(f, P::TOP_PLANE, {0, 51, -50}), 0);
    EXPECT_GT(side(f, P::BOTTOM_PLANE, {0, -51, -50}), 0);
    EXPECT_GT(side(f, P::RIGHT_PLANE, {101, 0, -50}), 0);
    EXPECT_LT(side(f, P::RIGHT_PLANE, {99, 0, -50}), 0);
}

TEST(Frustum, CornersLieOnTheirPlanesForAnObliqueCamera) {
    GFX_Frustum f(45, 1.5f, 10, 1000);
    const Math_Vector3 eye(300, -200, 500);
    Math_Vector3 d = -eye;
    d.normalize();
    Math_Vector3 up =
        Math_Vector3(0, 1, 0) - d * d.m_y;  // unit and perpendicular, as the camera gives it
    up.normalize();
    f.update(eye, {0, 0, 0}, up);

    Math_Vector3 corners[2][4];
    f.compute_near_and_far_points(corners[0], corners[1]);
    // Corners bottom-left, bottom-right, top-right, top-left; each lies on its two side planes.
    const int on_planes[4][2] = {{P::BOTTOM_PLANE, P::LEFT_PLANE},
                                 {P::BOTTOM_PLANE, P::RIGHT_PLANE},
                                 {P::TOP_PLANE, P::RIGHT_PLANE},
                                 {P::TOP_PLANE, P::LEFT_PLANE}};
    for (int is_far = 0; is_far < 2; ++is_far) {
        const float eps = is_far ? 0.5f : 1e-3f;
        for (int k = 0; k < 4; ++k) {
            const Math_Vector3& p = corners[is_far][k];
            EXPECT_NEAR(side(f, is_far ? P::FAR_PLANE : P::NEAR_PLANE, p), 0, eps) << is_far << k;
            EXPECT_NEAR(side(f, on_planes[k][0], p), 0, eps) << is_far << k;
            EXPECT_NEAR(side(f, on_planes[k][1], p), 0, eps) << is_far << k;
        }
    }
    EXPECT_NEAR(corners[0][0].distance(corners[0][1]), 2 * f.m_near_width, 1e-3f);
    EXPECT_NEAR(corners[0][1].distance(corners[0][2]), 2 * f.m_near_height, 1e-3f);
    EXPECT_NEAR(((corners[0][0] + corners[0][2]) * 0.5f).distance(eye), 10, 1e-3f);
}
