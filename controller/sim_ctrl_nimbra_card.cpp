// UTL_SimCtrlNimbra: the card of the selected person (who they are, their circle, the user's
// friends who are their friends too) and the chain of friends between two people.
// Sections: Creation · Per-frame update · The chain · Input and drawing.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "util/name_index.h"
#include "widgets/person_card.h"

#include <algorithm>
#include <set>
#include <utility>

namespace {

constexpr unsigned int kEscape = 27;
constexpr unsigned int kBackspace = 8;
constexpr unsigned int kDelete = 127;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlNimbra::create_card() {
    delete_card();
    m_person_card = new GFX_PersonCard(this);
}

void UTL_SimCtrlNimbra::delete_card() {
    delete m_person_card;
    m_person_card = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

// The card shows the friend selected, filled again when the selection or the friendships
// change; a chain stays only while its first person is the one selected.
// NOTE: the user has a card only for a chain from the user: the user is selected from the
// start, and a card over the globe before anyone is chosen would only hide it.
void UTL_SimCtrlNimbra::update_card() {
    if (!m_person_card) return;
    GFX_Friend* f = selected_friend();
    if (f && f == m_myself && !(m_chain_shown && m_person_card->person() == f)) f = nullptr;
    if (f != m_person_card->person()) {
        m_chain_shown = false;
        m_chain.clear();
        if (!f) m_person_card->clear();
    }
    if (f && (f != m_person_card->person() || m_card_version != m_friend_graph.version())) {
        m_person_card->show(f, common_friends(f), f == m_myself);
        m_card_version = m_friend_graph.version();
    }
    m_person_card->layout(static_cast<float>(m_view_width), static_cast<float>(m_view_height));
}

std::vector<GFX_Friend*> UTL_SimCtrlNimbra::common_friends(const GFX_Friend* f) const {
    std::vector<GFX_Friend*> out;
    if (!f) return out;
    if (f == m_myself) {
        out = m_friends;
    } else if (f->m_person >= 0 && f->m_person < m_friend_graph.size()) {
        for (int p : m_friend_graph.friends_of(f->m_person))
            if (GFX_Friend* g = graph_person(p)) out.push_back(g);
    }
    // By name as people read it: folded, so case and accents do not scatter the order.
    std::vector<std::pair<std::u32string, GFX_Friend*>> keyed;
    for (GFX_Friend* g : out) keyed.emplace_back(fold_name(g->m_name).m_chars, g);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < keyed.size(); ++i) out[i] = keyed[i].second;
    return out;
}

// ---------------------------------------------------------------------------------------------
// The chain
// ---------------------------------------------------------------------------------------------

bool UTL_SimCtrlNimbra::show_chain(GFX_Friend* from, GFX_Friend* to) {
    if (!from || !to) return false;
    std::vector<GFX_Friend*> chain;
    if (from == m_myself || to == m_myself) {
        if (from != to) chain = {from, to};
    } else {
        for (int p : m_friend_graph.shortest_chain(from->m_person, to->m_person))
            chain.push_back(graph_person(p));
    }
    m_chain = chain;
    m_chain_shown = true;

    // Only the chain's own lines light up: each pair of neighbours along it, either way round.
    std::set<std::pair<std::string, std::string>> pairs;
    for (size_t i = 1; i < chain.size(); ++i) {
        pairs.emplace(chain[i - 1]->m_uid, chain[i]->m_uid);
        pairs.emplace(chain[i]->m_uid, chain[i - 1]->m_uid);
    }
    for (GFX_Connection* c : m_connections)
        if (auto* line = dynamic_cast<GFX_ConnectionFriends*>(c))
            line->m_highlighted = pairs.count({line->m_uid1, line->m_uid2}) != 0;

    if (m_person_card) {
        if (m_person_card->person() != from) {
            m_person_card->show(from, common_friends(from), from == m_myself);
            m_card_version = m_friend_graph.version();
        }
        m_person_card->show_chain(to, chain);
    }
    for (GFX_LocationHolder* h : m_loc_holders) {
        auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h);
        if (hf && hf->m_friend == to) {
            m_cam_transition = true;
            m_cam_target_lr = h->target_longitude();
            m_cam_target_ud = h->target_latitude();
        }
    }
    return !chain.empty();
}

// ---------------------------------------------------------------------------------------------
// Input and drawing
// ---------------------------------------------------------------------------------------------

// A name clicked on the card selects that person, as a click on their thumbnail does.
bool UTL_SimCtrlNimbra::mouse_down_card(float x, float y) {
    return m_person_card && m_person_card->mouse_down(x, y);
}

// A press on another control or on the globe takes the keys from the card's filter.
void UTL_SimCtrlNimbra::press_outside_card(float x, float y) {
    if (m_person_card && !m_person_card->is_inside(x, y)) m_person_card->focus(false);
}

bool UTL_SimCtrlNimbra::mouse_up_card(float x, float y) {
    if (!m_person_card || !m_person_card->mouse_up(x, y)) return false;
    if (GFX_Friend* f = m_person_card->m_picked) {
        m_person_card->m_picked = nullptr;
        select_friend(f);
    }
    return true;
}

bool UTL_SimCtrlNimbra::key_card(unsigned int key, bool special) {
    if (!m_person_card || !m_person_card->focused()) return false;
    if (special) {
        if (key == KEY_UP) m_person_card->scroll(-1.0f);
        if (key == KEY_DOWN) m_person_card->scroll(1.0f);
        return true;
    }
    if (key == kEscape) {
        m_person_card->clear_filter();
    } else if (key == kBackspace || key == kDelete) {
        m_person_card->erase();
    } else if (key == '\r' || key == '\n') {
        if (!m_person_card->listed().empty()) select_friend(m_person_card->listed().front());
    } else {
        m_person_card->type(key);
    }
    return true;
}

void UTL_SimCtrlNimbra::draw_card() {
    if (m_person_card) m_person_card->draw();
}
