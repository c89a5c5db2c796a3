// GFX_PersonCard: what the card shows, its filter and scroll, placement, pointer and drawing.
#include "widgets/person_card.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/glyph_atlas.h"
#include "scene/foto.h"
#include "scene/friend.h"
#include "util/utf8.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kTopGap = 40.0f;       // below the top bar
constexpr float kRightRoom = 70.0f;    // left to the list of thumbnails
constexpr float kCentreRoom = 110.0f;  // right of the middle, where the selected person is
constexpr float kNarrowest = 170.0f;
constexpr float kLowest = 140.0f;  // the card's bottom never comes lower
constexpr float kTallest = 520.0f;
constexpr float kPad = 10.0f;
constexpr float kPhoto = 60.0f;
constexpr float kHeader = kPad + kPhoto + kPad;
constexpr float kField = 26.0f;
constexpr float kSwatch = 11.0f;
constexpr int kNamePx = 17;
constexpr int kTextPx = 14;
const char* const kPlaceholder = "Find among them";
const char* const kArrow = "\u2192 ";

void fill_rect(float left, float right, float bottom, float top, const Math_Vector4& c) {
    glDisable(GL_TEXTURE_2D);
    glColor4fv(c.data());
    glRectf(left, bottom, right, top);
}

std::string thousands(std::size_t n) {
    std::string s = std::to_string(n);
    for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3)
        s.insert(static_cast<size_t>(i), ",");
    return s;
}

