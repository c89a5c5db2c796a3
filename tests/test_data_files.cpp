// The files under data/config that the program reads: every texture is an uncompressed TGA the
// readers accept, with its alpha where the drawing relies on it, the glyph sheet has its glyphs
// where the text drawer samples, and the theme file defines complete themes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "controller/color_theme.h"
#include "util/image.h"
#include "util/parameter_list.h"

namespace {

const std::string kDir = "./data/config/";

struct TgaFile {
    bool read = false;
    std::vector<uint8_t> bytes;
    int type() const { return bytes[2]; }
    int width() const { return bytes[12] | (bytes[13] << 8); }
    int height() const { return bytes[14] | (bytes[15] << 8); }
    int depth() const { return bytes[16]; }
    int descriptor() const { return bytes[17]; }
};

TgaFile read_file(const std::string& path) {
    TgaFile t;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return t;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) t.bytes.insert(t.bytes.end(), buf, buf + n);
    std::fclose(f);
    t.read = t.bytes.size() >= 18;
    return t;
}

// A texture through the program's own reader, addressed with y counted from the TOP of the
// picture (the reader keeps the file's bottom-up row order).
struct Picture {
    std::unique_ptr<GFX_Image> image;
    explicit Picture(const std::string& file) : image(new GFX_Image(kDir + file)) {}
    int w() const { return static_cast<int>(image->m_width); }
    int h() const { return static_cast<int>(image->m_height); }
    const unsigned char* px(int x, int y) const {
        return image->m_pixels + (static_cast<size_t>(h() - 1 - y) * w() + x) * 4;
    }
    int alpha(int x, int y) const { return px(x, y)[3]; }
    // Distance of a pixel centre from the picture's centre, in units where the half width is 1.
    double radius(int x, int y) const {
        return std::hypot(x + 0.5 - w() / 2.0, y + 0.5 - h() / 2.0) / (w() / 2.0);
    }
};

bool power_of_two(int v) { return v > 0 && (v & (v - 1)) == 0; }

double luminance(const Math_Vector3& c) { return 0.2126 * c.m_x + 0.7152 * c.m_y + 0.0722 * c.m_z; }

}  // namespace

TEST(DataFiles, TexturesAreUncompressedTrueColourTgaOfTheirSize) {
    struct Expected {
        const char* file;
        int w, h;
    };
    const Expected all[] = {
        {"nimbra.tga", 128, 128},    {"korvel.tga", 128, 128},     {"sphere_button.tga", 128, 128},
        {"billboard.tga", 64, 64},   {"color_ball.tga", 64, 64},   {"locator.tga", 256, 256},
        {"widget.tga", 128, 128},    {"top_bar.tga", 32, 32},      {"dial.tga", 128, 128},
        {"rot_but_1.tga", 64, 64},   {"rot_but_2.tga", 64, 64},    {"rot_but_3.tga", 64, 64},
        {"ruler.tga", 16, 32},       {"fixed_font.tga", 512, 512}, {"question.tga", 128, 128},
        {"circles_but.tga", 64, 64},
    };
    for (const Expected& e : all) {
        SCOPED_TRACE(e.file);
        TgaFile t = read_file(kDir + e.file);
        ASSERT_TRUE(t.read);
        EXPECT_EQ(t.bytes[0], 0);  // no identification field
        EXPECT_EQ(t.bytes[1], 0);  // no colour map
        EXPECT_EQ(t.type(), 2);    // uncompressed true colour
        EXPECT_EQ(t.width(), e.w);
        EXPECT_EQ(t.height(), e.h);
        EXPECT_TRUE(power_of_two(t.width()) && power_of_two(t.height()));
        ASSERT_EQ(t.depth(), 32);
        EXPECT_EQ(t.descriptor(), 8);  // eight alpha bits, rows stored bottom-up
        EXPECT_EQ(t.bytes.size(), 18u + static_cast<size_t>(e.w) * e.h * 4);

        Picture p(e.file);
        ASSERT_TRUE(p.image->has_pixels());
        EXPECT_EQ(p.w(), e.w);
        EXPECT_EQ(p.h(), e.h);
        EXPECT_EQ(p.image->m_bits_per_pixel, 32);
    }
}

