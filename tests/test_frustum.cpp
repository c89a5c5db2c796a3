// The view frustum: rectangle sizes from the field of view, outward planes and their sign
// masks, and corners that lie on the planes that bound them.
#include "gfx/frustum.h"

#include <gtest/gtest.h>

namespace {

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
    EXPECT_EQ(f.m_fov_angle, 90);
    EXPECT_EQ(f.m_aspect_ratio, 2);
    EXPECT_EQ(f.m_plane_near, 1);
    EXPECT_EQ(f.m_plane_far, 100);

    // The window's default: 45 degrees, near 1000.
    f.set_frustum(45, 1, 1000, 25000);
    EXPECT_NEAR(f.m_near_height, 414.2136f, 1e-2f);
    EXPECT_NEAR(f.m_far_width, 10355.34f, 0.5f);
}

TEST(Frustum, PlanesPointOutwardWithTheirSignMasks) {
    GFX_Frustum f(90, 2, 1, 100);
    f.update({0, 0, 0}, {0, 0, -1}, {0, 1, 0});

    using P = GFX_Frustum;
    EXPECT_EQ(f.m_plane_norm[P::NEAR_PLANE], Math_Vector3(0, 0, 1));
    EXPECT_EQ(f.m_plane_norm[P::FAR_PLANE], Math_Vector3(0, 0, -1));
    EXPECT_GT(f.m_plane_norm[P::TOP_PLANE].m_y, 0);
    EXPECT_LT(f.m_plane_norm[P::BOTTOM_PLANE].m_y, 0);
    EXPECT_LT(f.m_plane_norm[P::LEFT_PLANE].m_x, 0);
    EXPECT_GT(f.m_plane_norm[P::RIGHT_PLANE].m_x, 0);
    for (int i = 0; i < P::PLANE_COUNT; ++i) EXPECT_NEAR(f.m_plane_norm[i].length(), 1.0f, 1e-6f) << i;

    // Sides lean back toward the eye (+z); the far plane faces -z, so its mask is empty.
    EXPECT_EQ(f.m_primary_axis[P::NEAR_PLANE], 4);
    EXPECT_EQ(f.m_primary_axis[P::FAR_PLANE], 0);
    EXPECT_EQ(f.m_primary_axis[P::TOP_PLANE], 2 | 4);
    EXPECT_EQ(f.m_primary_axis[P::BOTTOM_PLANE], 4);
    EXPECT_EQ(f.m_primary_axis[P::LEFT_PLANE], 4);
    EXPECT_EQ(f.m_primary_axis[P::RIGHT_PLANE], 1 | 4);

    // A point inside is behind every plane; points beyond each face are outside that face only.
    EXPECT_EQ(f.m_plane_d[P::NEAR_PLANE], 1);
    EXPECT_EQ(f.m_plane_d[P::FAR_PLANE], -100);
    const Math_Vector3 inside(0, 0, -50);
    for (int i = 0; i < P::PLANE_COUNT; ++i) EXPECT_LT(side(f, i, inside), 0) << i;
    EXPECT_GT(side(f, P::NEAR_PLANE, {0, 0, -0.5f}), 0);
    EXPECT_GT(side(f, P::FAR_PLANE, {0, 0, -101}), 0);
    EXPECT_GT(side(f, P::TOP_PLANE, {0, 51, -50}), 0);
    EXPECT_GT(side(f, P::BOTTOM_PLANE, {0, -51, -50}), 0);
    EXPECT_GT(side(f, P::LEFT_PLANE, {-101, 0, -50}), 0);
    EXPECT_GT(side(f, P::RIGHT_PLANE, {101, 0, -50}), 0);
    EXPECT_LT(side(f, P::RIGHT_PLANE, {99, 0, -50}), 0);
}

TEST(Frustum, CornersLieOnTheirPlanesForAnObliqueCamera) {
    GFX_Frustum f(45, 1.5f, 10, 1000);
    // The camera looks from a point off every axis at the origin; up is made perpendicular to
    // the view direction and unit, as the camera hands it over.
    const Math_Vector3 eye(300, -200, 500), center(0, 0, 0);
    Math_Vector3 d = center - eye;
    d.normalize();
    Math_Vector3 up = Math_Vector3(0, 1, 0) - d * d.m_y;
    up.normalize();
    f.update(eye, center, up);

    Math_Vector3 n[4], fp[4];
    f.compute_near_and_far_points(n, fp);
    using P = GFX_Frustum;
    const float eps = 1e-3f * 1000;  // relative to the far distance
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(side(f, P::NEAR_PLANE, n[k]), 0, 1e-3f) << k;
        EXPECT_NEAR(side(f, P::FAR_PLANE, fp[k]), 0, eps) << k;
    }
    // Bottom-left, bottom-right, top-right, top-left.
    const int bottom[] = {0, 1}, top[] = {2, 3}, left[] = {0, 3}, right[] = {1, 2};
    for (int k : bottom) {
        EXPECT_NEAR(side(f, P::BOTTOM_PLANE, n[k]), 0, 1e-3f);
        EXPECT_NEAR(side(f, P::BOTTOM_PLANE, fp[k]), 0, eps);
    }
    for (int k : top) {
        EXPECT_NEAR(side(f, P::TOP_PLANE, n[k]), 0, 1e-3f);
        EXPECT_NEAR(side(f, P::TOP_PLANE, fp[k]), 0, eps);
    }
    for (int k : left) {
        EXPECT_NEAR(side(f, P::LEFT_PLANE, n[k]), 0, 1e-3f);
        EXPECT_NEAR(side(f, P::LEFT_PLANE, fp[k]), 0, eps);
    }
    for (int k : right) {
        EXPECT_NEAR(side(f, P::RIGHT_PLANE, n[k]), 0, 1e-3f);
        EXPECT_NEAR(side(f, P::RIGHT_PLANE, fp[k]), 0, eps);
    }
    // Each corner is inside the four planes it does not lie on; the centre of the volume is
    // inside all six.
    EXPECT_LT(side(f, P::TOP_PLANE, n[0]), -1);
    EXPECT_LT(side(f, P::RIGHT_PLANE, fp[3]), -1);
    const Math_Vector3 mid = eye + d * 500.0f;
    for (int i = 0; i < P::PLANE_COUNT; ++i) EXPECT_LT(side(f, i, mid), 0) << i;
    // The near rectangle is 2 * half-width wide and at the near distance from the eye.
    EXPECT_NEAR(n[0].distance(n[1]), 2 * f.m_near_width, 1e-3f);
    EXPECT_NEAR(n[1].distance(n[2]), 2 * f.m_near_height, 1e-3f);
    EXPECT_NEAR(((n[0] + n[2]) * 0.5f).distance(eye), 10, 1e-3f);
}
