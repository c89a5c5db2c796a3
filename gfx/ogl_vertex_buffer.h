// OGL_VertexBuffer: an OpenGL 1.5 buffer object holding vertex data in the driver's memory.
#pragma once

#include <GL/gl.h>

#include <cstddef>

// One buffer object for vertex arrays. Data is written in pieces from the caller's memory, so
// the program keeps no copy of what the buffer holds. Every call, the destructor included,
// needs the OpenGL context the buffer was made in to be current: main (GL) thread only.
class OGL_VertexBuffer {
public:
    // True when the current context has buffer objects (OpenGL 1.5).
    static bool supported();

    // Makes no OpenGL call; the buffer object is created by the first allocate().
    OGL_VertexBuffer() = default;
    // Deletes the buffer object.
    ~OGL_VertexBuffer();
    OGL_VertexBuffer(const OGL_VertexBuffer&) = delete;
    OGL_VertexBuffer& operator=(const OGL_VertexBuffer&) = delete;

    // Gives the buffer room for bytes of undefined content (the old content is dropped). False,
    // with a size of 0, when buffers are not supported or the driver is out of memory.
    // NOTE: allocate() and write() leave no buffer bound: a buffer left bound would turn the
    // client-memory pointers of every later vertex array into offsets into it.
    bool allocate(size_t bytes);
    // Copies bytes from data to offset; false (nothing written) when that lies outside the
    // buffer.
    bool write(size_t offset, const void* data, size_t bytes);
    // Binds the buffer as the source of the vertex arrays: array pointers set while it is bound
    // are byte offsets into it.
    void bind() const;
    // Back to client-memory vertex arrays (nothing when the buffer was never made).
    void unbind() const;

    size_t size() const { return m_size; }
    GLuint name() const { return m_name; }

private:
    GLuint m_name = 0;
    size_t m_size = 0;
};
