// GFX_Text: fixed-width bitmap text drawn as textured quads from a 16 x 16 glyph sheet
// ("./data/config/fixed_font.tga"), along two given axes in 3D or in overlay pixels.
#pragma once

#include "gfx/math.h"

class GFX_Image;
class OGL_Texture2D;

// The glyph sheet is a square image of 16 columns and 16 rows of equal cells. Character code c
// (0 to 127) lies in column c mod 16 and row c div 16, row 0 at the top of the sheet (the high
// end of t). Only the left half of a cell and the lower 0.95 of its height are drawn, so each
// glyph is expected in the left half of its cell. Codes above 127 have no cell: they leave a
// blank advance. Every call makes OpenGL calls: main (GL) thread only.
class GFX_Text {
public:
    GFX_Text() = default;
    // Deletes the sheet's pixels; its OpenGL texture goes with the context.
    virtual ~GFX_Text();
    GFX_Text(const GFX_Text&) = delete;
    GFX_Text& operator=(const GFX_Text&) = delete;

    // Replaces the sheet by one read from an image file and uploads it at once, so a context
    // must be current. A file that does not read leaves a sheet that never uploads.
    void read_from_file(const char* path);
    // The same with a sheet image already in memory; takes ownership.
    void init_from_image(GFX_Image* image);

    // Binds the sheet; nothing without one. The draws do not bind: callers apply() first.
    void apply();

    // Text along right (advance w per character) and up (height h) from origin, in colour
    // (glColor3fv): names on billboards. Turns face culling off for the quads and on after.
    void draw(const Math_Vector3& origin, const Math_Vector3& right, const Math_Vector3& up,
              float w, float h, const char* text, const Math_Vector3& color);
    // Text in the overlay plane z = 0 from (x, y) to the right, in colour (glColor4fv).
    // Leaves face culling as it is: the quads face the viewer of the pixel projection.
    void draw(float x, float y, float w, float h, const char* text, const Math_Vector4& color);

    OGL_Texture2D* get_texture() const { return m_texture; }

private:
    void set_draw_state();
    void restore_draw_state();

    OGL_Texture2D* m_texture = nullptr;  // owned glyph sheet; null until a font is read
};
