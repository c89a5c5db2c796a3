// GFX_Text on a real Mesa context: glyph cells land where the quads of a string are, in the
// 3D and the overlay variants, and the draw leaves the blend, lighting and culling state the
// scene expects.
#include "gfx/text.h"

#include "tests/support/offscreen_gl.h"
#include "util/image.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int kCell = 32;  // texels per cell side of the test sheet (512 x 512)

// The colour each character's glyph has on the test sheet.
Rgba glyph_color(int code) {
    return Rgba{uint8_t(code * 2), uint8_t(255 - code), uint8_t(40 + (code % 16) * 12), 255};
}

// A sheet whose cells each hold an opaque block of their character's colour in their left
// half and transparency in their right half. Cell row 0 is the top of the sheet, the last
// rows of the image (t near 1).
GFX_Image* test_sheet() {
    const int size = 16 * kCell;
    unsigned char* pixels = new unsigned char[size * size * 4];
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int code = (15 - y / kCell) * 16 + x / kCell;
            const Rgba c = x % kCell < kCell / 2 ? glyph_color(code) : Rgba{255, 0, 255, 0};
            unsigned char* p = pixels + (y * size + x) * 4;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = c.a;
        }
    }
    GFX_Image* image = new GFX_Image();
    image->set_pixels(pixels, 32, size, size);
    return image;
}

bool near(const Rgba& a, const Rgba& b, int tolerance = 3) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

bool black(const Rgba& p) { return p.r == 0 && p.g == 0 && p.b == 0; }

// A pixel projection over the whole frame, cleared to black, with the sheet bound.
struct TextScene {
    OffscreenGL gl;
    GFX_Text text;

    TextScene(int w, int h) : gl(w, h) {
        glViewport(0, 0, w, h);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, w, 0, h, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        text.init_from_image(test_sheet());
        text.apply();
    }
};

}  // namespace

TEST(GFX_Text, EachCharacterDrawsTheLeftHalfOfItsCellAcrossItsWholeQuad) {
    TextScene s(160, 80);
    ASSERT_TRUE(s.gl.ok());
    // Characters from different rows and columns, a space and a control code each draw their
    // own cell; a byte above 127 has none and leaves a blank advance. Quads are 16 wide and
    // 32 high from (10, 20): a texel per pixel across.
    const char* str =
        "Az \t\xE9"
        "0";
    s.text.draw(Math_Vector3(10, 20, 0), Math_Vector3(1, 0, 0), Math_Vector3(0, 1, 0), 16, 32, str,
                Math_Vector3(1, 1, 1));
    for (int i = 0; str[i] != '\0'; ++i) {
        SCOPED_TRACE(i);
        const int left = 10 + 16 * i;
        if (i == 4) {
            EXPECT_EQ(s.gl.count(left, 0, left + 16, 80, [](const Rgba& p) { return !black(p); }),
                      0);
            continue;
        }
        // The quad's left and right parts both show the glyph half of the cell.
        EXPECT_TRUE(near(s.gl.pixel(left + 3, 36), glyph_color(str[i])));
        EXPECT_TRUE(near(s.gl.pixel(left + 12, 36), glyph_color(str[i])));
        EXPECT_TRUE(near(s.gl.pixel(left + 8, 22), glyph_color(str[i])));
    }
    EXPECT_EQ(s.gl.count([](const Rgba& p) { return !black(p); }), 5 * 16 * 32);
}

TEST(GFX_Text, ThreeDimensionalAxesPlaceAndMirrorTheText) {
    TextScene s(128, 128);
    ASSERT_TRUE(s.gl.ok());
    // Text running up the screen: character i covers x 68..100, y 10 + 16 i .. 26 + 16 i.
    s.text.draw(Math_Vector3(100, 10, 0), Math_Vector3(0, 1, 0), Math_Vector3(-1, 0, 0), 16, 32,
                "AB", Math_Vector3(1, 1, 1));
    EXPECT_TRUE(near(s.gl.pixel(84, 18), glyph_color('A')));
    EXPECT_TRUE(near(s.gl.pixel(84, 34), glyph_color('B')));
    EXPECT_TRUE(black(s.gl.pixel(84, 43)));
    EXPECT_TRUE(black(s.gl.pixel(101, 18)));

    // Text seen from behind (right pointing left) still draws with culling on beforehand, and
    // culling is on again afterwards. The colour tints the glyph.
    glEnable(GL_CULL_FACE);
    s.text.draw(Math_Vector3(60, 80, 0), Math_Vector3(-1, 0, 0), Math_Vector3(0, 1, 0), 16, 32, "A",
                Math_Vector3(1, 0, 1));
    const Rgba a = glyph_color('A');
    EXPECT_TRUE(near(s.gl.pixel(52, 96), Rgba{a.r, 0, a.b, 255}));
    EXPECT_TRUE(black(s.gl.pixel(62, 96)));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
}

TEST(GFX_Text, OverlayDrawAdvancesByTheWidthAndBlendsWithTheColourAlpha) {
    TextScene s(64, 64);
    ASSERT_TRUE(s.gl.ok());
    s.text.draw(10, 20, 8, 16, "AB", Math_Vector4(1, 1, 1, 1));
    EXPECT_TRUE(near(s.gl.pixel(13, 28), glyph_color('A')));
    EXPECT_TRUE(near(s.gl.pixel(21, 28), glyph_color('B')));  // second quad starts at x = 18
    EXPECT_TRUE(black(s.gl.pixel(9, 28)));
    EXPECT_TRUE(black(s.gl.pixel(26, 28)));
    EXPECT_EQ(s.gl.count(0, 0, 64, 64, [](const Rgba& p) { return !black(p); }), 16 * 16);

    // Half alpha over black: half the glyph's colour.
    s.text.draw(10, 40, 8, 16, "A", Math_Vector4(1, 1, 1, 0.5f));
    const Rgba a = glyph_color('A');
    EXPECT_TRUE(
        near(s.gl.pixel(13, 48), Rgba{uint8_t(a.r / 2), uint8_t(a.g / 2), uint8_t(a.b / 2), 255}));
}

TEST(GFX_Text, EmptyTextDrawsNothingButSetsAndRestoresState) {
    TextScene s(32, 32);
    ASSERT_TRUE(s.gl.ok());
    auto expect_state_after = [](bool cull) {
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_EQ(bool(glIsEnabled(GL_CULL_FACE)), cull);
        GLint src = 0, dst = 0;
        glGetIntegerv(GL_BLEND_SRC, &src);
        glGetIntegerv(GL_BLEND_DST, &dst);
        EXPECT_EQ(src, GL_SRC_ALPHA);
        EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    };
    auto scramble_state = []() {
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ZERO);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_CULL_FACE);
    };

    scramble_state();
    s.text.draw(Math_Vector3(0, 0, 0), Math_Vector3(1, 0, 0), Math_Vector3(0, 1, 0), 8, 8, "",
                Math_Vector3(0.25f, 0.5f, 0.75f));
    expect_state_after(true);  // the 3D draw turns culling on afterwards
    GLfloat color[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[1], 0.5f);
    EXPECT_FLOAT_EQ(color[3], 1.0f);

    scramble_state();
    s.text.draw(0, 0, 8, 8, nullptr, Math_Vector4(1, 1, 1, 0.5f));
    expect_state_after(false);  // the overlay draw leaves culling alone
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[3], 0.5f);

    EXPECT_EQ(s.gl.count([](const Rgba& p) { return !black(p); }), 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
