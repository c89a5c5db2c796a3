// Photo textures on a real OSMesa context: upload on first use, the fitted and cut draws in
// every npot mode (coordinates read back through OpenGL feedback, colours from the frame).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include "gfx/ogl_wrapper.h"
#include "photos/texture_foto.h"
#include "tests/support/offscreen_gl.h"
#include "tests/support/photo_files.h"
#include "util/image.h"

namespace {

#if defined(__SANITIZE_THREAD__)
// Mesa's llvmpipe threads synchronise in ways ThreadSanitizer cannot see and would be reported
// as races inside Mesa; under it, Mesa renders on the calling thread instead.
const int s_mesa_single_threaded = setenv("LP_NUM_THREADS", "0", 0);
#endif

// A corner as OpenGL received it: window position and texture coordinates.
struct Corner {
    float x, y, s, t;
};

// Runs draw in feedback mode and returns every vertex of every polygon it produced.
std::vector<Corner> feedback(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(4096);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint n = glRenderMode(GL_RENDER);
    std::vector<Corner> corners;
    // Each vertex: x, y, z, RGBA, s, t, r, q.
    const int stride = 11;
    for (GLint i = 0; i < n;) {
        const GLint token = GLint(buffer[size_t(i++)]);
        if (token == GL_POLYGON_TOKEN) {
            const GLint count = GLint(buffer[size_t(i++)]);
            for (GLint v = 0; v < count; ++v, i += stride) {
                const GLfloat* p = &buffer[size_t(i)];
                corners.push_back({p[0], p[1], p[7] / p[10], p[8] / p[10]});
            }
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            ++i;
        } else {
            break;
        }
    }
    return corners;
}

// Expects a vertex at (x, y) carrying (s, t).
void expect_corner(const std::vector<Corner>& corners, float x, float y, float s, float t) {
    for (const Corner& c : corners) {
        if (std::fabs(c.x - x) < 0.05f && std::fabs(c.y - y) < 0.05f) {
            EXPECT_NEAR(c.s, s, 1e-3f * std::max(1.0f, std::fabs(s))) << "at " << x << ", " << y;
            EXPECT_NEAR(c.t, t, 1e-3f * std::max(1.0f, std::fabs(t))) << "at " << x << ", " << y;
            return;
        }
    }
    ADD_FAILURE() << "no vertex at " << x << ", " << y;
}

bool is_red(const Rgba& p) { return p.r > 180 && p.g < 80 && p.b < 80; }
bool is_green(const Rgba& p) { return p.r < 80 && p.g > 180 && p.b < 80; }
bool is_blue(const Rgba& p) { return p.r < 80 && p.g < 80 && p.b > 180; }
bool is_white(const Rgba& p) { return p.r > 200 && p.g > 200 && p.b > 200; }
bool is_black(const Rgba& p) { return p.r < 30 && p.g < 30 && p.b < 30; }

// A w x h 24-bit image in memory, all grey.
GFX_Image* grey_image(unsigned w, unsigned h) {
    GFX_Image* image = new GFX_Image();
    unsigned char* pixels = new unsigned char[size_t(w) * h * 3];
    std::fill(pixels, pixels + size_t(w) * h * 3, 128);
    image->set_pixels(pixels, 24, w, h);
    return image;
}

// A 100 x 100 frame with pixel coordinates, origin lower left, cleared to black.
class PhotoTexture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new PhotoDir();
        // 300 x 200: a red strip of 50 columns on the left, a blue one on the right, lime between
        // with the top 40 rows white.
        s_photo = s_dir->make("strips.jpg",
                              "-size 300x200 xc:lime -fill red -draw 'rectangle 0,0 49,199' "
                              "-fill blue -draw 'rectangle 250,0 299,199' "
                              "-fill white -draw 'rectangle 50,0 249,39'");
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(m_gl.ok());
        ASSERT_FALSE(s_photo.empty()) << "convert did not make the photo";
        glViewport(0, 0, 100, 100);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 100, 0, 100, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor3f(1, 1, 1);
    }

    std::string photo_path() const { return s_dir->file("strips.jpg"); }

    OffscreenGL m_gl{100, 100};
    static PhotoDir* s_dir;
    static std::string s_photo;
};

