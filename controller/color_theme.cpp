// UTL_ColorTheme: the default theme, loading one theme from a parameter list, and choosing the
// current theme from the theme file.
#include "controller/color_theme.h"

#include "util/parameter_list.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <set>
#include <string>
#include <utility>

namespace {

void load3(const UTL_ParameterList& list, const char* key, Math_Vector3& color) {
    const UTL_ParameterNumberVector* v = list.find_number_vector(key);
    if (!v || v->m_values.size() < 3) return;
    color = Math_Vector3(v->m_values[0], v->m_values[1], v->m_values[2]);
}

void load4(const UTL_ParameterList& list, const char* key, Math_Vector4& color) {
    const UTL_ParameterNumberVector* v = list.find_number_vector(key);
    if (!v || v->m_values.size() < 4) return;
    color = Math_Vector4(v->m_values[0], v->m_values[1], v->m_values[2], v->m_values[3]);
}

// A file number truncated toward zero, clamped to the int range; NaN counts as 0.
// NOTE: a plain cast of a huge or NaN float to int is undefined behaviour.
long long truncate(float value) {
    if (!(value == value)) return 0;
    const double t = std::trunc(static_cast<double>(value));
    if (t >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (t <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<long long>(t);
}

// The i of a name "Theme_<i>" as "%d" writes it (no sign, no leading zero), or 0.
long long theme_number(const std::string& name) {
    static const std::string prefix = "Theme_";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 10 || digits[0] == '0') return 0;
    long long i = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        i = i * 10 + (c - '0');
    }
    return i <= INT_MAX ? i : 0;
}

}  // namespace

// NOTE: literals only, no namespace-scope colour constants: a theme may be constructed during
// static initialisation of another file, before such constants would be.
UTL_ColorTheme::UTL_ColorTheme()
    : m_background_color(0.0f, 0.0f, 0.0f),
      m_locator_ball_color(0.25f, 0.35f, 0.9f),
      m_locator_billboard_color(1.0f, 1.0f, 1.0f),
      m_locator_billboard_color_sel(0.7f, 0.9f, 1.0f),
      m_locator_text_color(0.2f, 0.2f, 0.2f),
      m_locator_text_color_sel(0.2f, 0.2f, 0.2f),
      m_button_color(1.0f, 1.0f, 1.0f, 1.0f),
      m_button_color_sel(0.7f, 0.9f, 1.0f, 1.0f),
      m_window_color(1.0f, 1.0f, 1.0f, 1.0f),
      m_window_color_sel(0.7f, 0.9f, 1.0f, 1.0f),
      m_nav_widget_globe_color(1.0f, 1.0f, 1.0f, 1.0f),
      m_nav_widget_globe_color_sel(0.7f, 0.9f, 1.0f, 1.0f),
      m_nav_widget_dial_color(1.0f, 1.0f, 1.0f, 1.0f),
      m_nav_widget_dial_color_sel(0.7f, 0.9f, 1.0f, 1.0f),
      m_connection_color(0.25f, 0.75f, 1.0f),
      m_top_bar_color(0.25f, 0.45f, 0.65f, 0.9f) {}

void UTL_ColorTheme::load(UTL_ParameterList* list) {
    if (!list) return;
    load3(*list, "BackgroundColor", m_background_color);
    load3(*list, "LocatorBallColor", m_locator_ball_color);
    load3(*list, "LocatorBillboardColor", m_locator_billboard_color);
    load3(*list, "LocatorBillboardColorSel", m_locator_billboard_color_sel);
    load3(*list, "LocatorTextColor", m_locator_text_color);
    load3(*list, "LocatorTextColorSel", m_locator_text_color_sel);
    load4(*list, "ButtonColor", m_button_color);
    load4(*list, "ButtonColorSel", m_button_color_sel);
    load4(*list, "WindowColor", m_window_color);
    load4(*list, "WindowColorSel", m_window_color_sel);
    load4(*list, "NavWidgetGlobeColor", m_nav_widget_globe_color);
    load4(*list, "NavWidgetGlobeColorSel", m_nav_widget_globe_color_sel);
    load4(*list, "NavWidgetDialColor", m_nav_widget_dial_color);
    load4(*list, "NavWidgetDialColorSel", m_nav_widget_dial_color_sel);
    load4(*list, "TopBarColor", m_top_bar_color);
    load3(*list, "ConnectionColor", m_connection_color);
}

