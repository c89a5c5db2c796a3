// The pictures of data/config, each drawn procedurally (and its text rasterised with FreeType).
#pragma once

#include <string>
#include <vector>

#include "canvas.h"

struct TextureRecipe {
    const char* file;  // name under data/config
    Canvas (*make)();
};

// Every texture the program reads, in the order they are written.
const std::vector<TextureRecipe>& texture_recipes();

Canvas make_nimbra_logo();
Canvas make_korvel_logo();
Canvas make_sphere_button();
Canvas make_billboard_glow();
Canvas make_color_ball();
Canvas make_locator();
Canvas make_widget();
Canvas make_top_bar();
Canvas make_dial();
Canvas make_rotate_button(int kind);  // 0: counter-clockwise, 1: clockwise, 2: jump
Canvas make_ruler();
Canvas make_fixed_font();
Canvas make_question();

// Geometry of the glyph sheet, shared with the preview.
constexpr int kFontSheet = 512;
constexpr int kFontCell = kFontSheet / 16;