PhotoDir* PhotoTexture::s_dir = nullptr;
std::string PhotoTexture::s_photo;

class PhotoTextureModes : public PhotoTexture, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_F(PhotoTexture, ChoosesItsModeFromTheDriverAndUploadsOnFirstApply) {
    OGL_TextureFoto texture;
    // This Mesa accepts any size, so photos become plain 2D textures with mipmaps.
    ASSERT_TRUE(OGL_Wrapper::has_extension("ARB_texture_non_power_of_two"));
    EXPECT_EQ(texture.get_npot_mode(), 0);
    EXPECT_EQ(texture.get_target(), GLenum(GL_TEXTURE_2D));
    EXPECT_TRUE(texture.get_mipmaps());
    EXPECT_EQ(texture.get_min_filter(), GL_LINEAR_MIPMAP_LINEAR);

    texture.read_from_file(photo_path().c_str());
    EXPECT_EQ(texture.get_file_name(), photo_path());
    ASSERT_NE(texture.get_image(), nullptr);
    EXPECT_EQ(texture.get_image()->m_width, 300u);
    EXPECT_EQ(texture.get_image()->m_height, 200u);
    EXPECT_EQ(texture.get_internal_format(), GL_RGB8);
    EXPECT_EQ(texture.get_pixel_format(), GLenum(GL_RGB));
    EXPECT_EQ(texture.get_name(), 0u) << "reading must not touch OpenGL";

    texture.apply();
    const GLuint name = texture.get_name();
    ASSERT_TRUE(glIsTexture(name));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), name);
    glBindTexture(GL_TEXTURE_2D, 0);
    texture.apply();
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(texture.get_name(), name) << "a second apply only binds";
    EXPECT_EQ(GLuint(bound), name);

    // A rectangle texture binds to its own target.
    OGL_TextureFoto rect;
    rect.set_npot_mode(1);
    EXPECT_EQ(rect.get_target(), GLenum(0x84F5));
    EXPECT_FALSE(rect.get_mipmaps());
    rect.read_from_file(photo_path().c_str());
    rect.apply();
    glGetIntegerv(GL_TEXTURE_BINDING_RECTANGLE_ARB, &bound);
    EXPECT_TRUE(glIsTexture(rect.get_name()));
    EXPECT_EQ(GLuint(bound), rect.get_name());
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    texture.unload();
    rect.unload();
}

TEST_F(PhotoTexture, WithoutPixelsBindsNothingAndDrawsNothing) {
    GLuint other = 0;
    glGenTextures(1, &other);
    glBindTexture(GL_TEXTURE_2D, other);

    OGL_TextureFoto no_image;
    OGL_TextureFoto unreadable;
    unreadable.read_from_file(s_dir->file("missing.jpg").c_str());
    OGL_TextureFoto not_a_jpeg;
    { std::ofstream(s_dir->file("text.jpg")) << "<html>not found</html>"; }
    not_a_jpeg.read_from_file(s_dir->file("text.jpg").c_str());

    glDisable(GL_LIGHTING);
    Math_Vector3 p0(10, 10, 0), p1(90, 10, 0), p2(90, 90, 0), p3(10, 90, 0);
    for (OGL_TextureFoto* t : {&no_image, &unreadable, &not_a_jpeg}) {
        EXPECT_FALSE(t->has_pixels());
        EXPECT_FALSE(t->load());
        t->apply();
        t->draw_quad(p0, p1, p2, p3);
        t->draw_quad_cut(p0, p1, p2, p3, 80, 80);
        t->draw_quad(0, 100, 100, 0);
        t->draw_quad_cut(0, 100, 100, 0);
        EXPECT_EQ(t->get_name(), 0u);
    }
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), other);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING)) << "nothing drawn, so lighting is left alone";
    EXPECT_EQ(m_gl.count(is_black), 100 * 100);
    glDeleteTextures(1, &other);
}

