// OGL_Wrapper: gluProject and gluUnProject with the current matrices, and the extension query.
#include "gfx/ogl_wrapper.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstring>

namespace {

struct CurrentTransform {
    GLint viewport[4];
    GLdouble modelview[16];
    GLdouble projection[16];

    CurrentTransform() {
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
    }
};

}  // namespace

bool OGL_Wrapper::model_to_window(const Math_Vector3& model, Math_Vector3& window) const {
    const CurrentTransform t;
    GLdouble x = 0, y = 0, z = 0;
    if (gluProject(model.m_x, model.m_y, model.m_z, t.modelview, t.projection, t.viewport, &x, &y,
                   &z) != GL_TRUE) {
        return false;
    }
    window = Math_Vector3(float(x), float(y), float(z));
    return true;
}

bool OGL_Wrapper::window_to_model(const Math_Vector3& window, Math_Vector3& model) const {
    const CurrentTransform t;
    GLdouble x = 0, y = 0, z = 0;
    if (gluUnProject(window.m_x, window.m_y, window.m_z, t.modelview, t.projection, t.viewport, &x,
                     &y, &z) != GL_TRUE) {
        return false;
    }
    model = Math_Vector3(float(x), float(y), float(z));
    return true;
}

bool OGL_Wrapper::has_extension(const char* name) {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (extensions == nullptr || name == nullptr) {
        return false;
    }
    return std::strstr(extensions, name) != nullptr;
}
