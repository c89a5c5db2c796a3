// GFX_Billboard: corners of a camera-facing quad, its vertex emission and its pick test.
#include "scene/billboard.h"

#include <GL/gl.h>

#include <cmath>

#include "gfx/ray_triangle.h"

namespace {

// Writes v / |v| into out, or leaves out alone when v has no usable direction.
void set_unit(const Math_Vector3& v, Math_Vector3& out) {
    float len = v.length();
    if (len > 0.0f && std::isfinite(len)) out = v / len;
}

}  // namespace

// --- Construction --------------------------------------------------------------------------

GFX_Billboard::GFX_Billboard(const Math_Vector3& position, float width, float height)
    : m_position(position), m_width(width), m_height(height) {}

// --- Per-frame update ----------------------------------------------------------------------

void GFX_Billboard::update_vertex_position() {
    Math_Vector3 r = m_right * (0.5f * m_width);
    Math_Vector3 u = m_up * (0.5f * m_height);
    m_vertices[0] = m_position - r - u;
    m_vertices[1] = m_position + r - u;
    m_vertices[2] = m_position + r + u;
    m_vertices[3] = m_position - r + u;
}

void GFX_Billboard::shift_vertex_position() {
    Math_Vector3 n = m_right.cross(m_up) * 100.0f;
    for (Math_Vector3& v : m_vertices) v += n;
}

void GFX_Billboard::set_impostor_orientation(const Math_Vector3& up, const Math_Vector3& right) {
    set_unit(up, m_up);
    set_unit(right, m_right);
}

// --- Drawing -------------------------------------------------------------------------------

void GFX_Billboard::draw() const {
    glColor4f(m_color.m_x, m_color.m_y, m_color.m_z, m_alpha);
    for (int i = 0; i < 4; ++i) {
        glTexCoord2f(m_tex_s[i], m_tex_t[i]);
        glVertex3fv(m_vertices[i].data());
    }
}

// --- Input ---------------------------------------------------------------------------------

bool GFX_Billboard::line_collide(const Math_Vector3& origin, const Math_Vector3& dir, float range,
                                 float& t) const {
    if (ray_triangle_intersection(origin, dir, range, m_vertices[0], m_vertices[1], m_vertices[2],
                                  t))
        return true;
    return ray_triangle_intersection(origin, dir, range, m_vertices[0], m_vertices[2],
                                     m_vertices[3], t);
}
