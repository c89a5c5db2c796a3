// Colour themes: the default theme, loading colours from a theme list, and choosing the themes
// and the current theme from a theme file, including missing, short and odd entries.
#include "controller/color_theme.h"
#include "util/parameter_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// All sixteen colours in field order, so that two themes compare whole.
std::vector<float> colors(const UTL_ColorTheme& t) {
    std::vector<float> out;
    for (const Math_Vector3* v : {&t.m_background_color, &t.m_locator_ball_color,
                                  &t.m_locator_billboard_color, &t.m_locator_billboard_color_sel,
                                  &t.m_locator_text_color, &t.m_locator_text_color_sel,
                                  &t.m_connection_color})
        out.insert(out.end(), {v->m_x, v->m_y, v->m_z});
    for (const Math_Vector4* v : {&t.m_button_color, &t.m_button_color_sel, &t.m_window_color,
                                  &t.m_window_color_sel, &t.m_nav_widget_globe_color,
                                  &t.m_nav_widget_globe_color_sel, &t.m_nav_widget_dial_color,
                                  &t.m_nav_widget_dial_color_sel, &t.m_top_bar_color})
        out.insert(out.end(), {v->m_x, v->m_y, v->m_z, v->m_w});
    return out;
}

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

const UTL_ColorTheme kDefault;

}  // namespace

TEST(ColorTheme, NoMissingOrGarbageFileLeavesTheDefaultCurrent) {
    std::vector<UTL_ColorTheme> themes;
    UTL_ColorTheme current;
    UTL_ColorTheme::read_themes("./no/such/themes.txt", themes, current);
    UTL_ColorTheme::read_themes(static_cast<UTL_ParameterList*>(nullptr), themes, current);
    EXPECT_TRUE(themes.empty());
    EXPECT_EQ(current.m_background_color, Math_Vector3(0, 0, 0));
    EXPECT_EQ(current.m_top_bar_color, Math_Vector4(0.25f, 0.45f, 0.65f, 0.9f));
    EXPECT_EQ(current.m_connection_color, Math_Vector3(0.25f, 0.75f, 1));

    const std::string path = testing::TempDir() + "nimbra_themes_garbage.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    const char garbage[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR }{ [ ] \xff\xfe NumThemes";
    std::fwrite(garbage, 1, sizeof(garbage), f);
    std::fclose(f);
    UTL_ColorTheme::read_themes(path.c_str(), themes, current);
    std::remove(path.c_str());
    EXPECT_TRUE(themes.empty());
    EXPECT_EQ(colors(current), colors(kDefault));

    EXPECT_TRUE(Themes("").list.empty());
    EXPECT_TRUE(Themes("CurTheme 1\nTheme_1 {\n BackgroundColor [ 1 1 1 ]\n}\n").list.empty());
}