TEST(DataFiles, DialRingLeavesTheGlobeClearAndCoversTheRing) {
    Picture p("dial.tga");
    ASSERT_TRUE(p.image->has_pixels());
    // The globe of radius 40 sits in the middle of the 112-pixel (56 radius) dial.
    const double globe = 40.0 / 56.0;
    int inside_ink = 0, ring_solid = 0, ring_pixels = 0, corner_ink = 0;
    for (int y = 0; y < p.h(); ++y) {
        for (int x = 0; x < p.w(); ++x) {
            double r = p.radius(x, y);
            if (r < globe) inside_ink += p.alpha(x, y) > 0;
            if (r > 1.01) corner_ink += p.alpha(x, y) > 0;
            if (r > 42.0 / 56.0 && r < 54.0 / 56.0) {
                ++ring_pixels;
                ring_solid += p.alpha(x, y) >= 96;
            }
        }
    }
    EXPECT_EQ(inside_ink, 0);
    EXPECT_EQ(corner_ink, 0);
    EXPECT_GT(ring_solid, ring_pixels * 9 / 10);
    // The north marker makes the turn of the ring visible: the top is not the bottom mirrored.
    int top = 0, bottom = 0;
    for (int y = 0; y < p.h() / 8; ++y)
        for (int x = 0; x < p.w(); ++x) {
            top += p.alpha(x, y);
            bottom += p.alpha(x, p.h() - 1 - y);
        }
    EXPECT_GT(top, bottom);
}

TEST(DataFiles, GlowIsWhiteAndFadesFromItsCoreToZeroAtTheEdge) {
    Picture p("billboard.tga");
    ASSERT_TRUE(p.image->has_pixels());
    const int c = p.w() / 2;
    EXPECT_GE(p.alpha(c, c), 250);
    for (int i = 0; i < p.w(); ++i) {
        EXPECT_EQ(p.alpha(i, 0), 0);
        EXPECT_EQ(p.alpha(i, p.h() - 1), 0);
        EXPECT_EQ(p.alpha(0, i), 0);
        EXPECT_EQ(p.alpha(p.w() - 1, i), 0);
    }
    // Never brighter further out, along the four axes.
    for (int k = c + 1; k < p.w(); ++k) {
        EXPECT_LE(p.alpha(k, c), p.alpha(k - 1, c));
        EXPECT_LE(p.alpha(c, k), p.alpha(c, k - 1));
    }
    for (int y = 0; y < p.h(); ++y)
        for (int x = 0; x < p.w(); ++x)
            ASSERT_EQ(p.px(x, y)[0] + p.px(x, y)[1] + p.px(x, y)[2], 3 * 255);
}

TEST(DataFiles, TexturesWrappedAroundCubeSpheresAreOpaqueAndSeamless) {
    // Each face of the ball and of the dial's globe carries the whole texture in its own
    // orientation, so an edge meets another edge either way round: all four edges must read the
    // same, forwards and backwards.
    for (const char* file : {"sphere_button.tga", "color_ball.tga"}) {
        SCOPED_TRACE(file);
        Picture p(file);
        ASSERT_TRUE(p.image->has_pixels());
        const int n = p.w();
        int translucent = 0, mismatched = 0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) translucent += p.alpha(x, y) != 255;
        for (int i = 0; i < n; ++i) {
            const unsigned char* ref = p.px(i, 0);
            const unsigned char* edge[] = {p.px(n - 1 - i, 0), p.px(i, n - 1), p.px(0, i),
                                           p.px(n - 1, i)};
            for (const unsigned char* e : edge)
                for (int k = 0; k < 3; ++k) mismatched += std::abs(e[k] - ref[k]) > 2;
        }
        EXPECT_EQ(translucent, 0);
        EXPECT_EQ(mismatched, 0);
    }
    // The ball is tinted by its place on the globe: it has to stay light for the tint to show.
    Picture ball("color_ball.tga");
    for (int y = 0; y < ball.h(); ++y)
        for (int x = 0; x < ball.w(); ++x) ASSERT_GE(ball.px(x, y)[1], 180);
}

