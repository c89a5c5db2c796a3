// GFX_HelpPanel: the small overlay that lists every control of the globe, opened with F1 or ?.
#pragma once

#include <utility>
#include <vector>

class UTL_SimCtrlNimbra;

// Shown in the middle of the screen over everything else until a key or a press closes it
// (the controller decides which). Main thread only.
class GFX_HelpPanel {
public:
    static constexpr int kTextPx = 15;
    static constexpr float kLineHeight = 22.0f;

    // The controller is borrowed: theme, glyph atlas, view size; may be null.
    explicit GFX_HelpPanel(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

    // What the user does and what it does, in the order shown.
    static const std::vector<std::pair<const char*, const char*>>& controls();

    void draw();

    bool m_shown = false;
    // Where the last draw put the panel (overlay pixels).
    float m_left = 0.0f, m_right = 0.0f, m_top = 0.0f, m_bottom = 0.0f;

private:
    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
};
