// UTL_SimCtrlNimbra: construction, destruction and the friend-graph model: the user, the
// friends, the friendship lines and the golden-angle layout of everyone's locator on the globe.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/glyph_atlas.h"
#include "gfx/ogl_texture.h"
#include "gfx/shapes.h"
#include "gfx/text.h"
#include "photos/foto_texture_boss.h"
#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "service/circle_worker.h"
#include "widgets/hover_label.h"
#include "widgets/person_card.h"
#include "widgets/search_field.h"

#include <cmath>
#include <cstring>

namespace {

// The globe's radius and the single-precision pi the layout uses. NOTE: 3.1415925, not the
// float nearest to pi: positions computed elsewhere from the same angles must agree.
constexpr float kGlobeRadius = 5555.5f;
constexpr float kLayoutPi = 3.1415925f;
constexpr float kGoldenAngle = 2.3999631f;  // radians
constexpr float kBallSize = 100.0f;
const char* const kQuestionImage = "./data/config/question.tga";

// A person with both photos; an empty or missing address shows the question-mark image.
GFX_Friend* build_friend(UTL_SimCtrlNimbra* controller, const char* uid, const char* name,
                         const char* pic, const char* pic_square) {
    GFX_Friend* f = new GFX_Friend(controller);
    f->m_uid = uid ? uid : "";
    f->m_name = name ? name : "";
    f->m_has_foto = pic && *pic;
    f->load_foto(f->m_has_foto ? pic : kQuestionImage);
    f->m_has_foto_square = pic_square && *pic_square;
    f->load_foto_square(f->m_has_foto_square ? pic_square : kQuestionImage);
    return f;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------------------------

UTL_SimCtrlNimbra::UTL_SimCtrlNimbra() = default;

// Overlay first, then the scene, then what the scene borrows (ball mesh, photo textures).
UTL_SimCtrlNimbra::~UTL_SimCtrlNimbra() {
    delete m_text;
    m_text = nullptr;
    delete m_glyph_atlas;
    m_glyph_atlas = nullptr;
    delete m_nimbra_texture;
    m_nimbra_texture = nullptr;
    delete m_korvel_texture;
    m_korvel_texture = nullptr;
    delete_navigation_widgets();
    delete_rotate_buttons();
    clear_scene();
    delete_find_widgets();
    delete_circle_widgets();
    delete_card();
    delete m_sphere_button;
    m_sphere_button = nullptr;
    delete m_sphere_button_texture;
    m_sphere_button_texture = nullptr;
    delete_docks();
    delete m_foto_texture_boss;
    m_foto_texture_boss = nullptr;
}

// ---------------------------------------------------------------------------------------------
// People and friendships
// ---------------------------------------------------------------------------------------------

// NOTE: the old user is retired, not deleted: its dock thumbnail may still borrow it. The
// locators that showed it move to the new user at once, so nothing points at a stale person
// even before the next layout.
void UTL_SimCtrlNimbra::add_myself(const char* uid, const char* name, const char* pic,
                                   const char* pic_square) {
    GFX_Friend* f = build_friend(this, uid, name, pic, pic_square);
    if (m_myself) {
        ++m_layout_version;
        for (GFX_LocationHolder* h : m_loc_holders) {
            auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h);
            if (hf && hf->m_friend == m_myself) hf->m_friend = f;
        }
        m_retired_friends.push_back(m_myself);
    }
    m_myself = f;
    add_myself_button();
}

void UTL_SimCtrlNimbra::add_friend(const char* uid, const char* name, const char* pic,
                                   const char* pic_square) {
    GFX_Friend* f = build_friend(this, uid, name, pic, pic_square);
    m_friends.push_back(f);
    // NOTE: a uid given twice is one person of the graph, shown by the first who had it.
    f->m_person = m_friend_graph.add_person(f->m_uid);
    if (static_cast<size_t>(f->m_person) >= m_graph_people.size()) m_graph_people.push_back(f);
    add_friend_button(f);
}

void UTL_SimCtrlNimbra::add_connection(const char* uid1, const char* uid2, float alpha,
                                       bool highlighted) {
    auto* c = new GFX_ConnectionFriends(this);
    c->set_color(m_color_theme.m_connection_color);
    c->set_uids(uid1 ? uid1 : "", uid2 ? uid2 : "");
    c->m_alpha = alpha;
    c->m_highlighted = highlighted;
    m_connections.push_back(c);

    // The friend graph leaves the user out: the user's lines say nothing about circles.
    const std::string a = uid1 ? uid1 : "", b = uid2 ? uid2 : "";
    if (m_myself && (a == m_myself->m_uid || b == m_myself->m_uid)) return;
    const int pa = m_friend_graph.find(a), pb = m_friend_graph.find(b);
    if (pa >= 0 && pb >= 0) m_friend_graph.add_friendship(pa, pb);
    else m_pending_pairs.emplace_back(a, b);
}

void UTL_SimCtrlNimbra::add_connections_for_myself() {
    if (!m_myself) return;
    for (GFX_Friend* f : m_friends)
        add_connection(m_myself->m_uid.c_str(), f->m_uid.c_str(), 0.15f, true);
}

const char* UTL_SimCtrlNimbra::get_friend_id(int i) const {
    if (i < 0 || static_cast<size_t>(i) >= m_friends.size()) return "";
    return m_friends[i]->m_uid.c_str();
}

void UTL_SimCtrlNimbra::find_locators(const char* uid1, const char* uid2,
                                      GFX_LocationHolderFriend** out1,
                                      GFX_LocationHolderFriend** out2) {
    auto index = [this] {
        m_locators_by_uid.clear();
        for (GFX_LocationHolder* h : m_loc_holders) {
            auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h);
            if (hf && hf->m_friend) m_locators_by_uid.emplace(hf->m_friend->m_uid, hf);
        }
        m_locators_by_uid_version = m_layout_version;
    };
    if (m_locators_by_uid_version != m_layout_version) index();
    // A hit whose locator has since been given another person without a new layout version
    // makes the index stale: it is built again once.
    bool stale = false;
    auto found = [this, &stale](const char* uid) -> GFX_LocationHolderFriend* {
        if (!uid) return nullptr;
        auto it = m_locators_by_uid.find(uid);
        if (it == m_locators_by_uid.end()) return nullptr;
        GFX_LocationHolderFriend* h = it->second;
        if (h->m_friend && h->m_friend->m_uid == uid) return h;
        stale = true;
        return nullptr;
    };
    // As a walk over the locators would: a uid that is also uid1 is never uid2's locator.
    const bool same = uid1 && uid2 && std::strcmp(uid1, uid2) == 0;
    GFX_LocationHolderFriend* h1 = found(uid1);
    GFX_LocationHolderFriend* h2 = same ? nullptr : found(uid2);
    if (stale) {
        index();
        h1 = found(uid1);
        h2 = same ? nullptr : found(uid2);
    }
    if (h1 && out1) *out1 = h1;
    if (h2 && out2) *out2 = h2;
}

