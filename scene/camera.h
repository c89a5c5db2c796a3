// GFX_NimbraCamera: the orbit camera that watches the globe from a distance, turned by an
// elevation and an azimuth in degrees around a target point.
#pragma once

#include "gfx/math.h"

// The controller sets the angles and the distance (directly or through the setters) and calls
// update() and then apply() once per frame. No inertia: the values present at update() count.
// Main thread only.
class GFX_NimbraCamera {
public:
    GFX_NimbraCamera() = default;
    virtual ~GFX_NimbraCamera() = default;

    // Clamped to [m_min_up_down, m_max_up_down].
    void set_up_down(float degrees);
    // Stored as given; update() brings it back towards [-180, 180].
    void set_left_right(float degrees);

    // Clamps the distance, keeps the view off the horizontal, wraps the azimuth by one turn at
    // most, and computes m_eye and m_up from the angles.
    virtual void update();
    // Multiplies the look-at transform of m_eye, m_center and m_up onto the current matrix.
    // Needs a current OpenGL context.
    virtual void apply();

    Math_Vector3 m_eye{0.0f, 0.0f, 0.0f};
    Math_Vector3 m_center{0.0f, 0.0f, 0.0f};
    Math_Vector3 m_up{0.0f, 1.0f, 0.0f};
    float m_up_down = 35.0f;    // elevation, degrees above the target's equator
    float m_left_right = 0.0f;  // azimuth, degrees; 0 looks from +x, 90 from +z
    float m_distance = 5.0f;
    float m_up_down_speed = 0.5f;     // degrees per pixel of drag
    float m_left_right_speed = 0.5f;  // degrees per pixel of drag
    float m_zoom_speed = 0.5f;
    float m_max_up_down = 90.0f;
    float m_min_up_down = -90.0f;
    float m_max_distance = 5000.0f;
    float m_min_distance = 1000.0f;
};
