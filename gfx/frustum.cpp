// The view frustum: sizes from the field of view, planes and corners from the camera.
#include "gfx/frustum.h"

#include <cmath>

namespace {

// Degrees to radians as the frustum has always computed it: the float just below pi / 180.
constexpr float FRUSTUM_DEG_TO_RAD = 0.01745329f;

// Half a turn of n about the unit axis d: the mirror plane of a frustum side lies on d, so this
// carries top to bottom and left to right.
Math_Vector3 half_turn(const Math_Vector3& n, const Math_Vector3& d) {
    return -n + d * (2.0f * d.dot(n));
}

}  // namespace

// ---- construction ----------------------------------------------------------------------------

GFX_Frustum::GFX_Frustum(float fov, float aspect, float near, float far) {
    set_frustum(fov, aspect, near, far);
}

GFX_Frustum::~GFX_Frustum() = default;

void GFX_Frustum::set_frustum(float fov, float aspect, float near, float far) {
    m_fov_angle = fov;
    m_aspect_ratio = aspect;
    m_plane_near = near;
    m_plane_far = far;
    const float tan_half = std::tan(fov * FRUSTUM_DEG_TO_RAD * 0.5f);
    m_near_width = aspect * tan_half * near;
    m_near_height = tan_half * near;
    m_far_width = tan_half * far * aspect;
    m_far_height = tan_half * far;
}

// ---- per-frame update ------------------------------------------------------------------------

void GFX_Frustum::update(const Math_Vector3& eye, const Math_Vector3& center,
                         const Math_Vector3& up) {
    m_eye_pos = eye;
    m_center = center;
    m_up = up;

    Math_Vector3 d, r;
    view_axes(d, r);
    const Math_Vector3 nc = eye + d * m_plane_near;
    const Math_Vector3 fc = eye + d * m_plane_far;
    const Math_Vector3 un = up * m_near_height, rn = r * m_near_width;
    const Math_Vector3 uf = up * m_far_height, rf = r * m_far_width;
    const Math_Vector3 nbl = nc - un - rn;
    const Math_Vector3 ntl = nc + un - rn;
    const Math_Vector3 ntr = nc + un + rn;
    const Math_Vector3 ftl = fc + uf - rf;

    Math_Vector3 top = (ntr - ntl).cross(ftl - ntl);
    top.normalize();
    Math_Vector3 left = (ftl - ntl).cross(nbl - ntl);
    left.normalize();

    set_plane(NEAR_PLANE, -d, nbl);
    set_plane(FAR_PLANE, d, fc);
    set_plane(TOP_PLANE, top, ntl);
    set_plane(BOTTOM_PLANE, half_turn(top, d), nbl);
    set_plane(LEFT_PLANE, left, nbl);
    set_plane(RIGHT_PLANE, half_turn(left, d), ntr);
}

void GFX_Frustum::compute_near_and_far_points(Math_Vector3* near_points,
                                              Math_Vector3* far_points) const {
    Math_Vector3 d, r;
    view_axes(d, r);
    const Math_Vector3 nc = m_eye_pos + d * m_plane_near;
    const Math_Vector3 fc = m_eye_pos + d * m_plane_far;
    const Math_Vector3 un = m_up * m_near_height, rn = r * m_near_width;
    const Math_Vector3 uf = m_up * m_far_height, rf = r * m_far_width;

    near_points[0] = nc - un - rn;
    near_points[1] = nc - un + rn;
    near_points[2] = nc + un + rn;
    near_points[3] = nc + un - rn;
    far_points[0] = fc - uf - rf;
    far_points[1] = fc - uf + rf;
    far_points[2] = fc + uf + rf;
    far_points[3] = fc + uf - rf;
}

// ---- helpers ---------------------------------------------------------------------------------

void GFX_Frustum::view_axes(Math_Vector3& dir, Math_Vector3& right) const {
    dir = m_center - m_eye_pos;
    dir.normalize();
    right = dir.cross(m_up);
}

void GFX_Frustum::set_plane(int i, const Math_Vector3& normal, const Math_Vector3& point) {
    m_plane_norm[i] = normal;
    m_plane_d[i] = -normal.dot(point);
    m_primary_axis[i] =
        (normal.m_x > 0.0f ? 1 : 0) | (normal.m_y > 0.0f ? 2 : 0) | (normal.m_z > 0.0f ? 4 : 0);
}
