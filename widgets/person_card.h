// GFX_PersonCard: the card of the selected person in the overlay: photo, name, circle, the
// user's friends who are their friends too (a list to scroll and search, each name a link to
// that person), and the chain of friends to another person when one is asked for.
#pragma once

#include "util/name_index.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class GFX_Friend;
class UTL_SimCtrlNimbra;

// The controller hands it the person, their friends in common and the chain; the card keeps
// the filter, the scroll and what the pointer does, places itself right of the middle of the view
// (where the selected person is) and left of the thumbnails and draws itself. People are borrowed
// from the controller, which clears the card before it deletes them.
//
//   event           on a name                on the filter         elsewhere on the card   off it
//   press           taken                    taken, focus on it    taken                   not
//   taken;
//                                                                                          focus
//                                                                                          off
//   release         picks that person        taken                 taken                   not
//   taken
//                   (m_picked) when the
//                   press was on that name
//   wheel           scrolls the list         scrolls the list      scrolls the list        -
//   key (focused)   a character narrows the list, Backspace widens it, Return picks the first
//                   name, Escape empties the filter and lets go of the keys
//
// Main thread only.
class GFX_PersonCard {
public:
    static constexpr float kWidth = 280.0f;
    static constexpr float kRowHeight = 20.0f;
    static constexpr std::size_t kMaxChars = 64;

    // The controller is borrowed: theme, glyph atlas, circles; may be null.
    explicit GFX_PersonCard(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

    // Shows a person with their friends in common (in the order given); the filter and the
    // scroll start again for another person and stay for the same one.
    void show(GFX_Friend* person, const std::vector<GFX_Friend*>& common, bool is_user);
    // The chain from the person to another: the people along it, both ends included; empty
    // when none joins them. No chain is shown until this is called.
    void show_chain(GFX_Friend* to, const std::vector<GFX_Friend*>& chain);
    void hide_chain();
    // Nothing shown; the people are about to go.
    void clear();

    GFX_Friend* person() const { return m_person; }
    bool chain_shown() const { return m_chain_shown; }
    const std::vector<GFX_Friend*>& chain() const { return m_chain; }
    // The friends in common, all of them, and those the filter lets through, best first.
    const std::vector<GFX_Friend*>& common() const { return m_common; }
    const std::vector<GFX_Friend*>& listed() const { return m_listed; }

    // The filter: the same folding as the search box (case and accents ignored, any word's
    // start). Each answers whether the filter changed.
    bool focused() const { return m_focused; }
    void focus(bool on) { m_focused = on && m_person; }
    bool type(std::uint32_t ch);
    bool erase();
    void clear_filter();
    std::string filter() const;

    // Places the card for a screen of w x h pixels; called every frame before the pointer.
    void layout(float w, float h);
    bool shown() const { return m_person != nullptr; }
    bool is_inside(float x, float y) const;
    // The person of the listed row under (x, y), of a chain's row as well; null elsewhere.
    GFX_Friend* person_at(float x, float y) const;
    // Rows of the list scrolled by; positive shows names further down.
    void scroll(float rows);
    bool mouse_down(float x, float y);
    bool mouse_up(float x, float y);

    void draw();

    // The person of the last name a release picked; the controller takes it (and nulls it).
    GFX_Friend* m_picked = nullptr;
    float m_left = 0.0f, m_right = 0.0f, m_top = 0.0f, m_bottom = 0.0f;

private:
    void refilter();
    // Where the parts of the card lie, top down: the chain's rows, the filter, the list.
    float chain_top() const;
    float filter_top() const;
    float list_top() const;
    std::size_t rows_fit() const;

    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
    GFX_Friend* m_person = nullptr;   // borrowed
    bool m_is_user = false;
    std::vector<GFX_Friend*> m_common;  // borrowed
    std::vector<GFX_Friend*> m_listed;  // borrowed
    UTL_NameIndex m_names;              // of m_common, in its order
    std::vector<std::uint32_t> m_filter;
    bool m_focused = false;
    float m_scroll = 0.0f;  // rows
    bool m_chain_shown = false;
    GFX_Friend* m_chain_to = nullptr;  // borrowed
    std::vector<GFX_Friend*> m_chain;  // borrowed
    GFX_Friend* m_pressed = nullptr;   // the name a press began on
    bool m_press_inside = false;
};
