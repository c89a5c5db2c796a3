// OGL_PointSprites: point sprites with distance attenuation through the OpenGL 1.4 entry points.
// NOTE: the entry points are called directly: libOSMesa and the window's libOpenGL both export
// the core names (not the extensions' ...ARB ones, which libOpenGL lacks), so a driver older than
// 1.4 counts as having no point parameters. Nothing here is called before supported() says yes.
#define GL_GLEXT_PROTOTYPES 1
#include "gfx/ogl_point_sprites.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include "gfx/ogl_wrapper.h"

bool OGL_PointSprites::supported() {
    // Sprites bring no entry points, only state, so the extension is as good as OpenGL 2.0.
    const bool sprites = OGL_Wrapper::has_version(2, 0) ||
                         OGL_Wrapper::has_extension("ARB_point_sprite") ||
                         OGL_Wrapper::has_extension("NV_point_sprite");
    return sprites && OGL_Wrapper::has_version(1, 4);
}

bool OGL_PointSprites::size_range(float& smallest, float& largest) {
    // NOTE: sprites are never smoothed, so the aliased range (OpenGL 1.2) is theirs; older
    // drivers have only the one range.
    GLfloat range[2] = {0.0f, 0.0f};
    glGetFloatv(OGL_Wrapper::has_version(1, 2) ? GL_ALIASED_POINT_SIZE_RANGE : GL_POINT_SIZE_RANGE,
                range);
    smallest = largest = 0.0f;
    if (!(range[0] >= 0.0f) || !(range[1] >= range[0]) || !(range[1] > 0.0f)) return false;
    smallest = range[0];
    largest = range[1];
    return true;
}

float OGL_PointSprites::pixels_per_unit() {
    GLfloat projection[16];
    GLint viewport[4];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Row 1, column 1 of a perspective projection: the cotangent of half the vertical field.
    const float k = projection[5] * static_cast<float>(viewport[3]) * 0.5f;
    return k > 0.0f && k < 1e30f ? k : 0.0f;
}

void OGL_PointSprites::begin() {
    glPushAttrib(GL_POINT_BIT);
    float smallest = 1.0f, largest = 1.0f;
    size_range(smallest, largest);
    glDisable(GL_POINT_SMOOTH);
    glEnable(GL_POINT_SPRITE);
    glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
    // The quads this replaces have t = 0 at their lower edge; sprites start at the upper one
    // unless the driver lets that be changed (OpenGL 2.0).
    if (OGL_Wrapper::has_version(2, 0))
        glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
    glPointParameterf(GL_POINT_SIZE_MIN, smallest);
    glPointParameterf(GL_POINT_SIZE_MAX, largest);
}

void OGL_PointSprites::set_world_size(float world_size, float pixels_per_unit) {
    // side = point size * sqrt(1 / (c * depth^2)). The world size goes into c and the point size
    // stays 1, so the side comes out right even where a driver clamps the point size itself to
    // its range before attenuating it.
    float k = world_size * pixels_per_unit;
    if (!(k > 0.0f) || !(k < 1e18f)) k = 1.0f;
    const GLfloat attenuation[3] = {0.0f, 0.0f, 1.0f / (k * k)};
    glPointSize(1.0f);
    glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, attenuation);
}

void OGL_PointSprites::end() { glPopAttrib(); }
