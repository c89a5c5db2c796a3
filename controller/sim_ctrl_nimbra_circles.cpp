// UTL_SimCtrlNimbra: the circles among the friends: the friend graph fed as people and
// friendships arrive, the circle worker asked and answered between frames, the two layouts and
// the glides from one to the other, and the circles' names and colours.
// Sections: Creation · Layouts · Per-frame update · Names and colours · Input and drawing ·
// Helpers.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "service/circle_worker.h"
#include "widgets/circle_legend.h"

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::create_circle_widgets() {
    delete_circle_widgets();
    m_circle_legend = new GFX_CircleLegend(this);
}

void UTL_SimCtrlNimbra::delete_circle_widgets() {
    delete m_circle_legend;
    m_circle_legend = nullptr;
    m_hover_circle = -1;
}

// ---------------------------------------------------------------------------------------------
// Layouts
// ---------------------------------------------------------------------------------------------

// Arrival order is the spiral, known at once; the arrangement by circles comes from the
// worker, at once when the last one still fits the graph, else as soon as it is found.
void UTL_SimCtrlNimbra::set_layout(Layout layout) {
    if (layout == m_layout) return;
    m_layout = layout;
    recolour_lines();
    if (layout == LAYOUT_ARRIVAL) {
        std::vector<float> longitudes, latitudes;
        spiral_places(m_loc_holders.size(), longitudes, latitudes);
        for (size_t i = 0; i < m_loc_holders.size(); ++i)
            m_loc_holders[i]->glide_to(longitudes[i], latitudes[i], kGlideSeconds);
        follow_selection();
        return;
    }
    const size_t people = m_friends.size() + (m_myself ? 1 : 0);
    if (!m_arranged.empty() && m_arranged_version == m_friend_graph.version() &&
        m_arranged_places == people) {
        glide_to_places(m_arranged);
    } else {
        m_circle_hurry = true;
    }
}

bool UTL_SimCtrlNimbra::people_gliding() const {
    for (const GFX_LocationHolder* h : m_loc_holders)
        if (h->gliding()) return true;
    return false;
}

