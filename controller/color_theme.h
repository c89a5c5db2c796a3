// UTL_ColorTheme: the sixteen colours of the globe and the overlay, with the built-in default
// theme, and the reading of the list of themes from the theme file.
#pragma once

#include "gfx/math.h"

#include <vector>

class UTL_ParameterList;

// A plain value, copied freely. Components are meant for 0 to 1 but are not clamped.
class UTL_ColorTheme {
public:
    // The theme file, relative to the resource folder.
    static constexpr const char* THEME_FILE = "./data/config/themes.txt";

    // The built-in default theme.
    UTL_ColorTheme();

    // Overwrites each colour whose key names a number vector of the list that is long enough
    // (three numbers for a three-component colour, four for the others); a colour is set whole
    // or not at all. Other colours, and other items, are left alone. A null list changes nothing.
    void load(UTL_ParameterList* list);

    // The controller's theme reading, with the controller's fields passed in. Appends each
    // "Theme_<i>" list (i = 1 to "NumThemes") found in the list, loaded over the default theme,
    // to themes; then, when "CurTheme" counts one of themes, copies it into current.
    static void read_themes(UTL_ParameterList* list, std::vector<UTL_ColorTheme>& themes,
                            UTL_ColorTheme& current);
    // The same from a theme file; a missing or unreadable file reads no themes.
    static void read_themes(const char* path, std::vector<UTL_ColorTheme>& themes,
                            UTL_ColorTheme& current);

    // The hue of circle k (0 the largest), readable over the background: hues a golden angle
    // apart, so neighbours in the order differ most, at a lightness and colourfulness (OKLCH)
    // that stand out from the background and are alike for every hue.
    Math_Vector3 circle_color(int k) const;
    // A grey of the same lightness, for people in no circle.
    Math_Vector3 circle_grey() const;

    // Every colour equal, component by component.
    bool operator==(const UTL_ColorTheme& b) const;
    bool operator!=(const UTL_ColorTheme& b) const { return !(*this == b); }

    Math_Vector3 m_background_color;
    Math_Vector3 m_locator_ball_color;
    Math_Vector3 m_locator_billboard_color;
    Math_Vector3 m_locator_billboard_color_sel;
    Math_Vector3 m_locator_text_color;
    Math_Vector3 m_locator_text_color_sel;
    Math_Vector4 m_button_color;
    Math_Vector4 m_button_color_sel;
    Math_Vector4 m_window_color;
    Math_Vector4 m_window_color_sel;
    Math_Vector4 m_nav_widget_globe_color;
    Math_Vector4 m_nav_widget_globe_color_sel;
    Math_Vector4 m_nav_widget_dial_color;
    Math_Vector4 m_nav_widget_dial_color_sel;
    Math_Vector3 m_connection_color;
    Math_Vector4 m_top_bar_color;
};