// ---------------------------------------------------------------------------------------------
// Layout
// ---------------------------------------------------------------------------------------------

float UTL_SimCtrlNimbra::get_radius() const { return kGlobeRadius; }

Math_Vector3 UTL_SimCtrlNimbra::compute_position(float longitude, float latitude) const {
    const float a = longitude * kLayoutPi / 180.0f;
    const float b = (90.0f - latitude) * kLayoutPi / 180.0f;
    const double r = kGlobeRadius;
    return Math_Vector3(static_cast<float>(std::cos(double(a)) * r * std::sin(double(b))),
                        static_cast<float>(std::cos(double(b)) * r),
                        static_cast<float>(std::sin(double(a)) * r * std::sin(double(b))));
}

// The full size while people are few. Beyond about 300 the frames follow the spacing of people
// on the globe, sqrt(4 pi / n) of its radius, at the share of it the full size has at 300
// people (0.66): neighbours on the spiral, at least 0.87 of the spacing apart, then never
// overlap, and the lines between them show; the faces of a thousand people stay apart.
float UTL_SimCtrlNimbra::billboard_size() const {
    const size_t n = m_loc_holders.size();
    if (n <= kCrowd || m_fixed_billboards) return kFullBillboard;
    return kFullBillboard * std::sqrt(static_cast<float>(kCrowd) / static_cast<float>(n));
}

void UTL_SimCtrlNimbra::update_billboard_sizes() {
    const float size = billboard_size();
    for (GFX_LocationHolder* h : m_loc_holders) {
        const float s =
            h->m_selected ? kSelectedBillboard : (h == m_pointed_holder ? kFullBillboard : size);
        h->set_billboard_size(s, s);
    }
}

