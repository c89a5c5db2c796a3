// OGL_Texture2D on a real Mesa context: upload on first use, re-creation from the kept image,
// the filter and format rules, and the images that must never reach OpenGL.
#include "gfx/ogl_texture.h"

#include "tests/support/offscreen_gl.h"
#include "util/image.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// An image whose bytes count up from 1, so any mix-up of rows or channels shows.
GFX_Image* counting_image(unsigned width, unsigned height, unsigned bits) {
    const unsigned size = width * height * bits / 8;
    unsigned char* pixels = new unsigned char[size];
    for (unsigned i = 0; i < size; ++i) pixels[i] = static_cast<unsigned char>(1 + i);
    GFX_Image* image = new GFX_Image();
    image->set_pixels(pixels, static_cast<uint8_t>(bits), width, height);
    return image;
}

std::vector<unsigned char> bytes_of(const GFX_Image* image) {
    return {image->m_pixels,
            image->m_pixels + image->m_width * image->m_height * image->m_bits_per_pixel / 8};
}

// Level 0 of the bound 2D texture, read back in the texture's own pixel format.
std::vector<unsigned char> level0(const OGL_Texture2D& tex, int channels) {
    std::vector<unsigned char> out(tex.get_image()->m_width * tex.get_image()->m_height * channels);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, tex.get_pixel_format(), GL_UNSIGNED_BYTE, out.data());
    return out;
}

GLint get(GLenum pname) {
    GLint value = 0;
    if (pname == GL_TEXTURE_BINDING_2D) glGetIntegerv(pname, &value);
    else glGetTexParameteriv(GL_TEXTURE_2D, pname, &value);
    return value;
}

}  // namespace

TEST(OGL_Texture2D, FirstApplyUploadsLaterOnesBindAndUnloadKeepsTheImage) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    OGL_Texture2D tex;
    tex.init_from_image(counting_image(4, 2, 24));
    tex.apply();
    const GLuint name = tex.get_name();
    ASSERT_TRUE(glIsTexture(name));
    EXPECT_EQ(get(GL_TEXTURE_BINDING_2D), GLint(name));
    // The first stored row is the first row OpenGL holds (t = 0).
    EXPECT_EQ(level0(tex, 3), bytes_of(tex.get_image()));

    // Mark the texture: a second apply() must bind it, not upload over it.
    const unsigned char marker[3] = {200, 201, 202};
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, marker);
    glBindTexture(GL_TEXTURE_2D, 0);
    tex.apply();
    EXPECT_EQ(tex.get_name(), name);
    EXPECT_EQ(get(GL_TEXTURE_BINDING_2D), GLint(name));
    EXPECT_EQ(level0(tex, 3)[0], 200);

    EXPECT_EQ(tex.unload(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(tex.get_name(), 0u);
    EXPECT_FALSE(glIsTexture(name));
    tex.apply();
    ASSERT_TRUE(glIsTexture(tex.get_name()));
    EXPECT_EQ(level0(tex, 3), bytes_of(tex.get_image()));
}

TEST(OGL_Texture2D, WrapAndFilterParametersFollowTheMipmapFlag) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    OGL_Texture2D mipmapped;
    mipmapped.init_from_image(counting_image(8, 8, 32));
    ASSERT_TRUE(mipmapped.load());
    EXPECT_EQ(get(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(get(GL_GENERATE_MIPMAP), GL_TRUE);
    EXPECT_EQ(get(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(get(GL_TEXTURE_WRAP_T), GL_CLAMP);

    // Mipmaps off: linear minification even though the field still asks for a mipmap filter.
    OGL_Texture2D plain;
    plain.init_from_image(counting_image(8, 8, 32));
    plain.set_mipmaps(false);
    plain.set_min_filter(GL_NEAREST_MIPMAP_NEAREST);
    plain.set_mag_filter(GL_NEAREST);
    plain.set_wrap_mode(GL_REPEAT);
    plain.apply();
    EXPECT_EQ(get(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(get(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(get(GL_GENERATE_MIPMAP), GL_FALSE);
    EXPECT_EQ(get(GL_TEXTURE_WRAP_T), GL_REPEAT);
}

TEST(OGL_Texture2D, ImageDepthChoosesTheFormats) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    const struct {
        unsigned bits;
        GLint internal_format;
        GLenum pixel_format;
    } table[] = {{8, GL_LUMINANCE, GL_LUMINANCE},
                 {16, GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA},
                 {24, GL_RGB8, GL_RGB},
                 {32, GL_RGBA8, GL_RGBA}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.bits);
        OGL_Texture2D tex;
        tex.init_from_image(counting_image(3, 2, row.bits));
        EXPECT_EQ(tex.get_internal_format(), row.internal_format);
        EXPECT_EQ(tex.get_pixel_format(), row.pixel_format);
        tex.apply();
        EXPECT_EQ(level0(tex, row.bits / 8), bytes_of(tex.get_image()));
    }

    // From a file (a 1 x 1 TGA, blue-green-red-alpha on disk), and a depth outside the table
    // afterwards keeps the formats of the previous image.
    const std::string path = testing::TempDir() + "ogl_texture_1x1.tga";
    const unsigned char tga[22] = {0, 0, 2, 0, 0, 0,  0, 0,  0,  0,  0,
                                   0, 1, 0, 1, 0, 32, 8, 30, 20, 10, 40};
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(tga), sizeof tga);
    OGL_Texture2D tex;
    tex.read_from_file(path.c_str());
    EXPECT_EQ(tex.get_internal_format(), GL_RGBA8);
    EXPECT_EQ(tex.get_pixel_format(), GLenum(GL_RGBA));
    tex.apply();
    EXPECT_EQ(level0(tex, 4), (std::vector<unsigned char>{10, 20, 30, 40}));
    tex.init_from_image(counting_image(2, 2, 48));
    EXPECT_EQ(tex.get_pixel_format(), GLenum(GL_RGBA));
}

TEST(OGL_Texture2D, WithoutUsablePixelsNothingUploadsAndNoBindingChanges) {
    OffscreenGL gl(8, 8);
    ASSERT_TRUE(gl.ok());
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);

    OGL_Texture2D none, missing, short_image;
    missing.read_from_file("./no/such/texture.tga");  // an image without pixels
    // 4 bits per pixel keeps the RGB formats, which would read 6 times the bytes the image
    // holds: refused rather than read out of bounds.
    short_image.init_from_image(counting_image(4, 4, 4));
    for (OGL_Texture2D* tex : {&none, &missing, &short_image}) {
        tex->apply();
        EXPECT_FALSE(tex->load());
        EXPECT_EQ(tex->get_name(), 0u);
    }
    EXPECT_EQ(get(GL_TEXTURE_BINDING_2D), GLint(other));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
