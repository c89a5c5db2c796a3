// GFX_Frustum: the camera's view volume, its six outward planes and its near and far corners
// in world space. Pure arithmetic, no OpenGL.
#pragma once

#include "gfx/math.h"

class GFX_Frustum {
public:
    // Plane order in m_plane_norm, m_plane_d and m_primary_axis.
    enum Plane {
        NEAR_PLANE = 0,
        FAR_PLANE,
        TOP_PLANE,
        BOTTOM_PLANE,
        LEFT_PLANE,
        RIGHT_PLANE,
        PLANE_COUNT
    };

    GFX_Frustum() = default;
    GFX_Frustum(float fov, float aspect, float near, float far);
    virtual ~GFX_Frustum();

    // Vertical field of view in degrees, width / height, clip distances. Sets the half sizes of
    // the near and far rectangles.
    void set_frustum(float fov, float aspect, float near, float far);
    // Stores the camera and rebuilds planes and masks. Call after set_frustum. up must be a unit
    // vector perpendicular to the view direction (the camera guarantees it), since the right
    // vector is taken as dir x up without normalising.
    void update(const Math_Vector3& eye, const Math_Vector3& center, const Math_Vector3& up);
    // Four corners each, bottom-left, bottom-right, top-right, top-left, from the stored camera.
    void compute_near_and_far_points(Math_Vector3* near_points, Math_Vector3* far_points) const;

    // Outward unit normals: a point p is outside plane i when m_plane_norm[i] . p + m_plane_d[i]
    // is positive.
    Math_Vector3 m_plane_norm[PLANE_COUNT];
    float m_plane_d[PLANE_COUNT] = {};
    Math_Vector3 m_center;
    Math_Vector3 m_up;
    Math_Vector3 m_eye_pos;
    float m_plane_near = 0.0f;
    float m_plane_far = 0.0f;
    float m_fov_angle = 0.0f;
    float m_aspect_ratio = 0.0f;
    // Half-width and half-height of the near and far rectangles.
    float m_near_width = 0.0f;
    float m_near_height = 0.0f;
    float m_far_width = 0.0f;
    float m_far_height = 0.0f;
    // Per plane, the sign bits of its normal: bit 0 x > 0, bit 1 y > 0, bit 2 z > 0.
    int m_primary_axis[PLANE_COUNT] = {};

private:
    // The unit view direction and the right vector of the stored camera.
    void view_axes(Math_Vector3& dir, Math_Vector3& right) const;
    void set_plane(int i, const Math_Vector3& normal, const Math_Vector3& point);
};
