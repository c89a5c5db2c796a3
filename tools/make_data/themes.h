// The colour themes written to data/config/themes.txt (and used by the preview).
#pragma once

#include <string>
#include <vector>

struct Theme {
    const char* name;  // written as a comment above the theme
    float background[3];
    float locator_ball[3];
    float billboard[3], billboard_sel[3];
    float text[3], text_sel[3];
    float button[4], button_sel[4];
    float window[4], window_sel[4];
    float globe[4], globe_sel[4];
    float dial[4], dial_sel[4];
    float connection[3];
    float top_bar[4];
};

const std::vector<Theme>& themes();
// The theme made current by the file (1-based, as "CurTheme").
int current_theme();
// The whole theme file in the parameter-list syntax.
std::string themes_file_text();
