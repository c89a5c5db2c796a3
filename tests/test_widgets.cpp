// The overlay's base widget and push button: anchored placement and its edge rule, following a
// resized screen, the press/move/release sequences of the button and its state colours, and
// drawing read back from an offscreen frame.
#include "widgets/round_button.h"
#include "widgets/widget.h"

#include "controller/color_theme.h"
#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "tests/support/offscreen_gl.h"
#include "util/image.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const Math_Vector4 kGrey(0.5f, 0.5f, 0.5f, 1.0f);

struct Rect {
    float left, right, top, bottom;
};

Rect rect_of(GFX_Widget& w) {
    Rect r{};
    w.compute_rect(r.left, r.right, r.top, r.bottom);
    return r;
}

void expect_rect(GFX_Widget& w, float left, float right, float top, float bottom) {
    const Rect r = rect_of(w);
    EXPECT_FLOAT_EQ(r.left, left);
    EXPECT_FLOAT_EQ(r.right, right);
    EXPECT_FLOAT_EQ(r.top, top);
    EXPECT_FLOAT_EQ(r.bottom, bottom);
}

bool near(const Rgba& p, int r, int g, int b, int tolerance = 3) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
           std::abs(p.b - b) <= tolerance;
}

// A black frame in the overlay's pixel projection, lighting on as the scene leaves it.
struct Overlay {
    OffscreenGL gl;
    explicit Overlay(int w, int h) : gl(w, h) {
        glViewport(0, 0, w, h);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, w, 0, h, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_LIGHTING);
    }
    // Pixels that are not black in the rectangle [x0, x1) x [y0, y1).
    int lit(int x0, int y0, int x1, int y1) {
        return gl.count(x0, y0, x1, y1, [](const Rgba& p) { return p.r || p.g || p.b; });
    }
};

// A 2 x 1 texture: red texel on the left (s < 0.5), blue on the right.
OGL_Texture2D* red_blue_texture() {
    unsigned char* pixels = new unsigned char[2 * 3]{255, 0, 0, 0, 0, 255};
    GFX_Image* image = new GFX_Image();
    image->set_pixels(pixels, 24, 2, 1);
    OGL_Texture2D* texture = new OGL_Texture2D();
    texture->set_mag_filter(GL_NEAREST);
    texture->init_from_image(image);
    return texture;
}

// Writes an uncompressed 24-bit TGA of one colour; returns its path.
std::string write_tga(int w, int h, unsigned char r, unsigned char g, unsigned char b) {
    // The reader is chosen by the extension.
    char name[] = "/tmp/nimbra-widget-XXXXXX.tga";
    const int fd = mkstemps(name, 4);
    if (fd < 0) return "";
    FILE* f = fdopen(fd, "wb");
    const unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, (unsigned char)(w & 255),
                                      (unsigned char)(w >> 8), (unsigned char)(h & 255),
                                      (unsigned char)(h >> 8), 24, 0};
    fwrite(header, 1, sizeof header, f);
    for (int i = 0; i < w * h; ++i) {
        const unsigned char bgr[3] = {b, g, r};
        fwrite(bgr, 1, 3, f);
    }
    fclose(f);
    return name;
}

}  // namespace

TEST(GFX_Widget, EveryAnchorPlacesTheOffsetsFromItsScreenPoint) {
    GFX_WidgetScreen screen{800, 600};
    struct Case {
        int location;
        float ox, oy;
    };
    const Case cases[] = {{GFX_Widget::TOP_LEFT, 0, 600},     {GFX_Widget::TOP_RIGHT, 800, 600},
                          {GFX_Widget::BOTTOM_LEFT, 0, 0},    {GFX_Widget::BOTTOM_RIGHT, 800, 0},
                          {GFX_Widget::MIDDLE_LEFT, 0, 300},  {GFX_Widget::MIDDLE_RIGHT, 800, 300},
                          {GFX_Widget::TOP_CENTER, 400, 600}, {GFX_Widget::BOTTOM_CENTER, 400, 0},
                          {GFX_Widget::CENTER, 400, 300},
                          // Unknown locations fall back to the origin.
                          {9, 0, 0},                          {-1, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.location);
        GFX_Widget w(&screen, -20, 7, 30, 12, GFX_Widget::Location(c.location), kGrey);
        expect_rect(w, c.ox - 20 + 0.0001f, c.ox + 10, c.oy + 19, c.oy + 7 + 0.0001f);
    }

    // The examples of the overlay: the dial's corner, a top-right and a centred button.
    GFX_Widget dial(&screen, 5, 5, 112, 112, GFX_Widget::BOTTOM_LEFT, kGrey);
    expect_rect(dial, 5.0001f, 117, 117, 5.0001f);
    GFX_Widget corner(&screen, -40, -40, 32, 32, GFX_Widget::TOP_RIGHT, kGrey);
    expect_rect(corner, 760.0001f, 792, 592, 560.0001f);
    GFX_Widget centre(&screen, -16, -16, 32, 32, GFX_Widget::CENTER, kGrey);
    expect_rect(centre, 384.0001f, 416, 316, 284.0001f);

    // No screen: the bare offsets, with the same edge rule.
    GFX_Widget loose(nullptr, -40, -40, 32, 32, GFX_Widget::TOP_RIGHT, kGrey);
    expect_rect(loose, -40 + 0.0001f, -8, -8, -40 + 0.0001f);
}

