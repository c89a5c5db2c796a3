// UTL_SocialGraph: people and friendships held locally, and their hand-over to the controller.
#include "app/social_graph.h"

#include "controller/sim_ctrl_nimbra.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------------

void UTL_SocialGraph::set_people(const UTL_Person& me, const std::vector<UTL_Person>& friends)
{
    m_me = me;
    m_friends = friends;
    m_index.clear();
    m_links.clear();
    for (std::uint32_t i = 0; i < m_friends.size(); ++i) m_index.emplace(m_friends[i].uid, i);
}

void UTL_SocialGraph::add_link(const std::string& uid1, const std::string& uid2)
{
    const int a = index_of(uid1), b = index_of(uid2);
    if (a < 0 || b < 0 || a == b) return;
    m_links.insert(key(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)));
}

bool UTL_SocialGraph::are_friends(const std::string& uid1, const std::string& uid2) const
{
    const int a = index_of(uid1), b = index_of(uid2);
    if (a < 0 || b < 0 || a == b) return false;
    return m_links.count(key(static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b))) != 0;
}

// ---------------------------------------------------------------------------------------------
// Hand-over to the controller
// ---------------------------------------------------------------------------------------------

// The order of the service's answers: the layout is redone after every friend, so the globe
// fills one person at a time, and the user's lines come once all friends are there.
void UTL_SocialGraph::feed_people(UTL_SimCtrlNimbra& c) const
{
    c.add_myself(m_me.uid.c_str(), m_me.name.c_str(), m_me.pic.c_str(), m_me.pic_square.c_str());
    for (const UTL_Person& p : m_friends) {
        c.add_friend(p.uid.c_str(), p.name.c_str(), p.pic.c_str(), p.pic_square.c_str());
        c.create_friends_locators();
    }
    c.add_connections_for_myself();
}

size_t UTL_SocialGraph::answer_are_friends(UTL_SimCtrlNimbra& c, const std::vector<std::string>& uids1,
                                           const std::vector<std::string>& uids2) const
{
    size_t added = 0;
    const size_t n = std::min(uids1.size(), uids2.size());
    for (size_t k = 0; k < n; ++k)
        if (are_friends(uids1[k], uids2[k])) {
            c.add_connection(uids1[k].c_str(), uids2[k].c_str(), 0.4f, false);
            ++added;
        }
    return added;
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

std::uint64_t UTL_SocialGraph::key(std::uint32_t a, std::uint32_t b)
{
    if (a > b) std::swap(a, b);
    return (static_cast<std::uint64_t>(a) << 32) | b;
}

int UTL_SocialGraph::index_of(const std::string& uid) const
{
    const auto it = m_index.find(uid);
    return it == m_index.end() ? -1 : static_cast<int>(it->second);
}
