// The orbit camera: elevation clamps, the distance clamps and the horizontal-view lift at
// update, one-turn azimuth wrapping, the eye and up vectors against their closed form, and the
// look-at transform it loads.
#include "scene/camera.h"
#include "tests/support/offscreen_gl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// The camera with the limits and target the application's start gives it.
GFX_NimbraCamera app_camera() {
    GFX_NimbraCamera cam;
    cam.m_min_up_down = -85;
    cam.m_max_up_down = 85;
    cam.set_up_down(0);
    cam.m_center = Math_Vector3(0, 500, 0);
    cam.m_min_distance = 7500;
    cam.m_max_distance = 20000;
    cam.m_distance = 18500;
    return cam;
}

void expect_vec(const Math_Vector3& v, float x, float y, float z, float eps) {
    EXPECT_NEAR(v.m_x, x, eps);
    EXPECT_NEAR(v.m_y, y, eps);
    EXPECT_NEAR(v.m_z, z, eps);
}

}  // namespace

TEST(Camera, ClampsElevationWhenSetAndDistanceAndHorizonAtUpdate) {
    GFX_NimbraCamera cam = app_camera();
    cam.set_up_down(100);
    EXPECT_EQ(cam.m_up_down, 85);
    cam.set_up_down(-100);
    EXPECT_EQ(cam.m_up_down, -85);

    cam.m_distance = 30000;
    cam.update();
    EXPECT_EQ(cam.m_distance, 20000);
    cam.m_distance = 5000;
    cam.update();
    EXPECT_EQ(cam.m_distance, 7500);

    for (float e : {0.0f, -0.005f}) {
        cam.m_up_down = e;
        cam.update();
        EXPECT_EQ(cam.m_up_down, 0.01f) << e;
    }
    cam.m_up_down = -0.02f;
    cam.update();
    EXPECT_EQ(cam.m_up_down, -0.02f);
}

TEST(Camera, AzimuthWrapsByOneTurnPerUpdate) {
    GFX_NimbraCamera cam = app_camera();
    const struct { float from, to; } cases[] = {{190, -170}, {-200, 160}, {180, 180}, {-180, -180}};
    for (const auto& c : cases) {
        cam.set_left_right(c.from);
        EXPECT_EQ(cam.m_left_right, c.from);  // not wrapped until the update
        cam.update();
        EXPECT_FLOAT_EQ(cam.m_left_right, c.to) << c.from;
    }
    cam.set_left_right(600);
    cam.update();
    EXPECT_FLOAT_EQ(cam.m_left_right, 240);
    cam.update();
    EXPECT_FLOAT_EQ(cam.m_left_right, -120);
}

TEST(Camera, EyeAndUpFollowTheClosedForm) {
    GFX_NimbraCamera cam = app_camera();
    cam.update();
    expect_vec(cam.m_eye, 18500, 503.2f, 0, 0.05f);
    expect_vec(cam.m_up, -0.00017f, 1, 0, 1e-5f);

    cam.m_center = Math_Vector3(10, -20, 30);
    cam.m_distance = 10000;
    for (float e : {-80.0f, -30.0f, 0.5f, 45.0f, 85.0f}) {
        for (float a : {-170.0f, -90.0f, 0.0f, 33.0f, 90.0f, 180.0f}) {
            cam.set_up_down(e);
            cam.set_left_right(a);
            cam.update();
            const float er = e * Math_DEG_TO_RAD, ar = a * Math_DEG_TO_RAD;
            const Math_Vector3 dir(std::cos(er) * std::cos(ar), std::sin(er),
                                   std::cos(er) * std::sin(ar));
            const Math_Vector3 eye = cam.m_center + dir * 10000;
            expect_vec(cam.m_eye, eye.m_x, eye.m_y, eye.m_z, 0.05f);
            expect_vec(cam.m_up, -std::sin(er) * std::cos(ar), std::cos(er),
                       -std::sin(er) * std::sin(ar), 1e-5f);
        }
    }
}

TEST(Camera, ApplyLooksFromTheEyeAtTheTarget) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    GFX_NimbraCamera cam = app_camera();
    cam.set_left_right(30);
    cam.set_up_down(20);
    cam.update();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    cam.apply();
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    auto to_view = [&m](const Math_Vector3& p, float w) {
        return Math_Vector3(m[0] * p.m_x + m[4] * p.m_y + m[8] * p.m_z + m[12] * w,
                            m[1] * p.m_x + m[5] * p.m_y + m[9] * p.m_z + m[13] * w,
                            m[2] * p.m_x + m[6] * p.m_y + m[10] * p.m_z + m[14] * w);
    };
    expect_vec(to_view(cam.m_eye, 1), 0, 0, 0, 0.05f);
    expect_vec(to_view(cam.m_center, 1), 0, 0, -18500, 0.5f);
    expect_vec(to_view(cam.m_up, 0), 0, 1, 0, 1e-5f);
}