TEST(DataFiles, MakerLogoKeepsItsInkInTheTopStripThatIsOnScreen) {
    // Drawn 130 pixels high with all but its top 26 below the window.
    Picture p("korvel.tga");
    ASSERT_TRUE(p.image->has_pixels());
    const int strip = p.h() * 26 / 130;
    long in_strip = 0, below = 0;
    for (int y = 0; y < p.h(); ++y)
        for (int x = 0; x < p.w(); ++x) (y < strip ? in_strip : below) += p.alpha(x, y);
    EXPECT_GT(in_strip, 255L * 300);  // a few hundred solid pixels of mark and name
    EXPECT_EQ(below, 0);
}

TEST(DataFiles, CardsButtonsAndPlaceholderHaveClearCornersAndSolidShapes) {
    struct Shape {
        const char* file;
        int min_centre_alpha;  // the middle of the picture
    };
    const Shape shapes[] = {{"locator.tga", 230},   {"widget.tga", 200},     {"rot_but_1.tga", 100},
                            {"rot_but_2.tga", 100}, {"rot_but_3.tga", 100},  {"question.tga", 100},
                            {"nimbra.tga", 0},      {"circles_but.tga", 100}};
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.file);
        Picture p(s.file);
        ASSERT_TRUE(p.image->has_pixels());
        const int n = p.w() - 1;
        EXPECT_EQ(p.alpha(0, 0) + p.alpha(n, 0) + p.alpha(0, n) + p.alpha(n, n), 0);
        EXPECT_GE(p.alpha(p.w() / 2, p.h() / 2), s.min_centre_alpha);
    }
    // The round buttons are discs: clear outside the circle, covered inside it.
    for (const char* file :
         {"rot_but_1.tga", "rot_but_2.tga", "rot_but_3.tga", "circles_but.tga"}) {
        SCOPED_TRACE(file);
        Picture p(file);
        int outside = 0, inside_clear = 0;
        for (int y = 0; y < p.h(); ++y)
            for (int x = 0; x < p.w(); ++x) {
                if (p.radius(x, y) > 1.0) outside += p.alpha(x, y) > 0;
                if (p.radius(x, y) < 0.9) inside_clear += p.alpha(x, y) == 0;
            }
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(inside_clear, 0);
    }
    // The two turning buttons are mirror images of each other.
    Picture a("rot_but_1.tga"), b("rot_but_2.tga");
    int differ = 0;
    for (int y = 0; y < a.h(); ++y)
        for (int x = 0; x < a.w(); ++x)
            differ += std::abs(a.alpha(x, y) - b.alpha(a.w() - 1 - x, y)) > 8;
    EXPECT_LT(differ, a.w() * a.h() / 200);
}

TEST(DataFiles, TopBarChangesOnlyFromTopToBottom) {
    // It is stretched once across the whole window width.
    Picture p("top_bar.tga");
    ASSERT_TRUE(p.image->has_pixels());
    for (int y = 0; y < p.h(); ++y)
        for (int x = 1; x < p.w(); ++x)
            for (int k = 0; k < 4; ++k) ASSERT_EQ(p.px(x, y)[k], p.px(0, y)[k]) << "row " << y;
}

