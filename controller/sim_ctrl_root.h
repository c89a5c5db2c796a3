// UTL_SimCtrlRoot: the base of every controller the host drives. Owns the viewport size, the
// frame counter, the raw mouse and key state, the orbit camera, the view frustum, the
// projection values and the OpenGL wrapper; gives the OpenGL start every controller shares.
#pragma once

#include "gfx/frustum.h"
#include "gfx/math.h"

class GFX_NimbraCamera;
class OGL_Wrapper;

// Main thread only: the host calls start once, then update once per frame, and the input
// handlers between frames, never two at once.
class UTL_SimCtrlRoot {
public:
    UTL_SimCtrlRoot();
    virtual ~UTL_SimCtrlRoot();
    UTL_SimCtrlRoot(const UTL_SimCtrlRoot&) = delete;
    UTL_SimCtrlRoot& operator=(const UTL_SimCtrlRoot&) = delete;

    // Needs a current OpenGL context. A subclass calls this first, then adjusts camera and
    // projection.
    virtual void start(int w, int h);
    // The root draws nothing; a controller that draws replaces it.
    virtual void update(int w, int h, float dt);

    // Mouse positions are view pixels, origin at the lower left, y up.
    virtual void mouse_moved(int x, int y, int, int, unsigned int state);
    virtual void mouse_down(int x, int y, unsigned int flags);
    virtual void mouse_up(int x, int y, unsigned int flags);
    virtual void mouse_dbl_clk(int x, int y, unsigned int flags);
    // Codes of the keys without a character, as the host converts them. The host sets
    // KEY_SPECIAL in the flags of these keys: the same codes are also the characters % & ' (
    // and p to {, which arrive with flags 0.
    static constexpr unsigned int KEY_LEFT = 37;
    static constexpr unsigned int KEY_UP = 38;
    static constexpr unsigned int KEY_RIGHT = 39;
    static constexpr unsigned int KEY_DOWN = 40;
    static constexpr unsigned int KEY_F1 = 112;
    static constexpr unsigned int KEY_SPECIAL = 1;
    // Set by the host in the flags of a key or a mouse button pressed with Shift held.
    static constexpr unsigned int KEY_SHIFT = 2;

    // Key codes are the host's; only 0 to 255 are stored, larger ones are ignored.
    virtual void key_down(unsigned int key, unsigned int flags);
    virtual void key_up(unsigned int key, unsigned int flags);

    bool get_key_status(unsigned int key) const;
    // Replaces m_camera with a new camera at the root's defaults.
    void create_camera_center();

    int m_view_width = 0;
    int m_view_height = 0;
    int m_num_frames = 0;
    int m_mouse_down_x = 0, m_mouse_down_y = 0;
    int m_mouse_x = 0, m_mouse_y = 0;
    bool m_dbl_clicked = false;
    GFX_NimbraCamera* m_camera = nullptr;  // owned; created by start
    Math_Vector3 m_eye_pos{0.0f, 1000.0f, 0.0f};
    Math_Vector3 m_clear_color{0.0f, 0.0f, 0.0f};
    GFX_Frustum m_frustum;
    float m_fov = 45.0f;
    float m_near_plane = 1.0f;
    float m_far_plane = 300.0f;
    OGL_Wrapper* m_ogl = nullptr;  // owned; created by start
    bool m_key_states[256] = {};
};
