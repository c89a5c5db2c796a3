// The colour themes of the globe and its overlay, and their text in the parameter-list syntax.
// Every theme keeps the cards light and the text dark (names are written on the cards), the
// controls light (their textures are white shapes on dark glass) and the background dark (the
// friendship lines glow by blending).
#include "themes.h"

#include <cmath>
#include <cstdio>

const std::vector<Theme>& themes() {
    static const std::vector<Theme> list = {
        {"Deep space: cool white cards and cyan glow on near black",
         {0.01f, 0.015f, 0.04f},
         {0.25f, 0.35f, 0.9f},
         {1, 1, 1},
         {0.72f, 0.9f, 1},
         {0.12f, 0.14f, 0.18f},
         {0.04f, 0.1f, 0.2f},
         {1, 1, 1, 0.92f},
         {0.6f, 0.86f, 1, 1},
         {1, 1, 1, 1},
         {0.7f, 0.9f, 1, 1},
         {1, 1, 1, 1},
         {0.7f, 0.9f, 1, 1},
         {0.88f, 0.94f, 1, 0.9f},
         {0.5f, 0.82f, 1, 1},
         {0.25f, 0.75f, 1},
         {0.16f, 0.32f, 0.52f, 0.85f}},
        {"Aurora: mint cards over a dark polar sea",
         {0.0f, 0.035f, 0.045f},
         {0.2f, 0.8f, 0.6f},
         {0.93f, 1, 0.97f},
         {0.66f, 1, 0.86f},
         {0.06f, 0.2f, 0.16f},
         {0.02f, 0.16f, 0.1f},
         {0.88f, 1, 0.95f, 0.92f},
         {0.5f, 1, 0.78f, 1},
         {0.9f, 1, 0.95f, 1},
         {0.6f, 1, 0.8f, 1},
         {0.85f, 1, 0.92f, 1},
         {0.55f, 1, 0.8f, 1},
         {0.8f, 1, 0.9f, 0.9f},
         {0.45f, 1, 0.72f, 1},
         {0.3f, 1, 0.7f},
         {0.04f, 0.34f, 0.3f, 0.85f}},
        {"Ember: warm paper cards and amber glow on charcoal",
         {0.05f, 0.02f, 0.015f},
         {0.9f, 0.45f, 0.15f},
         {1, 0.97f, 0.92f},
         {1, 0.86f, 0.62f},
         {0.26f, 0.13f, 0.06f},
         {0.22f, 0.08f, 0.02f},
         {1, 0.94f, 0.86f, 0.92f},
         {1, 0.72f, 0.38f, 1},
         {1, 0.95f, 0.9f, 1},
         {1, 0.8f, 0.5f, 1},
         {1, 0.9f, 0.8f, 1},
         {1, 0.76f, 0.46f, 1},
         {1, 0.9f, 0.78f, 0.9f},
         {1, 0.66f, 0.3f, 1},
         {1, 0.6f, 0.2f},
         {0.44f, 0.17f, 0.06f, 0.85f}},
        {"Twilight: lilac cards and violet glow on deep indigo",
         {0.03f, 0.02f, 0.07f},
         {0.6f, 0.4f, 1},
         {0.97f, 0.95f, 1},
         {0.86f, 0.76f, 1},
         {0.18f, 0.12f, 0.3f},
         {0.14f, 0.06f, 0.28f},
         {0.96f, 0.92f, 1, 0.92f},
         {0.8f, 0.62f, 1, 1},
         {0.96f, 0.92f, 1, 1},
         {0.84f, 0.7f, 1, 1},
         {0.95f, 0.9f, 1, 1},
         {0.8f, 0.66f, 1, 1},
         {0.9f, 0.86f, 1, 0.9f},
         {0.74f, 0.56f, 1, 1},
         {0.7f, 0.45f, 1},
         {0.28f, 0.16f, 0.48f, 0.85f}},
    };
    return list;
}

int current_theme() { return 1; }

namespace {

std::string number(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(v));
    std::string s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

std::string vec(const char* key, const float* v, int n) {
    std::string s = "  ";
    s += key;
    s += " [";
    for (int i = 0; i < n; ++i) s += " " + number(v[i]);
    return s + " ]\n";
}

}  // namespace

std::string themes_file_text() {
    std::string s;
    s += "// Colour themes of the friend globe. Colours are red green blue (alpha) from 0 to 1;\n";
    s += "// brackets stand apart from the numbers. Written by tools/make_data.sh.\n";
    s += "NumThemes " + std::to_string(themes().size()) + "\n";
    s += "CurTheme " + std::to_string(current_theme()) + "\n";
    int i = 0;
    for (const Theme& t : themes()) {
        s += "\n// " + std::string(t.name) + "\n";
        s += "Theme_" + std::to_string(++i) + " {\n";
        s += vec("BackgroundColor", t.background, 3);
        s += vec("LocatorBallColor", t.locator_ball, 3);
        s += vec("LocatorBillboardColor", t.billboard, 3);
        s += vec("LocatorBillboardColorSel", t.billboard_sel, 3);
        s += vec("LocatorTextColor", t.text, 3);
        s += vec("LocatorTextColorSel", t.text_sel, 3);
        s += vec("ButtonColor", t.button, 4);
        s += vec("ButtonColorSel", t.button_sel, 4);
        s += vec("WindowColor", t.window, 4);
        s += vec("WindowColorSel", t.window_sel, 4);
        s += vec("NavWidgetGlobeColor", t.globe, 4);
        s += vec("NavWidgetGlobeColorSel", t.globe_sel, 4);
        s += vec("NavWidgetDialColor", t.dial, 4);
        s += vec("NavWidgetDialColorSel", t.dial_sel, 4);
        s += vec("ConnectionColor", t.connection, 3);
        s += vec("TopBarColor", t.top_bar, 4);
        s += "}\n";
    }
    return s;
}
