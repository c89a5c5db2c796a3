// UTL_HostWindow: window and context creation, the tick loop, and the conversion of GLFW's
// pointer and key events.
#include "app/host_window.h"

#include "app/host_driver.h"
#include "app/options.h"

#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <iostream>

namespace {

int g_last_error = 0;
std::string g_last_error_text;

void on_glfw_error(int code, const char* text) {
    g_last_error = code;
    g_last_error_text = text ? text : "";
}

UTL_HostWindow* host_of(GLFWwindow* w) {
    return static_cast<UTL_HostWindow*>(glfwGetWindowUserPointer(w));
}

// The keys that give no character of their own, as the character codes the controller's key
// table expects; 0 for every other key.
std::uint32_t key_char(int key) {
    switch (key) {
        case GLFW_KEY_UP:
            return kKeyUpArrow;
        case GLFW_KEY_DOWN:
            return kKeyDownArrow;
        case GLFW_KEY_LEFT:
            return kKeyLeftArrow;
        case GLFW_KEY_RIGHT:
            return kKeyRightArrow;
        case GLFW_KEY_ENTER:
        case GLFW_KEY_KP_ENTER:
            return '\r';
        case GLFW_KEY_TAB:
            return '\t';
        case GLFW_KEY_BACKSPACE:
            return 127;
        case GLFW_KEY_ESCAPE:
            return 27;
        default:
            break;
    }
    if (key >= GLFW_KEY_F1 && key <= GLFW_KEY_F12)
        return kKeyF1 + static_cast<std::uint32_t>(key - GLFW_KEY_F1);
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------------------------

UTL_HostWindow::~UTL_HostWindow() { close(); }

// NOTE: no hardware-only demand: under a virtual display or a remote session the only OpenGL
// is a software one, and a slow globe beats none. What the globe cannot do without is a depth
// buffer and double buffering, so a context without them is refused.
bool UTL_HostWindow::open(const UTL_HostOptions& options) {
    glfwSetErrorCallback(on_glfw_error);
    if (!glfwInit()) {
        host_log("initWithFrame failed");
        std::cerr
            << "nimbra: cannot open a window: " << g_last_error_text
            << "\n(Is a display available? Offscreen pictures need no display: see --snapshot.)\n";
        return false;
    }
    m_glfw_ready = true;
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 8);
    glfwWindowHint(GLFW_DEPTH_BITS, 24);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);
    g_last_error = 0;
    // Never smaller than the overlay needs to leave some of the globe in view.
    const int width = std::max(options.width, kMinWidth);
    const int height = std::max(options.height, kMinHeight);
    m_window = glfwCreateWindow(width, height, "Nimbra", nullptr, nullptr);
    if (!m_window) {
        const bool format = g_last_error == GLFW_FORMAT_UNAVAILABLE ||
                            g_last_error == GLFW_VERSION_UNAVAILABLE ||
                            g_last_error == GLFW_API_UNAVAILABLE;
        host_log(format ? "Pixel format is nil" : "initWithFrame failed");
        std::cerr << "nimbra: cannot create an OpenGL window of " << width << "x" << height
                  << " with a 24-bit depth buffer: " << g_last_error_text << "\n";
        close();
        return false;
    }
    glfwMakeContextCurrent(m_window);
    GLint depth = 0;
    GLboolean doubled = GL_FALSE;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubled);
    if (depth <= 0 || !doubled) {
        host_log("Pixel format is nil");
        std::cerr << "nimbra: the OpenGL context has no depth buffer or is not double-buffered "
                     "(depth bits: "
                  << depth << ")\n";
        close();
        return false;
    }
    // The timer paces the frames; waiting for the display as well would make them uneven.
    glfwSwapInterval(0);

    glfwSetWindowSizeLimits(m_window, kMinWidth, kMinHeight, GLFW_DONT_CARE, GLFW_DONT_CARE);
    glfwSetWindowUserPointer(m_window, this);
    glfwSetFramebufferSizeCallback(m_window, on_framebuffer_size);
    glfwSetWindowRefreshCallback(m_window, on_refresh);
    glfwSetCursorPosCallback(m_window, on_cursor);
    glfwSetMouseButtonCallback(m_window, on_button);
    glfwSetKeyCallback(m_window, on_key);
    glfwSetCharCallback(m_window, on_char);
    glfwSetScrollCallback(m_window, on_scroll);
    glfwFocusWindow(m_window);
    return true;
}

void UTL_HostWindow::close() {
    if (m_window) glfwDestroyWindow(m_window);
    m_window = nullptr;
    if (m_glfw_ready) glfwTerminate();
    m_glfw_ready = false;
}

void UTL_HostWindow::set_title(const std::string& title) {
    if (m_window) glfwSetWindowTitle(m_window, title.c_str());
}

