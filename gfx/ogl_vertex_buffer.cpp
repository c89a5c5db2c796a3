// OGL_VertexBuffer: buffer objects through the OpenGL 1.5 entry points.
// NOTE: the entry points are called directly: libOSMesa and the window's libOpenGL both export
// the core names (not the extension's ...ARB ones, which libOpenGL lacks), so a driver older than
// 1.5 counts as having no buffers. Nothing here is called before supported() has said yes.
#define GL_GLEXT_PROTOTYPES 1
#include "gfx/ogl_vertex_buffer.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include "gfx/ogl_wrapper.h"

// --- Construction and destruction ----------------------------------------------------------

bool OGL_VertexBuffer::supported() { return OGL_Wrapper::has_version(1, 5); }

OGL_VertexBuffer::~OGL_VertexBuffer() {
    if (m_name != 0) glDeleteBuffers(1, &m_name);
}

// --- Data ----------------------------------------------------------------------------------

bool OGL_VertexBuffer::allocate(size_t bytes) {
    m_size = 0;
    if (m_name == 0) {
        if (!supported()) return false;
        glGenBuffers(1, &m_name);
        if (m_name == 0) return false;
    }
    // Errors left by earlier calls must not be taken for this allocation's.
    while (glGetError() != GL_NO_ERROR) {
    }
    bind();
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STATIC_DRAW);
    unbind();
    if (glGetError() != GL_NO_ERROR) return false;
    m_size = bytes;
    return true;
}

bool OGL_VertexBuffer::write(size_t offset, const void* data, size_t bytes) {
    if (m_name == 0 || offset > m_size || bytes > m_size - offset) return false;
    if (bytes == 0) return true;
    bind();
    glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes),
                    data);
    unbind();
    return true;
}

// --- Binding -------------------------------------------------------------------------------

void OGL_VertexBuffer::bind() const { glBindBuffer(GL_ARRAY_BUFFER, m_name); }

void OGL_VertexBuffer::unbind() const {
    if (m_name != 0) glBindBuffer(GL_ARRAY_BUFFER, 0);
}
