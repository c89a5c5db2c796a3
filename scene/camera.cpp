// GFX_NimbraCamera: angle clamping and wrapping, the eye and up vectors, and the look-at.
#include "scene/camera.h"

#include <GL/glu.h>

#include <cmath>

void GFX_NimbraCamera::set_up_down(float degrees) {
    m_up_down = degrees;
    if (m_up_down > m_max_up_down) m_up_down = m_max_up_down;
    else if (m_up_down < m_min_up_down) m_up_down = m_min_up_down;
}

void GFX_NimbraCamera::set_left_right(float degrees) { m_left_right = degrees; }

// The eye lies in the direction of the globe point at longitude = azimuth, latitude = elevation:
//   eye = center + distance * (cos e cos a, sin e, cos e sin a)
//   up  = (-sin e cos a, cos e, -sin e sin a)
// built as (0, 0, -distance) and (0, 1, 0) turned about x by e, then about y by -(a + 90).
void GFX_NimbraCamera::update() {
    if (m_distance > m_max_distance) m_distance = m_max_distance;
    else if (m_distance < m_min_distance) m_distance = m_min_distance;

    // NOTE: the view is never exactly horizontal: an elevation within 0.01 degrees of it, below
    // as well as above, is lifted to +0.01.
    if (std::fabs(m_up_down) < 0.01f) m_up_down = 0.01f;

    // One turn per update only; an azimuth further out comes back over several frames.
    if (m_left_right > 180.0f) m_left_right -= 360.0f;
    else if (m_left_right < -180.0f) m_left_right += 360.0f;

    const float p = m_up_down / 57.29578f;
    const float q = -(m_left_right + 90.0f) / 57.29578f;
    Math_Matrix33 rx, ry;
    rx.set_rotate_x(p);
    ry.set_rotate_y(q);

    m_up = Math_Vector3(0.0f, 1.0f, 0.0f);
    m_up.mult_vector_matrix(rx);
    m_up.mult_vector_matrix(ry);

    m_eye = Math_Vector3(0.0f, 0.0f, -m_distance);
    m_eye.mult_vector_matrix(rx);
    m_eye.mult_vector_matrix(ry);
    m_eye += m_center;
}

void GFX_NimbraCamera::apply() {
    gluLookAt(m_eye.m_x, m_eye.m_y, m_eye.m_z, m_center.m_x, m_center.m_y, m_center.m_z, m_up.m_x,
              m_up.m_y, m_up.m_z);
}
