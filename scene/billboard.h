// GFX_Billboard: a quad that faces the camera. Its four corners are computed on the CPU from a
// centre, a size and the screen's up and right axes in world space; drawing only emits them.
#pragma once

#include "gfx/math.h"

// Owned by a locator (its frame) or by a friendship line (the one dot it moves along the line).
class GFX_Billboard {
public:
    GFX_Billboard() = default;
    GFX_Billboard(const Math_Vector3& position, float width, float height);
    virtual ~GFX_Billboard() = default;

    // Corners from centre, size and axes: 0 lower left, 1 lower right, 2 upper right, 3 upper
    // left, counter-clockwise seen from the side right x up points to.
    void update_vertex_position();
    // Moves the corners 100 units along right x up, towards the viewer.
    void shift_vertex_position();
    // Copies both axes and makes them unit length. A zero or non-finite axis is ignored and the
    // previous one kept, so a degenerate viewport never puts NaN into the corners.
    void set_impostor_orientation(const Math_Vector3& up, const Math_Vector3& right);

    // Emits the colour and four textured vertices; the caller binds the texture and opens and
    // closes the GL_QUADS batch. Main thread only.
    void draw() const;

    // True when the ray hits triangle (0, 1, 2) or else triangle (0, 2, 3); t is the distance
    // along dir of the hit.
    bool line_collide(const Math_Vector3& origin, const Math_Vector3& dir, float range,
                      float& t) const;

    Math_Vector3 m_position;
    float m_width = 1.0f;
    float m_height = 1.0f;
    float m_tex_s[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    float m_tex_t[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    Math_Vector3 m_color{1.0f, 1.0f, 1.0f};
    float m_alpha = 1.0f;
    Math_Vector3 m_vertices[4];
    Math_Vector3 m_up{0.0f, 1.0f, 0.0f};
    Math_Vector3 m_right{1.0f, 0.0f, 0.0f};
};