void UTL_HostWindow::make_current() {
    if (m_window) glfwMakeContextCurrent(m_window);
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

// Ticks fall on a fixed grid of 0.02 s. A tick missed because a frame took longer is dropped,
// not made up with a burst of frames, as a repeating timer does.
int UTL_HostWindow::run(UTL_HostDriver& driver) {
    if (!m_window) return 1;
    m_driver = &driver;
    m_next_tick = glfwGetTime();
    while (!glfwWindowShouldClose(m_window)) {
        const double wait = m_next_tick - glfwGetTime();
        if (wait > 0.0) glfwWaitEventsTimeout(wait);
        else glfwPollEvents();
        tick_if_due();
    }
    m_driver = nullptr;
    return 0;
}

void UTL_HostWindow::tick_if_due() {
    const double now = glfwGetTime();
    if (!m_driver || now < m_next_tick) return;
    frame();
    const double after = glfwGetTime();
    m_next_tick += kTickSeconds;
    if (m_next_tick <= after)
        m_next_tick += std::ceil((after - m_next_tick) / kTickSeconds) * kTickSeconds;
}

// NOTE: a minimised window has an empty framebuffer; the controller's projection would divide
// by its zero height, so the frame waits for a size.
void UTL_HostWindow::frame() {
    if (m_in_frame || !m_window) return;
    m_in_frame = true;
    glfwMakeContextCurrent(m_window);
    int w = 0, h = 0;
    glfwGetFramebufferSize(m_window, &w, &h);
    if (w > 0 && h > 0) {
        m_driver->tick(w, h);
        glFinish();
        glfwSwapBuffers(m_window);
    }
    m_in_frame = false;
}

void UTL_HostWindow::on_framebuffer_size(GLFWwindow* w, int, int) { host_of(w)->tick_if_due(); }

void UTL_HostWindow::on_refresh(GLFWwindow* w) { host_of(w)->tick_if_due(); }

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

// Pointer state over the left button (the only one the globe uses):
//   press   -> mouse_down at the pointer, button held
//   move    -> mouse_moved, state 1 while held, 0 otherwise
//   release -> mouse_up at the pointer
void UTL_HostWindow::on_cursor(GLFWwindow* w, double wx, double wy) {
    UTL_HostWindow* self = host_of(w);
    if (!self->m_driver) return;
    int x = 0, y = 0;
    self->pointer_in_view(wx, wy, x, y);
    self->m_driver->mouse_moved(x, y, self->m_button_down);
}

void UTL_HostWindow::on_button(GLFWwindow* w, int button, int action, int mods) {
    UTL_HostWindow* self = host_of(w);
    if (!self->m_driver || button != GLFW_MOUSE_BUTTON_LEFT) return;
    double wx = 0.0, wy = 0.0;
    glfwGetCursorPos(w, &wx, &wy);
    int x = 0, y = 0;
    self->pointer_in_view(wx, wy, x, y);
    if (action == GLFW_PRESS) {
        self->m_button_down = true;
        self->m_driver->mouse_down(x, y, (mods & GLFW_MOD_SHIFT) != 0);
    } else if (action == GLFW_RELEASE && self->m_button_down) {
        self->m_button_down = false;
        self->m_driver->mouse_up(x, y, (mods & GLFW_MOD_SHIFT) != 0);
    }
}

// Characters come through on_char, one key_down each; here only the keys without a character
// (arrows, function keys, Enter and the like), on press and on auto-repeat. Ctrl+Q quits, as
// the menu's Quit would.
void UTL_HostWindow::on_key(GLFWwindow* w, int key, int, int action, int mods) {
    UTL_HostWindow* self = host_of(w);
    if (action == GLFW_RELEASE) return;
    if (key == GLFW_KEY_Q && (mods & GLFW_MOD_CONTROL)) {
        glfwSetWindowShouldClose(w, GLFW_TRUE);
        return;
    }
    // Ctrl+F types no character: it goes on as the control character it stands for.
    if (key == GLFW_KEY_F && (mods & GLFW_MOD_CONTROL)) {
        if (self->m_driver) self->m_driver->key_chars({6});
        return;
    }
    std::uint32_t ch = key_char(key);
    if (ch == '\r' && (mods & GLFW_MOD_SHIFT)) ch = kKeyShiftReturn;
    if (ch && self->m_driver) self->m_driver->key_chars({ch});
}

void UTL_HostWindow::on_char(GLFWwindow* w, unsigned int codepoint) {
    UTL_HostWindow* self = host_of(w);
    if (self->m_driver) self->m_driver->key_chars({codepoint});
}

// A wheel's notch is one step; a touchpad's smooth scroll gives fractions.
void UTL_HostWindow::on_scroll(GLFWwindow* w, double, double dy) {
    UTL_HostWindow* self = host_of(w);
    if (self->m_driver) self->m_driver->mouse_wheel(dy);
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

void UTL_HostWindow::pointer_in_view(double wx, double wy, int& x, int& y) const {
    int ww = 0, wh = 0, fw = 0, fh = 0;
    glfwGetWindowSize(m_window, &ww, &wh);
    glfwGetFramebufferSize(m_window, &fw, &fh);
    window_to_view(wx, wy, ww, wh, fw, fh, x, y);
}
