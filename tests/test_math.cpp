// The math core: both product conventions of the rotations, the quaternion matrix, the random
// range, and the vector helpers the scene relies on.
#include "gfx/math.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void expect_vec(const Math_Vector3& v, float x, float y, float z, float eps = 1e-6f) {
    EXPECT_NEAR(v.m_x, x, eps);
    EXPECT_NEAR(v.m_y, y, eps);
    EXPECT_NEAR(v.m_z, z, eps);
}

}  // namespace

TEST(Math, RotationsTurnPositivelyAsRowVectorAndNegativelyAsColumnVector) {
    const float a = Math_PI / 2;
    Math_Matrix33 rz, rx, ry;
    rz.set_rotate_z(a);
    rx.set_rotate_x(a);
    ry.set_rotate_y(a);

    Math_Vector3 v(1, 0, 0);
    v.mult_vector_matrix(rz);
    expect_vec(v, 0, 1, 0);
    v = Math_Vector3(1, 0, 0);
    v.mult_matrix_vector(rz);
    expect_vec(v, 0, -1, 0);
    expect_vec(rz * Math_Vector3(1, 0, 0), 0, -1, 0);

    v = Math_Vector3(0, 1, 0);
    v.mult_vector_matrix(rx);
    expect_vec(v, 0, 0, 1);
    v = Math_Vector3(0, 0, 1);
    v.mult_vector_matrix(ry);
    expect_vec(v, 1, 0, 0);
    v = Math_Vector3(0, 0, 1);
    v.mult_matrix_vector(ry);
    expect_vec(v, -1, 0, 0);
}

TEST(Math, MatrixProductIsRowByRowAndComposesRotations) {
    Math_Matrix33 a, b;
    a.set_rotate_z(0.3f);
    b.set_rotate_z(0.4f);
    a *= b;
    Math_Matrix33 c;
    c.set_rotate_z(0.7f);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(a[i], c[i], 1e-6f);

    Math_Matrix33 m;
    for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(i + 1);
    Math_Matrix33 n = m;
    n *= m;  // the old row values must be used for each row
    EXPECT_FLOAT_EQ(n[0], 30);
    EXPECT_FLOAT_EQ(n[1], 36);
    EXPECT_FLOAT_EQ(n[5], 96);
    EXPECT_FLOAT_EQ(n[8], 150);
    Math_Matrix33 h = m * 0.5f;
    EXPECT_FLOAT_EQ(h[4], 2.5f);

    Math_Matrix33 o = Math_Vector3(1, 2, 3).outer(Math_Vector3(4, 5, 6));
    EXPECT_FLOAT_EQ(o[0], 4);
    EXPECT_FLOAT_EQ(o[2], 6);
    EXPECT_FLOAT_EQ(o[3], 8);
    EXPECT_FLOAT_EQ(o[8], 18);
}

TEST(Math, QuaternionMatchesRotationBuildersAndHandlesZeroAngle) {
    for (float a : {0.1f, 1.0f, -2.5f, 3.0f}) {
        Math_Matrix33 q, z;
        // A non-unit axis must give the same rotation.
        Math_Quaternion(0, 0, 7, a).get_rotation_matrix(q);
        z.set_rotate_z(a);
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(q[i], z[i], 1e-6f) << "angle " << a << " element " << i;
        Math_Quaternion(Math_Vector3(2, 0, 0), a).get_rotation_matrix(q);
        z.set_rotate_x(a);
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(q[i], z[i], 1e-6f);
    }
    Math_Quaternion id(0, 0, 0, 0.0f);
    EXPECT_EQ(id.m_x, 0.0f);
    EXPECT_EQ(id.m_y, 0.0f);
    EXPECT_EQ(id.m_z, 0.0f);
    EXPECT_EQ(id.m_w, 1.0f);
    Math_Quaternion unnormalised;
    unnormalised.m_w = 3.0f;  // the division by the norm makes this the identity too
    Math_Matrix33 m;
    unnormalised.get_rotation_matrix(m);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(m[i], (i % 4 == 0) ? 1.0f : 0.0f, 1e-6f);
}

TEST(Math, RandomStaysInItsRangeEitherWayRound) {
    std::srand(12345);
    EXPECT_EQ(Math_Random(3.0f, 3.0f), 3.0f);
    float lo = 10, hi = -10;
    for (int i = 0; i < 20000; ++i) {
        const float r = Math_Random(-1.0f, 1.0f);
        ASSERT_GE(r, -1.0f);
        ASSERT_LT(r, 1.0f);
        lo = std::min(lo, r);
        hi = std::max(hi, r);
        const float s = Math_Random(2.0f, 1.0f);
        ASSERT_GT(s, 1.0f);
        ASSERT_LE(s, 2.0f);
    }
    EXPECT_LT(lo, -0.99f);
    EXPECT_GT(hi, 0.99f);
}

TEST(Math, VectorHelpers) {
    Math_Vector3 a(3, 4, 0);
    EXPECT_FLOAT_EQ(a.length(), 5);
    EXPECT_FLOAT_EQ(a.distance(Math_Vector3(3, 4, 2)), 2);
    a.normalize();
    expect_vec(a, 0.6f, 0.8f, 0);
    expect_vec(Math_Vector3(1, 0, 0).cross(Math_Vector3(0, 1, 0)), 0, 0, 1);
    expect_vec(Math_Vector3(2, 4, 6) / 2, 1, 2, 3);
    Math_Vector3 z;
    z.normalize();
    EXPECT_FALSE(std::isfinite(z.m_x));
    EXPECT_EQ(&a[1], &a.m_y);
}
