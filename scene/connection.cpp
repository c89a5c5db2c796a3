// GFX_Connection and GFX_ConnectionFriends: the dotted line between two points and the
// friendship line that finds, and keeps in step with, the locators of its two people.
#include "scene/connection.h"

#include <cmath>

#include "controller/sim_ctrl_nimbra.h"
#include "scene/billboard.h"
#include "scene/friend.h"
#include "scene/location_holder.h"

namespace {

constexpr float k_dot_spacing = 90.0f;
constexpr float k_dot_size = 90.0f;
constexpr float k_highlighted_dot_size = 125.0f;
// Far more intervals than a line across the globe has (about 123); beyond it the length can
// only come from broken positions, and converting it to int would overflow.
constexpr float k_max_intervals = 1.0e6f;

// The locator still shows the person of that uid.
bool shows(const GFX_LocationHolderFriend* h, const std::string& uid) {
    return h->m_friend != nullptr && h->m_friend->m_uid == uid;
}

}  // namespace

// --- Construction and destruction ----------------------------------------------------------

GFX_Connection::GFX_Connection(UTL_SimCtrlNimbra* controller)
    : m_controller(controller), m_billboard(new GFX_Billboard(Math_Vector3(), k_dot_size, k_dot_size)) {}

GFX_Connection::~GFX_Connection() { delete m_billboard; }

GFX_ConnectionFriends::GFX_ConnectionFriends(UTL_SimCtrlNimbra* controller) : GFX_Connection(controller) {}

GFX_ConnectionFriends::~GFX_ConnectionFriends() {
    // The locators may outlive the line (clear_connections alone): leave no pointer to it.
    if (m_holder1) m_holder1->detach_connection(this);
    if (m_holder2) m_holder2->detach_connection(this);
}

void GFX_Connection::set_color(const Math_Vector3& c) { m_billboard->m_color = c; }

void GFX_Connection::set_impostor_orientation(const Math_Vector3& up, const Math_Vector3& right) {
    m_billboard->set_impostor_orientation(up, right);
}

void GFX_ConnectionFriends::set_uids(const char* uid1, const char* uid2) {
    m_uid1 = uid1 ? uid1 : "";
    m_uid2 = uid2 ? uid2 : "";
}

void GFX_ConnectionFriends::detach_holder(GFX_LocationHolderFriend* h) {
    if (m_holder1 == h) m_holder1 = nullptr;
    if (m_holder2 == h) m_holder2 = nullptr;
}

// --- Per-frame update ----------------------------------------------------------------------

void GFX_ConnectionFriends::find_ends() {
    // Re-points one end: out of the old locator's list, into the new one's, at most once each.
    auto relink = [this](GFX_LocationHolderFriend*& end, GFX_LocationHolderFriend* found) {
        if (found == end) return;
        if (end) end->detach_connection(this);
        if (found) found->m_connections.push_back(this);
        end = found;
    };
    // An end whose locator now shows somebody else (the layout moved people) is looked for again.
    if (m_holder1 && !shows(m_holder1, m_uid1)) relink(m_holder1, nullptr);
    if (m_holder2 && !shows(m_holder2, m_uid2)) relink(m_holder2, nullptr);
    if (m_holder1 && m_holder2) return;

    GFX_LocationHolderFriend* h1 = nullptr;
    GFX_LocationHolderFriend* h2 = nullptr;
    m_controller->find_locators(m_uid1.c_str(), m_uid2.c_str(), &h1, &h2);
    relink(m_holder1, h1);
    relink(m_holder2, h2);
}

// --- Drawing -------------------------------------------------------------------------------

void GFX_Connection::draw() { draw_dots(); }

void GFX_Connection::draw_dots() {
    const Math_Vector3 d = m_end - m_start;
    const float length = d.length();
    const int n = dot_count(length);
    if (n <= 1) return;
    const Math_Vector3 u = d / length;
    const float step = length / static_cast<float>(n);
    GFX_Billboard& b = *m_billboard;
    for (int k = 1; k < n; ++k) {
        b.m_position = m_start + u * (static_cast<float>(k) * step);
        // The dots shade from one end's colour to the other's.
        if (m_controller) m_controller->position_to_color(b.m_position, b.m_color);
        b.update_vertex_position();
        b.draw();
    }
}

void GFX_ConnectionFriends::draw() {
    if (!m_controller) return;
    find_ends();
    if (!m_holder1 || !m_holder2) return;

    // The ball centres, read every frame so the line follows a new layout.
    m_start = m_holder1->m_position;
    m_end = m_holder2->m_position;
    const float size = m_highlighted ? k_highlighted_dot_size : k_dot_size;
    m_billboard->m_width = size;
    m_billboard->m_height = size;
    m_billboard->m_alpha = m_highlighted ? 1.0f : m_alpha;
    draw_dots();
}

// --- Helpers -------------------------------------------------------------------------------

int GFX_Connection::dot_count(float length) {
    if (!(length > 0.0f) || !std::isfinite(length)) return 0;
    const float intervals = length / k_dot_spacing;
    if (intervals >= k_max_intervals) return 0;
    return static_cast<int>(intervals);
}
