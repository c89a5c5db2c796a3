// OGL_RenderTarget: a framebuffer object through the OpenGL 3.0 entry points.
// NOTE: the entry points are called directly: libOSMesa and the window's libOpenGL both export
// the core names (not GL_EXT_framebuffer_object's ...EXT ones, which libOpenGL lacks), so a
// driver without OpenGL 3.0 or GL_ARB_framebuffer_object counts as having none. Nothing here is
// called before supported() has said yes.
#define GL_GLEXT_PROTOTYPES 1
#include "gfx/ogl_render_target.h"

#include <algorithm>

#include <GL/glext.h>

#include "gfx/ogl_wrapper.h"

namespace {

int power_of_two_at_least(int n) {
    int p = 1;
    while (p < n && p < (1 << 16)) p *= 2;
    return p;
}

}  // namespace

// --- Construction and destruction ----------------------------------------------------------

bool OGL_RenderTarget::supported() {
    return (OGL_Wrapper::has_version(3, 0) ||
            OGL_Wrapper::has_extension("ARB_framebuffer_object")) &&
           OGL_Wrapper::has_version(1, 4);
}

OGL_RenderTarget::~OGL_RenderTarget() { release(); }

void OGL_RenderTarget::release() {
    if (m_framebuffer != 0) glDeleteFramebuffers(1, &m_framebuffer);
    if (m_depth != 0) glDeleteRenderbuffers(1, &m_depth);
    if (m_colour != 0) glDeleteTextures(1, &m_colour);
    m_framebuffer = m_depth = m_colour = 0;
    m_width = m_height = m_window_width = m_window_height = 0;
    m_texture_width = m_texture_height = 0;
}

bool OGL_RenderTarget::resize(int window_width, int window_height, int shrink) {
    shrink = std::max(shrink, 1);
    const int width = (window_width + shrink - 1) / shrink;
    const int height = (window_height + shrink - 1) / shrink;
    if (window_width == m_window_width && window_height == m_window_height && width == m_width &&
        height == m_height && m_framebuffer != 0)
        return true;
    release();
    if (window_width <= 0 || window_height <= 0) return false;
    const bool any_size = OGL_Wrapper::has_version(2, 0) ||
                          OGL_Wrapper::has_extension("ARB_texture_non_power_of_two");
    m_texture_width = any_size ? width : power_of_two_at_least(width);
    m_texture_height = any_size ? height : power_of_two_at_least(height);

    GLint texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    glGenTextures(1, &m_colour);
    glBindTexture(GL_TEXTURE_2D, m_colour);
    // A layer of the window's size is laid pixel for pixel; a smaller one is smoothed up.
    const GLint filter = shrink > 1 ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, m_texture_width, m_texture_height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));

    glGenRenderbuffers(1, &m_depth);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, m_texture_width, m_texture_height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);

    glGenFramebuffers(1, &m_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_colour, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete || glGetError() != GL_NO_ERROR) {
        release();
        return false;
    }
    m_width = width;
    m_height = height;
    m_window_width = window_width;
    m_window_height = window_height;
    return true;
}

// --- Drawing -------------------------------------------------------------------------------

bool OGL_RenderTarget::begin() {
    if (m_framebuffer == 0) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    // NOTE: a blit of depth needs the same depth format on both sides; a window with a stencil
    // buffer packed beside its depth may not have it, and the driver then refuses.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_framebuffer);
    glBlitFramebuffer(0, 0, m_window_width, m_window_height, 0, 0, m_width, m_height,
                      GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    if (glGetError() != GL_NO_ERROR) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return false;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    return true;
}

void OGL_RenderTarget::end() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }

void OGL_RenderTarget::clear() {
    GLfloat colour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
}

void OGL_RenderTarget::blend_into_layer() {
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
}

void OGL_RenderTarget::draw_over() const {
    if (m_framebuffer == 0) return;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT |
                 GL_CURRENT_BIT | GL_TRANSFORM_BIT);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, m_colour);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float s = static_cast<float>(m_width) / static_cast<float>(m_texture_width);
    const float t = static_cast<float>(m_height) / static_cast<float>(m_texture_height);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(s, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(s, t);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, t);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}