TEST(ColorTheme, ColoursAreSetWholeFromLongEnoughVectorsOnly) {
    UTL_ColorTheme theme;
    std::string text =
        "BackgroundColor [ 0.1 0.2 0.3 0.4 ]\n"  // a fourth number is ignored
        "ButtonColor [ 0.5 0.5 0.5 ]\n"          // too short: keeps all four defaults
        "WindowColor [ 0.1 0.2 0.3 0.4 0.5 ]\n"
        "LocatorBallColor 0.5\n"                  // not a vector
        "LocatorTextColor [ 0.9 0.8 ]\n"
        "ConnectionColor [ 0 1 0 ]\n"
        "UnknownColor [ 1 1 1 1 ]\n";
    UTL_ParameterList list;
    list.read(&text[0]);
    theme.load(&list);
    EXPECT_EQ(theme.m_background_color, Math_Vector3(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(theme.m_button_color, kDefault.m_button_color);
    EXPECT_EQ(theme.m_window_color, Math_Vector4(0.1f, 0.2f, 0.3f, 0.4f));
    EXPECT_EQ(theme.m_locator_ball_color, kDefault.m_locator_ball_color);
    EXPECT_EQ(theme.m_locator_text_color, kDefault.m_locator_text_color);
    EXPECT_EQ(theme.m_connection_color, Math_Vector3(0, 1, 0));

    // Loading changes only what the list names: a second load over the result keeps it.
    UTL_ParameterList only_top_bar;
    std::string top = "TopBarColor [ 1 0 0 0.5 ]\n";
    only_top_bar.read(&top[0]);
    theme.load(&only_top_bar);
    theme.load(nullptr);
    EXPECT_EQ(theme.m_top_bar_color, Math_Vector4(1, 0, 0, 0.5f));
    EXPECT_EQ(theme.m_connection_color, Math_Vector3(0, 1, 0));
}

TEST(ColorTheme, ThemesStartFromTheDefaultAndCountOnlyThoseFound) {
    Themes t(
        "NumThemes 3\n"
        "CurTheme 2\n"
        "Theme_1 {\n  BackgroundColor [ 1 0 0 ]\n}\n"
        "Theme_3 {\n  TopBarColor [ 0 0 1 1 ]\n}\n");
    ASSERT_EQ(t.list.size(), 2u);
    EXPECT_EQ(t.list[0].m_background_color, Math_Vector3(1, 0, 0));
    // Theme 3 is loaded over the default, not over theme 1.
    UTL_ColorTheme expected;
    expected.m_top_bar_color = Math_Vector4(0, 0, 1, 1);
    EXPECT_EQ(colors(t.list[1]), colors(expected));
    EXPECT_EQ(colors(t.current), colors(expected));

    // Number order, not file order; the first item of a name decides; "%d" names only.
    Themes order(
        "NumThemes 3\nCurTheme 1\n"
        "Theme_2 {\n  BackgroundColor [ 0 0 2 ]\n}\n"
        "Theme_1 not a list\n"
        "Theme_1 {\n  BackgroundColor [ 0 0 9 ]\n}\n"
        "Theme_01 {\n}\nTheme_+3 {\n}\n"
        "Theme_3 {\n  BackgroundColor [ 0 0 3 ]\n}\n");
    ASSERT_EQ(order.list.size(), 2u);
    EXPECT_EQ(order.list[0].m_background_color, Math_Vector3(0, 0, 2));
    EXPECT_EQ(order.list[1].m_background_color, Math_Vector3(0, 0, 3));
    EXPECT_EQ(order.current.m_background_color, Math_Vector3(0, 0, 2));
}

TEST(ColorTheme, OddCountsAndIndicesAreTruncatedOrIgnored) {
    const std::string lists =
        "Theme_1 {\n  BackgroundColor [ 0.1 0 0 ]\n}\n"
        "Theme_2 {\n  BackgroundColor [ 0.2 0 0 ]\n}\n"
        "Theme_3 {\n  BackgroundColor [ 0.3 0 0 ]\n}\n";
    EXPECT_EQ(Themes("NumThemes 2.9\n" + lists).list.size(), 2u);
    EXPECT_EQ(Themes("NumThemes 0.9\n" + lists).list.size(), 0u);
    EXPECT_EQ(Themes("NumThemes -3\n" + lists).list.size(), 0u);
    EXPECT_EQ(Themes("NumThemes three\n" + lists).list.size(), 0u);
    EXPECT_EQ(Themes(lists).list.size(), 0u);
    // A huge count neither stalls nor overflows: the lists present are found at once.
    EXPECT_EQ(Themes("NumThemes 1e30\n" + lists).list.size(), 3u);
    EXPECT_EQ(Themes("NumThemes 1e999\n" + lists).list.size(), 3u);

    for (const char* cur : {"CurTheme 0\n", "CurTheme -1\n", "CurTheme 4\n", "CurTheme 0.5\n",
                            "CurTheme 1e30\n", "CurTheme -1e999\n", "CurTheme [ 2 ]\n", ""}) {
        Themes t(std::string("NumThemes 3\n") + cur + lists);
        EXPECT_EQ(t.list.size(), 3u) << cur;
        EXPECT_EQ(colors(t.current), colors(kDefault)) << cur;
    }
    EXPECT_EQ(Themes("NumThemes 3\nCurTheme 3.99\n" + lists).current.m_background_color,
              Math_Vector3(0.3f, 0, 0));
}
