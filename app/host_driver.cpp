// UTL_HostDriver: the controller's start, update and input as every host delivers them, and
// the key and pointer conversions.
#include "app/host_driver.h"

#include "controller/sim_ctrl_nimbra.h"

#include <cmath>

// ---------------------------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------------------------

UTL_HostDriver::UTL_HostDriver(UTL_SimCtrlNimbra* controller) : m_sim_controller(controller) {}

UTL_HostDriver::~UTL_HostDriver() { destroy_controller(); }

void UTL_HostDriver::destroy_controller() {
    delete m_sim_controller;
    m_sim_controller = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

void UTL_HostDriver::tick(int w, int h) {
    if (m_between_frames) m_between_frames();
    redraw(w, h);
}

// NOTE: start runs here and not when the window opens, so that it always sees the context
// current and the real size of the drawing area; it never runs twice, a resize only changes
// the w and h of the next update.
void UTL_HostDriver::redraw(int w, int h) {
    if (!m_sim_controller) return;
    if (!m_sim_started) {
        m_sim_controller->start(w, h);
        m_sim_started = true;
    }
    m_sim_controller->update(w, h, kFrameStep);
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

void UTL_HostDriver::mouse_down(int x, int y, bool shift) {
    if (m_sim_controller)
        m_sim_controller->mouse_down(x, y, shift ? UTL_SimCtrlRoot::KEY_SHIFT : 0u);
}

void UTL_HostDriver::mouse_up(int x, int y, bool shift) {
    if (m_sim_controller) m_sim_controller->mouse_up(x, y, shift ? UTL_SimCtrlRoot::KEY_SHIFT : 0u);
}

void UTL_HostDriver::mouse_moved(int x, int y, bool drag) {
    if (m_sim_controller) m_sim_controller->mouse_moved(x, y, 0, 0, drag ? 1u : 0u);
}

void UTL_HostDriver::key_chars(const std::vector<std::uint32_t>& chars) {
    for (std::uint32_t ch : chars) {
        if (ch == kKeyShiftReturn) {
            if (m_sim_controller) m_sim_controller->key_down('\r', UTL_SimCtrlRoot::KEY_SHIFT);
            continue;
        }
        const bool special = ch >= kKeyUpArrow && ch <= kKeyF1 + 11;
        if (m_sim_controller)
            m_sim_controller->key_down(convert_key_to_sim(ch),
                                       special ? UTL_SimCtrlRoot::KEY_SPECIAL : 0u);
    }
}

void UTL_HostDriver::mouse_wheel(double steps) {
    if (m_sim_controller && std::isfinite(steps))
        m_sim_controller->mouse_wheel(static_cast<float>(steps));
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

unsigned int convert_key_to_sim(std::uint32_t ch) {
    switch (ch) {
        case kKeyUpArrow:
            return 38;
        case kKeyDownArrow:
            return 40;
        case kKeyLeftArrow:
            return 37;
        case kKeyRightArrow:
            return 39;
        default:
            break;
    }
    if (ch >= kKeyF1 && ch <= kKeyF1 + 11) return 112 + (ch - kKeyF1);
    return ch;
}

void window_to_view(double wx, double wy, int window_w, int window_h, int fb_w, int fb_h, int& x,
                    int& y) {
    const double sx = window_w > 0 ? static_cast<double>(fb_w) / window_w : 1.0;
    const double sy = window_h > 0 ? static_cast<double>(fb_h) / window_h : 1.0;
    double vx = wx * sx;
    double vy = (window_h - wy) * sy;
    // Far outside any window (a pointer grabbed by a drag can wander): keep the int in range.
    const double lim = 1e9;
    if (!(vx > -lim)) vx = -lim;
    if (!(vx < lim)) vx = lim;
    if (!(vy > -lim)) vy = -lim;
    if (!(vy < lim)) vy = lim;
    x = static_cast<int>(vx);  // truncates toward zero
    y = static_cast<int>(vy);
}
