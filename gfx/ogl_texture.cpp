// OGL_Texture's bind-or-upload logic and OGL_Texture2D, the texture made from a GFX_Image.
// Every function that touches OpenGL runs on the thread of the current context.
#include "gfx/ogl_texture.h"

#include "util/image.h"

// ---- OGL_Texture -------------------------------------------------------------------------

void OGL_Texture::apply() {
    if (glIsTexture(m_name)) {
        glBindTexture(m_target, m_name);
    } else {
        load();
    }
}

GLenum OGL_Texture::unload() {
    if (glIsTexture(m_name)) {
        glDeleteTextures(1, &m_name);
        // Drop errors left over from earlier calls so the result speaks for the deletion only.
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
        }
        m_name = 0;
    }
    return glGetError();
}

void OGL_Texture::create_and_bind(bool mipmaps_allowed) {
    if (glIsTexture(m_name)) {
        glDeleteTextures(1, &m_name);
    }
    glGenTextures(1, &m_name);
    // Image rows are packed without padding.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(m_target, m_name);
    glTexParameteri(m_target, GL_TEXTURE_WRAP_S, m_wrap_mode);
    glTexParameteri(m_target, GL_TEXTURE_WRAP_T, m_wrap_mode);
    if (!mipmaps_allowed) {
        glTexParameteri(m_target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(m_target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        return;
    }
    glTexParameteri(m_target, GL_TEXTURE_MAG_FILTER, m_mag_filter);
    if (m_mipmaps) {
        glTexParameteri(m_target, GL_TEXTURE_MIN_FILTER, m_min_filter);
        glTexParameteri(m_target, GL_GENERATE_MIPMAP, GL_TRUE);
    } else {
        // NOTE: a mipmap filter on a texture without mipmaps would make it incomplete (it
        // samples as black), so the field is overruled here.
        glTexParameteri(m_target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
}

bool OGL_Texture::formats_for_depth(unsigned bits, GLint& internal_format, GLenum& pixel_format) {
    switch (bits) {
        case 8:
            internal_format = GL_LUMINANCE;
            pixel_format = GL_LUMINANCE;
            return true;
        case 16:
            internal_format = GL_LUMINANCE_ALPHA;
            pixel_format = GL_LUMINANCE_ALPHA;
            return true;
        case 24:
            internal_format = GL_RGB8;
            pixel_format = GL_RGB;
            return true;
        case 32:
            internal_format = GL_RGBA8;
            pixel_format = GL_RGBA;
            return true;
        default:
            return false;
    }
}

bool OGL_Texture::image_fits_format(const GFX_Image& image, GLenum pixel_format) {
    uint64_t channels = 0;
    switch (pixel_format) {
        case GL_LUMINANCE:
        case GL_ALPHA:
        case GL_RED:
        case GL_GREEN:
        case GL_BLUE:
            channels = 1;
            break;
        case GL_LUMINANCE_ALPHA:
            channels = 2;
            break;
        case GL_RGB:
        case GL_BGR:
            channels = 3;
            break;
        case GL_RGBA:
        case GL_BGRA:
            channels = 4;
            break;
        default:
            return false;
    }
    if (image.m_pixels == nullptr || image.m_width == 0 || image.m_height == 0) {
        return false;
    }
    const uint64_t count = uint64_t(image.m_width) * image.m_height;
    return count * image.m_bits_per_pixel / 8 >= count * channels;
}

void OGL_Texture::adopt_image(GFX_Image*& owned, GFX_Image* image, GLint& internal_format,
                              GLenum& pixel_format) {
    if (image != owned) {
        delete owned;
        owned = image;
    }
    m_pixel_type = GL_UNSIGNED_BYTE;
    if (owned != nullptr) formats_for_depth(owned->m_bits_per_pixel, internal_format, pixel_format);
}

// ---- OGL_Texture2D -----------------------------------------------------------------------

OGL_Texture2D::OGL_Texture2D() {
    m_mipmaps = true;
    m_min_filter = GL_LINEAR_MIPMAP_LINEAR;
}

OGL_Texture2D::~OGL_Texture2D() { clear(); }

bool OGL_Texture2D::load() {
    // An image that failed to read has no pixels; one whose depth the format table does not
    // know may hold fewer bytes than the formats ask for. Neither is sent to OpenGL.
    if (m_image == nullptr || !image_fits_format(*m_image, m_pixel_format)) {
        return false;
    }
    create_and_bind();
    // Row 0 of the image is the first row OpenGL takes, texture coordinate t = 0.
    glTexImage2D(m_target, 0, m_internal_format, GLsizei(m_image->m_width),
                 GLsizei(m_image->m_height), 0, m_pixel_format, m_pixel_type, m_image->m_pixels);
    return true;
}

void OGL_Texture2D::read_from_file(const char* path) {
    clear();
    init_from_image(new GFX_Image(path != nullptr ? path : ""));
}

void OGL_Texture2D::init_from_image(GFX_Image* image) {
    adopt_image(m_image, image, m_internal_format, m_pixel_format);
}

void OGL_Texture2D::clear() {
    delete m_image;
    m_image = nullptr;
}