TEST(DataFiles, GlyphSheetHoldsEachPrintableCharacterInTheLeftHalfOfItsCell) {
    Picture p("fixed_font.tga");
    ASSERT_TRUE(p.image->has_pixels());
    ASSERT_EQ(p.w(), p.h());
    const int cell = p.w() / 16, half = cell / 2;
    // Row 0 of the sheet is the top row of the picture; the drawer samples the left half of a
    // cell and its lower 95 %.
    const int unsampled_top = static_cast<int>(std::ceil(cell * 0.05));
    auto ink = [&](int code, int x0, int x1, int y0, int y1) {
        int col = code % 16, row = code / 16, count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) count += p.alpha(col * cell + x, row * cell + y) > 0;
        return count;
    };
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(ink(code, half, cell, 0, cell), 0);
        EXPECT_EQ(ink(code, 0, cell, 0, unsampled_top), 0);
        bool printable = code >= 33 && code <= 126;
        int left = ink(code, 0, half, 0, cell);
        if (printable) {
            EXPECT_GT(left, 4);
        } else if (code < 128) {
            EXPECT_EQ(left, 0);  // controls, space and delete draw as blanks
        }
    }
    // Upright, not mirrored top to bottom: "_" lies low in its cell and "^" high in its cell.
    EXPECT_EQ(ink('_', 0, half, 0, cell / 2), 0);
    EXPECT_EQ(ink('^', 0, half, cell / 2, cell), 0);
    // White everywhere, so a tint colours the coverage exactly.
    for (int y = 0; y < p.h(); ++y)
        for (int x = 0; x < p.w(); ++x)
            ASSERT_EQ(p.px(x, y)[0] + p.px(x, y)[1] + p.px(x, y)[2], 3 * 255);
}

TEST(DataFiles, ThemeFileDefinesSeveralCompleteReadableThemes) {
    UTL_ParameterList file;
    file.read_from_file((kDir + "themes.txt").c_str());
    const int count = static_cast<int>(file.get_number("NumThemes"));
    EXPECT_GE(count, 3);
    const char* keys3[] = {"BackgroundColor",          "LocatorBallColor", "LocatorBillboardColor",
                           "LocatorBillboardColorSel", "LocatorTextColor", "LocatorTextColorSel",
                           "ConnectionColor"};
    const char* keys4[] = {"ButtonColor",        "ButtonColorSel",        "WindowColor",
                           "WindowColorSel",     "NavWidgetGlobeColor",   "NavWidgetGlobeColorSel",
                           "NavWidgetDialColor", "NavWidgetDialColorSel", "TopBarColor"};
    for (int i = 1; i <= count; ++i) {
        SCOPED_TRACE(i);
        UTL_ParameterList* theme = file.find_list("Theme_" + std::to_string(i));
        ASSERT_NE(theme, nullptr);
        auto check = [&](const char* key, size_t n) {
            SCOPED_TRACE(key);
            UTL_ParameterNumberVector* v = theme->find_number_vector(key);
            ASSERT_NE(v, nullptr);
            ASSERT_EQ(v->m_values.size(), n);
            for (float c : v->m_values) EXPECT_TRUE(c >= 0.0f && c <= 1.0f);
        };
        for (const char* k : keys3) check(k, 3);
        for (const char* k : keys4) check(k, 4);
    }

    std::vector<UTL_ColorTheme> themes;
    UTL_ColorTheme current;
    UTL_ColorTheme::read_themes((kDir + "themes.txt").c_str(), themes, current);
    ASSERT_EQ(static_cast<int>(themes.size()), count);
    const int cur = static_cast<int>(file.get_number("CurTheme"));
    ASSERT_TRUE(cur >= 1 && cur <= count);
    EXPECT_FLOAT_EQ(current.m_background_color.m_x, themes[cur - 1].m_background_color.m_x);
    EXPECT_FLOAT_EQ(current.m_top_bar_color.m_w, themes[cur - 1].m_top_bar_color.m_w);
    for (const UTL_ColorTheme& t : themes) {
        // Names are written in the text colour on the card tinted with the billboard colour, and
        // the glow of the lines adds light to the background: dark text on light cards, dark
        // background.
        EXPECT_GT(luminance(t.m_locator_billboard_color) - luminance(t.m_locator_text_color), 0.6);
        EXPECT_GT(
            luminance(t.m_locator_billboard_color_sel) - luminance(t.m_locator_text_color_sel),
            0.6);
        EXPECT_LT(luminance(t.m_background_color), 0.1);
    }
}
