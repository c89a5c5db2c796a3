// GFX_WidgetRoundButton: the push button of the overlay (the rotate buttons), a widget that
// lights up while pressed or active and reports a click on release.
#pragma once

#include "widgets/widget.h"

class UTL_SimCtrlNimbra;

// The hit area is the widget's rectangle; the round look comes from the texture. Its colours
// come from the controller's theme at every draw, so the constructor's colour only counts until
// the first draw. Main thread only.
//
//   event                  inside the rectangle             outside
//   mouse_down             pressed, hover; taken            nothing changes; not taken
//   mouse_move (pressed)   hover; taken                     hover off; not taken
//   mouse_move (released)  hover off; not taken             hover off; not taken
//   mouse_up (pressed)     a click: pressed, hover off;     pressed, hover off; not taken
//                          taken
//   mouse_up (released)    not taken                        not taken
//
// m_active is the owner's: it marks the button of the running rotation mode.
class GFX_WidgetRoundButton : public GFX_Widget {
public:
    // The controller is borrowed and may be null (the default theme is used then).
    GFX_WidgetRoundButton(UTL_SimCtrlNimbra* controller, GFX_WidgetScreen* screen, float x, float y,
                          float width, float height, Location location, const Math_Vector4& color);

    // Refreshes m_color and m_color_sel from the theme, then draws in the colour of the state:
    // m_color_sel when active or pressed with the pointer inside, the average of the two when
    // pressed with the pointer outside, m_color otherwise.
    void draw() override;
    bool mouse_move(float x, float y) override;
    bool mouse_down(float x, float y) override;
    bool mouse_up(float x, float y) override;

    // The colour the button would be drawn in now, from its current colours and state.
    Math_Vector4 current_color() const;

    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
    Math_Vector4 m_color_sel{1.0f, 1.0f, 1.0f, 1.0f};
    bool m_active = false;
    bool m_pressed = false;
    bool m_hover = false;
};
