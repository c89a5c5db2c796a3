// UTL_HostDriver: what every host does with the controller, whatever provides its window:
// start on the first redraw, one fixed-step update per tick after the work that waits between
// frames, and mouse and key events converted into the controller's terms. No platform calls,
// no OpenGL.
#pragma once

#include "util/utf8.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class UTL_SimCtrlNimbra;

// The controller's key code of a character: the arrows 37 to 40, F1 to F12 112 to 123, any
// other character its own code. Function keys arrive as the private-use codes 0xF700 (up),
// 0xF701 (down), 0xF702 (left), 0xF703 (right) and 0xF704 to 0xF70F (F1 to F12).
unsigned int convert_key_to_sim(std::uint32_t ch);
constexpr std::uint32_t kKeyUpArrow = 0xF700;
constexpr std::uint32_t kKeyDownArrow = 0xF701;
constexpr std::uint32_t kKeyLeftArrow = 0xF702;
constexpr std::uint32_t kKeyRightArrow = 0xF703;
constexpr std::uint32_t kKeyF1 = 0xF704;
// Return pressed with Shift held: the controller's Return with its KEY_SHIFT flag.
constexpr std::uint32_t kKeyShiftReturn = 0xF780;

// A pointer position of the platform (window coordinates, origin at the top left, y down) in
// the controller's view pixels: origin at the lower left, y up, scaled to the framebuffer (the
// two differ on high-density screens), truncated toward zero.
void window_to_view(double wx, double wy, int window_w, int window_h, int fb_w, int fb_h, int& x,
                    int& y);

// Main thread only: the host calls the redraw and the input functions from its event loop,
// never two at once.
class UTL_HostDriver {
public:
    // Takes ownership of the controller (may be null: then events and redraws are dropped).
    explicit UTL_HostDriver(UTL_SimCtrlNimbra* controller);
    // Deletes the controller: the host's OpenGL context must be current.
    ~UTL_HostDriver();
    UTL_HostDriver(const UTL_HostDriver&) = delete;
    UTL_HostDriver& operator=(const UTL_HostDriver&) = delete;

    // Deletes the controller now (teardown order); events after it are dropped.
    void destroy_controller();
    UTL_SimCtrlNimbra* controller() const { return m_sim_controller; }
    bool started() const { return m_sim_started; }

    // One timer tick with the context current and the drawing area w x h: the work that waits
    // between frames, then the redraw. The host finishes and presents the frame afterwards.
    void tick(int w, int h);
    // The redraw: start(w, h) the first time, then update(w, h, 0.02).
    void redraw(int w, int h);

    // Input, in view pixels (see window_to_view); shift: the button went with Shift held.
    void mouse_down(int x, int y, bool shift = false);
    void mouse_up(int x, int y, bool shift = false);
    // drag: the button is held.
    void mouse_moved(int x, int y, bool drag);
    // One key_down per character, in order; releases are not forwarded. The arrows and the
    // function keys carry the controller's KEY_SPECIAL flag, kKeyShiftReturn is Return with
    // KEY_SHIFT.
    void key_chars(const std::vector<std::uint32_t>& chars);
    // Steps of the wheel, positive away from the user (a window's upward scroll).
    void mouse_wheel(double steps);

    // Called by tick() once before each redraw: the answers that arrived since the last frame,
    // the requests that are due, and the status line.
    std::function<void()> m_between_frames;
    // True once the network is complete or its acquisition has given up, so nothing more will
    // arrive; empty: nothing is coming. Offscreen runs wait for it (--until-loaded).
    std::function<bool()> m_loaded;

    static constexpr float kFrameStep = 0.02f;  // seconds; never measured, always this step

private:
    UTL_SimCtrlNimbra* m_sim_controller;  // owned
    bool m_sim_started = false;
};
