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

void UTL_HostDriver::mouse_down(int x, int y) {
    if (m_sim_controller) m_sim_controller->mouse_down(x, y, 0);
}

void UTL_HostDriver::mouse_up(int x, int y) {
    if (m_sim_controller) m_sim_controller->mouse_up(x, y, 0);
}

void UTL_HostDriver::mouse_moved(int x, int y, bool drag) {
    if (m_sim_controller) m_sim_controller->mouse_moved(x, y, 0, 0, drag ? 1u : 0u);
}

void UTL_HostDriver::key_chars(const std::vector<std::uint32_t>& chars) {
    for (std::uint32_t ch : chars)
        if (m_sim_controller) m_sim_controller->key_down(convert_key_to_sim(ch), 0);
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

std::vector<std::uint32_t> decode_utf8(const std::string& s) {
    std::vector<std::uint32_t> out;
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) len = 1, cp = c;
        else if ((c & 0xE0) == 0xC0) len = 2, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0) len = 4, cp = c & 0x07;
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static const std::uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += len;
    }
    return out;
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
