// GFX_SearchField: the overlay's search box: the name typed so far, the people whose names
// match it listed under it with the highlighted one, and "no match".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class GFX_Friend;
class UTL_SimCtrlNimbra;

// The controller feeds it the keys and the matches (it owns the name index); the field keeps
// the text, the list and the highlight, places itself at the top centre of the screen and
// draws itself. People are borrowed from the controller, which empties the list before it
// deletes them.
//
//   event         closed                 open
//   open()        opens, empty           stays open, keeps its text
//   type(ch)      ignored                appends a printable character (kMaxChars at most)
//   erase()       ignored                removes the last character
//   move(step)    ignored                the highlight moves, staying on the list
//   close()       -                      closed, text and list emptied
//   mouse_down    not taken              taken when inside the box
//   mouse_up      not taken              taken when a press began inside; on a row it picks
//                                        that row's person (m_picked)
//
// Main thread only.
class GFX_SearchField {
public:
    static constexpr std::size_t kMaxChars = 64;
    static constexpr std::size_t kMaxRows = 8;
    static constexpr int kTextPx = 15;
    static constexpr float kFieldHeight = 30.0f;
    static constexpr float kRowHeight = 26.0f;

    // The controller is borrowed: theme, glyph atlas, view size; may be null.
    explicit GFX_SearchField(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

    bool is_open() const { return m_open; }
    void open();
    void close();
    // Each answers whether the text changed.
    bool type(std::uint32_t ch);
    bool erase();
    std::string text() const;
    bool empty() const { return m_chars.empty(); }

    // The matching people, best first (at most kMaxRows are kept); the highlight goes back to
    // the first.
    void set_matches(const std::vector<GFX_Friend*>& people);
    const std::vector<GFX_Friend*>& matches() const { return m_matches; }
    void move(int step);
    int highlight() const { return m_highlight; }
    // The highlighted person; null with no match.
    GFX_Friend* highlighted() const;

    // Places the box for a screen of w x h pixels; called every frame before the pointer
    // tests and the drawing.
    void layout(float w, float h);
    bool is_inside(float x, float y) const;
    // The row under (x, y), counting from 0 at the top; -1 outside the rows.
    int row_at(float x, float y) const;

    // The highlight follows the pointer over the rows; taken over the box.
    bool mouse_move(float x, float y);
    bool mouse_down(float x, float y);
    bool mouse_up(float x, float y);

    void draw();

    // The box, its text field at the top and the rows below it, in overlay pixels.
    float m_left = 0.0f, m_right = 0.0f, m_top = 0.0f, m_bottom = 0.0f;
    // The person of the last row a release picked; the controller takes it (and nulls it).
    GFX_Friend* m_picked = nullptr;

private:
    // Rows drawn: the matches, or the one "no match" row, as many as the screen holds.
    std::size_t rows_shown() const;

    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
    bool m_open = false;
    bool m_pressed = false;
    std::vector<std::uint32_t> m_chars;
    std::vector<GFX_Friend*> m_matches;  // borrowed
    int m_highlight = 0;
    std::size_t m_rows_fit = kMaxRows;
};
