// UTL_HostWindow: the globe in a GLFW window. A double-buffered context with a depth buffer,
// ticks every 0.02 seconds (also while the window is being resized), the pointer and the keys
// converted for the controller.
#pragma once

#include "app/host.h"

#include <string>

struct GLFWwindow;

// Main thread only: GLFW delivers every callback on the thread that polls its events.
class UTL_HostWindow : public UTL_Host {
public:
    ~UTL_HostWindow() override;

    bool open(const UTL_HostOptions& options) override;
    int run(UTL_HostDriver& driver) override;
    void set_title(const std::string& title) override;
    void make_current() override;
    void close() override;

    static constexpr double kTickSeconds = 0.02;
    // The smallest window: below it the dial, the docks and the logos would cover the globe.
    static constexpr int kMinWidth = 640;
    static constexpr int kMinHeight = 480;

private:
    // A frame when the timer is due; called from the loop and from the window's resize and
    // refresh callbacks, which some platforms run inside their own resize loop.
    void tick_if_due();
    void frame();
    void pointer_in_view(double wx, double wy, int& x, int& y) const;

    static void on_framebuffer_size(GLFWwindow* w, int width, int height);
    static void on_refresh(GLFWwindow* w);
    static void on_cursor(GLFWwindow* w, double x, double y);
    static void on_button(GLFWwindow* w, int button, int action, int mods);
    static void on_key(GLFWwindow* w, int key, int scancode, int action, int mods);
    static void on_char(GLFWwindow* w, unsigned int codepoint);
    static void on_scroll(GLFWwindow* w, double dx, double dy);

    GLFWwindow* m_window = nullptr;
    bool m_glfw_ready = false;
    UTL_HostDriver* m_driver = nullptr;  // borrowed for the length of run()
    double m_next_tick = 0.0;
    bool m_in_frame = false;
    bool m_button_down = false;
};
