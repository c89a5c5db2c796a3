// OGL_BallImpostor: the ball's pictures through a framebuffer object (the OpenGL 3.0 entry
// points, as the render target calls them), and the quads that show them.
#define GL_GLEXT_PROTOTYPES 1
#include "gfx/ogl_ball_impostor.h"

#include <GL/glext.h>

#include <cmath>

#include "gfx/ogl_render_target.h"

namespace {

constexpr int k_width = 2 * OGL_BallImpostor::k_cell;  // the light, then the texture
constexpr int k_height = OGL_BallImpostor::k_cell;

// Texture unit `unit` with texture on: colour the texture times `other`, times scale (the
// result clamped); alpha taken from `alpha`.
void modulate_stage(GLenum unit, GLuint texture, GLint other, float scale, GLint alpha) {
    glActiveTexture(unit);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, other);
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, scale);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, alpha);
}

}  // namespace

bool OGL_BallImpostor::supported() {
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    return OGL_RenderTarget::supported() && units >= 2;
}

OGL_BallImpostor::~OGL_BallImpostor() { release(); }

void OGL_BallImpostor::release() {
    if (m_framebuffer != 0) glDeleteFramebuffers(1, &m_framebuffer);
    if (m_texture != 0) glDeleteTextures(1, &m_texture);
    m_framebuffer = m_texture = 0;
}

bool OGL_BallImpostor::render(float radius, const std::function<void()>& draw_ball) {
    if (!(radius > 0.0f) || !std::isfinite(radius)) return false;
    if (m_framebuffer == 0) {
        if (!supported()) return false;
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        glGenTextures(1, &m_texture);
        glBindTexture(GL_TEXTURE_2D, m_texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, k_width, k_height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glGenerateMipmap(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
        GLint framebuffer = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
        glGenFramebuffers(1, &m_framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_texture, 0);
        const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
        if (!complete || glGetError() != GL_NO_ERROR) {
            release();
            return false;
        }
    }

    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    GLfloat rotation[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, rotation);
    rotation[12] = rotation[13] = rotation[14] = 0.0f;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glViewport(0, 0, k_width, k_height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    // The ball is convex: its back faces culled, nothing else needs hiding.
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    const double e = radius * k_margin;
    glOrtho(-e, e, -e, e, -2.0 * radius, 2.0 * radius);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // The light, halved, untextured; alpha 1 where the ball is.
    glViewport(0, 0, k_cell, k_cell);
    glLoadMatrixf(rotation);
    glEnable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    draw_ball();
    // The texture as it shows on the ball, unlit.
    glViewport(k_cell, 0, k_cell, k_cell);
    glLoadMatrixf(rotation);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    draw_ball();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));

    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glGenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    return glGetError() == GL_NO_ERROR;
}

void OGL_BallImpostor::begin() const {
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    // Stage 0: colour times the doubled light, clamped; alpha the ball's coverage.
    modulate_stage(GL_TEXTURE0, m_texture, GL_PRIMARY_COLOR, 2.0f, GL_TEXTURE);
    // Stage 1: times the ball's texture.
    modulate_stage(GL_TEXTURE1, m_texture, GL_PREVIOUS, 1.0f, GL_PREVIOUS);
    glActiveTexture(GL_TEXTURE0);
}

void OGL_BallImpostor::end() {
    // Unit 1 as every other draw expects it, whatever the attribute stack restores.
    glActiveTexture(GL_TEXTURE1);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glPopAttrib();
}

void OGL_BallImpostor::emit(const Math_Vector3& centre, const Math_Vector3& right,
                            const Math_Vector3& up, const Math_Vector3& eye, float radius,
                            const Math_Vector3& color) {
    Math_Vector3 toward = eye - centre;
    const float d = toward.length();
    const Math_Vector3 front =
        d > radius && std::isfinite(d) ? centre + toward * (radius / d) : centre;
    const Math_Vector3 r = right * (radius * k_margin), u = up * (radius * k_margin);
    const Math_Vector3 corners[4] = {front - r - u, front + r - u, front + r + u, front - r + u};
    const float s[4] = {0.0f, 0.5f, 0.5f, 0.0f}, t[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    glColor3f(color.m_x, color.m_y, color.m_z);
    for (int k = 0; k < 4; ++k) {
        glMultiTexCoord2f(GL_TEXTURE0, s[k], t[k]);
        glMultiTexCoord2f(GL_TEXTURE1, s[k] + 0.5f, t[k]);
        glVertex3fv(corners[k].data());
    }
}
