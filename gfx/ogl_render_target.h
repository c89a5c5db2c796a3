// OGL_RenderTarget: an offscreen picture over the window (a framebuffer object with a colour
// texture and a depth buffer), the window's size or a fraction of it, drawn into and laid over
// the window.
#pragma once

#include <GL/gl.h>

// Used by the glow to draw every dot of a still picture a piece per frame, and the thinned dots
// of a moving one at a lower resolution. What it holds is a layer in premultiplied colours:
// draw_over() lays it over what the window already shows, as if its contents had been drawn
// there in the same order (smoothed up to the window's pixels when the layer has fewer). Every
// call, the destructor included, needs the OpenGL context it was made in: main (GL) thread only.
class OGL_RenderTarget {
public:
    // True when the current context has framebuffer objects (OpenGL 3.0 or
    // GL_ARB_framebuffer_object) and separate alpha blending (OpenGL 1.4).
    static bool supported();

    OGL_RenderTarget() = default;
    ~OGL_RenderTarget();
    OGL_RenderTarget(const OGL_RenderTarget&) = delete;
    OGL_RenderTarget& operator=(const OGL_RenderTarget&) = delete;

    // Makes the target cover a window of width x height with a layer shrink times smaller
    // each way (a no-op when it already does); its contents are undefined afterwards. False
    // when the driver cannot make it complete.
    bool resize(int width, int height, int shrink = 1);
    // The layer's own pixels: what a viewport drawing into it spans.
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Drawing goes into the target until end(); begin() also copies the window's depth buffer
    // into the target's (its nearest sample, when the layer is smaller), so what is drawn hides
    // behind what the window shows. The viewport is the caller's to set. False (and still
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
    int m_width = 0;      // of the layer
    int m_height = 0;
    int m_window_width = 0;  // of the window it covers
    int m_window_height = 0;
    int m_texture_width = 0;  // a power of two where the driver needs one
    int m_texture_height = 0;
};
