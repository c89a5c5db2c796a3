// OGL_BallImpostor: a small lit ball rendered once a frame into a texture, then drawn for every
// ball a few pixels wide as one camera-facing quad in that ball's colour.
#pragma once

#include <GL/gl.h>

#include <functional>

#include "gfx/math.h"

// NOTE: a ball is a mesh of dozens of triangles even at its coarsest, and the software renderer
// sets up every triangle on the main thread: 5,000 people's balls took about 45 ms a frame,
// nearly all of it for balls under 16 pixels. Those are now one quad each. The ball is lit by a
// light from the viewer's side and is round, so one picture of it, made under the camera's
// rotation, serves every small ball on screen, whatever its colour.
// The mesh's colour is its colour times the light, clamped, times its texture. The texture
// holds two pictures, the light (halved: with the ball's normals lengthened by its scale it may
// pass 1) and the ball's texture as it shows, and two texture stages put them together as the
// mesh does: doubled light times colour, clamped, times texture.
// Every call needs the OpenGL context it was made in: main (GL) thread only.
class OGL_BallImpostor {
public:
    // Pixels a side of each picture; mipmaps take it down to the balls' sizes.
    static constexpr int k_cell = 32;
    // A picture spans this many radii a side of the ball's centre, leaving an empty border of
    // two pixels, so that the smaller mipmaps do not mix the two pictures.
    static constexpr float k_margin = float(k_cell) / float(k_cell - 4);

    // True when the current context can make and show the pictures: framebuffer objects and
    // two texture units.
    static bool supported();

    OGL_BallImpostor() = default;
    ~OGL_BallImpostor();
    OGL_BallImpostor(const OGL_BallImpostor&) = delete;
    OGL_BallImpostor& operator=(const OGL_BallImpostor&) = delete;

    // Renders the ball that draw_ball() draws about the origin, radius units round (its
    // vertices, normals and texture coordinates only), under the current model-view's rotation
    // (its translation left out), lights and bound texture, into the pictures. Everything else
    // is left as it was. False (and no pictures) when the context is not supported().
    bool render(float radius, const std::function<void()>& draw_ball);

    // The state the quads are drawn in, and back: the pictures bound on two texture units,
    // lighting off, and fragments outside the ball dropped (the depth buffer keeps the round
    // shape).
    void begin() const;
    static void end();
    // One ball between glBegin(GL_QUADS) and glEnd: the quad faces the viewer along right and
    // up (unit screen axes), radius units from its centre, moved towards the eye by radius so
    // that it hides what the ball's front hides.
    static void emit(const Math_Vector3& centre, const Math_Vector3& right, const Math_Vector3& up,
                     const Math_Vector3& eye, float radius, const Math_Vector3& color);

private:
    void release();

    GLuint m_framebuffer = 0;
    GLuint m_texture = 0;
};
