// OGL_TextureFoto: npot mode choice, image handling, upload on first apply(), and the fitted
// and cut draws in 3D and in the 2D plane z = 0.
#include "photos/texture_foto.h"

#include "gfx/ogl_wrapper.h"
#include "util/image.h"

// ---- construction and destruction ----

OGL_TextureFoto::OGL_TextureFoto() {
    // The first extension found decides; a driver without any of them gets plain 2D textures at
    // the photo's own size all the same, and draws what it can.
    if (OGL_Wrapper::has_extension("ARB_texture_non_power_of_two")) {
        set_npot_mode(NPOT_TEXTURE_2D);
    } else if (OGL_Wrapper::has_extension("ARB_texture_rectangle") ||
               OGL_Wrapper::has_extension("NV_texture_rectangle")) {
        set_npot_mode(NPOT_RECTANGLE);
    } else {
        set_npot_mode(NPOT_UNGUARANTEED);
    }
}

OGL_TextureFoto::~OGL_TextureFoto() { clear(); }

void OGL_TextureFoto::set_npot_mode(int mode) {
    m_npot_mode = mode;
    if (mode == NPOT_RECTANGLE) {
        // Rectangle textures have no mipmaps; the minification filter field is left alone.
        m_target = GL_TEXTURE_RECTANGLE_ARB;
        m_mipmaps = false;
    } else {
        m_target = GL_TEXTURE_2D;
        m_mipmaps = true;
        m_min_filter = GL_LINEAR_MIPMAP_LINEAR;
    }
}

void OGL_TextureFoto::read_from_file(const char* path) {
    m_file_name = path != nullptr ? path : "";
    clear();
    init_from_image(new GFX_Image(m_file_name));
}

void OGL_TextureFoto::init_from_image(GFX_Image* image) {
    adopt_image(m_image, image, m_internal_format, m_pixel_format);
}

void OGL_TextureFoto::clear() {
    delete m_image;
    m_image = nullptr;
    m_pixels_in_driver = false;
}

bool OGL_TextureFoto::has_pixels() const {
    return m_pixels_in_driver ||
           (m_image != nullptr && image_fits_format(*m_image, m_pixel_format));
}

GLenum OGL_TextureFoto::unload() {
    // Pixels released after their upload are gone with the texture.
    m_pixels_in_driver = false;
    return OGL_Texture::unload();
}

// ---- upload and binding (main thread) ----

void OGL_TextureFoto::apply() {
    if (glIsTexture(m_name)) {
        glBindTexture(m_target, m_name);
    } else {
        load();
    }
}

bool OGL_TextureFoto::load() {
    if (!has_pixels()) return false;
    switch (m_npot_mode) {
        case NPOT_TEXTURE_2D:
        case NPOT_UNGUARANTEED:
            create_and_bind(true);
            break;
        case NPOT_RECTANGLE:
            create_and_bind(false);
            break;
        default:
            return false;
    }
    // Row 0 of the image (the picture's bottom row for JPEG photos) is t = 0.
    glTexImage2D(m_target, 0, m_internal_format, GLsizei(m_image->m_width),
                 GLsizei(m_image->m_height), 0, m_pixel_format, m_pixel_type, m_image->m_pixels);
    // The driver has its own copy now: a thousand people's photos would otherwise be kept twice.
    // The image stays, without pixels, for its size.
    delete[] m_image->m_pixels;
    m_image->m_pixels = nullptr;
    m_pixels_in_driver = true;
    return true;
}

void OGL_TextureFoto::enable() { glEnable(m_target); }

void OGL_TextureFoto::disable() { glDisable(m_target); }

// ---- drawing (main thread) ----

void OGL_TextureFoto::draw_quad_in_state(const Math_Vector3& p0, const Math_Vector3& p1,
                                         const Math_Vector3& p2, const Math_Vector3& p3) {
    if (!has_pixels()) return;
    emit_textured_quad(p0, p1, p2, p3, 0.0f, 1.0f, 0.0f, 1.0f);
}

void OGL_TextureFoto::draw_quad(Math_Vector3& p0, Math_Vector3& p1, Math_Vector3& p2,
                                Math_Vector3& p3) {
    if (!has_pixels()) return;
    draw_textured_quad(p0, p1, p2, p3, 0.0f, 1.0f, 0.0f, 1.0f);
}