bool UTL_SimCtrlNimbra::circles_settled() const {
    if (people_gliding() || (m_circle_worker && m_circle_worker->busy())) return false;
    if (m_friends.empty()) return true;
    if (m_circles.graph_version() != m_friend_graph.version()) return false;
    if (m_layout == LAYOUT_ARRIVAL) return true;
    const size_t people = m_friends.size() + (m_myself ? 1 : 0);
    return m_arranged_version == m_friend_graph.version() && m_arranged_places == people;
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::update_circles(float dt) {
    if (m_circle_legend)
        m_circle_legend->layout(static_cast<float>(m_view_width),
                                static_cast<float>(m_view_height));
    if (!m_pending_pairs.empty() && m_resolved_people != m_friends.size()) resolve_pending_pairs();
    m_circle_clock += dt;

    UTL_CircleResult result;
    if (m_circle_worker && m_circle_worker->take(result)) take_circles(result);

    const size_t people = m_friends.size() + (m_myself ? 1 : 0);
    const bool arrange = m_layout == LAYOUT_CIRCLES;
    const bool wanted =
        !m_friends.empty() && (!m_asked || m_asked_version != m_friend_graph.version() ||
                               (arrange && (!m_asked_arrange || m_asked_places != people)));
    const bool idle = !m_circle_worker || !m_circle_worker->busy();
    if (wanted && idle && (m_circle_hurry || m_circle_clock >= kCircleInterval))
        ask_for_circles(arrange);

    for (GFX_LocationHolder* h : m_loc_holders) h->update_glide(dt);
    if (m_layout == LAYOUT_CIRCLES && m_coloured_lines < m_connections.size())
        recolour_lines(m_coloured_lines);
}

// A copy of the graph goes to the worker, with the spiral's places when it is to arrange them:
// the user keeps the first (north), the friends share the others.
void UTL_SimCtrlNimbra::ask_for_circles(bool arrange) {
    UTL_CircleJob job;
    job.m_graph = m_friend_graph;
    job.m_arrange = arrange;
    const size_t people = m_friends.size() + (m_myself ? 1 : 0);
    if (arrange) {
        std::vector<float> longitudes, latitudes;
        spiral_places(people, longitudes, latitudes);
        for (size_t i = 0; i < people; ++i) {
            const Math_Vector3 p = compute_position(longitudes[i], latitudes[i]) / get_radius();
            job.m_places.push_back({p.m_x, p.m_y, p.m_z});
        }
        job.m_reserved = m_myself ? 1 : 0;
    }
    if (!m_circle_worker) m_circle_worker.reset(new UTL_CircleWorker());
    m_circle_worker->submit(std::move(job));
    ++m_circle_jobs;
    m_asked = true;
    m_asked_version = m_friend_graph.version();
    m_asked_places = people;
    m_asked_arrange = arrange;
    m_circle_clock = 0.0f;
    m_circle_hurry = false;
}

// The circles go to every friend; an arrangement of as many places as there are people now
// moves them there when arranged by circles (one made for fewer people is dropped: the next
// job is on its way).
void UTL_SimCtrlNimbra::take_circles(UTL_CircleResult& result) {
    m_circles = std::move(result.m_circles);
    for (GFX_Friend* f : m_friends) f->m_circle = m_circles.circle_of(f->m_person);
    if (m_myself) m_myself->m_circle = -1;
    if (m_hover_circle >= static_cast<int>(m_circles.circles().size())) m_hover_circle = -1;
    if (m_layout == LAYOUT_CIRCLES) recolour_lines();

    const size_t people = m_friends.size() + (m_myself ? 1 : 0);
    if (!result.m_arranged || static_cast<size_t>(result.m_places) != people) return;
    m_arranged = std::move(result.m_place_of);
    m_arranged_version = m_circles.graph_version();
    m_arranged_places = people;
    if (m_layout == LAYOUT_CIRCLES && m_loc_holders.size() == people) glide_to_places(m_arranged);
}

// The user to the first place, each friend to the place of their number in the graph; anyone
// left over (a uid given twice) to the places left, in order.
void UTL_SimCtrlNimbra::glide_to_places(const std::vector<int>& place_of) {
    const size_t n = m_loc_holders.size();
    std::vector<float> longitudes, latitudes;
    spiral_places(n, longitudes, latitudes);
    std::vector<int> place(n, -1);
    std::vector<bool> taken(n, false);
    for (size_t i = 0; i < n; ++i) {
        auto* h = dynamic_cast<GFX_LocationHolderFriend*>(m_loc_holders[i]);
        GFX_Friend* f = h ? h->m_friend : nullptr;
        int p = -1;
        if (f && f == m_myself) p = 0;
        else if (f && f->m_person >= 0 && static_cast<size_t>(f->m_person) < place_of.size() &&
                 graph_person(f->m_person) == f)
            p = place_of[static_cast<size_t>(f->m_person)];
        if (p >= 0 && static_cast<size_t>(p) < n && !taken[static_cast<size_t>(p)]) {
            place[i] = p;
            taken[static_cast<size_t>(p)] = true;
        }
    }
    size_t free = 0;
    for (size_t i = 0; i < n; ++i) {
        if (place[i] < 0) {
            while (free < n && taken[free]) ++free;
            if (free == n) break;
            place[i] = static_cast<int>(free);
            taken[free] = true;
        }
        m_loc_holders[i]->glide_to(longitudes[static_cast<size_t>(place[i])],
                                   latitudes[static_cast<size_t>(place[i])], kGlideSeconds);
    }
    follow_selection();
}

// The camera goes along to where the selected person is going.
void UTL_SimCtrlNimbra::follow_selection() {
    GFX_LocationHolder* h = m_selected_holder;
    if (!h || !h->m_selected || !h->gliding()) return;
    m_cam_transition = true;
    m_cam_target_lr = h->target_longitude();
    m_cam_target_ud = h->target_latitude();
}

// Friendships that named someone not yet known, tried again once more people have arrived.
void UTL_SimCtrlNimbra::resolve_pending_pairs() {
    m_resolved_people = m_friends.size();
    std::vector<std::pair<std::string, std::string>> waiting;
    for (const auto& [a, b] : m_pending_pairs) {
        if (m_myself && (a == m_myself->m_uid || b == m_myself->m_uid)) continue;
        const int pa = m_friend_graph.find(a), pb = m_friend_graph.find(b);
        if (pa >= 0 && pb >= 0) m_friend_graph.add_friendship(pa, pb);
        else waiting.emplace_back(a, b);
    }
    m_pending_pairs.swap(waiting);
}

// ---------------------------------------------------------------------------------------------
// Names and colours
// ---------------------------------------------------------------------------------------------

std::string UTL_SimCtrlNimbra::circle_name(int circle) const {
    if (circle < 0 || circle >= static_cast<int>(m_circles.circles().size())) return "";
    const UTL_Circle& c = m_circles.circles()[static_cast<size_t>(circle)];
    if (c.alone()) return "No friends in common";
    const GFX_Friend* f = graph_person(c.m_namesake);
    const std::string who = !f ? std::string("?") : (f->m_name.empty() ? f->m_uid : f->m_name);
    return who + "'s circle";
}

Math_Vector3 UTL_SimCtrlNimbra::circle_color(int circle) const {
    if (circle < 0 || circle >= static_cast<int>(m_circles.circles().size()) ||
        m_circles.circles()[static_cast<size_t>(circle)].alone())
        return m_color_theme.circle_grey();
    return m_color_theme.circle_color(circle);
}

void UTL_SimCtrlNimbra::locator_color(const GFX_LocationHolder* h, Math_Vector3& color) {
    if (!h) return;
    if (m_layout == LAYOUT_ARRIVAL) {
        Math_Vector3 p = h->m_position;
        position_to_color(p, color);
        return;
    }
    auto* hf = dynamic_cast<const GFX_LocationHolderFriend*>(h);
    const GFX_Friend* f = hf ? hf->m_friend : nullptr;
    if (!f || f == m_myself) {
        color = m_color_theme.m_locator_billboard_color_sel;
        return;
    }
    color = circle_color(f->m_circle);
    if (m_hover_circle >= 0 && f->m_circle == m_hover_circle)
        for (int i = 0; i < 3; ++i) color[i] += (1.0f - color[i]) * 0.55f;
}

// NOTE: a line's ends are found by uid here when the line has not found them itself yet (it
// does at its first draw); a line whose people are not on the globe yet keeps the colours of
// its place until the next recolouring.
void UTL_SimCtrlNimbra::recolour_lines(size_t from) {
    for (size_t i = from; i < m_connections.size(); ++i) {
        auto* line = dynamic_cast<GFX_ConnectionFriends*>(m_connections[i]);
        if (!line) continue;
        if (m_layout == LAYOUT_ARRIVAL) {
            line->clear_end_colors();
            continue;
        }
        GFX_LocationHolderFriend *h1 = line->m_holder1, *h2 = line->m_holder2;
        if (!h1 || !h2) find_locators(line->m_uid1.c_str(), line->m_uid2.c_str(), &h1, &h2);
        if (!h1 || !h2) {
            line->clear_end_colors();
            continue;
        }
        Math_Vector3 a, b;
        locator_color(h1, a);
        locator_color(h2, b);
        line->set_end_colors(a, b);
    }
    m_coloured_lines = m_connections.size();
}

void UTL_SimCtrlNimbra::frame_color(const GFX_LocationHolder* h, Math_Vector3& color) {
    if (m_layout == LAYOUT_CIRCLES) locator_color(h, color);
}

// ---------------------------------------------------------------------------------------------
// Input and drawing
// ---------------------------------------------------------------------------------------------

// The circle the legend points at is brightened on the globe while the pointer stays there.
bool UTL_SimCtrlNimbra::mouse_move_circles(float x, float y) {
    if (!m_circle_legend) return false;
    const bool taken = m_circle_legend->mouse_move(x, y);
    if (m_hover_circle != m_circle_legend->m_pointed) {
        m_hover_circle = m_circle_legend->m_pointed;
        recolour_lines();
    }
    return taken;
}

bool UTL_SimCtrlNimbra::mouse_down_circles(float x, float y) {
    return m_circle_legend && m_circle_legend->mouse_down(x, y);
}

bool UTL_SimCtrlNimbra::mouse_up_circles(float x, float y) {
    if (!m_circle_legend || !m_circle_legend->mouse_up(x, y)) return false;
    if (m_circle_legend->m_picked >= 0) {
        glide_to_circle(m_circle_legend->m_picked);
        m_circle_legend->m_picked = -1;
    }
    return true;
}

void UTL_SimCtrlNimbra::draw_circle_overlay() {
    if (m_circle_legend) m_circle_legend->draw();
}

// The middle of where the circle's people are going; a circle spread round the whole globe
// (whose middle is its centre) leaves the camera where it is.
void UTL_SimCtrlNimbra::glide_to_circle(int circle) {
    if (circle < 0 || circle >= static_cast<int>(m_circles.circles().size())) return;
    Math_Vector3 sum;
    for (GFX_LocationHolder* h : m_loc_holders) {
        auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h);
        if (!hf || !hf->m_friend || hf->m_friend == m_myself || hf->m_friend->m_circle != circle)
            continue;
        sum += compute_position(h->target_longitude(), h->target_latitude());
    }
    const float len = sum.length();
    if (!(len > 1e-3f * get_radius())) return;
    const Math_Vector3 d = sum / len;
    m_cam_transition = true;
    m_cam_target_lr = static_cast<float>(std::atan2(double(d.m_z), double(d.m_x)) * 180.0 / M_PI);
    m_cam_target_ud =
        static_cast<float>(std::asin(std::max(-1.0, std::min(1.0, double(d.m_y)))) * 180.0 / M_PI);
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

GFX_Friend* UTL_SimCtrlNimbra::graph_person(int person) const {
    if (person < 0 || static_cast<size_t>(person) >= m_graph_people.size()) return nullptr;
    return m_graph_people[static_cast<size_t>(person)];
}
