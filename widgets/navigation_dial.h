// GFX_WidgetNavigationDial: the round control in the lower-left corner that shows and turns the
// camera: a square ring that turns with the camera and a small lit globe at its centre.
#pragma once

#include "widgets/widget.h"

class UTL_SimCtrlNimbra;

// Two zones about the centre of the square: the globe (radius 40, the radius of the drawn
// globe model) and the ring (up to half the widget's width). The square's corners outside the
// ring belong to neither. Main thread only.
//
//   event        globe zone                ring zone                 elsewhere
//   mouse_down   globe drag; taken         ring drag; taken          not taken
//   mouse_move   globe drag: the camera tilts and turns with the pointer; ring drag: the
//                camera turns by the angle the pointer sweeps about the centre. Never taken,
//                so the other controls still see every move.
//   mouse_up     ends either drag wherever it happens. Never taken, so the release also
//                reaches the other controls and the scene.
//
// The controller copies the camera's angles into m_left_right and m_up_down every frame, so
// the dial always shows the camera whatever turned it.
class GFX_WidgetNavigationDial : public GFX_Widget {
public:
    // Radius of the globe zone, the radius the globe model is built with.
    static constexpr float GLOBE_RADIUS = 40.0f;
    // A ring drag closer to the centre than this measures no angle.
    static constexpr float RING_DEAD_ZONE = 10.0f;
    // Camera degrees per pixel of globe drag, horizontally and vertically.
    static constexpr float GLOBE_LEFT_RIGHT_PER_PIXEL = 0.4f;
    static constexpr float GLOBE_UP_DOWN_PER_PIXEL = 0.25f;

    // The controller is borrowed and may be null: the dial then turns no camera and draws no
    // globe, and its square takes the default theme's colours.
    GFX_WidgetNavigationDial(UTL_SimCtrlNimbra* controller, GFX_WidgetScreen* screen, float x,
                             float y, float width, float height, Location location,
                             const Math_Vector4& color);

    // The square turned by m_left_right (clockwise on the screen for a positive angle), then
    // the globe tilted by m_up_down and turned by m_left_right.
    void draw() override;
    bool mouse_move(float x, float y) override;
    bool mouse_down(float x, float y) override;
    bool mouse_up(float x, float y) override;

    using GFX_Widget::compute_rect;
    // The corners of the turned square at z = 0: lower left, lower right, upper right and upper
    // left of the unturned square.
    void compute_rect(Math_Vector3& a, Math_Vector3& b, Math_Vector3& c, Math_Vector3& d);
    // The centre of the square, which turning does not move.
    Math_Vector3 compute_center();

    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
    float m_left_right = 0.0f;        // the camera's azimuth, degrees
    float m_up_down = 0.0f;           // the camera's elevation, degrees
    bool m_drag_globe = false;
    bool m_drag_dial = false;
    float m_last_x = 0.0f;  // the pointer at the previous event the dial saw
    float m_last_y = 0.0f;
};