TEST(GFX_Widget, PointsOnTheLeftAndBottomEdgesAreOutsideThoseOnTheRightAndTopInside) {
    GFX_WidgetScreen screen{800, 600};
    GFX_Widget dial(&screen, 5, 5, 112, 112, GFX_Widget::BOTTOM_LEFT, kGrey);
    EXPECT_FALSE(dial.is_inside(5, 50));
    EXPECT_FALSE(dial.is_inside(50, 5));
    EXPECT_TRUE(dial.is_inside(117, 117));
    EXPECT_TRUE(dial.is_inside(5.01f, 5.01f));
    EXPECT_FALSE(dial.is_inside(117.01f, 60));
    EXPECT_FALSE(dial.is_inside(60, 117.01f));

    // Two buttons side by side never both claim the shared edge.
    GFX_Widget a(&screen, 93, 1, 28, 28, GFX_Widget::BOTTOM_LEFT, kGrey);
    GFX_Widget b(&screen, 121, 1, 28, 28, GFX_Widget::BOTTOM_LEFT, kGrey);
    EXPECT_TRUE(a.is_inside(121, 10));
    EXPECT_FALSE(b.is_inside(121, 10));

    GFX_Widget corner(&screen, -40, -40, 32, 32, GFX_Widget::TOP_RIGHT, kGrey);
    EXPECT_FALSE(corner.is_inside(760, 570));
    EXPECT_FALSE(corner.is_inside(770, 560));
    EXPECT_TRUE(corner.is_inside(792, 592));
}

TEST(GFX_Widget, ResizingTheScreenMovesAnchoredWidgetsWithoutACallOnThem) {
    GFX_WidgetScreen screen{800, 600};
    GFX_Widget corner(&screen, -40, -40, 32, 32, GFX_Widget::TOP_RIGHT, kGrey);
    GFX_Widget fixed(&screen, 5, 5, 112, 112, GFX_Widget::BOTTOM_LEFT, kGrey);
    EXPECT_TRUE(corner.is_inside(780, 580));

    screen.m_width = 1024;
    screen.m_height = 300;
    expect_rect(corner, 984.0001f, 1016, 292, 260.0001f);
    EXPECT_FALSE(corner.is_inside(780, 580));
    EXPECT_TRUE(corner.is_inside(1000, 280));
    expect_rect(fixed, 5.0001f, 117, 117, 5.0001f);
}

