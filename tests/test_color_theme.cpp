// Colour themes: the default theme, loading colours from a theme list, and choosing the themes
// and the current theme from a theme file with missing, short and odd entries.
#include "controller/color_theme.h"
#include "util/parameter_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Reads the themes of a text into fresh controller-like fields.
struct Themes {
    std::vector<UTL_ColorTheme> list;
    UTL_ColorTheme current;
    explicit Themes(std::string text) {
        UTL_ParameterList params;
        params.read(&text[0]);
        UTL_ColorTheme::read_themes(&params, list, current);
    }
};

// The theme is sixteen plain float vectors, so a byte compare compares every colour.
bool same(const UTL_ColorTheme& a, const UTL_ColorTheme& b) {
    return std::memcmp(&a, &b, sizeof(UTL_ColorTheme)) == 0;
}

const UTL_ColorTheme kDefault;

const std::string kThreeThemes =
    "Theme_1 {\n  BackgroundColor [ 0.1 0 0 ]\n}\n"
    "Theme_2 {\n  BackgroundColor [ 0.2 0 0 ]\n}\n"
    "Theme_3 {\n  BackgroundColor [ 0.3 0 0 ]\n}\n";

}  // namespace

TEST(ColorTheme, MissingOrGarbageFileLeavesTheDefaultCurrent) {
    std::vector<UTL_ColorTheme> themes;
    UTL_ColorTheme current;
    UTL_ColorTheme::read_themes("./no/such/themes.txt", themes, current);
    EXPECT_TRUE(themes.empty());
    EXPECT_EQ(current.m_background_color, Math_Vector3(0, 0, 0));
    EXPECT_EQ(current.m_top_bar_color, Math_Vector4(0.25f, 0.45f, 0.65f, 0.9f));

    const Themes garbage(std::string("\x89PNG\r\n\x1a\n\x01\rIHDR }{ [ ] \xff\xfe NumThemes 1"));
    EXPECT_TRUE(garbage.list.empty());
    EXPECT_TRUE(same(garbage.current, kDefault));
    EXPECT_TRUE(Themes("CurTheme 1\n" + kThreeThemes).list.empty());  // no "NumThemes"
}

TEST(ColorTheme, ColoursAreSetWholeFromLongEnoughVectorsOnly) {
    std::string text =
        "BackgroundColor [ 0.1 0.2 0.3 0.4 ]\n"  // the fourth number is ignored
        "ButtonColor [ 0.5 0.5 0.5 ]\n"          // too short: keeps all four defaults
        "WindowColor [ 0.1 0.2 0.3 0.4 0.5 ]\n"
        "LocatorBallColor 0.5\n"
        "LocatorTextColor [ 0.9 0.8 ]\n"
        "ConnectionColor [ 0 1 0 ]\n";
    UTL_ParameterList list;
    list.read(&text[0]);
    UTL_ColorTheme theme;
    theme.load(&list);
    UTL_ColorTheme expected;
    expected.m_background_color = Math_Vector3(0.1f, 0.2f, 0.3f);
    expected.m_window_color = Math_Vector4(0.1f, 0.2f, 0.3f, 0.4f);
    expected.m_connection_color = Math_Vector3(0, 1, 0);
    EXPECT_TRUE(same(theme, expected));
}

TEST(ColorTheme, ThemesStartFromTheDefaultAndCountOnlyThoseFound) {
    Themes t(
        "NumThemes 3\nCurTheme 2\nTheme_1 {\n  BackgroundColor [ 1 0 0 ]\n}\n"
        "Theme_3 {\n  TopBarColor [ 0 0 1 1 ]\n}\n");
    ASSERT_EQ(t.list.size(), 2u);
    UTL_ColorTheme expected;  // theme 3 over the default, not over theme 1
    expected.m_top_bar_color = Math_Vector4(0, 0, 1, 1);
    EXPECT_TRUE(same(t.list[1], expected));
    EXPECT_TRUE(same(t.current, expected));

    // Number order, not file order; the first item of a name decides; "%d" names only.
    Themes order(
        "NumThemes 3\nCurTheme 1\nTheme_2 {\n BackgroundColor [ 0 0 2 ]\n}\n"
        "Theme_1 not a list\nTheme_1 {\n}\nTheme_01 {\n}\nTheme_+3 {\n}\n"
        "Theme_3 {\n BackgroundColor [ 0 0 3 ]\n}\n");
    ASSERT_EQ(order.list.size(), 2u);
    EXPECT_EQ(order.list[1].m_background_color, Math_Vector3(0, 0, 3));
    EXPECT_EQ(order.current.m_background_color, Math_Vector3(0, 0, 2));
}

