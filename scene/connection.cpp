// GFX_Connection and GFX_ConnectionFriends: the dotted line between two points and the
// friendship line that finds, and keeps in step with, the locators of its two people;
// GFX_DotBatch: the arrays their dots are drawn from.
#include "scene/connection.h"

#include <GL/gl.h>

#include <cmath>

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/frustum.h"
#include "scene/billboard.h"
#include "scene/friend.h"
#include "scene/location_holder.h"

namespace {

constexpr float k_dot_spacing = 90.0f;
constexpr float k_dot_size = 90.0f;
constexpr float k_highlighted_dot_size = 125.0f;
// Added to the radius of what is tested against the view volume, so rounding in the planes
// can never leave out a dot that touches the screen.
constexpr float k_view_margin = 10.0f;
// Far more intervals than a line across the globe has (about 123); beyond it the length can
// only come from broken positions, and converting it to int would overflow.
constexpr float k_max_intervals = 1.0e6f;

// The locator still shows the person of that uid.
bool shows(const GFX_LocationHolderFriend* h, const std::string& uid) {
    return h->m_friend != nullptr && h->m_friend->m_uid == uid;
}

}  // namespace

// --- Construction and destruction ----------------------------------------------------------

GFX_DotBatch::GFX_DotBatch(int capacity) : m_capacity(capacity > 0 ? capacity : 1) {
    m_vertices.resize(static_cast<size_t>(m_capacity) * 4 * k_floats);
    m_tex_coords.reserve(static_cast<size_t>(m_capacity) * 8);
    for (int i = 0; i < m_capacity; ++i)
        m_tex_coords.insert(m_tex_coords.end(), {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f});
}

GFX_Connection::GFX_Connection(UTL_SimCtrlNimbra* controller)
    : m_controller(controller),
      m_billboard(new GFX_Billboard(Math_Vector3(), k_dot_size, k_dot_size)) {}

GFX_Connection::~GFX_Connection() { delete m_billboard; }

GFX_ConnectionFriends::GFX_ConnectionFriends(UTL_SimCtrlNimbra* controller)
    : GFX_Connection(controller) {}

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

void GFX_DotBatch::add(const Math_Vector3& centre, const Math_Vector3& right,
                       const Math_Vector3& up, const Math_Vector3& color, float alpha) {
    if (m_count == m_capacity) flush();
    float* v = &m_vertices[static_cast<size_t>(m_count) * 4 * k_floats];
    // NOTE: the same operations in the same order as GFX_Billboard::update_vertex_position, so
    // the corners come out bit for bit as a billboard's would.
    const Math_Vector3 corners[4] = {centre - right - up, centre + right - up, centre + right + up,
                                     centre - right + up};
    for (const Math_Vector3& c : corners) {
        v[0] = c.m_x;
        v[1] = c.m_y;
        v[2] = c.m_z;
        v[3] = color.m_x;
        v[4] = color.m_y;
        v[5] = color.m_z;
        v[6] = alpha;
        v += k_floats;
    }
    ++m_count;
}

void GFX_DotBatch::flush() {
    if (m_count == 0) return;
    // The frame leaves a normal array enabled for the meshes; the dots have none.
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_INDEX_ARRAY);
    glDisableClientState(GL_EDGE_FLAG_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    const GLsizei stride = k_floats * sizeof(float);
    glVertexPointer(3, GL_FLOAT, stride, m_vertices.data());
    glColorPointer(4, GL_FLOAT, stride, m_vertices.data() + 3);
    glTexCoordPointer(2, GL_FLOAT, 0, m_tex_coords.data());
    glDrawArrays(GL_QUADS, 0, 4 * m_count);
    glPopClientAttrib();
    m_drawn += m_count;
    m_count = 0;
}

GFX_DotBatch::Where GFX_DotBatch::classify(const Math_Vector3& centre, float radius) const {
    if (!m_view) return INSIDE;
    Where where = INSIDE;
    for (int i = 0; i < GFX_Frustum::PLANE_COUNT; ++i) {
        // NOTE: a NaN plane (a degenerate camera) fails both tests and culls nothing.
        const float distance = m_view->m_plane_norm[i].dot(centre) + m_view->m_plane_d[i];
        if (distance > radius) return OUTSIDE;
        if (distance > -radius) where = PARTLY;
    }
    return where;
}

void GFX_Connection::draw(GFX_DotBatch& batch) { draw_dots(batch); }

void GFX_Connection::draw_dots(GFX_DotBatch& batch) {
    const Math_Vector3 d = m_end - m_start;
    const float length = d.length();
    const int n = dot_count(length);
    if (n <= 1) return;
    const Math_Vector3 u = d / length;
    const float step = length / static_cast<float>(n);
    // Size and screen axes are the same for every dot of the line.
    const GFX_Billboard& b = *m_billboard;
    const Math_Vector3 right = b.m_right * (0.5f * b.m_width);
    const Math_Vector3 up = b.m_up * (0.5f * b.m_height);
    // A sphere round a dot holds its corners; one round the segment holds all its dots. A line
    // wholly in view needs no test per dot, one wholly out of view none at all.
    const float dot_radius =
        0.75f * (b.m_width > b.m_height ? b.m_width : b.m_height) + k_view_margin;
    const GFX_DotBatch::Where where =
        batch.classify(m_start + d * 0.5f, 0.5f * length + dot_radius);
    if (where == GFX_DotBatch::OUTSIDE) {
        batch.count_skipped(n - 1);
        return;
    }
    Math_Vector3 color = b.m_color;
    for (int k = 1; k < n; ++k) {
        Math_Vector3 p = m_start + u * (static_cast<float>(k) * step);
        if (where == GFX_DotBatch::PARTLY &&
            batch.classify(p, dot_radius) == GFX_DotBatch::OUTSIDE) {
            batch.count_skipped(1);
            continue;
        }
        // The dots shade from one end's colour to the other's.
        if (m_controller) m_controller->position_to_color(p, color);
        batch.add(p, right, up, color, b.m_alpha);
    }
}

void GFX_ConnectionFriends::draw(GFX_DotBatch& batch) {
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
    draw_dots(batch);
}

// --- Helpers -------------------------------------------------------------------------------

int GFX_Connection::dot_count(float length) {
    if (!(length > 0.0f) || !std::isfinite(length)) return 0;
    const float intervals = length / k_dot_spacing;
    if (intervals >= k_max_intervals) return 0;
    return static_cast<int>(intervals);
}
