// OGL_Wrapper: gluProject and gluUnProject with the current matrices, and the version and
// extension queries.
#include "gfx/ogl_wrapper.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cctype>
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

bool OGL_Wrapper::has_version(int major, int minor) {
    int have_major = 0, have_minor = 0;
    if (!parse_version(reinterpret_cast<const char*>(glGetString(GL_VERSION)), have_major,
                       have_minor))
        return false;
    return have_major > major || (have_major == major && have_minor >= minor);
}

bool OGL_Wrapper::parse_version(const char* text, int& major, int& minor) {
    major = minor = 0;
    if (text == nullptr) return false;
    // Digits, a dot, digits; each part is capped so a hostile string cannot overflow.
    auto number = [](const char*& p, int& out) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
        for (out = 0; std::isdigit(static_cast<unsigned char>(*p)); ++p)
            if (out < 10000) out = out * 10 + (*p - '0');
        return true;
    };
    const char* p = text;
    int a = 0, b = 0;
    if (!number(p, a) || *p++ != '.' || !number(p, b)) return false;
    major = a;
    minor = b;
    return true;
}
