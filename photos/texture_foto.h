// OGL_TextureFoto: the texture of a downloaded photo of any pixel size, made as a plain 2D or a
// rectangle texture depending on the driver, drawn fitted into or cut to fill a quad.
#pragma once

#include <string>

#include "gfx/math.h"
#include "gfx/ogl_texture.h"

class GFX_Image;

#ifndef GL_TEXTURE_RECTANGLE_ARB
#define GL_TEXTURE_RECTANGLE_ARB 0x84F5
#endif

// Threads: read_from_file(), init_from_image() and clear() make no OpenGL call and run on the
// photo worker while the photo is still loading. The constructor (it asks the driver for its
// extensions), apply(), load(), unload(), enable(), disable() and the draws run on the main
// thread with the context current, and only once the worker is done with the texture.
class OGL_TextureFoto : public OGL_Texture {
public:
    // How a photo of any size becomes a texture.
    enum NpotMode : int {
        NPOT_TEXTURE_2D = 0,    // plain 2D texture, the driver takes any size
        NPOT_RECTANGLE = 1,     // rectangle texture, coordinates in pixels
        NPOT_UNGUARANTEED = 2,  // plain 2D texture at the photo's size, nothing guaranteed
    };

    OGL_TextureFoto();
    // Deletes the image, not the OpenGL texture (unload() with the context current does that).
    ~OGL_TextureFoto() override;

    // The first apply() uploads (load()), later ones bind. Nothing without pixels.
    void apply() override;
    // Uploads the image and leaves it bound, then releases the image's pixels (its size stays):
    // the texture keeps the only copy. False (no OpenGL call) without an image, without pixels,
    // with fewer bytes than the format needs, or in an unknown npot mode.
    bool load() override;
    // Deletes the OpenGL texture; a photo whose pixels went to it has no picture afterwards.
    GLenum unload() override;
    virtual void enable();
    virtual void disable();

    // Replaces the image by one read from path (the reader is chosen by the file name) and
    // remembers the path. No OpenGL call.
    void read_from_file(const char* path);
    // Takes ownership of image (null clears); formats follow its depth. No OpenGL call.
    void init_from_image(GFX_Image* image);
    // Deletes the image.
    void clear();

    // The whole photo on the quad p0 (lower left), p1 (lower right), p2 (upper right), p3
    // (upper left). Switches lighting off while drawing and on afterwards.
    void draw_quad(Math_Vector3& p0, Math_Vector3& p1, Math_Vector3& p2, Math_Vector3& p3);
    // The photo cut to fill a quad of that width and height: it keeps its aspect ratio and loses
    // equal strips on both sides of its longer direction.
    void draw_quad_cut(Math_Vector3& p0, Math_Vector3& p1, Math_Vector3& p2, Math_Vector3& p3,
                       float width, float height);
    // The whole photo on the quad as draw_quad() draws it, but in the caller's state: lighting
    // as it is, and the texture's target (get_target()) enabled by the caller. Binds the texture.
    // Many photos drawn in a row this way cost one draw each instead of a dozen state changes.
    void draw_quad_in_state(const Math_Vector3& p0, const Math_Vector3& p1, const Math_Vector3& p2,
                            const Math_Vector3& p3);
    // The whole photo fitted inside the box, centred, in the plane z = 0.
    void draw_quad(float left, float right, float top, float bottom);
    // The photo cut to fill the box, in the plane z = 0.
    void draw_quad_cut(float left, float right, float top, float bottom);

    // Texture coordinates of the cut form for an image of w x h pixels in a W x H quad, before
    // the conversion to pixels of rectangle textures: s from s0 to s1, t from t0 to t1.
    static void cut_coordinates(float W, float H, float w, float h, float& s0, float& s1, float& t0,
                                float& t1);
    // Size of an image of w x h pixels fitted inside a W x H box.
    static void fit_size(float W, float H, float w, float h, float& qw, float& qh);

    // Sets the mode with its target, mipmaps and minification filter as the constructor would;
    // for a context whose extensions do not say what the caller wants. Main thread only.
    void set_npot_mode(int mode);

    int get_npot_mode() const { return m_npot_mode; }
    // The decoded photo; once uploaded it keeps only its size (m_width, m_height).
    const GFX_Image* get_image() const { return m_image; }
    // A picture to draw: pixels waiting for their upload, or already in the texture.
    bool has_pixels() const;
    GLint get_internal_format() const { return m_internal_format; }
    GLenum get_pixel_format() const { return m_pixel_format; }
    const std::string& get_file_name() const { return m_file_name; }

protected:
    // The four corners with the coordinates (s0, t0) ... (s0, t1) in the order p0 to p3, in
    // 0..1 units (scaled to pixels here for rectangle textures).
    void draw_textured_quad(Math_Vector3& p0, Math_Vector3& p1, Math_Vector3& p2, Math_Vector3& p3,
                            float s0, float s1, float t0, float t1);
    // The same with the texture bound and no other state change.
    void emit_textured_quad(const Math_Vector3& p0, const Math_Vector3& p1, const Math_Vector3& p2,
                            const Math_Vector3& p3, float s0, float s1, float t0, float t1);

    GFX_Image* m_image = nullptr;  // owned
    GLint m_internal_format = GL_RGB8;
    GLenum m_pixel_format = GL_RGB;
    int m_npot_mode = NPOT_TEXTURE_2D;
    bool m_pixels_in_driver = false;  // uploaded, and the image's pixels released
    std::string m_file_name;
};