const std::string& name_of(const GFX_Friend* f) { return f->m_name.empty() ? f->m_uid : f->m_name; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// What is shown
// ---------------------------------------------------------------------------------------------

void GFX_PersonCard::show(GFX_Friend* person, const std::vector<GFX_Friend*>& common,
                          bool is_user) {
    const bool same = person == m_person;
    m_person = person;
    m_is_user = is_user;
    m_common = common;
    m_names.clear();
    for (GFX_Friend* f : m_common) m_names.add(name_of(f));
    if (!same) {
        m_filter.clear();
        m_scroll = 0.0f;
        m_focused = false;
        hide_chain();
    }
    m_pressed = nullptr;
    refilter();
}

void GFX_PersonCard::show_chain(GFX_Friend* to, const std::vector<GFX_Friend*>& chain) {
    m_chain_shown = true;
    m_chain_to = to;
    m_chain = chain;
}

void GFX_PersonCard::hide_chain() {
    m_chain_shown = false;
    m_chain_to = nullptr;
    m_chain.clear();
}

void GFX_PersonCard::clear() {
    m_person = nullptr;
    m_common.clear();
    m_listed.clear();
    m_names.clear();
    m_filter.clear();
    m_focused = false;
    m_scroll = 0.0f;
    m_pressed = nullptr;
    m_picked = nullptr;
    hide_chain();
}

// ---------------------------------------------------------------------------------------------
// The filter and the scroll
// ---------------------------------------------------------------------------------------------

bool GFX_PersonCard::type(std::uint32_t ch) {
    if (!m_person || !is_printable_char(ch) || m_filter.size() >= kMaxChars) return false;
    m_filter.push_back(ch);
    refilter();
    return true;
}

bool GFX_PersonCard::erase() {
    if (m_filter.empty()) return false;
    m_filter.pop_back();
    refilter();
    return true;
}

void GFX_PersonCard::clear_filter() {
    m_filter.clear();
    m_focused = false;
    refilter();
}

std::string GFX_PersonCard::filter() const { return encode_utf8(m_filter); }

// An empty filter (or one of blanks) lists everyone in the order given; any other lists the
// names with a word starting with it, best first, as the search box does.
void GFX_PersonCard::refilter() {
    m_scroll = 0.0f;
    const std::string text = filter();
    if (text.find_first_not_of(' ') == std::string::npos) {
        m_listed = m_common;
        return;
    }
    m_listed.clear();
    for (std::size_t i : m_names.find(text, m_common.size())) m_listed.push_back(m_common[i]);
}

void GFX_PersonCard::scroll(float rows) {
    const float most = static_cast<float>(m_listed.size()) - static_cast<float>(rows_fit());
    m_scroll = std::clamp(std::round(m_scroll + rows), 0.0f, std::max(most, 0.0f));
}

// ---------------------------------------------------------------------------------------------
// Placement and pointer
// ---------------------------------------------------------------------------------------------

void GFX_PersonCard::layout(float w, float h) {
    // NOTE: the camera brings the selected person to the middle of the view; the card keeps to
    // the right of it (and left of the thumbnails' column), narrower in a narrow window.
    m_right = std::max(w - kRightRoom, std::min(kNarrowest + 8.0f, w - 8.0f));
    m_left = std::max(m_right - kWidth, w / 2 + kCentreRoom);
    m_left = std::max(8.0f, std::min(m_left, m_right - kNarrowest));
    m_top = std::max(h - kTopGap, kLowest + 100.0f);
    // As tall as the whole list would need (the filter does not make it jump), within bounds.
    const float needed = m_top - list_top() + static_cast<float>(m_common.size()) * kRowHeight + 8;
    m_bottom = std::max({kLowest, m_top - kTallest, m_top - needed});
    scroll(0.0f);  // a list that got shorter, or a smaller window, keeps its end in view
}

float GFX_PersonCard::chain_top() const { return m_top - kHeader - kRowHeight; }

float GFX_PersonCard::filter_top() const {
    if (!m_chain_shown) return chain_top();
    const std::size_t rows = 1 + m_chain.size();
    return chain_top() - static_cast<float>(rows) * kRowHeight - 6.0f;
}

float GFX_PersonCard::list_top() const { return filter_top() - kField - 4.0f; }

std::size_t GFX_PersonCard::rows_fit() const {
    const float room = list_top() - m_bottom - 4.0f;
    return room > 0.0f ? static_cast<std::size_t>(room / kRowHeight) : 0;
}

bool GFX_PersonCard::is_inside(float x, float y) const {
    return shown() && x >= m_left && x <= m_right && y >= m_bottom && y <= m_top;
}

GFX_Friend* GFX_PersonCard::person_at(float x, float y) const {
    if (!is_inside(x, y)) return nullptr;
    if (m_chain_shown && !m_chain.empty()) {
        const float first = chain_top() - kRowHeight;  // below the chain's title row
        if (y <= first && y > first - static_cast<float>(m_chain.size()) * kRowHeight)
            return m_chain[static_cast<std::size_t>((first - y) / kRowHeight)];
    }
    const float below = list_top() - y;
    if (below < 0.0f) return nullptr;
    const std::size_t row = static_cast<std::size_t>(below / kRowHeight);
    const std::size_t at = row + static_cast<std::size_t>(m_scroll);
    if (row >= rows_fit() || at >= m_listed.size()) return nullptr;
    return m_listed[at];
}

bool GFX_PersonCard::mouse_down(float x, float y) {
    m_press_inside = is_inside(x, y);
    if (!m_press_inside) {
        m_focused = false;
        return false;
    }
    const bool on_filter = y <= filter_top() && y >= filter_top() - kField;
    m_focused = on_filter;
    m_pressed = person_at(x, y);
    return true;
}

bool GFX_PersonCard::mouse_up(float x, float y) {
    if (!m_press_inside) return false;
    m_press_inside = false;
    GFX_Friend* under = person_at(x, y);
    if (under && under == m_pressed) m_picked = under;
    m_pressed = nullptr;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

// In the theme's window and text colours, as the search box: the photo and the name, the
// circle with its hue, how many friends they share with the user, the chain when one was asked
// for, the filter with its caret while it has the keys, and the names that pass it.
void GFX_PersonCard::draw() {
    if (!shown() || !m_controller || !m_controller->m_glyph_atlas) return;
    GFX_GlyphAtlas& atlas = *m_controller->m_glyph_atlas;
    const UTL_ColorTheme& theme = m_controller->m_color_theme;
    const Math_Vector4 back(theme.m_window_color.m_x, theme.m_window_color.m_y,
                            theme.m_window_color.m_z, 0.92f * theme.m_window_color.m_w);
    const Math_Vector3& t = theme.m_locator_text_color;
    const Math_Vector4 ink(t.m_x, t.m_y, t.m_z, 1.0f);
    const Math_Vector4 dim(t.m_x, t.m_y, t.m_z, 0.6f);
    const float text_w = m_right - m_left - 2 * kPad;
    auto text = [&](const std::string& s, int px, float x, float middle, const Math_Vector4& c,
                    float max_width) {
        glEnable(GL_BLEND);
        const GFX_TextLine line = atlas.layout(s, px, max_width);
        atlas.draw(line, x, middle - (line.m_ascent - line.m_descent) / 2, c);
        return line.m_width;
    };

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    fill_rect(m_left, m_right, m_bottom, m_top, back);

    // Photo, name, circle, friends in common.
    const float px0 = m_left + kPad, py1 = m_top - kPad;
    if (GFX_Foto* foto = m_person->m_foto_square ? m_person->m_foto_square : m_person->m_foto) {
        const bool own =
            m_person->m_foto_square ? m_person->m_has_foto_square : m_person->m_has_foto;
        if (foto->get_texture()) {
            glEnable(GL_TEXTURE_2D);
            glColor4fv(own ? Math_Vector4(1, 1, 1, 1).data() : ink.data());
            foto->draw_quad(px0, px0 + kPhoto, py1, py1 - kPhoto);
            glDisable(GL_LIGHTING);  // the photo's draw turns it back on
        }
    }
    const float tx = px0 + kPhoto + kPad, tw = m_right - kPad - tx;
    text(name_of(m_person), kNamePx, tx, py1 - 10, ink, tw);
    const int circle = m_person->m_circle;
    if (m_is_user) {
        text("you", kTextPx, tx, py1 - 32, dim, tw);
    } else if (circle >= 0) {
        const Math_Vector3 hue = m_controller->circle_color(circle);
        fill_rect(tx - 1, tx + kSwatch + 1, py1 - 32 - kSwatch / 2 - 1, py1 - 32 + kSwatch / 2 + 1,
                  ink);
        fill_rect(tx, tx + kSwatch, py1 - 32 - kSwatch / 2, py1 - 32 + kSwatch / 2,
                  Math_Vector4(hue.m_x, hue.m_y, hue.m_z, 1.0f));
        text(m_controller->circle_name(circle), kTextPx, tx + kSwatch + 6, py1 - 32, ink,
             tw - kSwatch - 6);
    } else {
        text("circle not known yet", kTextPx, tx, py1 - 32, dim, tw);
    }
    const std::size_t n = m_common.size();
    const std::string count =
        m_is_user ? thousands(n) + (n == 1 ? " friend" : " friends")
                  : thousands(n) + (n == 1 ? " of your friends is" : " of your friends are") +
                        " a friend too";
    text(count, kTextPx, m_left + kPad, chain_top() + kRowHeight / 2, ink, text_w);

    // The chain.
    if (m_chain_shown) {
        const std::string to = m_chain_to ? name_of(m_chain_to) : std::string("?");
        const std::string title = m_chain.empty()
                                      ? "No chain of friends to " + to + " without you"
                                      : "Chain to " + to + ", " + thousands(m_chain.size() - 1) +
                                            (m_chain.size() == 2 ? " step" : " steps");
        text(title, kTextPx, m_left + kPad, chain_top() - kRowHeight / 2, ink, text_w);
        for (std::size_t i = 0; i < m_chain.size(); ++i) {
            const float middle = chain_top() - kRowHeight * (static_cast<float>(i) + 1.5f);
            text((i ? kArrow : "") + name_of(m_chain[i]), kTextPx, m_left + kPad + 8, middle,
                 i == 0 || i + 1 == m_chain.size() ? ink : dim, text_w - 8);
        }
    }

    // The filter.
    const float ft = filter_top();
    fill_rect(m_left + 4, m_right - 4, ft - kField, ft,
              Math_Vector4(t.m_x, t.m_y, t.m_z, m_focused ? 0.14f : 0.07f));
    const bool empty = m_filter.empty();
    const float written = text(empty ? std::string(kPlaceholder) : filter(), kTextPx, m_left + kPad,
                               ft - kField / 2, empty ? dim : ink, text_w);
    if (m_focused) {
        const float caret = m_left + kPad + (empty ? 0.0f : written) + 1;
        fill_rect(caret, caret + 1.5f, ft - kField + 6, ft - 6, ink);
    }

    // The list.
    const std::size_t fit = rows_fit(), first = static_cast<std::size_t>(m_scroll);
    for (std::size_t row = 0; row < fit && first + row < m_listed.size(); ++row) {
        const float top = list_top() - static_cast<float>(row) * kRowHeight;
        text(name_of(m_listed[first + row]), kTextPx, m_left + kPad, top - kRowHeight / 2, ink,
             text_w - 8);
    }
    if (m_listed.size() > fit && fit > 0) {
        // A thin bar tells where the rows shown lie in the whole list.
        const float span = static_cast<float>(fit) * kRowHeight;
        const float total = static_cast<float>(m_listed.size());
        const float top = list_top() - span * (m_scroll / total);
        const float len = std::max(8.0f, span * static_cast<float>(fit) / total);
        fill_rect(m_right - 6, m_right - 3, top - len, top, dim);
    }
    if (m_listed.empty() && !m_common.empty())
        text("no match", kTextPx, m_left + kPad, list_top() - kRowHeight / 2, dim, text_w);
    glDisable(GL_BLEND);
}
