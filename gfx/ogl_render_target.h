// OGL_RenderTarget: an offscreen picture the size of the window (a framebuffer object with a
// colour texture and a depth buffer), drawn into over several frames and laid over the window.
#pragma once

#include <GL/gl.h>

// Used by the glow to draw every dot of a still picture a piece per frame. What it holds is a
// layer in premultiplied colours: draw_over() lays it over what the window already shows, as if
// its contents had been drawn there in the same order. Every call, the destructor included,
// needs the OpenGL context it was made in: main (GL) thread only.
class OGL_RenderTarget {
public:
    // True when the current context has framebuffer objects (OpenGL 3.0 or
    // GL_ARB_framebuffer_object) and separate alpha blending (OpenGL 1.4).
    static bool supported();

    OGL_RenderTarget() = default;
    ~OGL_RenderTarget();
    OGL_RenderTarget(const OGL_RenderTarget&) = delete;
    OGL_RenderTarget& operator=(const OGL_RenderTarget&) = delete;

    // Makes the target width x height (a no-op when it already is); its contents are undefined
    // afterwards. False when the driver cannot make it complete.
    bool resize(int width, int height);
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Drawing goes into the target until end(); begin() also copies the window's depth buffer
    // into the target's, so what is drawn hides behind what the window shows. False (and still
    // drawing into the window) when the driver cannot copy the depth.
    bool begin();
    static void end();
    // Clears the target to transparent: an empty layer. Call between begin() and end().
    static void clear();
    // Blending for drawing into the layer: colours as the window would blend them, alpha
    // accumulated as coverage, so draw_over() gives the same picture.
    static void blend_into_layer();

    // Lays the layer over the window's picture (pixel for pixel, premultiplied), with the
    // matrices, depth test, fog and lighting of the frame left as they were.
    void draw_over() const;

private:
    void release();

    GLuint m_framebuffer = 0;
    GLuint m_colour = 0;  // texture
    GLuint m_depth = 0;   // renderbuffer
    int m_width = 0;
    int m_height = 0;
    int m_texture_width = 0;  // a power of two where the driver needs one
    int m_texture_height = 0;
};
