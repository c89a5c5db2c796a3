// UTL_SimCtrlNimbra: finding people on the globe: the keys and the mouse wheel (recorded between
// frames, acted on once per frame), the search by name, the name under the pointer, the help
// panel, and the camera's zoom and key turns.
// Sections: Creation · Per-frame update (keys, wheel, camera, hover) · Drawing · Input ·
// Selection and search.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/camera.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "widgets/circle_legend.h"
#include "widgets/dock.h"
#include "widgets/help_panel.h"
#include "widgets/hover_label.h"
#include "widgets/navigation_dial.h"
#include "widgets/person_card.h"
#include "widgets/round_button.h"
#include "widgets/search_field.h"

#include <cmath>

namespace {

constexpr float kPickRange = 40000.0f;
constexpr float kTurnPerKey = 10.0f;      // degrees of azimuth per arrow press
constexpr float kTiltPerKey = 6.0f;       // degrees of elevation per arrow press
constexpr float kKeyEasing = 0.25f;       // of the remaining turn per frame
constexpr float kZoomPerStep = 0.85f;     // distance factor per wheel step or + key
constexpr float kZoomEasing = 0.15f;      // of the remaining distance per frame
constexpr float kWheelScrollRows = 2.0f;  // thumbnails per wheel step over the list dock
constexpr float kWheelCardRows = 3.0f;    // names per wheel step over the person card

constexpr unsigned int kCtrlF = 6;  // the control character Ctrl+F types
constexpr unsigned int kEscape = 27;
constexpr unsigned int kBackspace = 8;
constexpr unsigned int kDelete = 127;
constexpr unsigned int kMinusSign = 0x2212;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::create_find_widgets() {
    delete_find_widgets();
    m_search_field = new GFX_SearchField(this);
    m_help_panel = new GFX_HelpPanel(this);
    m_hover_label = new GFX_HoverLabel(this);
}

void UTL_SimCtrlNimbra::delete_find_widgets() {
    delete m_search_field;
    m_search_field = nullptr;
    delete m_help_panel;
    m_help_panel = nullptr;
    delete m_hover_label;
    m_hover_label = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::update_find_input() {
    if (m_search_field)
        m_search_field->layout(static_cast<float>(m_view_width), static_cast<float>(m_view_height));
    // Handling a key may record nothing new, but swap first all the same: what a key does
    // never sees its own queue change under it.
    std::vector<KeyEvent> keys;
    keys.swap(m_key_events);
    for (const KeyEvent& k : keys) handle_key(k.key, k.flags);

    if (m_wheel_steps != 0.0f) {
        const float steps = m_wheel_steps;
        m_wheel_steps = 0.0f;
        const float x = m_mouse.m_x, y = m_mouse.m_y;
        bool over_list = m_list_dock && m_list_dock->is_inside_ruler(x, y);
        if (m_list_dock)
            for (GFX_WidgetDocked* w : m_list_dock->m_widgets) over_list |= w->is_inside(x, y);
        if (over_list)
            m_list_dock->m_scroll_target -= steps * kWheelScrollRows * m_list_dock->m_widget_size;
        else if (m_person_card && m_person_card->is_inside(x, y))
            m_person_card->scroll(-steps * kWheelCardRows);
        else zoom(steps);
    }
}

// The arrow keys' turn and the zoom ease towards their ends like the other camera motions: a
// fixed share of what remains, every frame.
void UTL_SimCtrlNimbra::update_camera_keys() {
    if (!m_camera) return;
    if (m_turn_left != 0.0f || m_tilt_left != 0.0f) {
        float yaw = m_turn_left * kKeyEasing, pitch = m_tilt_left * kKeyEasing;
        if (std::fabs(m_turn_left) < 0.05f) yaw = m_turn_left;
        if (std::fabs(m_tilt_left) < 0.05f) pitch = m_tilt_left;
        rotate_camera(yaw, pitch);
        m_turn_left -= yaw;
        m_tilt_left -= pitch;
    }
    if (m_zoom_target > 0.0f) {
        const float d = m_camera->m_distance;
        if (std::fabs(m_zoom_target - d) < 1.0f) {
            m_camera->m_distance = m_zoom_target;
            m_zoom_target = 0.0f;
        } else {
            m_camera->m_distance = d + (m_zoom_target - d) * kZoomEasing;
        }
    }
}

// The label names the person under a resting pointer: on a dock thumbnail, else on the globe
// by the pick a click makes, unless another control or a panel is under the pointer or a drag
// is on.
void UTL_SimCtrlNimbra::update_hover(float dt) {
    if (!m_hover_label) return;
    const float x = m_mouse.m_x, y = m_mouse.m_y;
    GFX_Friend* f = nullptr;
    const bool in_view = x >= 0.0f && y >= 0.0f && x < static_cast<float>(m_view_width) &&
                         y < static_cast<float>(m_view_height);
    const bool on_panel = (m_search_field && m_search_field->is_inside(x, y)) ||
                          (m_help_panel && m_help_panel->m_shown) ||
                          (m_circle_legend && m_circle_legend->is_inside(x, y)) ||
                          (m_person_card && m_person_card->is_inside(x, y));
    const bool pressed = m_dragging || (m_myself_dock && m_myself_dock->m_pressed) ||
                         (m_list_dock && m_list_dock->m_pressed);
    m_pointed_holder = nullptr;
    if (in_view && !on_panel && !pressed) {
        f = thumbnail_friend_at(x, y);
        bool on_control = m_nav_dial && m_nav_dial->is_inside(x, y);
        for (GFX_WidgetRoundButton* b : m_rotate_buttons) on_control |= b && b->is_inside(x, y);
        on_control |= m_circles_button && m_circles_button->is_inside(x, y);
        if (!f && !on_control) {
            m_pointed_holder = pick_loc_holder();
            if (auto* h = dynamic_cast<GFX_LocationHolderFriend*>(m_pointed_holder))
                f = h->m_friend;
        }
    }
    m_hover_label->update(f, x, y, dt);
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::draw_find_overlay() {
    if (m_search_field) m_search_field->draw();
    if (m_hover_label && !(m_help_panel && m_help_panel->m_shown)) m_hover_label->draw();
    if (m_help_panel) m_help_panel->draw();
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::key_down(unsigned int key, unsigned int flags) {
    m_key_events.push_back(KeyEvent{key, flags});
    UTL_SimCtrlRoot::key_down(key, flags);
}

void UTL_SimCtrlNimbra::mouse_wheel(float steps) {
    if (std::isfinite(steps)) m_wheel_steps += steps;
}

// What a key does, by what is open:
//   help panel shown   any key hides it; F1, ? and Escape do nothing more
//   search box open    the box takes every key (see handle_search_key)
//   otherwise          F1 or ? help; arrows turn and tilt; Space starts or stops the turning;
//                      + and - zoom; / or Ctrl+F opens the search; C (capital: Shift+C)
//                      switches between the layouts; any other letter or digit opens the
//                      search with that character typed
void UTL_SimCtrlNimbra::handle_key(unsigned int key, unsigned int flags) {
    const bool special = (flags & KEY_SPECIAL) != 0;
    const bool help_key = (special && key == KEY_F1) || (!special && key == '?');
    if (m_help_panel && m_help_panel->m_shown) {
        m_help_panel->m_shown = false;
        if (help_key || (!special && key == kEscape)) return;
    }
    if (m_search_field && m_search_field->is_open()) {
        handle_search_key(key, flags);
        return;
    }
    if (key_card(key, special)) return;
    if (help_key) {
        if (m_help_panel) m_help_panel->m_shown = true;
        if (m_hover_label) m_hover_label->hide();
        return;
    }
    if (special) {
        if (key < KEY_LEFT || key > KEY_DOWN) return;
        stop_automatic_motion();
        m_cam_transition = false;  // the keys take the camera, as a drag does
        if (key == KEY_LEFT) m_turn_left -= kTurnPerKey;
        if (key == KEY_RIGHT) m_turn_left += kTurnPerKey;
        if (key == KEY_UP) m_tilt_left -= kTiltPerKey;
        if (key == KEY_DOWN) m_tilt_left += kTiltPerKey;
        return;
    }
    switch (key) {
        case ' ':
            if (m_rotate_mode != 0) {
                stop_automatic_motion();
            } else {
                m_rotate_mode = 2;
                m_cam_transition = false;
                activate_rotate_button(1);
            }
            return;
        case '+':
        case '=':
            zoom(1.0f);
            return;
        case '-':
        case '_':
        case kMinusSign:
            zoom(-1.0f);
            return;
        case 'C':
            // NOTE: only the capital: a lower-case c starts a search for a name, as every
            // other letter does.
            set_layout(m_layout == LAYOUT_CIRCLES ? LAYOUT_ARRIVAL : LAYOUT_CIRCLES);
            return;
        case '/':
        case kCtrlF:
            stop_automatic_motion();
            if (m_search_field) m_search_field->open();
            return;
        default:
            break;
    }
    if (is_name_char(key) && m_search_field) {
        stop_automatic_motion();
        m_search_field->open();
        if (m_search_field->type(key)) refresh_search();
    }
}

// In the search box: characters are typed, Backspace erases, Up and Down move through the
// list, Enter selects the highlighted person (nothing without a match), Shift+Enter shows the
// chain to them from the selected person, Escape closes.
void UTL_SimCtrlNimbra::handle_search_key(unsigned int key, unsigned int flags) {
    const bool special = (flags & KEY_SPECIAL) != 0;
    stop_automatic_motion();
    if (special) {
        if (key == KEY_UP) m_search_field->move(-1);
        else if (key == KEY_DOWN) m_search_field->move(1);
        else if (key == KEY_F1 && m_help_panel) m_help_panel->m_shown = true;
        return;
    }
    if (key == '\r' || key == '\n') {
        if (GFX_Friend* f = m_search_field->highlighted()) {
            m_search_field->close();
            // Shift+Return: the chain from the selected person to the one found.
            GFX_Friend* from = selected_friend();
            if ((flags & KEY_SHIFT) && from && from != f) show_chain(from, f);
            else select_friend(f);
        }
    } else if (key == kEscape) {
        m_search_field->close();
    } else if (key == kBackspace || key == kDelete) {
        if (m_search_field->erase()) refresh_search();
    } else if (m_search_field->type(key)) {
        refresh_search();
    }
}

bool UTL_SimCtrlNimbra::mouse_move_find(float x, float y) {
    return m_search_field && m_search_field->mouse_move(x, y);
}

// A press while the help shows only hides it. A press outside the open search box closes it
// and goes on to the other controls and the scene.
bool UTL_SimCtrlNimbra::mouse_down_find(float x, float y) {
    if (m_hover_label) m_hover_label->hide();
    if (m_help_panel && m_help_panel->m_shown) {
        m_help_panel->m_shown = false;
        return true;
    }
    if (!m_search_field || !m_search_field->is_open()) return false;
    if (m_search_field->mouse_down(x, y)) return true;
    m_search_field->close();
    return false;
}

bool UTL_SimCtrlNimbra::mouse_up_find(float x, float y) {
    if (!m_search_field || !m_search_field->mouse_up(x, y)) return false;
    if (GFX_Friend* f = m_search_field->m_picked) {
        m_search_field->close();
        select_friend(f);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Selection and search
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::stop_automatic_motion() {
    m_rotate_mode = 0;
    m_rotate_timer = 0.0f;
    activate_rotate_button(-1);
}

void UTL_SimCtrlNimbra::zoom(float steps) {
    if (!m_camera || !std::isfinite(steps)) return;
    const float from = m_zoom_target > 0.0f ? m_zoom_target : m_camera->m_distance;
    float to = from * std::pow(kZoomPerStep, steps);
    if (!(to <= m_camera->m_max_distance)) to = m_camera->m_max_distance;  // also NaN
    if (to < m_camera->m_min_distance) to = m_camera->m_min_distance;
    m_zoom_target = to;
}

void UTL_SimCtrlNimbra::refresh_search() {
    if (!m_search_field) return;
    m_search_field->set_matches(find_people(m_search_field->text(), GFX_SearchField::kMaxRows));
}

std::vector<GFX_Friend*> UTL_SimCtrlNimbra::find_people(const std::string& text, size_t max) {
    // The people only ever grow at the end until the user changes or the scene is cleared;
    // then the index starts again.
    const size_t count = m_friends.size() + (m_myself ? 1 : 0);
    GFX_Friend* first = m_myself ? m_myself : (m_friends.empty() ? nullptr : m_friends.front());
    if (m_name_index_people.size() > count ||
        (!m_name_index_people.empty() && m_name_index_people.front() != first)) {
        m_name_index.clear();
        m_name_index_people.clear();
    }
    while (m_name_index_people.size() < count) {
        const size_t i = m_name_index_people.size();
        GFX_Friend* f = m_myself ? (i == 0 ? m_myself : m_friends[i - 1]) : m_friends[i];
        m_name_index.add(f->m_name);
        m_name_index_people.push_back(f);
    }
    std::vector<GFX_Friend*> people;
    for (size_t i : m_name_index.find(text, max)) people.push_back(m_name_index_people[i]);
    return people;
}

void UTL_SimCtrlNimbra::select_friend(GFX_Friend* f) {
    if (!f) return;
    GFX_LocationHolderFriend* match = nullptr;
    for (GFX_LocationHolder* h : m_loc_holders) {
        auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h);
        if (hf && hf->find_friend(f)) match = hf;  // the last one wins, as for a thumbnail
    }
    if (match) {
        select_loc_holder(match);
        return;
    }
    // Not laid out yet: selected in the docks, and the globe shows nobody selected.
    for (GFX_Dock* dock : {m_myself_dock, m_list_dock}) {
        if (!dock) continue;
        for (GFX_WidgetDocked* w : dock->m_widgets)
            if (auto* wf = dynamic_cast<GFX_WidgetDockedFriend*>(w))
                wf->m_selected = wf->m_friend == f;
    }
    if (m_list_dock) m_list_dock->m_scroll_to_selected = true;
    set_connections_highlighted(false);
    for (GFX_LocationHolder* h : m_loc_holders) {
        h->set_billboard_size(billboard_size(), billboard_size());
        h->m_selected = false;
    }
    m_selected_holder = nullptr;
}

GFX_Friend* UTL_SimCtrlNimbra::selected_friend() const {
    auto friend_of = [](GFX_LocationHolder* h) {
        auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h);
        return hf ? hf->m_friend : nullptr;
    };
    if (m_selected_holder && m_selected_holder->m_selected) return friend_of(m_selected_holder);
    for (GFX_LocationHolder* h : m_loc_holders)
        if (h->m_selected) return friend_of(h);
    for (GFX_Dock* dock : {m_list_dock, m_myself_dock}) {
        if (!dock) continue;
        for (GFX_WidgetDocked* w : dock->m_widgets)
            if (auto* wf = dynamic_cast<GFX_WidgetDockedFriend*>(w))
                if (wf->m_selected && wf->m_friend) return wf->m_friend;
    }
    return nullptr;
}

GFX_LocationHolder* UTL_SimCtrlNimbra::pick_loc_holder() {
    float best = kPickRange;
    GFX_LocationHolder* hit = nullptr;
    for (GFX_LocationHolder* h : m_loc_holders) {
        float t = 0.0f;
        if (h->line_collide(m_ray_origin, m_ray_dir, kPickRange, t) && t < best) {
            best = t;
            hit = h;
        }
    }
    return hit;
}

GFX_Friend* UTL_SimCtrlNimbra::thumbnail_friend_at(float x, float y) const {
    for (GFX_Dock* dock : {m_myself_dock, m_list_dock}) {
        if (!dock) continue;
        for (GFX_WidgetDocked* w : dock->m_widgets)
            if (w->is_inside(x, y))
                if (auto* wf = dynamic_cast<GFX_WidgetDockedFriend*>(w)) return wf->m_friend;
    }
    return nullptr;
}
