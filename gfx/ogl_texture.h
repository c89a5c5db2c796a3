// OpenGL texture objects that own their pixel data and create the OpenGL texture on first use:
// the abstract OGL_Texture and the plain 2D texture read from an image file, OGL_Texture2D.
#pragma once

#include <GL/gl.h>

#include <cstdint>

class GFX_Image;

// The texture state every kind of texture shares. A concrete texture says in load() how its
// pixels reach OpenGL. apply(), load() and unload() make OpenGL calls: main (GL) thread only.
class OGL_Texture {
public:
    OGL_Texture() = default;
    // Does not delete the OpenGL texture: the owner calls unload() while a context is current.
    virtual ~OGL_Texture() = default;
    OGL_Texture(const OGL_Texture&) = delete;
    OGL_Texture& operator=(const OGL_Texture&) = delete;

    // Binds the texture when its name is a live OpenGL texture, otherwise calls load(). So the
    // first apply() uploads and later ones only bind. Without pixels nothing changes.
    virtual void apply();
    // Creates, fills and leaves bound a new OpenGL texture. True when something was uploaded.
    virtual bool load() = 0;
    // Deletes the OpenGL texture (the pixels stay with the object, so apply() re-creates it)
    // and returns glGetError() afterwards.
    virtual GLenum unload();

    GLenum get_target() const { return m_target; }
    GLenum get_pixel_type() const { return m_pixel_type; }
    GLuint get_name() const { return m_name; }
    GLint get_wrap_mode() const { return m_wrap_mode; }
    GLint get_min_filter() const { return m_min_filter; }
    GLint get_mag_filter() const { return m_mag_filter; }
    bool get_mipmaps() const { return m_mipmaps; }

    // Take effect at the next upload.
    void set_wrap_mode(GLint mode) { m_wrap_mode = mode; }
    void set_min_filter(GLint filter) { m_min_filter = filter; }
    void set_mag_filter(GLint filter) { m_mag_filter = filter; }
    void set_mipmaps(bool mipmaps) { m_mipmaps = mipmaps; }

protected:
    // The common start of an upload: deletes the old texture if the name is still one,
    // generates a new name, sets byte alignment, binds, and sets wrap mode (S and T) and both
    // filters. Mipmaps on: the minification filter field and GL_GENERATE_MIPMAP; off: GL_LINEAR
    // minification whatever the field holds. Pass mipmaps_allowed = false for targets that
    // have no mipmaps (rectangle textures), which then also get GL_LINEAR magnification.
    void create_and_bind(bool mipmaps_allowed = true);

    // The OpenGL internal and pixel formats for an image depth (8, 16, 24, 32 bits). Leaves both
    // unchanged and answers false for any other depth.
    static bool formats_for_depth(unsigned bits, GLint& internal_format, GLenum& pixel_format);
    // True when an image of this size and depth holds at least the bytes OpenGL reads for it
    // with the given pixel format and unsigned-byte channels, so an upload stays in bounds.
    static bool image_fits_format(const GFX_Image& image, GLenum pixel_format);
    // What a texture that owns a GFX_Image does when it is handed one: owned becomes image (the
    // old one deleted unless it is the same; null just clears), channels unsigned bytes, and
    // the formats follow the image's depth. No OpenGL call, so any thread may run it.
    void adopt_image(GFX_Image*& owned, GFX_Image* image, GLint& internal_format,
                     GLenum& pixel_format);

    GLenum m_target = GL_TEXTURE_2D;
    GLenum m_pixel_type = GL_UNSIGNED_BYTE;
    GLuint m_name = 0;  // the OpenGL texture name; 0 = none
    GLint m_wrap_mode = GL_CLAMP;
    GLint m_min_filter = GL_LINEAR;
    GLint m_mag_filter = GL_LINEAR;
    bool m_mipmaps = false;
};

// A 2D texture made from a GFX_Image. The image is kept after the upload so the texture can be
// re-created from it (after unload(), or in a new context). Mipmaps are built by OpenGL.
class OGL_Texture2D : public OGL_Texture {
public:
    OGL_Texture2D();
    // Deletes the image, not the OpenGL texture.
    ~OGL_Texture2D() override;

    // Uploads the image: nothing (false) without an image, without pixels, or with fewer bytes
    // than the pixel format needs. Leaves the new texture bound.
    bool load() override;

    // Replaces the image by one read from the file (the reader is chosen by the file name) and
    // sets the formats from its depth. No OpenGL call: the upload waits for the first apply().
    void read_from_file(const char* path);
    // The same with an image already in memory; takes ownership (null just clears).
    void init_from_image(GFX_Image* image);
    // Deletes the image; the OpenGL texture, if any, stays as it is.
    void clear();

    const GFX_Image* get_image() const { return m_image; }
    GLint get_internal_format() const { return m_internal_format; }
    GLenum get_pixel_format() const { return m_pixel_format; }

protected:
    GFX_Image* m_image = nullptr;  // owned
    GLint m_internal_format = GL_RGB8;
    GLenum m_pixel_format = GL_RGB;
};