// Equal-area bands from pole to pole, each place a golden angle further round than the one
// before, so any number of people covers the globe evenly.
void UTL_SimCtrlNimbra::spiral_places(size_t n, std::vector<float>& longitudes,
                                      std::vector<float>& latitudes) {
    longitudes.resize(n);
    latitudes.resize(n);
    if (n == 0) return;
    const float step = 2.0f / static_cast<float>(n);
    float z = 1.0f - step / 2.0f;
    float phi = 0.0f;
    for (size_t i = 0; i < n; ++i) {
        float lon = phi * 180.0f / kLayoutPi;
        const float lat =
            static_cast<float>(90.0 - std::acos(double(z)) * 180.0 / double(kLayoutPi));
        if (lon > 360.0f) lon -= 360.0f * static_cast<float>(static_cast<int>(lon / 360.0f));
        if (lon > 180.0f) lon -= 360.0f;
        z -= step;
        phi += kGoldenAngle;
        longitudes[i] = lon;
        latitudes[i] = lat;
    }
}

// Everyone on the spiral in order of arrival, the user first (north), and the camera turned to
// the user. Arranged by circles, the people already on the globe keep their places (the next
// arrangement, at most a second away, moves everyone), and only newcomers take theirs on the
// spiral.
void UTL_SimCtrlNimbra::create_friends_locators() {
    ++m_layout_version;
    const bool with_user = m_myself != nullptr;
    const size_t n = m_friends.size() + (with_user ? 1 : 0);
    if (n == 0) return;
    std::vector<float> longitudes, latitudes;
    spiral_places(n, longitudes, latitudes);
    const size_t existing = m_loc_holders.size();
    const bool keep_places = m_layout == LAYOUT_CIRCLES;

    for (size_t i = 0; i < n; ++i) {
        const float lon = longitudes[i], lat = latitudes[i];
        const bool placed = keep_places && i < existing;
        GFX_Friend* person;
        bool selected = false;
        if (with_user && i == 0) {
            person = m_myself;
            selected = true;
            if (m_camera && !placed) {
                m_camera->set_left_right(lon + 0.5f);
                m_camera->set_up_down(lat);
            }
        } else {
            person = m_friends[with_user ? i - 1 : i];
        }
        const float size = selected ? kSelectedBillboard : billboard_size();

        if (i >= m_loc_holders.size()) m_loc_holders.push_back(new GFX_LocationHolderFriend(this));
        auto* h = dynamic_cast<GFX_LocationHolderFriend*>(m_loc_holders[i]);
        if (!h) continue;
        h->m_friend = person;
        if (!placed) {
            h->stop_glide();
            h->set_longitude(lon);
            h->set_latitude(lat);
        }
        h->set_billboard_size(size, size);
        h->m_ball_size = kBallSize;
        h->m_selected = selected;
        h->compute_position();
    }
}

// ---------------------------------------------------------------------------------------------
// Clearing
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::clear_connections() {
    for (GFX_Connection* c : m_connections) delete c;
    m_connections.clear();
}

// Dock thumbnails and locators go before the people they borrow; lines and locators take
// themselves out of each other's lists whichever goes first. Textures and the ball mesh last.
void UTL_SimCtrlNimbra::clear_scene() {
    clear_dock_thumbnails();
    // The search list and the hover label borrow people too.
    if (m_search_field) m_search_field->close();
    if (m_hover_label) m_hover_label->hide();
    if (m_person_card) m_person_card->clear();
    m_chain.clear();
    m_chain_shown = false;
    m_name_index.clear();
    m_name_index_people.clear();
    m_selected_holder = nullptr;
    for (GFX_LocationHolder* h : m_loc_holders) delete h;
    m_loc_holders.clear();
    ++m_layout_version;
    for (GFX_Friend* f : m_friends) delete f;
    m_friends.clear();
    clear_connections();
    delete m_myself;
    m_myself = nullptr;
    for (GFX_Friend* f : m_retired_friends) delete f;
    m_retired_friends.clear();
    m_friend_graph.clear();
    m_graph_people.clear();
    m_pending_pairs.clear();
    m_circles = UTL_Circles();
    m_hover_circle = -1;
    m_coloured_lines = 0;

    delete m_color_ball;
    m_color_ball = nullptr;
    release_ball_meshes();
    delete m_color_ball_texture;
    m_color_ball_texture = nullptr;
    delete m_locator_texture;
    m_locator_texture = nullptr;
    delete m_widget_texture;
    m_widget_texture = nullptr;
    delete m_top_bar_texture;
    m_top_bar_texture = nullptr;
    delete m_billboard_texture;
    m_billboard_texture = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Colour themes
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::read_themes() {
    UTL_ColorTheme::read_themes(UTL_ColorTheme::THEME_FILE, m_color_themes, m_color_theme);
}

void UTL_SimCtrlNimbra::read_themes(UTL_ParameterList* list) {
    UTL_ColorTheme::read_themes(list, m_color_themes, m_color_theme);
}
