// UTL_FriendGraph: people by uid, friendships without repeats, and the breadth-first chain.
#include "service/friend_graph.h"

#include <algorithm>
#include <deque>

// ---------------------------------------------------------------------------------------------
// Building
// ---------------------------------------------------------------------------------------------

int UTL_FriendGraph::add_person(const std::string& uid) {
    auto it = m_numbers.find(uid);
    if (it != m_numbers.end()) return it->second;
    const int number = size();
    m_numbers.emplace(uid, number);
    m_uids.push_back(uid);
    m_friends.emplace_back();
    ++m_version;
    return number;
}

int UTL_FriendGraph::find(const std::string& uid) const {
    auto it = m_numbers.find(uid);
    return it == m_numbers.end() ? -1 : it->second;
}

bool UTL_FriendGraph::add_friendship(int a, int b) {
    if (a < 0 || b < 0 || a >= size() || b >= size() || a == b) return false;
    if (!m_pairs.insert(pair_key(a, b)).second) return false;
    m_friends[static_cast<size_t>(a)].push_back(b);
    m_friends[static_cast<size_t>(b)].push_back(a);
    ++m_friendships;
    ++m_version;
    return true;
}

void UTL_FriendGraph::clear() {
    m_uids.clear();
    m_numbers.clear();
    m_friends.clear();
    m_pairs.clear();
    m_friendships = 0;
    ++m_version;
}

bool UTL_FriendGraph::are_friends(int a, int b) const {
    if (a < 0 || b < 0 || a >= size() || b >= size() || a == b) return false;
    return m_pairs.count(pair_key(a, b)) != 0;
}

// ---------------------------------------------------------------------------------------------
// Chains
// ---------------------------------------------------------------------------------------------

// Distances from the last person outwards, then a walk from the first person that always steps
// to the friend one step nearer with the smallest uid: the chain does not depend on the order
// in which the friendships arrived.
std::vector<int> UTL_FriendGraph::shortest_chain(int from, int to) const {
    if (from < 0 || to < 0 || from >= size() || to >= size()) return {};
    if (from == to) return {from};
    std::vector<int> distance(m_uids.size(), -1);
    std::deque<int> queue{to};
    distance[static_cast<size_t>(to)] = 0;
    while (!queue.empty() && distance[static_cast<size_t>(from)] < 0) {
        const int p = queue.front();
        queue.pop_front();
        for (int f : friends_of(p)) {
            if (distance[static_cast<size_t>(f)] >= 0) continue;
            distance[static_cast<size_t>(f)] = distance[static_cast<size_t>(p)] + 1;
            queue.push_back(f);
        }
    }
    if (distance[static_cast<size_t>(from)] < 0) return {};

    std::vector<int> chain{from};
    int at = from;
    while (at != to) {
        int next = -1;
        for (int f : friends_of(at)) {
            if (distance[static_cast<size_t>(f)] != distance[static_cast<size_t>(at)] - 1) continue;
            if (next < 0 || m_uids[static_cast<size_t>(f)] < m_uids[static_cast<size_t>(next)])
                next = f;
        }
        chain.push_back(next);
        at = next;
    }
    return chain;
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

std::uint64_t UTL_FriendGraph::pair_key(int a, int b) {
    if (a > b) std::swap(a, b);
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) |
           static_cast<std::uint32_t>(b);
}