TEST_P(PhotoTextureModes, CutDrawFillsTheBoxAndLosesEqualSideStrips) {
    OGL_TextureFoto texture;
    texture.set_npot_mode(GetParam());
    texture.read_from_file(photo_path().c_str());
    const float sw = GetParam() == 1 ? 300.0f : 1.0f;
    const float th = GetParam() == 1 ? 200.0f : 1.0f;

    // 300 x 200 into 100 x 100: scaled to 150 x 100, too wide, s from 1/6 to 5/6.
    auto corners = feedback([&] { texture.draw_quad_cut(0, 100, 100, 0); });
    expect_corner(corners, 0, 0, sw / 6, 0);
    expect_corner(corners, 100, 0, sw * 5 / 6, 0);
    expect_corner(corners, 100, 100, sw * 5 / 6, th);
    expect_corner(corners, 0, 100, sw / 6, th);

    glDisable(GL_LIGHTING);
    texture.draw_quad_cut(0, 100, 100, 0);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(texture.get_target()));
    glDisable(GL_LIGHTING);
    // The red and blue side strips are cut away; the picture's top rows (white) are on top.
    EXPECT_TRUE(is_green(m_gl.pixel(3, 50)));
    EXPECT_TRUE(is_green(m_gl.pixel(50, 50)));
    EXPECT_TRUE(is_green(m_gl.pixel(96, 50)));
    EXPECT_TRUE(is_white(m_gl.pixel(50, 95)));
    EXPECT_TRUE(is_green(m_gl.pixel(50, 5)));
    EXPECT_EQ(m_gl.count(is_red) + m_gl.count(is_blue), 0);

    // A 3D quad of the photo's own aspect shows all of it; a tall photo loses top and bottom.
    Math_Vector3 p0(10, 20, 0), p1(85, 20, 0), p2(85, 70, 0), p3(10, 70, 0);
    corners = feedback([&] { texture.draw_quad_cut(p0, p1, p2, p3, 75, 50); });
    expect_corner(corners, 10, 20, 0, 0);
    expect_corner(corners, 85, 70, sw, th);
    OGL_TextureFoto tall;
    tall.set_npot_mode(GetParam());
    tall.init_from_image(grey_image(200, 300));
    corners = feedback([&] { tall.draw_quad_cut(0, 100, 100, 0); });
    const float tw = GetParam() == 1 ? 200.0f : 1.0f;
    const float tt = GetParam() == 1 ? 300.0f : 1.0f;
    expect_corner(corners, 0, 0, 0, tt / 6);
    expect_corner(corners, 100, 100, tw, tt * 5 / 6);
    texture.unload();
    tall.unload();
}

TEST_P(PhotoTextureModes, FittedDrawShowsTheWholePhotoCentred) {
    OGL_TextureFoto texture;
    texture.set_npot_mode(GetParam());
    texture.read_from_file(photo_path().c_str());
    const float sw = GetParam() == 1 ? 300.0f : 1.0f;
    const float th = GetParam() == 1 ? 200.0f : 1.0f;

    // 300 x 200 into 100 x 100: 100 x 66.7, bands above and below.
    auto corners = feedback([&] { texture.draw_quad(0, 100, 100, 0); });
    expect_corner(corners, 0, 50 - 100.0f / 3, 0, 0);
    expect_corner(corners, 100, 50 - 100.0f / 3, sw, 0);
    expect_corner(corners, 100, 50 + 100.0f / 3, sw, th);
    expect_corner(corners, 0, 50 + 100.0f / 3, 0, th);

    texture.draw_quad(0, 100, 100, 0);
    glDisable(GL_LIGHTING);
    EXPECT_TRUE(is_black(m_gl.pixel(50, 10)));
    EXPECT_TRUE(is_black(m_gl.pixel(50, 90)));
    EXPECT_TRUE(is_red(m_gl.pixel(5, 50)));
    EXPECT_TRUE(is_green(m_gl.pixel(50, 30)));
    EXPECT_TRUE(is_blue(m_gl.pixel(95, 50)));
    EXPECT_TRUE(is_white(m_gl.pixel(50, 80)));

    // A tall box: the photo is as wide as the box, centred in height.
    glClear(GL_COLOR_BUFFER_BIT);
    corners = feedback([&] { texture.draw_quad(20, 80, 100, 0); });
    expect_corner(corners, 20, 30, 0, 0);
    expect_corner(corners, 80, 70, sw, th);
    texture.unload();
}

INSTANTIATE_TEST_SUITE_P(EveryNpotMode, PhotoTextureModes, ::testing::Values(0, 1, 2));
