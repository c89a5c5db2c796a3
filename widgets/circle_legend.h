// GFX_CircleLegend: the list of the circles at the left edge while the globe is arranged by
// circles: each circle's hue, name and size, largest first.
#pragma once

class UTL_SimCtrlNimbra;

// Reads the circles, their names and hues from the controller every frame; keeps only where
// it is, the row under the pointer and a pending pick.
//
//   event        over a circle's row            elsewhere on the panel    off the panel
//   move         that circle is pointed at      nothing pointed at        nothing pointed at
//   press        taken                          taken                     not taken
//   release      picks the circle (m_picked)    taken, picks nothing      not taken
//                when the press was on its row
//
// Main thread only.
class GFX_CircleLegend {
public:
    static constexpr int kTextPx = 14;
    static constexpr float kRowHeight = 22.0f;
    static constexpr float kWidth = 260.0f;

    // The controller is borrowed: circles, theme, glyph atlas; null shows nothing.
    explicit GFX_CircleLegend(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

    // Places the panel for a screen of w x h pixels: above the dial, below the user's
    // thumbnail, as many rows as fit (the last one telling how many smaller circles are left
    // out). Called every frame before the pointer tests and the drawing.
    void layout(float w, float h);
    // Shown while arranged by circles and there are circles.
    bool shown() const { return m_rows > 0; }
    bool is_inside(float x, float y) const;
    // The circle of the row under (x, y); -1 off the circles' rows.
    int circle_at(float x, float y) const;

    bool mouse_move(float x, float y);
    bool mouse_down(float x, float y);
    bool mouse_up(float x, float y);

    void draw();

    // The circle the pointer is over (-1 for none), and the circle of the last click (-1 once
    // the controller has taken it).
    int m_pointed = -1;
    int m_picked = -1;
    // The panel in overlay pixels.
    float m_left = 0.0f, m_right = 0.0f, m_top = 0.0f, m_bottom = 0.0f;

private:
    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
    int m_rows = 0;                   // circles shown, one row each
    int m_hidden = 0;                 // circles left out for want of room
    int m_pressed = -2;               // the row pressed: a circle, -1 elsewhere, -2 no press
};
