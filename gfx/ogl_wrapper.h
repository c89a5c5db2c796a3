// OGL_Wrapper: conversions between model and window coordinates through the current OpenGL
// matrices and viewport, and the queries of the driver's version and extensions.
#pragma once

#include "gfx/math.h"

// Stateless; the controller root holds one. Every call reads the current OpenGL context, so it
// runs on the thread that owns it.
class OGL_Wrapper {
public:
    OGL_Wrapper() = default;
    virtual ~OGL_Wrapper() = default;

    // The window position of a model point under the current model-view and projection
    // matrices and viewport. Window y is OpenGL's (0 at the bottom); z is the depth, 0 at the
    // near plane and 1 at the far plane. False (window untouched) when GLU cannot project.
    bool model_to_window(const Math_Vector3& model, Math_Vector3& window) const;
    // The inverse: the model point at a window position and depth. False (model untouched)
    // when the matrices cannot be inverted.
    bool window_to_model(const Math_Vector3& window, Math_Vector3& model) const;

    // True when the driver's extension string contains name anywhere, as a plain substring.
    // Callers pass names without the "GL_" prefix ("ARB_texture_rectangle").
    static bool has_extension(const char* name);
    // True when the context's OpenGL version is at least major.minor. Entry points newer than
    // OpenGL 1.1 are only called after this (or the matching extension) says they work.
    static bool has_version(int major, int minor);
    // The version of a GL_VERSION string ("4.5 (Compatibility Profile) Mesa 22.3.6" gives 4 and
    // 5); false, with both 0, when it does not start with "<major>.<minor>".
    static bool parse_version(const char* text, int& major, int& minor);
};