TEST(GFX_WidgetRoundButton, ClicksOnlyWhenPressedAndReleasedInsideWhereverThePointerWentBetween) {
    GFX_WidgetScreen screen{800, 600};
    GFX_WidgetRoundButton b(nullptr, &screen, 93, 1, 28, 28, GFX_Widget::BOTTOM_LEFT, kGrey);
    const float in_x = 100, in_y = 10, out_x = 300, out_y = 300;

    // Press, leave, release outside: no click, and the button is released.
    EXPECT_TRUE(b.mouse_down(in_x, in_y));
    EXPECT_TRUE(b.m_pressed && b.m_hover);
    EXPECT_FALSE(b.mouse_move(out_x, out_y));
    EXPECT_TRUE(b.m_pressed);
    EXPECT_FALSE(b.m_hover);
    EXPECT_FALSE(b.mouse_up(out_x, out_y));
    EXPECT_FALSE(b.m_pressed || b.m_hover);

    // Press, leave, come back, release inside: a click.
    EXPECT_TRUE(b.mouse_down(in_x, in_y));
    EXPECT_FALSE(b.mouse_move(out_x, out_y));
    EXPECT_TRUE(b.mouse_move(in_x + 5, in_y + 5));
    EXPECT_TRUE(b.m_hover);
    EXPECT_TRUE(b.mouse_up(in_x + 5, in_y + 5));
    EXPECT_FALSE(b.m_pressed || b.m_hover);

    // A press outside is not taken; moving in and releasing there is no click.
    EXPECT_FALSE(b.mouse_down(out_x, out_y));
    EXPECT_FALSE(b.m_pressed);
    EXPECT_FALSE(b.mouse_move(in_x, in_y));
    EXPECT_FALSE(b.m_hover);
    EXPECT_FALSE(b.mouse_up(in_x, in_y));

    // A release without a press, and a second release after a click, are not taken.
    EXPECT_TRUE(b.mouse_down(in_x, in_y));
    EXPECT_TRUE(b.mouse_up(in_x, in_y));
    EXPECT_FALSE(b.mouse_up(in_x, in_y));

    // None of it touches the owner's active mark.
    b.m_active = true;
    EXPECT_TRUE(b.mouse_down(in_x, in_y));
    EXPECT_TRUE(b.mouse_up(in_x, in_y));
    EXPECT_TRUE(b.m_active);
}

TEST(GFX_WidgetRoundButton, StateColoursComeFromTheThemeAtEveryDraw) {
    Overlay o(64, 64);
    ASSERT_TRUE(o.gl.ok());
    GFX_WidgetScreen screen{64, 64};
    // The constructor's colour is overwritten by the (default) theme at the first draw.
    GFX_WidgetRoundButton b(nullptr, &screen, 10, 10, 20, 20, GFX_Widget::BOTTOM_LEFT,
                            Math_Vector4(1, 0, 0, 1));
    const UTL_ColorTheme theme;
    const Math_Vector4 normal = theme.m_nav_widget_dial_color;
    const Math_Vector4 sel = theme.m_nav_widget_dial_color_sel;
    ASSERT_FALSE(normal == sel);

    b.draw();
    EXPECT_TRUE(b.m_color == normal);
    EXPECT_TRUE(b.m_color_sel == sel);
    EXPECT_TRUE(b.current_color() == normal);
    EXPECT_TRUE(near(o.gl.pixel(20, 20), 255, 255, 255));

    // Active: the highlight, though the pointer is elsewhere.
    b.m_active = true;
    b.draw();
    EXPECT_TRUE(near(o.gl.pixel(20, 20), int(0.7f * 255), int(0.9f * 255), 255));
    b.m_active = false;

    // Pressed and inside: the highlight; pressed and outside: halfway, alpha included.
    ASSERT_TRUE(b.mouse_down(20, 20));
    EXPECT_TRUE(b.current_color() == sel);
    b.mouse_move(50, 50);
    const Math_Vector4 half = b.current_color();
    EXPECT_FLOAT_EQ(half.m_x, (normal.m_x + sel.m_x) / 2);
    EXPECT_FLOAT_EQ(half.m_y, (normal.m_y + sel.m_y) / 2);
    EXPECT_FLOAT_EQ(half.m_z, (normal.m_z + sel.m_z) / 2);
    EXPECT_FLOAT_EQ(half.m_w, (normal.m_w + sel.m_w) / 2);
    b.m_color_sel = Math_Vector4(0, 0, 1, 0);
    b.m_color = Math_Vector4(1, 1, 1, 1);
    EXPECT_FLOAT_EQ(b.current_color().m_w, 0.5f);
    b.mouse_up(50, 50);
    EXPECT_TRUE(b.current_color() == b.m_color);

    // With a controller the colours are its current theme's, read again at every draw.
    UTL_SimCtrlNimbra controller;
    controller.m_color_theme.m_nav_widget_dial_color = Math_Vector4(0, 1, 0, 1);
    controller.m_color_theme.m_nav_widget_dial_color_sel = Math_Vector4(0, 0, 1, 1);
    GFX_WidgetRoundButton themed(&controller, &screen, 10, 10, 20, 20, GFX_Widget::BOTTOM_LEFT,
                                 Math_Vector4(1, 0, 0, 1));
    themed.m_active = true;
    themed.draw();
    EXPECT_TRUE(near(o.gl.pixel(20, 20), 0, 0, 255));
    themed.m_active = false;
    controller.m_color_theme.m_nav_widget_dial_color = Math_Vector4(1, 1, 0, 1);
    themed.draw();
    EXPECT_TRUE(near(o.gl.pixel(20, 20), 255, 255, 0));
}

