// GFX_HoverLabel: the name of the person under the pointer, shown beside the pointer after a
// short rest on that person and kept inside the window.
#pragma once

class GFX_Friend;
class UTL_SimCtrlNimbra;

// The controller tells it every frame who is under the pointer (a locator, the same pick as a
// click, or a dock thumbnail) and where the pointer is.
//
//   under the pointer      label
//   nobody                 hidden at once, the wait starts again
//   the same person        shown once the pointer has rested kDelay seconds on them
//   another person         hidden, the wait starts again for the new one
//
// Main thread only.
class GFX_HoverLabel {
public:
    static constexpr float kDelay = 0.35f;  // seconds
    static constexpr int kTextPx = 15;
    static constexpr float kPadding = 6.0f;

    // The controller is borrowed: theme, glyph atlas and view size; null draws nothing.
    explicit GFX_HoverLabel(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

    void update(GFX_Friend* under_pointer, float x, float y, float dt);
    // Forgets the person at once (the people are about to be deleted, or a press came).
    void hide();
    // The person named while the label shows; null while it is hidden.
    GFX_Friend* shown() const { return m_timer >= kDelay ? m_friend : nullptr; }

    // The label's lower-left corner for a box of w x h beside the pointer at (x, y) on a
    // screen of W x H: below and to the right of the pointer, on its other side where that
    // leaves the screen, and always inside it (from its left or bottom edge if it is larger).
    static void place(float x, float y, float w, float h, float screen_w, float screen_h,
                      float& left, float& bottom);

    // The box and the name in the theme's window and text colours. Overlay pass only.
    void draw();

    // Where the last draw put the box (overlay pixels); all zero before the first.
    float m_left = 0.0f, m_right = 0.0f, m_top = 0.0f, m_bottom = 0.0f;

private:
    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
    GFX_Friend* m_friend = nullptr;   // borrowed from the controller; the one waited on
    float m_timer = 0.0f;
    float m_x = 0.0f, m_y = 0.0f;
};
