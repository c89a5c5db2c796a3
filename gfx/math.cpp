// Out-of-line parts of the math core: matrix products, rotation builders, quaternion matrix.
#include "gfx/math.h"

#include <cstdlib>

Math_Matrix33 Math_Vector3::outer(const Math_Vector3& b) const {
    Math_Matrix33 M;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) M.m[3 * r + c] = (*this)[r] * b[c];
    return M;
}

void Math_Vector3::mult_matrix_vector(const Math_Matrix33& M) {
    const float x = m_x, y = m_y, z = m_z;
    m_x = M.m[0] * x + M.m[1] * y + M.m[2] * z;
    m_y = M.m[3] * x + M.m[4] * y + M.m[5] * z;
    m_z = M.m[6] * x + M.m[7] * y + M.m[8] * z;
}

void Math_Vector3::mult_vector_matrix(const Math_Matrix33& M) {
    const float x = m_x, y = m_y, z = m_z;
    m_x = M.m[0] * x + M.m[3] * y + M.m[6] * z;
    m_y = M.m[1] * x + M.m[4] * y + M.m[7] * z;
    m_z = M.m[2] * x + M.m[5] * y + M.m[8] * z;
}

Math_Matrix33& Math_Matrix33::operator*=(const Math_Matrix33& B) {
    for (int r = 0; r < 3; ++r) {
        const float a0 = m[3 * r], a1 = m[3 * r + 1], a2 = m[3 * r + 2];
        for (int c = 0; c < 3; ++c) m[3 * r + c] = a0 * B.m[c] + a1 * B.m[3 + c] + a2 * B.m[6 + c];
    }
    return *this;
}

void Math_Matrix33::set_identity() { *this = Math_Matrix33(); }

void Math_Matrix33::set_rotate_x(float a) {
    const float c = std::cos(a), s = std::sin(a);
    const float v[9] = {1, 0, 0, 0, c, s, 0, -s, c};
    for (int i = 0; i < 9; ++i) m[i] = v[i];
}

void Math_Matrix33::set_rotate_y(float a) {
    const float c = std::cos(a), s = std::sin(a);
    const float v[9] = {c, 0, -s, 0, 1, 0, s, 0, c};
    for (int i = 0; i < 9; ++i) m[i] = v[i];
}

void Math_Matrix33::set_rotate_z(float a) {
    const float c = std::cos(a), s = std::sin(a);
    const float v[9] = {c, s, 0, -s, c, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) m[i] = v[i];
}

Math_Matrix33 operator*(const Math_Matrix33& M, float s) {
    Math_Matrix33 R;
    for (int i = 0; i < 9; ++i) R.m[i] = M.m[i] * s;
    return R;
}

Math_Vector3 operator*(const Math_Matrix33& M, const Math_Vector3& v) {
    Math_Vector3 r = v;
    r.mult_matrix_vector(M);
    return r;
}

void Math_Quaternion::set(float x, float y, float z, float angle) {
    if (angle == 0.0f) {
        m_x = m_y = m_z = 0.0f;
        m_w = 1.0f;
        return;
    }
    const float s = std::sin(angle * 0.5f) / std::sqrt(x * x + y * y + z * z);
    m_x = x * s;
    m_y = y * s;
    m_z = z * s;
    m_w = std::cos(angle * 0.5f);
}

void Math_Quaternion::get_rotation_matrix(Math_Matrix33& M) const {
    const float x = m_x, y = m_y, z = m_z, w = m_w;
    const float s = 2.0f / (x * x + y * y + z * z + w * w);
    M.m[0] = 1 - s * (y * y + z * z);
    M.m[1] = s * (x * y + w * z);
    M.m[2] = s * (x * z - w * y);
    M.m[3] = s * (x * y - w * z);
    M.m[4] = 1 - s * (x * x + z * z);
    M.m[5] = s * (y * z + w * x);
    M.m[6] = s * (x * z + w * y);
    M.m[7] = s * (y * z - w * x);
    M.m[8] = 1 - s * (x * x + y * y);
}

float Math_Random(float lo, float hi) {
    return lo + (hi - lo) * (static_cast<float>(std::rand()) * 4.656613e-10f);
}
