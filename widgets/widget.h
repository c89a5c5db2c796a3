// The overlay's screen record GFX_WidgetScreen and the base overlay control GFX_Widget: a
// textured, tinted rectangle anchored to a side, a corner or the centre of the screen.
#pragma once

#include "gfx/math.h"

class OGL_Texture;

// The overlay's size in pixels, shared by every overlay control. The controller owns it and
// overwrites it from the view's size every frame; widgets only point at it.
struct GFX_WidgetScreen {
    float m_width = 0;
    float m_height = 0;
};

// A rectangle in overlay pixels (origin lower left, y up) whose lower-left corner lies at an
// offset from an anchor point of the screen. The placement is recomputed from the screen record
// every time it is needed, so a widget follows the window without being told. Main thread only.
class GFX_Widget {
public:
    // The screen point the offsets are measured from (W, H: the screen's width and height).
    // Based on int so any number stored in it is a value, and unknown ones anchor at (0, 0).
    enum Location : int {
        TOP_LEFT = 0,       // (0, H)
        TOP_RIGHT = 1,      // (W, H)
        BOTTOM_LEFT = 2,    // (0, 0)
        BOTTOM_RIGHT = 3,   // (W, 0)
        MIDDLE_LEFT = 4,    // (0, H / 2)
        MIDDLE_RIGHT = 5,   // (W, H / 2)
        TOP_CENTER = 6,     // (W / 2, H)
        BOTTOM_CENTER = 7,  // (W / 2, 0)
        CENTER = 8          // (W / 2, H / 2)
    };

    // Offsets are not mirrored: a widget anchored at the top or the right needs negative
    // offsets to lie on the screen. The screen is borrowed and may be null (the anchor is then
    // the origin). No texture until load_texture().
    GFX_Widget(GFX_WidgetScreen* screen, float x, float y, float width, float height,
               Location location, const Math_Vector4& color);
    virtual ~GFX_Widget();
    GFX_Widget(const GFX_Widget&) = delete;
    GFX_Widget& operator=(const GFX_Widget&) = delete;

    // Per-frame step; the base has nothing to animate.
    virtual void update(float dt);
    // The rectangle in m_color, textured when there is a texture. Needs a current context.
    virtual void draw();
    // Each answers whether the widget took the event; the base takes none.
    virtual bool mouse_move(float x, float y);
    virtual bool mouse_down(float x, float y);
    virtual bool mouse_up(float x, float y);

    // Replaces the texture with one read from the file (wrap mode GL_REPEAT) and uploads it,
    // so a context must be current. Returns whether the upload happened; a file that does not
    // read leaves a texture that never uploads, and the widget draws in its colour alone.
    bool load_texture(const char* path);
    // Deletes the texture.
    void clear();

    // The rectangle now. The left and bottom edges lie 0.0001 inside the nominal ones, so a
    // point on the nominal left or bottom edge is outside and one on the right or top edge is
    // inside: two widgets that share an edge never both claim a point on it.
    void compute_rect(float& left, float& right, float& top, float& bottom);
    bool is_inside(float x, float y);

    // Binds texture for flat overlay drawing and enables its target. Disables 2D texturing
    // instead when there is none or it has nothing to show (an image that did not read), so the
    // quad that follows shows its plain colour rather than whatever texture was bound last.
    static void apply_texture(OGL_Texture* texture);
    // One quad in overlay pixels, texture (0, 0) at the lower left to (1, 1) at the upper right.
    static void draw_textured_quad(float left, float right, float top, float bottom);

    GFX_WidgetScreen* m_screen;        // borrowed; may be null
    OGL_Texture* m_texture = nullptr;  // owned; null draws an untextured rectangle
    Math_Vector4 m_color;
    Location m_location;
    float m_x;
    float m_y;
    float m_width;
    float m_height;

protected:
    // The widget's rectangle as one quad in color, with the texture when there is one; the
    // blending and lighting frame every flat control shares.
    void draw_rect(const Math_Vector4& color);
};