bool UTL_ColorTheme::operator==(const UTL_ColorTheme& b) const {
    return m_background_color == b.m_background_color &&
           m_locator_ball_color == b.m_locator_ball_color &&
           m_locator_billboard_color == b.m_locator_billboard_color &&
           m_locator_billboard_color_sel == b.m_locator_billboard_color_sel &&
           m_locator_text_color == b.m_locator_text_color &&
           m_locator_text_color_sel == b.m_locator_text_color_sel &&
           m_button_color == b.m_button_color && m_button_color_sel == b.m_button_color_sel &&
           m_window_color == b.m_window_color && m_window_color_sel == b.m_window_color_sel &&
           m_nav_widget_globe_color == b.m_nav_widget_globe_color &&
           m_nav_widget_globe_color_sel == b.m_nav_widget_globe_color_sel &&
           m_nav_widget_dial_color == b.m_nav_widget_dial_color &&
           m_nav_widget_dial_color_sel == b.m_nav_widget_dial_color_sel &&
           m_connection_color == b.m_connection_color && m_top_bar_color == b.m_top_bar_color;
}

void UTL_ColorTheme::read_themes(UTL_ParameterList* list, std::vector<UTL_ColorTheme>& themes,
                                 UTL_ColorTheme& current) {
    if (!list) return;
    const long long count = truncate(list->get_number("NumThemes"));
    if (count > 0) {
        // Themes are the lists "Theme_1" to "Theme_<count>" in number order, each the first item
        // of its name. NOTE: found by one pass over the items rather than by looking up every
        // number up to the count, so that a huge "NumThemes" cannot stall start-up.
        std::set<std::string> seen;
        std::vector<std::pair<long long, UTL_ParameterList*>> found;
        for (UTL_ParameterItem* item : list->m_items) {
            if (!seen.insert(item->m_name).second) continue;
            const long long i = theme_number(item->m_name);
            if (i < 1 || i > count) continue;
            if (UTL_ParameterList* theme = list->find_list(item->m_name))
                found.emplace_back(i, theme);
        }
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& entry : found) {
            UTL_ColorTheme theme;
            theme.load(entry.second);
            themes.push_back(theme);
        }
    }

    if (const UTL_ParameterNumber* cur = list->find_number("CurTheme")) {
        const long long k = truncate(cur->m_value) - 1;
        if (k >= 0 && k < static_cast<long long>(themes.size())) current = themes[k];
    }
}

void UTL_ColorTheme::read_themes(const char* path, std::vector<UTL_ColorTheme>& themes,
                                 UTL_ColorTheme& current) {
    UTL_ParameterList list;
    list.read_from_file(path);
    read_themes(&list, themes, current);
}

// ---------------------------------------------------------------------------------------------
// Circle hues
// ---------------------------------------------------------------------------------------------

namespace {

double to_linear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double to_gamma(double c) {
    return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}

// OKLab (lightness, a, b) to linear sRGB, after Björn Ottosson.
void oklab_to_linear(double L, double a, double b, double rgb[3]) {
    const double l = std::pow(L + 0.3963377774 * a + 0.2158037573 * b, 3.0);
    const double m = std::pow(L - 0.1055613458 * a - 0.0638541728 * b, 3.0);
    const double s = std::pow(L - 0.0894841775 * a - 1.2914855480 * b, 3.0);
    rgb[0] = 4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s;
    rgb[1] = -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s;
    rgb[2] = -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s;
}

// The lightness of the circles' colours: light over a dark background, darker over a light one.
double circle_lightness(const Math_Vector3& background) {
    const double y = 0.2126 * to_linear(background.m_x) + 0.7152 * to_linear(background.m_y) +
                     0.0722 * to_linear(background.m_z);
    return y < 0.18 ? 0.80 : 0.50;
}

// The colour of a lightness, chroma and hue (degrees), its chroma lowered until it fits sRGB.
Math_Vector3 oklch(double L, double chroma, double hue) {
    const double h = hue * M_PI / 180.0;
    double rgb[3];
    for (double c = chroma;; c -= 0.005) {
        oklab_to_linear(L, c * std::cos(h), c * std::sin(h), rgb);
        const bool fits =
            rgb[0] >= 0 && rgb[0] <= 1 && rgb[1] >= 0 && rgb[1] <= 1 && rgb[2] >= 0 && rgb[2] <= 1;
        if (fits || c <= 0.0) break;
    }
    Math_Vector3 out;
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<float>(to_gamma(std::max(0.0, std::min(1.0, rgb[i]))));
    return out;
}

constexpr double kFirstHue = 25.0;      // degrees: the largest circle is a warm red
constexpr double kHueStep = 137.50776;  // the golden angle
constexpr double kCircleChroma = 0.15;

}  // namespace

Math_Vector3 UTL_ColorTheme::circle_color(int k) const {
    const double hue = std::fmod(kFirstHue + kHueStep * std::max(k, 0), 360.0);
    return oklch(circle_lightness(m_background_color), kCircleChroma, hue);
}

Math_Vector3 UTL_ColorTheme::circle_grey() const {
    return oklch(circle_lightness(m_background_color), 0.0, 0.0);
}