void OGL_TextureFoto::draw_quad_cut(Math_Vector3& p0, Math_Vector3& p1, Math_Vector3& p2,
                                    Math_Vector3& p3, float width, float height) {
    if (!has_pixels()) return;
    float s0, s1, t0, t1;
    cut_coordinates(width, height, float(m_image->m_width), float(m_image->m_height), s0, s1, t0,
                    t1);
    draw_textured_quad(p0, p1, p2, p3, s0, s1, t0, t1);
}

void OGL_TextureFoto::draw_quad(float left, float right, float top, float bottom) {
    if (!has_pixels()) return;
    float qw, qh;
    fit_size(right - left, top - bottom, float(m_image->m_width), float(m_image->m_height), qw, qh);
    const float cx = (left + right) / 2.0f;
    const float cy = (top + bottom) / 2.0f;
    Math_Vector3 p0(cx - qw / 2.0f, cy - qh / 2.0f, 0.0f);
    Math_Vector3 p1(cx + qw / 2.0f, cy - qh / 2.0f, 0.0f);
    Math_Vector3 p2(cx + qw / 2.0f, cy + qh / 2.0f, 0.0f);
    Math_Vector3 p3(cx - qw / 2.0f, cy + qh / 2.0f, 0.0f);
    draw_quad(p0, p1, p2, p3);
}

void OGL_TextureFoto::draw_quad_cut(float left, float right, float top, float bottom) {
    Math_Vector3 p0(left, bottom, 0.0f);
    Math_Vector3 p1(right, bottom, 0.0f);
    Math_Vector3 p2(right, top, 0.0f);
    Math_Vector3 p3(left, top, 0.0f);
    draw_quad_cut(p0, p1, p2, p3, right - left, top - bottom);
}

// ---- helpers ----

void OGL_TextureFoto::draw_textured_quad(Math_Vector3& p0, Math_Vector3& p1, Math_Vector3& p2,
                                         Math_Vector3& p3, float s0, float s1, float t0, float t1) {
    glDisable(GL_LIGHTING);
    enable();
    emit_textured_quad(p0, p1, p2, p3, s0, s1, t0, t1);
    disable();
    // NOTE: the scene draws lit everywhere else, so lighting is switched back on whatever it
    // was before; callers that draw unlit switch it off again.
    glEnable(GL_LIGHTING);
}

void OGL_TextureFoto::emit_textured_quad(const Math_Vector3& p0, const Math_Vector3& p1,
                                         const Math_Vector3& p2, const Math_Vector3& p3, float s0,
                                         float s1, float t0, float t1) {
    if (m_npot_mode == NPOT_RECTANGLE) {
        // Rectangle textures are addressed in pixels.
        const float w = float(m_image->m_width);
        const float h = float(m_image->m_height);
        s0 *= w;
        s1 *= w;
        t0 *= h;
        t1 *= h;
    }
    apply();
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex3fv(p0.data());
    glTexCoord2f(s1, t0);
    glVertex3fv(p1.data());
    glTexCoord2f(s1, t1);
    glVertex3fv(p2.data());
    glTexCoord2f(s0, t1);
    glVertex3fv(p3.data());
    glEnd();
}

void OGL_TextureFoto::cut_coordinates(float W, float H, float w, float h, float& s0, float& s1,
                                      float& t0, float& t1) {
    // The photo scaled to the quad's width; when that leaves it short of the height, scaled to
    // the height instead. 0.1 absorbs rounding so that equal aspects cut nothing.
    float k = W / w;
    float qw = w * k;
    float qh = h * k;
    if (W + 0.1f > qw && H + 0.1f > qh) {
        k = H / h;
        qw = w * k;
        qh = h * k;
    }
    float fs = 1.0f, ms = 0.0f, ft = 1.0f, mt = 0.0f;
    if (qw > W + 0.1f) {
        fs = W / qw;
        ms = (1.0f - W / qw) / 2.0f;
    } else if (qh > H + 0.1f) {
        ft = H / qh;
        mt = (1.0f - H / qh) / 2.0f;
    }
    s0 = ms;
    s1 = ms + fs;
    t0 = mt;
    t1 = mt + ft;
}

void OGL_TextureFoto::fit_size(float W, float H, float w, float h, float& qw, float& qh) {
    float k = W / w;
    qw = w * k;
    qh = h * k;
    if (qw > W + 0.1f || qh > H + 0.1f) {
        k = H / h;
        qw = w * k;
        qh = h * k;
    }
}
