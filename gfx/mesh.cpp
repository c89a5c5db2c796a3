// Meshes and their drawing paths: vertex arrays with indexed triangles or strips, and
// immediate mode. The stored arrays are read as they are; nothing is converted per draw.
#include "gfx/mesh.h"

#include <GL/gl.h>

// The index arrays go to OpenGL as GL_UNSIGNED_INT without conversion.
static_assert(sizeof(std::int32_t) == sizeof(GLuint), "32-bit triangle indices");
static_assert(sizeof(int) == sizeof(GLuint), "32-bit strip indices");

// ---- construction ----------------------------------------------------------------------------

GFX_Geometry::~GFX_Geometry() = default;

GFX_Mesh::GFX_Mesh() : m_name("no name") {}

GFX_Mesh::GFX_Mesh(const std::string& name) : m_name(name) {}

GFX_Mesh::~GFX_Mesh() { clear(); }

void GFX_Mesh::clear() {
    for (std::vector<int>* strip : m_strips) delete strip;
    m_strips.clear();
    m_vertices.clear();
    m_triangles.clear();
}

GFX_MeshGroup::~GFX_MeshGroup() = default;

// ---- drawing ---------------------------------------------------------------------------------

void GFX_Geometry::set_visibility(bool visible) { m_visible = visible; }

void GFX_Geometry::draw() {}

void GFX_Geometry::draw(const GFX_Stream&) {}

void GFX_Geometry::draw(const std::string&) {}

void GFX_Mesh::draw() {
    if (!m_visible || m_triangles.empty() || m_vertices.empty()) return;
    set_array_pointers();
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(3 * m_triangles.size()), GL_UNSIGNED_INT,
                   m_triangles.data());
}

void GFX_Mesh::draw(const std::string&) { draw(); }

void GFX_Mesh::draw_imm_mode() {
    if (!m_visible || m_vertices.empty()) return;
    glBegin(GL_TRIANGLES);
    for (const Math_Triangle& tri : m_triangles) {
        for (int k = 0; k < 3; ++k) {
            const Math_VertexTangentSpace& v = m_vertices[tri[k]];
            glNormal3fv(v.m_normal.data());
            glTexCoord2f(v.m_s, v.m_t);
            glVertex3fv(v.m_position.data());
        }
    }
    glEnd();
}

void GFX_Mesh::draw_triangle_strips() {
    if (!m_visible || m_strips.empty() || m_vertices.empty()) return;
    set_array_pointers();
    for (const std::vector<int>* strip : m_strips) {
        if (strip->empty()) continue;
        glDrawElements(GL_TRIANGLE_STRIP, static_cast<GLsizei>(strip->size()), GL_UNSIGNED_INT,
                       strip->data());
    }
}

// ---- helpers ---------------------------------------------------------------------------------

void GFX_Mesh::set_array_pointers() const {
    const GLsizei stride = sizeof(Math_VertexTangentSpace);
    const Math_VertexTangentSpace& first = m_vertices.front();
    glVertexPointer(3, GL_FLOAT, stride, first.m_position.data());
    glNormalPointer(GL_FLOAT, stride, first.m_normal.data());
    glTexCoordPointer(2, GL_FLOAT, stride, &first.m_s);
}