TEST(ColorTheme, OddCountsAndIndicesAreTruncatedOrIgnored) {
    EXPECT_EQ(Themes("NumThemes 2.9\n" + kThreeThemes).list.size(), 2u);
    EXPECT_EQ(Themes("NumThemes 0.9\n" + kThreeThemes).list.size(), 0u);
    EXPECT_EQ(Themes("NumThemes -3\n" + kThreeThemes).list.size(), 0u);
    // A huge count neither stalls nor overflows: the lists present are found at once.
    EXPECT_EQ(Themes("NumThemes 1e30\n" + kThreeThemes).list.size(), 3u);
    EXPECT_EQ(Themes("NumThemes 1e999\n" + kThreeThemes).list.size(), 3u);

    for (const char* cur : {"CurTheme 0\n", "CurTheme -1\n", "CurTheme 4\n", "CurTheme 1e30\n",
                            "CurTheme [ 2 ]\n", ""}) {
        Themes t(std::string("NumThemes 3\n") + cur + kThreeThemes);
        EXPECT_EQ(t.list.size(), 3u) << cur;
        EXPECT_TRUE(same(t.current, kDefault)) << cur;
    }
    EXPECT_EQ(Themes("NumThemes 3\nCurTheme 3.99\n" + kThreeThemes).current.m_background_color,
              Math_Vector3(0.3f, 0, 0));
}

namespace {

double luminance(const Math_Vector3& c) {
    auto lin = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.m_x) + 0.7152 * lin(c.m_y) + 0.0722 * lin(c.m_z);
}

double contrast(const Math_Vector3& a, const Math_Vector3& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

// Every theme the program ships, and a light background a theme file might give: the hues of
// the circles stand out from the background, are valid colours, differ from each other (the
// first ones, which the largest circles get, the most), and the grey of the people in no
// circle is a grey.
TEST(ColorTheme, CircleHuesAreReadableOnEveryThemeAndTellCirclesApart) {
    std::vector<UTL_ColorTheme> themes;
    UTL_ColorTheme current;
    UTL_ColorTheme::read_themes(UTL_ColorTheme::THEME_FILE, themes, current);
    EXPECT_EQ(themes.size(), 4u) << "run from the source tree";
    themes.push_back(UTL_ColorTheme());
    UTL_ColorTheme light;
    light.m_background_color = Math_Vector3(0.95f, 0.95f, 0.92f);
    themes.push_back(light);

    for (const UTL_ColorTheme& t : themes) {
        SCOPED_TRACE(testing::Message()
                     << "background " << t.m_background_color.m_x << " " << t.m_background_color.m_y
                     << " " << t.m_background_color.m_z);
        std::vector<Math_Vector3> hues;
        for (int k = 0; k < 24; ++k) {
            const Math_Vector3 c = t.circle_color(k);
            for (int i = 0; i < 3; ++i) {
                EXPECT_GE(c[i], 0.0f);
                EXPECT_LE(c[i], 1.0f);
            }
            EXPECT_GE(contrast(c, t.m_background_color), 3.0) << "circle " << k;
            hues.push_back(c);
        }
        EXPECT_EQ(t.circle_color(0), t.circle_color(0)) << "the same hue every time";
        for (int a = 0; a < 8; ++a)
            for (int b = a + 1; b < 8; ++b)
                EXPECT_GT((hues[a] - hues[b]).length(), 0.15f) << "circles " << a << " and " << b;
        for (int a = 0; a < 24; ++a)
            for (int b = a + 1; b < 24; ++b) EXPECT_NE(hues[a], hues[b]);
        const Math_Vector3 grey = t.circle_grey();
        EXPECT_NEAR(grey.m_x, grey.m_y, 0.01f);
        EXPECT_NEAR(grey.m_y, grey.m_z, 0.01f);
        EXPECT_GE(contrast(grey, t.m_background_color), 3.0);
    }
}