TEST(GFX_Widget, DrawsItsTexturedRectangleWhereItIsPlacedAndRestoresTheState) {
    Overlay o(200, 100);
    ASSERT_TRUE(o.gl.ok());
    GFX_WidgetScreen screen{200, 100};
    // 40 x 20 pixels, 10 in from the top-right corner.
    GFX_Widget w(&screen, -50, -30, 40, 20, GFX_Widget::TOP_RIGHT, Math_Vector4(1, 1, 1, 1));
    w.m_texture = red_blue_texture();
    glEnable(GL_BLEND);
    w.draw();
    // Texture s runs left to right: red on the left half, blue on the right.
    EXPECT_TRUE(near(o.gl.pixel(155, 80), 255, 0, 0));
    EXPECT_TRUE(near(o.gl.pixel(185, 80), 0, 0, 255));
    EXPECT_EQ(o.lit(0, 0, 200, 100), 40 * 20);
    EXPECT_EQ(o.lit(150, 70, 190, 90), 40 * 20);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    // The colour tints the texture, and its alpha blends over what is there.
    glClear(GL_COLOR_BUFFER_BIT);
    w.m_color = Math_Vector4(1, 1, 1, 0.5f);
    w.draw();
    EXPECT_TRUE(near(o.gl.pixel(155, 80), 128, 0, 0));
}

TEST(GFX_Widget, WidgetsWithoutAUsableTextureDrawInTheirPlainColour) {
    Overlay o(100, 100);
    ASSERT_TRUE(o.gl.ok());
    GFX_WidgetScreen screen{100, 100};
    // Leave another texture bound and enabled, as the control before would.
    OGL_Texture2D* other = red_blue_texture();
    glEnable(GL_TEXTURE_2D);
    other->apply();

    GFX_Widget plain(&screen, 0, 0, 20, 20, GFX_Widget::BOTTOM_LEFT, Math_Vector4(0, 1, 0, 1));
    plain.draw();
    EXPECT_TRUE(near(o.gl.pixel(10, 10), 0, 255, 0));

    GFX_Widget missing(&screen, 30, 0, 20, 20, GFX_Widget::BOTTOM_LEFT, Math_Vector4(0, 1, 0, 1));
    other->apply();
    glEnable(GL_TEXTURE_2D);
    EXPECT_FALSE(missing.load_texture("./data/config/no_such_texture.tga"));
    ASSERT_NE(missing.m_texture, nullptr);
    missing.draw();
    EXPECT_TRUE(near(o.gl.pixel(40, 10), 0, 255, 0));

    GFX_WidgetRoundButton button(nullptr, &screen, 60, 0, 20, 20, GFX_Widget::BOTTOM_LEFT,
                                 Math_Vector4(0, 1, 0, 1));
    EXPECT_FALSE(button.load_texture(nullptr));
    button.draw();
    EXPECT_TRUE(near(o.gl.pixel(70, 10), 255, 255, 255));  // the default theme's dial colour
    delete other;
}

TEST(GFX_Widget, LoadTextureReplacesTheTextureWithARepeatingUploadedOne) {
    Overlay o(64, 64);
    ASSERT_TRUE(o.gl.ok());
    const std::string green = write_tga(4, 4, 0, 255, 0);
    const std::string blue = write_tga(4, 4, 0, 0, 255);
    ASSERT_FALSE(green.empty());
    ASSERT_FALSE(blue.empty());

    GFX_WidgetScreen screen{64, 64};
    GFX_Widget w(&screen, 0, 0, 64, 64, GFX_Widget::BOTTOM_LEFT, Math_Vector4(1, 1, 1, 1));
    EXPECT_TRUE(w.load_texture(green.c_str()));
    EXPECT_EQ(w.m_texture->get_wrap_mode(), GL_REPEAT);
    w.draw();
    EXPECT_TRUE(near(o.gl.pixel(32, 32), 0, 255, 0));

    const GLuint first = w.m_texture->get_name();
    EXPECT_TRUE(w.load_texture(blue.c_str()));
    EXPECT_FALSE(glIsTexture(first) && first != w.m_texture->get_name());
    w.draw();
    EXPECT_TRUE(near(o.gl.pixel(32, 32), 0, 0, 255));

    w.clear();
    EXPECT_EQ(w.m_texture, nullptr);
    std::remove(green.c_str());
    std::remove(blue.c_str());
}
